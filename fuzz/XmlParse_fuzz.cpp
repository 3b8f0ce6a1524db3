// Parses arbitrary bytes to a document, with every error let through once
// (so the recovery paths run too) and then as a normal parse; the same bytes
// are also read as an internal DTD subset with parameter entities expanded.
// Refusals (parse errors, codec errors) are fine; a crash, a hang, a leak or
// a sanitizer report is a finding, and so is any of these:
// - an error reported without an error type;
// - a normal parse that reported an error (and was told to stop) but
//   returned a document;
// - a document kept by the implementation after a failed parse, or other
//   than the one returned after a successful one;
// - a parsed document with more than one element child;
// - a subset that makes more tokens than its expansion budget allows.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "core/StringStream.h"
#include "xml/XmlDom.h"
#include "xml/XmlSubsetTokenizer.h"
#include "xml/XmlToDomParser.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

class TLenientErrors : public TObject {
public:
  void OnError(TObject*, TdomError* error, bool& go) {
    if (error->ErrorType() == ET_NONE) Fail("error reported without a type");
    ++reported;
    go = letThrough;
  }
  bool letThrough = false;
  int reported = 0;
};

void CheckDocument(TdomDocument* document) {
  int elements = 0;
  for (TdomNode* child = document->GetFirstChildNode(); child != nullptr; child = child->GetNextSiblingNode())
    if (child->GetNodeType() == ntElement_Node) ++elements;
  if (elements > 1) Fail("more than one document element");
}

void ParseAll(const std::string& bytes, bool lenient) {
  TDomImplementation* impl = New<TDomImplementation>(static_cast<TComponent*>(nullptr));
  std::unique_ptr<TLenientErrors> errors(New<TLenientErrors>());
  errors->letThrough = lenient;
  impl->OnError = MakeEvent<&TLenientErrors::OnError>(errors.get());
  TXmlToDomParser* parser = New<TXmlToDomParser>(static_cast<TComponent*>(impl));
  parser->SetDOMImpl(impl);
  std::unique_ptr<TStringStream> stream(New<TStringStream>(bytes));
  TdomDocument* document = nullptr;
  try {
    document = static_cast<TdomDocument*>(parser->ParseStream(stream.get(), u"", u"fuzz.xml", nullptr));
    CheckDocument(document);
  } catch (const Exception&) {
  }
  int kept = impl->GetDocuments()->GetLength();
  if (document == nullptr && kept != 0) Fail("document kept after a failed parse");
  if (document != nullptr && (kept != 1 || impl->GetDocuments()->Item(0) != document)) Fail("documents after a parse");
  if (!lenient && document != nullptr && errors->reported > 0) Fail("stopped parse returned a document");
  impl->Free();
}

void TokenizeSubset(const std::string& bytes) {
  TXmlStandardDocReader* reader = New<TXmlStandardDocReader>(static_cast<TComponent*>(nullptr));
  try {
    std::unique_ptr<TdomPERepository> repository(New<TdomPERepository>(static_cast<TXmlCustomReader*>(reader)));
    std::unique_ptr<TStringStream> stream(New<TStringStream>(bytes));
    std::unique_ptr<TXmlInputSource> source(New<TXmlInputSource>(stream.get(), std::u16string(), std::u16string(),
                                                                 4096, std::u16string(u"UTF-8"), true, int64_t(0),
                                                                 int64_t(0), int64_t(0), int64_t(0), int64_t(1)));
    std::unique_ptr<TXmlIntSubsetTokenizer> tokenizer(
        New<TXmlIntSubsetTokenizer>(source.get(), repository.get(), 4));
    // Every token but the last consumes at least one character of the input
    // or of the replacement text, which together stay within the budget of
    // the input and the entities' texts (each at most the input's size).
    int64_t limit = int64_t(bytes.size()) + ParameterEntityExpansionBudget(2 * int64_t(bytes.size())) + 2;
    int64_t tokens = 0;
    while (tokenizer->GetTokenType() != SBT_END_OF_SOURCE && tokens <= limit) {
      tokenizer->Next();
      ++tokens;
    }
    if (tokenizer->GetTokenType() != SBT_END_OF_SOURCE) Fail("subset tokenizer makes more tokens than its budget");
  } catch (const Exception&) {
  }
  reader->Free();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  ParseAll(bytes, false);
  ParseAll(bytes, true);
  TokenizeSubset(bytes);
  return 0;
}
