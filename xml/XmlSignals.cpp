#include "xml/XmlSignals.h"

#include "xml/ParserUtilsCharRefs.h"
#include "xml/UriGrammar.h"
#include "xml/XmlCustomTokenizer.h"
#include "xml/XmlDocTokenizer.h"
#include "xml/XmlRules.h"

void TXmlSignal::Create(TXmlCustomReader* reader_, int64_t startByte_, int64_t startChar_, int64_t startColumn_,
                        int64_t startLine_, int64_t endByte_, int64_t endChar_, int64_t endColumn_,
                        int64_t endLine_, const std::u16string& uri_, TdomASObject* relatedASObject_,
                        TdomNode* relatedNode_) {
  reader = reader_;
  uriSource = nullptr;
  placedAt = nullptr;
  startByte = startByte_;
  startChar = startChar_;
  startColumn = startColumn_;
  startLine = startLine_;
  endByte = endByte_;
  endChar = endChar_;
  endColumn = endColumn_;
  endLine = endLine_;
  uri = uri_;
  relatedASObject = relatedASObject_;
  relatedNode = relatedNode_;
}

void TXmlSignal::Locate(TXmlCustomReader* reader_, const IDomLocator* locator) {
  if (locator == nullptr) {
    Create(reader_, -1, -1, -1, -1, -1, -1, -1, -1, std::u16string(), nullptr, nullptr);
    return;
  }
  if (auto* tokenizer = dynamic_cast<const TXmlCustomTokenizer*>(locator)) {
    Locate(reader_, tokenizer);
    return;
  }
  Create(reader_, locator->GetStartByteNumber(), locator->GetStartCharNumber(), locator->GetStartColumnNumber(),
         locator->GetStartLineNumber(), locator->GetEndByteNumber(), locator->GetEndCharNumber(),
         locator->GetEndColumnNumber(), locator->GetEndLineNumber(), locator->GetUri(),
         locator->GetRelatedASObject(), locator->GetRelatedNode());
}

namespace {
// Copies a tokenizer's positions; Tokenizer is the static type, so a final
// class's getters are called directly.
template <class Tokenizer>
void PlaceAt(const Tokenizer* tokenizer, int64_t& startByte, int64_t& startChar, int64_t& startColumn,
             int64_t& startLine, int64_t& endByte, int64_t& endChar, int64_t& endColumn, int64_t& endLine) {
  startByte = tokenizer->GetStartByteNumber();
  startChar = tokenizer->GetStartCharNumber();
  startColumn = tokenizer->GetStartColumnNumber();
  startLine = tokenizer->GetStartLineNumber();
  endByte = tokenizer->GetEndByteNumber();
  endChar = tokenizer->GetEndCharNumber();
  endColumn = tokenizer->GetEndColumnNumber();
  endLine = tokenizer->GetEndLineNumber();
}

// Copies the URI of a tokenizer's source: only when it comes from another
// string than last time (uriSource), not for every event.
void TakeUri(const TXmlCustomTokenizer* tokenizer, std::u16string& uri, const std::u16string** uriSource) {
  static const std::u16string kNoUri;
  const std::u16string& sourceUri = tokenizer->InputSource() != nullptr ? tokenizer->InputSource()->SystemId() : kNoUri;
  if (uriSource != nullptr && &sourceUri == *uriSource) return;
  if (uri != sourceUri) uri = sourceUri;
  if (uriSource != nullptr) *uriSource = &sourceUri;
}
}  // namespace

void TXmlSignal::Locate(TXmlCustomReader* reader_, const TXmlDocTokenizer* tokenizer) {
  reader = reader_;
  placedAt = tokenizer;
  // Usually the URI comes from the same string as last time: nothing to copy.
  const TXmlInputSource* source = tokenizer->InputSource();
  if (uriSource == nullptr || source == nullptr || &source->SystemId() != uriSource)
    TakeUri(tokenizer, uri, &uriSource);
  relatedASObject = nullptr;
  relatedNode = nullptr;
}

