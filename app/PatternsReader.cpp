#include "PatternsReader.h"

#include <cctype>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "Settings.h"
#include "core/Exception.h"
#include "core/SysUtils.h"
#include "xml/XmlDom.h"
#include "xml/XmlRulesStrings.h"
#include "xml/XmlToDomParser.h"

namespace {

// Keeps the first error the parser reports, with its place, and stops the
// parse at it: past an error that is not fatal (an undeclared entity) the
// parser would go on without what it concerns.
class TFirstErrorKeeper : public TObject {
public:
  void OnError(TObject*, TdomError* error, bool& go) {
    if (error->GetSeverity() == DOM_SEVERITY_WARNING) return;
    go = false;
    if (found) return;
    found = true;
    type = error->ErrorType();
    line = error->GetStartLineNumber();
    column = error->GetStartColumnNumber();
  }
  bool found = false;
  TXmlErrorType type = ET_NONE;
  int64_t line = 0;
  int64_t column = 0;
};

[[noreturn]] void Refuse(const std::string& fileName, const std::string& reason) {
  throw EPatternsFileError("The patterns file \"" + fileName + "\" cannot be used: " + reason);
}

std::string FileContent(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// " (line L, column C)" of offset at in content.
std::string PlaceAt(const std::string& content, size_t at) {
  size_t line = 1, lineStart = 0;
  for (size_t i = 0; i < at; ++i) {
    if (content[i] == '\n') {
      ++line;
      lineStart = i + 1;
    }
  }
  return " (line " + std::to_string(line) + ", column " + std::to_string(at - lineStart + 1) + ")";
}

// The place of the first attribute name whose value holds reference (a
// whole "&name;", or "&" for any); "" when none is found.
std::string PlaceOfReference(const std::string& fileName, const std::string& name, const std::string& reference) {
  const std::string content = FileContent(fileName);
  for (size_t at = content.find(name + "="); at != std::string::npos; at = content.find(name + "=", at + 1)) {
    const size_t open = at + name.size() + 1;
    if (open >= content.size() || (content[open] != '"' && content[open] != '\'')) continue;
    const size_t close = content.find(content[open], open + 1);
    if (close == std::string::npos) break;
    const bool wholeName = at == 0 || std::isspace(static_cast<unsigned char>(content[at - 1]));
    if (wholeName && content.find(reference, open) < close) return PlaceAt(content, at);
  }
  return "";
}

// The first entity that value refers to other than the five predefined
// ones; "" when there is none.
std::u16string FirstOwnEntity(const std::u16string& value) {
  for (size_t amp = value.find(u'&'); amp != std::u16string::npos; amp = value.find(u'&', amp + 1)) {
    const size_t end = value.find(u';', amp);
    if (end == std::u16string::npos) break;
    const std::u16string_view name(value.data() + amp + 1, end - amp - 1);
    if (!name.empty() && name[0] != u'#' && !IsXmlPredefinedEntityName(name)) return std::u16string(name);
  }
  return u"";
}

// The value of a required attribute, references resolved, in the program's code page.
std::string RequiredAttribute(TdomElement* element, const char16_t* name, const std::string& fileName) {
  TdomAttr* attr = element->getAttributeNode(name);
  if (attr == nullptr)
    Refuse(fileName, "the element \"" + WideToAnsi(element->GetNodeName()) + "\" has no attribute \"" +
                         WideToAnsi(name) + "\".");
  std::u16string value;
  TXmlErrorType type = ET_NONE;
  element->GetOwnerDocument()->CalculateNormalizedAttrValue(attr, value, type);
  if (IsHintOrWarningErrorType(type)) return WideToAnsi(value);
  // Only references can make a parsed value fail. The program's parser keeps
  // the file's document type but reads no declarations from it (AP_NO), and
  // nothing outside the file is fetched: an entity of its own is never
  // expanded, however it is declared.
  const std::u16string entity = FirstOwnEntity(attr->GetNodeValue());
  const std::string what =
      entity.empty() ? "holds references that cannot be expanded"
                     : "refers to the entity \"" + WideToAnsi(entity) +
                           "\", which is never expanded: the file's own entity declarations are not read and nothing "
                           "outside it is fetched, so values may use only character references and the entities amp, "
                           "lt, gt, apos and quot";
  Refuse(fileName, "the attribute \"" + WideToAnsi(name) + "\" of the element \"" +
                       WideToAnsi(element->GetNodeName()) + "\" " + what +
                       PlaceOfReference(fileName, WideToAnsi(name), entity.empty() ? "&" : "&" + WideToAnsi(entity) + ";") +
                       ".");
}

// " (line L, column C)" of the first place where attribute name has the value
// text in the file; "" when the file cannot be read or the place not found
// (a value written with references, for instance).
std::string PlaceOf(const std::string& fileName, const std::string& name, const std::string& text) {
  const std::string content = FileContent(fileName);
  size_t at = std::string::npos;
  for (const char* quote : {"\"", "'"}) {
    const size_t found = content.find(name + "=" + quote + text + quote);
    if (found < at) at = found;
  }
  if (at == std::string::npos) return "";
  return PlaceAt(content, at);
}

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

bool AllHex(const std::string& text) {
  for (char c : text) {
    if (!IsHex(c)) return false;
  }
  return true;
}

// A pass's byte texts: "bytes" two hexadecimal digits; "sequence" empty,
// "RANDOM", or two, four or six hexadecimal digits. Anything else would be
// read as some other byte than the one written.
void CheckPassBytes(const std::string& bytes, const std::string& sequence, const std::string& patternName,
                    const std::string& fileName) {
  if (bytes.size() != 2 || !AllHex(bytes))
    Refuse(fileName, "a pass of the pattern \"" + patternName + "\" has the bytes \"" + bytes +
                         "\", which are not two hexadecimal digits" + PlaceOf(fileName, "bytes", bytes) + ".");
  const bool sequenceOk = sequence.empty() || sequence == "RANDOM" ||
                          ((sequence.size() == 2 || sequence.size() == 4 || sequence.size() == 6) && AllHex(sequence));
  if (!sequenceOk)
    Refuse(fileName, "a pass of the pattern \"" + patternName + "\" has the sequence \"" + sequence +
                         "\", which is not two, four or six hexadecimal digits" +
                         PlaceOf(fileName, "sequence", sequence) + ".");
  // Three space bytes are how "RANDOM" reaches the engine: written as digits
  // they would give random data, not the bytes the file names.
  if (sequence == "202020")
    Refuse(fileName, "a pass of the pattern \"" + patternName +
                         "\" has the sequence \"202020\", which the engine reads as random data; write \"RANDOM\" "
                         "for random data" +
                         PlaceOf(fileName, "sequence", sequence) + ".");
}

// A decimal integer with an optional sign, nothing else.
int OrderValue(const std::string& text, const std::string& fileName) {
  size_t digits = text.size() > 0 && (text[0] == '-' || text[0] == '+') ? 1 : 0;
  bool ok = text.size() > digits;
  for (size_t i = digits; ok && i < text.size(); ++i) ok = text[i] >= '0' && text[i] <= '9';
  int32_t value = 0;
  if (!ok || !TryStrToInt(text, value)) Refuse(fileName, "the order \"" + text + "\" is not an integer.");
  return value;
}

}  // namespace

void ReadPatternsDocument(TdomDocument* document, TDataStorage* storage, const std::string& fileName) {
  TdomElement* root = document->GetDocumentElement();
  if (root == nullptr) Refuse(fileName, "it has no document element.");
  std::string selected = SelectedPatternCode;
  TdomNodeList* options = root->getElementsByTagName(u"options");
  for (int i = 0; i < options->GetLength(); ++i)
    selected = RequiredAttribute(static_cast<TdomElement*>(options->Item(i)), u"selected_pattern", fileName);

  // Everything is read before the storage is touched: a bad pattern anywhere
  // leaves the list empty rather than half filled.
  std::vector<std::unique_ptr<TWipePattern, void (*)(TWipePattern*)>> patterns;
  auto freePattern = [](TWipePattern* p) { p->Free(); };
  TdomNodeList* elements = root->getElementsByTagName(u"pattern");
  for (int i = 0; i < elements->GetLength(); ++i) {
    auto* element = static_cast<TdomElement*>(elements->Item(i));
    std::string code = RequiredAttribute(element, u"code", fileName);
    std::string name = RequiredAttribute(element, u"name", fileName);
    std::string description = RequiredAttribute(element, u"description", fileName);
    int order = OrderValue(RequiredAttribute(element, u"order", fileName), fileName);
    if (name.empty())
      Refuse(fileName, "the pattern \"" + code + "\" has an empty name" + PlaceOf(fileName, "name", "") + ".");
    patterns.emplace_back(New<TWipePattern>(order, code, name, description), freePattern);
    TWipePattern* pattern = patterns.back().get();
    for (TdomNode* child = element->GetFirstChildNode(); child != nullptr; child = child->GetNextSiblingNode()) {
      if (child->GetNodeType() != ntElement_Node) continue;
      auto* passElement = static_cast<TdomElement*>(child);
      std::string bytes = RequiredAttribute(passElement, u"bytes", fileName);
      std::string sequence = RequiredAttribute(passElement, u"sequence", fileName);
      int passOrder = OrderValue(RequiredAttribute(passElement, u"order", fileName), fileName);
      CheckPassBytes(bytes, sequence, name, fileName);
      if (pattern->Passes->Count() == kMaxPassesPerPattern)
        Refuse(fileName, "the pattern \"" + name + "\" has more than " + std::to_string(kMaxPassesPerPattern) +
                             " passes.");
      pattern->Passes->Add(New<TWipePass>(passOrder, bytes, sequence));
    }
  }
  for (auto& pattern : patterns) storage->Patterns->Add(pattern.release());
  SelectedPatternCode = selected;
}

void LoadPatternsFile(TDataStorage* storage, const std::string& fileName, TXmlToDomParser* parser) {
  TDomImplementation* impl = parser->DOMImpl();
  if (impl == nullptr) Refuse(fileName, "the XML parser has no DOM implementation.");
  // The first error is kept for the message; the implementation's own
  // handler and the parser's settings are back in place afterwards.
  std::unique_ptr<TFirstErrorKeeper> keeper(New<TFirstErrorKeeper>());
  const TdomErrorEvent previousHandler = impl->OnError.Get();
  const bool previousResolve = parser->ResolveExternals();
  impl->OnError = MakeEvent<&TFirstErrorKeeper::OnError>(keeper.get());
  // The patterns file is read on its own: nothing it names outside itself is fetched.
  parser->SetResolveExternals(false);
  struct TRestore {
    TDomImplementation* impl;
    TXmlToDomParser* parser;
    const TdomErrorEvent& handler;
    bool resolve;
    ~TRestore() {
      impl->OnError = handler;
      parser->SetResolveExternals(resolve);
    }
  } restore{impl, parser, previousHandler, previousResolve};
  TdomDocument* document = nullptr;
  try {
    document = parser->ParseFile(fileName);
  } catch (const EParserException&) {
    if (keeper->found && keeper->line > 0)
      Refuse(fileName, "it is not well-formed XML (line " + std::to_string(keeper->line) + ", column " +
                           std::to_string(keeper->column) + ").");
    if (keeper->type == ET_ENCODING_NOT_SUPPORTED) Refuse(fileName, "its encoding is not supported.");
    Refuse(fileName, "its XML declaration is malformed.");
  } catch (const EPatternsFileError&) {
    throw;
  } catch (const EFOpenError& e) {
    // The stream's message names the file again; keep only the system's reason.
    std::string reason = e.what();
    size_t cut = reason.rfind("\". ");
    Refuse(fileName, "it cannot be opened (" + (cut != std::string::npos ? reason.substr(cut + 3) : reason) + ").");
  } catch (const std::exception& e) {
    Refuse(fileName, std::string(e.what()));
  }
  // The document stays with the parser's DOM implementation.
  ReadPatternsDocument(document, storage, fileName);
}

void LoadPatternsFile(TDataStorage* storage, const std::string& fileName) {
  std::unique_ptr<TDomImplementation, void (*)(TDomImplementation*)> impl(
      New<TDomImplementation>(static_cast<TComponent*>(nullptr)), [](TDomImplementation* i) { i->Free(); });
  TXmlToDomParser* parser = New<TXmlToDomParser>(static_cast<TComponent*>(impl.get()));
  parser->SetDOMImpl(impl.get());
  LoadPatternsFile(storage, fileName, parser);
}
