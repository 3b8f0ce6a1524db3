// Reads arbitrary bytes as DTD material three ways: as a document whose
// internal subset is turned into models (then validated, values normalised
// and entity references expanded), as an internal subset given to ParseDTD,
// and as an external subset. There is no resource resolver, so nothing
// outside the input is read. Refusals are fine; a crash, a hang, a leak or a
// sanitizer report is a finding.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "core/StringStream.h"
#include "xml/DtdToAsParser.h"
#include "xml/XmlDom.h"
#include "xml/XmlToDomParser.h"

namespace {

class TLenientErrors : public TObject {
public:
  void OnError(TObject*, TdomError*, bool& go) { go = letThrough; }
  bool letThrough = false;
};

// Touches what validation and the DOM offer on a parsed document.
void Exercise(TdomDocument* document) {
  document->validate(/*keepUnchanged=*/true);
  document->prepareAttributes();
  for (TdomNode* node = document->GetDocumentElement(); node != nullptr;) {
    if (node->GetNodeType() == ntElement_Node) {
      TdomNamedNodeMap* attributes = static_cast<TdomElement*>(node)->GetAttributes();
      for (int i = 0; i < attributes->GetLength(); ++i) static_cast<TdomAttr*>(attributes->Item(i))->GetValue();
    }
    if (node->GetFirstChildNode() != nullptr) {
      node = node->GetFirstChildNode();
      continue;
    }
    while (node != nullptr && node->GetNextSiblingNode() == nullptr) node = node->GetParentNode();
    if (node != nullptr) node = node->GetNextSiblingNode();
  }
  document->validate(/*keepUnchanged=*/false);
}

void ParseDocument(const std::string& bytes, bool lenient) {
  TDomImplementation* impl = New<TDomImplementation>(static_cast<TComponent*>(nullptr));
  std::unique_ptr<TLenientErrors> errors(New<TLenientErrors>());
  errors->letThrough = lenient;
  impl->OnError = MakeEvent<&TLenientErrors::OnError>(errors.get());
  TXmlToDomParser* parser = New<TXmlToDomParser>(static_cast<TComponent*>(impl));
  parser->SetDOMImpl(impl);
  parser->SetAutoPrepare(AP_COMPLETE);
  std::unique_ptr<TStringStream> stream(New<TStringStream>(bytes));
  try {
    Exercise(static_cast<TdomDocument*>(parser->ParseStream(stream.get(), u"", u"file:///fuzz.xml", nullptr)));
  } catch (const Exception&) {
  }
  impl->Free();
}

void ParseSubsets(const std::string& bytes) {
  TDomImplementation* impl = New<TDomImplementation>(static_cast<TComponent*>(nullptr));
  std::unique_ptr<TLenientErrors> errors(New<TLenientErrors>());
  errors->letThrough = true;
  impl->OnError = MakeEvent<&TLenientErrors::OnError>(errors.get());
  TDtdToASParser* parser = New<TDtdToASParser>(static_cast<TComponent*>(impl));
  parser->SetDOMImpl(impl);
  TdomDocument* document = impl->CreateEmptyDocument();
  TdomDocumentTypeDecl* decl = document->createDocumentTypeDecl(u"r", u"", u"ext.dtd", u"");
  document->appendChild(decl);
  TdomASModelCollection* models = decl->GetASModels();
  std::u16string text;
  for (unsigned char c : bytes) text.push_back(c);
  try {
    parser->ParseDTD(text, u"file:///fuzz.xml", models, u"", u"ext.dtd", 0, 0, 1, 1);
    models->ValidateModels();
  } catch (const Exception&) {
  }
  try {
    if (!bytes.empty()) parser->ParseExtSubsetString(bytes, u"", models->GetModel(1), u"file:///ext.dtd");
  } catch (const Exception&) {
  }
  impl->Free();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  ParseDocument(bytes, false);
  ParseDocument(bytes, true);
  ParseSubsets(bytes);
  return 0;
}