void TXmlSignal::Locate(TXmlCustomReader* reader_, const TXmlCustomTokenizer* tokenizer) {
  reader = reader_;
  placedAt = nullptr;
  PlaceAt(tokenizer, startByte, startChar, startColumn, startLine, endByte, endChar, endColumn, endLine);
  TakeUri(tokenizer, uri, nullptr);
  uriSource = nullptr;
  relatedASObject = nullptr;
  relatedNode = nullptr;
}

void TXmlSignal::CopyPlace() const {
  const TXmlDocTokenizer* tokenizer = placedAt;
  placedAt = nullptr;
  PlaceAt(tokenizer, startByte, startChar, startColumn, startLine, endByte, endChar, endColumn, endLine);
}

void TXmlSignal::CopyLocation(const TXmlSignal& s) {
  s.Placed();
  Create(s.reader, s.startByte, s.startChar, s.startColumn, s.startLine, s.endByte, s.endChar, s.endColumn,
         s.endLine, s.uri, s.relatedASObject, s.relatedNode);
}

void TXmlSignal::CheckWellformedness(TXmlErrorType& errorType, std::u16string& code) const {
  errorType = ET_NONE;
  code.clear();
}

namespace {
void Fail(TXmlErrorType& errorType, std::u16string& code, TXmlErrorType type, std::u16string_view text) {
  errorType = type;
  code = std::u16string(text);
}
}  // namespace

void CheckXmlAttributeValue(const std::u16string& value, TXmlErrorType& errorType, std::u16string& code) {
  errorType = ET_NONE;
  code.clear();
  size_t i = 0;
  while (i < value.size()) {
    char16_t c = value[i];
    // The usual character: an XML character, no surrogate, no markup.
    if (c >= 0x20 && c < 0xD800 && c != u'<' && c != u'&') {
      ++i;
      continue;
    }
    if (c == u'&') {
      size_t semi = value.find(u';', i + 1);
      if (semi == std::u16string::npos) {
        Fail(errorType, code, ET_UNCLOSED_REFERENCE_IN_ATTRIBUTE, value);
        return;
      }
      std::u16string_view text(value.data() + i + 1, semi - i - 1);
      if (!text.empty() && text[0] == u'#') {
        // The reference as it stands in the value, "&" to ";".
        std::u16string_view ref(value.data() + i, semi - i + 1);
        uint32_t ignored = 0;
        if (!TryXmlCharRefToInt(ref, ignored)) {
          Fail(errorType, code, ET_INVALID_CHAR_REF, ref);
          return;
        }
      } else if (!IsXmlName(text)) {
        Fail(errorType, code, ET_INVALID_PARAMETER_ENTITY_NAME, text);
        return;
      }
      i = semi + 1;
      continue;
    }
    // A surrogate half is a character only as part of a pair.
    bool surrogate = c >= 0xD800 && c <= 0xDFFF;
    size_t length = c <= 0xDBFF && surrogate && i + 1 < value.size() && value[i + 1] >= 0xDC00 && value[i + 1] <= 0xDFFF
                        ? 2
                        : 1;
    if (c == u'<' || (surrogate && length == 1) || !IsXmlChar(c)) {
      // A value without references is quoted whole, else the character.
      bool references = value.find(u'&') != std::u16string::npos;
      Fail(errorType, code, ET_UNCLOSED_REFERENCE_IN_ATTRIBUTE,
           references ? std::u16string_view(&value[i], 1) : std::u16string_view(value));
      return;
    }
    i += length;
  }
}

void TXmlCDATASignal::CheckWellformedness(TXmlErrorType& errorType, std::u16string& code) const {
  TXmlSignal::CheckWellformedness(errorType, code);
  if (!IsXmlCData(Data)) errorType = ET_INVALID_CDATA_SECTION_TEXT;
}

void TXmlDoctypeSignal::CheckWellformedness(TXmlErrorType& errorType, std::u16string& code) const {
  TXmlSignal::CheckWellformedness(errorType, code);
  if (!(IsXmlName(DoctypeName) && IsXmlPubidChars(PublicId) && IsXmlQuotableChars(SystemId)))
    Fail(errorType, code, ET_INVALID_DOCTYPE_SIGNAL, Data);
}

void TXmlDoctypeSignal::CopyData(const TXmlDoctypeSignal& s) {
  Data = s.Data;
  DoctypeName = s.DoctypeName;
  IntSubsetStartByteNumber = s.IntSubsetStartByteNumber;
  IntSubsetStartCharNumber = s.IntSubsetStartCharNumber;
  IntSubsetStartColumn = s.IntSubsetStartColumn;
  IntSubsetStartLine = s.IntSubsetStartLine;
  PublicId = s.PublicId;
  SystemId = s.SystemId;
}

void TXmlEndElementSignal::CheckWellformedness(TXmlErrorType& errorType, std::u16string& code) const {
  TXmlSignal::CheckWellformedness(errorType, code);
  if (!IsXmlName(TagName)) Fail(errorType, code, ET_INVALID_CHARACTER, TagName);
}

void TXmlEndPrefixMappingSignal::CheckWellformedness(TXmlErrorType& errorType, std::u16string& code) const {
  TXmlSignal::CheckWellformedness(errorType, code);
  if (!Prefix.empty() && !IsXmlPrefix(Prefix)) Fail(errorType, code, ET_INVALID_PREFIX_MAPPING, Prefix);
}

void TXmlEntityRefSignal::CheckWellformedness(TXmlErrorType& errorType, std::u16string& code) const {
  TXmlSignal::CheckWellformedness(errorType, code);
  if (!IsXmlName(EntityName)) Fail(errorType, code, ET_INVALID_PARAMETER_ENTITY_NAME, EntityName);
}

void TXmlPCDATASignal::CheckWellformedness(TXmlErrorType& errorType, std::u16string& code) const {
  TXmlSignal::CheckWellformedness(errorType, code);
  if (!IsXmlCData(Data)) Fail(errorType, code, ET_INVALID_CONDITIONAL_SECTION_END, Data);
}

void TXmlStartDocumentSignal::CheckWellformedness(TXmlErrorType& errorType, std::u16string& code) const {
  TXmlSignal::CheckWellformedness(errorType, code);
  if (!XmlEncoding.empty() && !IsXmlEncName(XmlEncoding)) {
    errorType = ET_INVALID_VERSION_NUMBER;
  } else if (!XmlVersion.empty() && !IsXmlVersionNum(XmlVersion)) {
    errorType = ET_INVALID_VERSION_NUMBER;
  }
}

void TXmlStartDocumentSignal::CopyData(const TXmlStartDocumentSignal& s) {
  XmlEncoding = s.XmlEncoding;
  InputEncoding = s.InputEncoding;
  XmlStandalone = s.XmlStandalone;
  XmlVersion = s.XmlVersion;
}

void TXmlStartDocumentFragmentSignal::CheckWellformedness(TXmlErrorType& errorType, std::u16string& code) const {
  TXmlSignal::CheckWellformedness(errorType, code);
  if (!XmlEncoding.empty() && !IsXmlEncName(XmlEncoding)) errorType = ET_INVALID_VERSION_NUMBER;
}

TXmlStartElementSignal::TXmlStartElementSignal() : Attributes(new TUtilsNameValueList) {
  // One tag's attributes after another's: the lists keep their room.
  Attributes->Names()->SetKeepStorage(true);
  Attributes->Values()->SetKeepStorage(true);
}

TXmlStartElementSignal::~TXmlStartElementSignal() { delete Attributes; }

void TXmlStartElementSignal::CheckWellformedness(TXmlErrorType& errorType, std::u16string& code) const {
  TXmlSignal::CheckWellformedness(errorType, code);
  if (!IsXmlName(TagName)) {
    Fail(errorType, code, ET_INVALID_CHARACTER, TagName);
    return;
  }
  int count = Attributes->GetCount();
  bool sorted = Attributes->Names()->Sorted();
  for (int i = 0; i < count; ++i) {
    const std::u16string& name = Attributes->NameAt(i);
    // In a sorted list a name found elsewhere has an equal neighbour; only
    // then is the list searched.
    bool mayRepeat = !sorted || (i > 0 && Attributes->NameAt(i - 1) == name) ||
                     (i + 1 < count && Attributes->NameAt(i + 1) == name);
    if (mayRepeat && Attributes->IndexOfName(name) != i) {
      Fail(errorType, code, ET_DOUBLE_ATTRIBUTE_NAME, name);
      return;
    }
    if (!IsXmlName(name)) {
      Fail(errorType, code, ET_INVALID_ATTRIBUTE_NAME, name);
      return;
    }
    CheckXmlAttributeValue(Attributes->ValueAt(i), errorType, code);
    if (errorType != ET_NONE) return;
  }
}

void TXmlStartElementSignal::CopyData(const TXmlStartElementSignal& s) {
  Attributes->Assign(s.Attributes);
  TagName = s.TagName;
}

void TXmlStartPrefixMappingSignal::CheckWellformedness(TXmlErrorType& errorType, std::u16string& code) const {
  TXmlSignal::CheckWellformedness(errorType, code);
  // Both prefixes are bound by definition, to their own names only; no other
  // prefix, nor the default namespace, may take either name.
  const bool xmlName = Uri == kXmlNamespaceUri, xmlnsName = Uri == kXmlnsNamespaceUri;
  if (Prefix == u"xmlns" ? !xmlnsName : Prefix == u"xml" ? !xmlName : xmlName || xmlnsName) {
    Fail(errorType, code, ET_INVALID_PREFIX_MAPPING, Prefix);
  } else if (!Prefix.empty() && !IsXmlPrefix(Prefix)) {
    Fail(errorType, code, ET_INVALID_PREFIX_MAPPING, Prefix);
  } else if (!IsUriReferenceWideStr(Uri)) {
    Fail(errorType, code, ET_INVALID_NAMESPACE_URI, Uri);
  }
}

void TXmlCommentSignal::CheckWellformedness(TXmlErrorType& errorType, std::u16string& code) const {
  TXmlSignal::CheckWellformedness(errorType, code);
  if (Data.empty()) return;
  if (Data.find(u"--") != std::u16string::npos) {
    Fail(errorType, code, ET_DOUBLE_HYPHEN_IN_COMMENT, u"--");
  } else if (Data.back() == u'-') {
    Fail(errorType, code, ET_HYPHEN_AT_COMMENT_END, u"-");
  } else if (!IsXmlChars(Data)) {
    Fail(errorType, code, ET_INVALID_CONDITIONAL_SECTION_END, Data);
  }
}

void TXmlProcessingInstructionSignal::CheckWellformedness(TXmlErrorType& errorType, std::u16string& code) const {
  TXmlSignal::CheckWellformedness(errorType, code);
  if (!IsXmlPITarget(Target)) {
    Fail(errorType, code, ET_INVALID_PI_TARGET_OR_DATA, Target);
  } else if (Data.find(u"?>") != std::u16string::npos) {
    Fail(errorType, code, ET_INVALID_PI_TARGET_OR_DATA, u"?>");
  } else if (!IsXmlChars(Data)) {
    Fail(errorType, code, ET_INVALID_CONDITIONAL_SECTION_END, Data);
  }
}

TXmlAttributeDefinitionSignal::TXmlAttributeDefinitionSignal() : Enumeration(new TUtilsWideStringList) {}

TXmlAttributeDefinitionSignal::~TXmlAttributeDefinitionSignal() { delete Enumeration; }

void TXmlAttributeDefinitionSignal::CheckWellformedness(TXmlErrorType& errorType, std::u16string& code) const {
  TXmlSignal::CheckWellformedness(errorType, code);
  if (!IsXmlName(AttributeName)) return Fail(errorType, code, ET_INVALID_ATTRIBUTE_DEFINITION, AttributeName);
  if (!IsXmlName(ElementName)) return Fail(errorType, code, ET_INVALID_ATTRIBUTE_DEFINITION, ElementName);
  if (DefaultValue.find(u'<') != std::u16string::npos)
    return Fail(errorType, code, ET_INVALID_ATTRIBUTE_DEFINITION, DefaultValue);
  for (int i = 0; i < Enumeration->GetCount(); ++i) {
    std::u16string item = Enumeration->Get(i);
    bool ok = AttributeType == 1 ? IsXmlName(item) : IsXmlNmtoken(item);
    if (!ok) return Fail(errorType, code, ET_INVALID_ATTRIBUTE_DEFINITION, item);
  }
  CheckXmlAttributeValue(DefaultValue, errorType, code);
}

void TXmlAttributeDefinitionSignal::CopyData(const TXmlAttributeDefinitionSignal& s) {
  AttributeName = s.AttributeName;
  AttributeType = s.AttributeType;
  DefaultDeclaration = s.DefaultDeclaration;
  DefaultValue = s.DefaultValue;
  Enumeration->Assign(s.Enumeration);
  ElementName = s.ElementName;
}

void TXmlElementTypeDeclarationSignal::CheckWellformedness(TXmlErrorType& errorType, std::u16string& code) const {
  TXmlSignal::CheckWellformedness(errorType, code);
  if (!IsXmlName(ElementName)) Fail(errorType, code, ET_INVALID_ELEMENT_TYPE_DECL_NAME, ElementName);
}

namespace {
// Steps shared by general and parameter entity declarations; false on a fault.
bool CheckEntityDecl(const std::u16string& name, const std::u16string& value, const std::u16string& publicId,
                     const std::u16string& systemId, const std::u16string& notation, TXmlErrorType& errorType,
                     std::u16string& code) {
  if (!IsXmlName(name)) {
    Fail(errorType, code, ET_INVALID_DECLARATION_SIGNAL, name);
    return false;
  }
  if (!value.empty()) {
    if (!IsXmlEntityValueChars(value)) {
      Fail(errorType, code, ET_INVALID_DECLARATION_SIGNAL, value);
      return false;
    }
    if (!publicId.empty() || !systemId.empty() || !notation.empty()) {
      Fail(errorType, code, ET_INVALID_DECLARATION_SIGNAL, u"");
      return false;
    }
  }
  if (!IsXmlQuotableChars(systemId)) {
    Fail(errorType, code, ET_INVALID_DECLARATION_SIGNAL, systemId);
    return false;
  }
  if (!IsXmlPubidChars(publicId)) {
    Fail(errorType, code, ET_INVALID_DECLARATION_SIGNAL, publicId);
    return false;
  }
  return true;
}
}  // namespace

void TXmlEntityDeclarationSignal::CheckWellformedness(TXmlErrorType& errorType, std::u16string& code) const {
  TXmlSignal::CheckWellformedness(errorType, code);
  if (!CheckEntityDecl(EntityName, EntityValue, PublicId, SystemId, NotationName, errorType, code)) return;
  if (!NotationName.empty() && !IsXmlName(NotationName))
    Fail(errorType, code, ET_INVALID_DECLARATION_SIGNAL, NotationName);
}

void TXmlEntityDeclarationSignal::CopyData(const TXmlEntityDeclarationSignal& s) {
  EntityValue = s.EntityValue;
  PublicId = s.PublicId;
  NotationName = s.NotationName;
  EntityName = s.EntityName;
  SystemId = s.SystemId;
}

void TXmlNotationDeclarationSignal::CheckWellformedness(TXmlErrorType& errorType, std::u16string& code) const {
  TXmlSignal::CheckWellformedness(errorType, code);
  if (!IsXmlName(NotationName)) {
    Fail(errorType, code, ET_INVALID_NOTATION_ID, NotationName);
  } else if (!IsXmlQuotableChars(SystemId)) {
    Fail(errorType, code, ET_INVALID_NOTATION_ID, SystemId);
  } else if (!IsXmlPubidChars(PublicId)) {
    Fail(errorType, code, ET_INVALID_NOTATION_ID, PublicId);
  }
}

void TXmlParameterEntityDeclarationSignal::CheckWellformedness(TXmlErrorType& errorType,
                                                               std::u16string& code) const {
  TXmlSignal::CheckWellformedness(errorType, code);
  CheckEntityDecl(EntityName, EntityValue, PublicId, SystemId, std::u16string(), errorType, code);
}

void TXmlStartExtDtdSignal::CheckWellformedness(TXmlErrorType& errorType, std::u16string& code) const {
  TXmlSignal::CheckWellformedness(errorType, code);
  if (!XmlEncoding.empty() && !IsXmlEncName(XmlEncoding)) {
    errorType = ET_INVALID_TEXT_DECL;
  } else if (!XmlVersion.empty() && !IsXmlVersionNum(XmlVersion)) {
    errorType = ET_INVALID_TEXT_DECL;
  }
}
