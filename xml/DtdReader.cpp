#include "xml/DtdReader.h"

#include <algorithm>
#include <memory>

#include "xml/Document.h"
#include "xml/DomException.h"
#include "xml/ExternalIds.h"
#include "xml/ParserUtilsLiterals.h"
#include "xml/ParserUtilsWhiteSpace.h"
#include "xml/WideStrList.h"
#include "xml/XmlInputSource.h"
#include "xml/XmlRules.h"
#include "xml/XmlSubsetTokenizer.h"

void TXmlStandardDtdReader::Create(TComponent* owner) {
  TXmlCustomReader::Create(owner);
  repository = New<TdomPERepository>(static_cast<TXmlCustomReader*>(this));
  peRefTreatment = PT_PARSE;
}

TXmlStandardDtdReader::~TXmlStandardDtdReader() { delete repository; }

void TXmlStandardDtdReader::Reset() {
  attListElementNames.clear();
  elementTypeNames.clear();
  repository->Clear();
  errorsFound = false;
  validityErrorsFound = false;
  expandedChars = 0;
}

void TXmlStandardDtdReader::SendErrorNotification(TXmlErrorType errorType, const IDomLocator* locator,
                                                  const std::u16string& code) {
  // Validity errors leave the declarations usable; only fatal errors fail the subset.
  if (IsFatalErrorType(errorType)) errorsFound = true;
  if (IsErrorErrorType(errorType)) validityErrorsFound = true;
  TXmlCustomReader::SendErrorNotification(errorType, locator, code);
}

void TXmlStandardDtdReader::Send(TXmlSignal* signal) {
  if (NextHandler() != nullptr) NextHandler()->ProcessSignal(signal);
}

bool TXmlStandardDtdReader::ParseExternalSubset(TXmlInputSource* source) { return ParseSubset(source, true); }
bool TXmlStandardDtdReader::ParseInternalSubset(TXmlInputSource* source) { return ParseSubset(source, false); }

bool TXmlStandardDtdReader::ParseSubset(TXmlInputSource* source, bool external) {
  repository->SetAllowExternal(resolveExternals);
  TReadHold hold(this);
  std::unique_ptr<TXmlCustomSubsetTokenizer> tokenizer;
  try {
    if (external) {
      tokenizer.reset(New<TXmlExtSubsetTokenizer>(source, repository, TabWidth()));
      SendStartExtDtdSignal(tokenizer.get(), source);
    } else {
      auto* internal = New<TXmlIntSubsetTokenizer>(source, repository, TabWidth());
      tokenizer.reset(internal);
      SendStartIntDtdSignal(tokenizer.get(), source);
      internal->ResolvePERefs = peRefTreatment == PT_PARSE;
    }
    if (tokenizer->GetErrorType() != ET_NONE) {
      SendErrorNotification(tokenizer->GetErrorType(), tokenizer.get(),
                            tokenizer->GetTokenValue() + u" " + tokenizer->GetClue());
    } else {
      ReadDeclarations(tokenizer.get());
    }
    SendCompletedSignal(tokenizer.get());
  } catch (const Exception& e) {
    // Bytes the codec cannot read end the subset: reported at their place.
    if (const auto* decoding = dynamic_cast<const EDecodingError*>(&e)) {
      try {
        TXmlCharLocator where(decoding->Where(), source->SystemId(), TabWidth());
        SendErrorNotification(kDecodingErrorType, &where, DecodingErrorCode(*decoding));
      } catch (const Exception&) {
      }
    }
    try {
      SendAbortedSignal(tokenizer.get());
    } catch (const Exception&) {
    }
    errorsFound = true;
  }
  return !errorsFound;
}

void TXmlStandardDtdReader::ReadDeclarations(TXmlCustomSubsetTokenizer* tokenizer) {
  while (tokenizer->GetTokenType() != SBT_END_OF_SOURCE) {
    tokenizer->Next();
    TXmlErrorType errorType = tokenizer->GetErrorType();
    TXmlSubsetTokenType type = tokenizer->GetTokenType();
    if (errorType != ET_NONE) {
      // A parameter entity that may not be read is skipped with a warning.
      if (type == SBT_PARAMETER_ENTITY_REF && errorType == ET_ENTITY_REPLACEMENT_TEXT_UNAVAILABLE && !resolveExternals)
        errorType = ET_EXTERNAL_ENTITY_NOT_READ;
      SendErrorNotification(errorType, tokenizer, tokenizer->GetTokenValue() + u" " + tokenizer->GetClue());
      continue;
    }
    std::u16string name = tokenizer->GetDeclName();
    std::u16string value = tokenizer->GetDeclValue();
    switch (type) {
      case SBT_ATTLIST_DECL:
        if (ExpandReferences(tokenizer, false, name, value)) ProcessAttlistDecl(tokenizer, name, value);
        break;
      case SBT_ELEMENT_DECL:
        if (ExpandReferences(tokenizer, false, name, value)) ProcessElementTypeDecl(tokenizer, name, value);
        break;
      case SBT_ENTITY_DECL:
        if (ExpandReferences(tokenizer, true, name, value)) ProcessEntityDecl(tokenizer, name, value);
        break;
      case SBT_NOTATION_DECL:
        if (ExpandReferences(tokenizer, false, name, value)) ProcessNotationDecl(tokenizer, name, value);
        break;
      case SBT_PARAMETER_ENTITY_DECL: ProcessParameterEntityDecl(tokenizer, name, value); break;
      case SBT_COMMENT: SendCommentSignal(tokenizer, tokenizer->GetTokenValue()); break;
      case SBT_PI: SendProcessingInstructionSignal(tokenizer, tokenizer->GetTokenValue()); break;
      case SBT_PARAMETER_ENTITY_REF:
        if (peRefTreatment == PT_STOP) return;
        break;
      default: break;
    }
  }
}

// --- Parameter entities inside declarations -----------------------------------------

namespace {

// The length of the reference "%Name;" at text[i], or 0 when there is none.
size_t ReferenceLength(const std::u16string& text, size_t i) {
  if (text[i] != u'%') return 0;
  // The search stops at the next '%' too (never part of a name), so a text
  // full of '%' without ';' is looked through once, not once per '%'.
  size_t semicolon = text.find_first_of(u";%", i + 1);
  if (semicolon == std::u16string::npos || text[semicolon] != u';' || semicolon == i + 1) return 0;
  if (!IsXmlName(std::u16string_view(text).substr(i + 1, semicolon - i - 1))) return 0;
  return semicolon - i + 1;
}

std::u16string EscapeQuotes(const std::u16string& text) {
  std::u16string out;
  for (char16_t c : text) {
    if (c == u'"') out += u"&#34;";
    else if (c == u'\'') out += u"&#39;";
    else out += c;
  }
  return out;
}

// The last keyword before position end of markup text, for telling an entity
// value literal from the literals of SYSTEM and PUBLIC.
std::u16string LastWord(std::u16string_view text) {
  size_t end = text.size();
  while (end > 0 && IsXmlWhiteSpaceWideChar(text[end - 1])) --end;
  size_t start = end;
  // A keyword holds no quote: stopping at one keeps runs of adjacent
  // literals from being looked through again for each literal.
  while (start > 0 && !IsXmlWhiteSpaceWideChar(text[start - 1]) && text[start - 1] != u'"' &&
         text[start - 1] != u'\'')
    --start;
  return std::u16string(text.substr(start, end - start));
}

// Whether text holds a reference outside literals, or inside an entity value
// when entityDecl is set (a percent sign in an attribute default or in a
// system or public literal is text).
bool HoldsReference(const std::u16string& text, bool entityDecl) {
  bool literalsSeen = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c == u'"' || c == u'\'') {
      size_t close = text.find(c, i + 1);
      if (close == std::u16string::npos) return false;
      // The prefix is looked at from its end only: no copy of it per literal.
      std::u16string keyword = LastWord(std::u16string_view(text).substr(0, i));
      bool entityValue = entityDecl && !literalsSeen && keyword != u"SYSTEM" && keyword != u"PUBLIC";
      literalsSeen = true;
      if (!entityValue) {
        i = close;
        continue;
      }
    } else if (c == u'%' && ReferenceLength(text, i) > 0) {
      return true;
    }
  }
  return false;
}

// Whether the parentheses of markup text outside literals pair up.
bool BalancedGroups(const std::u16string& text) {
  int level = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c == u'"' || c == u'\'') {
      size_t close = text.find(c, i + 1);
      if (close == std::u16string::npos) break;
      i = close;
    } else if (c == u'(') {
      ++level;
    } else if (c == u')' && --level < 0) {
      return false;
    }
  }
  return level == 0;
}

}  // namespace

bool TXmlStandardDtdReader::ExpandText(const std::u16string& text, bool entityDecl, int depth,
                                       std::u16string& out) {
  bool literalsSeen = false;
  size_t i = 0;
  while (i < text.size()) {
    char16_t c = text[i];
    if (c == u'"' || c == u'\'') {
      size_t close = text.find(c, i + 1);
      if (close == std::u16string::npos) {
        // A literal must end in the text it starts in.
        expandError = ET_UNCLOSED_LITERAL;
        expandClue = std::u16string(1, c);
        return false;
      }
      std::u16string literal = text.substr(i + 1, close - i - 1);
      std::u16string keyword = LastWord(out);
      bool entityValue = entityDecl && !literalsSeen && keyword != u"SYSTEM" && keyword != u"PUBLIC";
      literalsSeen = true;
      if (entityValue) {
        std::u16string expanded;
        int64_t budget = kMaxParameterEntityExpansion - expandedChars;
        TXmlErrorType result = repository->ExpandInLiteral(literal, budget, expanded);
        expandedChars = kMaxParameterEntityExpansion - budget;
        if (result != ET_NONE) {
          expandError = result;
          return false;
        }
        // Quotes that came from entities are data: written as references
        // they cannot end the literal, and become quotes again when the
        // value's character references are replaced.
        literal = EscapeQuotes(expanded);
        c = u'"';
      }
      out += c;
      out += literal;
      out += c;
      i = close + 1;
      continue;
    }
    size_t length = ReferenceLength(text, i);
    if (length == 0) {
      out += c;
      ++i;
      continue;
    }
    std::u16string name = text.substr(i + 1, length - 2);
    i += length;
    // A name already being expanded is a cycle; a sound chain may still be
    // too deep, which is a limit of this reader, not a rule broken.
    const bool cycle = std::find(expanding.begin(), expanding.end(), name) != expanding.end();
    if (cycle || depth >= kMaxParameterEntityDepth) {
      expandError = cycle ? ET_RECURSIVE_ENTITY_REF : ET_ENTITY_NESTING_TOO_DEEP;
      expandClue = name;
      return false;
    }
    std::u16string replacement, systemId, publicId;
    TXmlErrorType resolved;
    try {
      resolved = repository->ReadPE(name, replacement, systemId, publicId);
    } catch (const Exception&) {
      resolved = ET_ENTITY_REPLACEMENT_TEXT_UNAVAILABLE;
    }
    if (resolved == ET_ENTITY_REPLACEMENT_TEXT_UNAVAILABLE && !resolveExternals) resolved = ET_EXTERNAL_ENTITY_NOT_READ;
    if (resolved != ET_NONE) {
      expandError = resolved;
      expandClue = name;
      return false;
    }
    expandedChars += static_cast<int64_t>(replacement.size());
    if (expandedChars > kMaxParameterEntityExpansion) {
      expandError = ET_ENTITY_EXPANSION_TOO_LARGE;
      expandClue = name;
      return false;
    }
    expanding.push_back(name);
    std::u16string expanded;
    bool ok = ExpandText(replacement, false, depth + 1, expanded);
    expanding.pop_back();
    if (!ok) return false;
    // A group must open and close within the same replacement text.
    if (!BalancedGroups(expanded)) {
      expandError = ET_INVALID_CONTENT_MODEL;
      expandClue = name;
      return false;
    }
    // In markup a replacement counts as if padded with one space on each side.
    out += u' ';
    out += expanded;
    out += u' ';
  }
  return true;
}

bool TXmlStandardDtdReader::ExpandReferences(TXmlCustomSubsetTokenizer* tokenizer, bool entityDecl,
                                             std::u16string& name, std::u16string& value) {
  if (!HoldsReference(name, false) && !HoldsReference(value, entityDecl)) return true;
  if (!tokenizer->IsExternal() && !tokenizer->InEntity()) {
    SendErrorNotification(ET_PARAMETER_ENTITY_REF_IN_INTERNAL_DECL, tokenizer, name);
    return false;
  }
  if (peRefTreatment != PT_PARSE) return true;
  expandError = ET_NONE;
  expandClue.clear();
  expanding.clear();
  std::u16string text;
  if (!ExpandText(name + u" " + value, entityDecl, 0, text)) {
    SendErrorNotification(expandError, tokenizer, expandClue);
    return false;
  }
  text = TrimXmlWhiteSpaceWideStr(text);
  size_t i = 0;
  while (i < text.size() && !IsXmlWhiteSpaceWideChar(text[i])) ++i;
  name = text.substr(0, i);
  value = TrimXmlWhiteSpaceWideStr(std::u16string_view(text).substr(i));
  return true;
}

// --- Declarations ----------------------------------------------------------------------

void TXmlStandardDtdReader::ProcessElementTypeDecl(const IDomLocator* locator, const std::u16string& name,
                                                   const std::u16string& content) {
  if (!elementTypeNames.insert(name).second) {
    SendErrorNotification(ET_DUPLICATE_ELEMENT_TYPE_DECL, locator, name);
    return;
  }
  if (NextHandler() == nullptr) return;
  std::unique_ptr<TXmlElementTypeDeclarationSignal> signal(
      TXmlSignal::CreateFromLocator<TXmlElementTypeDeclarationSignal>(this, locator));
  signal->ElementName = name;
  signal->ContentSpec = content;
  Send(signal.get());
}

void TXmlStandardDtdReader::ProcessEntityDecl(const IDomLocator* locator, const std::u16string& name,
                                              const std::u16string& rest) {
  std::u16string value, systemId, notationName, publicId;
  bool error = false;
  ParseEntityDeclValue(rest, value, systemId, error, notationName, publicId);
  if (error) {
    SendErrorNotification(LacksSystemLiteral(rest, /*publicAlone=*/false) ? ET_INVALID_SYSTEM_ID
                                                                          : ET_INVALID_DECLARATION_SIGNAL,
                          locator, std::u16string());
    return;
  }
  if (NextHandler() == nullptr) return;
  std::unique_ptr<TXmlEntityDeclarationSignal> signal(
      TXmlSignal::CreateFromLocator<TXmlEntityDeclarationSignal>(this, locator));
  signal->EntityName = name;
  signal->EntityValue = value;
  signal->PublicId = publicId;
  signal->SystemId = systemId;
  signal->NotationName = notationName;
  Send(signal.get());
}

void TXmlStandardDtdReader::ProcessParameterEntityDecl(const IDomLocator* locator, const std::u16string& name,
                                                       const std::u16string& rest) {
  std::u16string value, systemId, notationName, publicId;
  bool error = false;
  ParseEntityDeclValue(rest, value, systemId, error, notationName, publicId);
  if (error || !notationName.empty()) {
    SendErrorNotification(error && LacksSystemLiteral(rest, /*publicAlone=*/false) ? ET_INVALID_SYSTEM_ID
                                                                                    : ET_INVALID_PARAMETER_ENTITY_DECL,
                          locator, std::u16string());
    return;
  }
  if (NextHandler() == nullptr) return;
  std::unique_ptr<TXmlParameterEntityDeclarationSignal> signal(
      TXmlSignal::CreateFromLocator<TXmlParameterEntityDeclarationSignal>(this, locator));
  signal->EntityName = name;
  signal->EntityValue = value;
  signal->PublicId = publicId;
  signal->SystemId = systemId;
  Send(signal.get());
}

void TXmlStandardDtdReader::ProcessNotationDecl(const IDomLocator* locator, const std::u16string& name,
                                                const std::u16string& rest) {
  std::u16string systemId, publicId;
  bool error = false;
  ParseNotationDeclId(rest, systemId, publicId, error);
  if (error) {
    SendErrorNotification(LacksSystemLiteral(rest, /*publicAlone=*/true) ? ET_INVALID_SYSTEM_ID : ET_INVALID_NOTATION_ID,
                          locator, std::u16string());
    return;
  }
  if (NextHandler() == nullptr) return;
  std::unique_ptr<TXmlNotationDeclarationSignal> signal(
      TXmlSignal::CreateFromLocator<TXmlNotationDeclarationSignal>(this, locator));
  signal->NotationName = name;
  signal->PublicId = publicId;
  signal->SystemId = systemId;
  Send(signal.get());
}

namespace {

// Reads one attribute definition off the front of text (see ProcessAttlistDecl).
bool ParseAttributeDefinition(std::u16string_view& text, TXmlAttributeDefinitionSignal* signal) {
  size_t i = 0;
  auto skipSpace = [&]() {
    while (i < text.size() && IsXmlWhiteSpaceWideChar(text[i])) ++i;
    return i < text.size();
  };
  auto word = [&]() {
    size_t start = i;
    while (i < text.size() && !IsXmlWhiteSpaceWideChar(text[i])) ++i;
    return std::u16string(text.substr(start, i - start));
  };
  if (!skipSpace()) return false;
  signal->AttributeName = word();
  if (!skipSpace()) return false;
  bool enumeration = false;
  if (text[i] == u'(') {
    signal->AttributeType = 7;
    enumeration = true;
  } else {
    std::u16string keyword = word();
    if (i >= text.size()) return false;
    static const char16_t* const kTypes[] = {u"CDATA",  u"NOTATION", u"ID",      u"IDREF",   u"IDREFS",
                                             u"ENTITY", u"ENTITIES", u"NMTOKEN", u"NMTOKENS"};
    int type = -1;
    for (int t = 0; t < 9; ++t)
      if (keyword == kTypes[t]) type = t;
    if (type < 0) return false;
    signal->AttributeType = static_cast<uint8_t>(type);
    enumeration = type == 1;
    if (!skipSpace()) return false;
  }
  std::u16string enumerationText;
  if (enumeration) {
    if (text[i] != u'(') return false;
    size_t close = text.find(u')', i);
    if (close == std::u16string_view::npos) return false;
    enumerationText = std::u16string(text.substr(i, close - i + 1));
    i = close + 1;
    if (i >= text.size() || !IsXmlWhiteSpaceWideChar(text[i])) return false;
    if (!skipSpace()) return false;
  }
  if (text[i] == u'#') {
    std::u16string keyword = word();
    if (keyword == u"#FIXED") {
      signal->DefaultDeclaration = 1;
      if (!skipSpace()) return false;
    } else if (keyword == u"#IMPLIED") {
      signal->DefaultDeclaration = 2;
    } else if (keyword == u"#REQUIRED") {
      signal->DefaultDeclaration = 3;
    } else {
      return false;
    }
  } else {
    signal->DefaultDeclaration = 0;
  }
  if (signal->DefaultDeclaration <= 1) {
    char16_t quote = text[i];
    if (quote != u'"' && quote != u'\'') return false;
    size_t close = text.find(quote, i + 1);
    if (close == std::u16string_view::npos) return false;
    signal->DefaultValue = std::u16string(text.substr(i + 1, close - i - 1));
    i = close + 1;
    // Definitions are set apart by white space.
    if (i < text.size() && !IsXmlWhiteSpaceWideChar(text[i])) return false;
  }
  text = text.substr(i);
  if (enumeration) {
    std::u16string inner;
    bool error = false;
    StripParenthesesWideStr(enumerationText, inner, error);
    if (error || inner.empty()) return false;
    size_t start = 0;
    for (;;) {
      size_t bar = inner.find(u'|', start);
      std::u16string item = TrimXmlWhiteSpaceWideStr(
          std::u16string_view(inner).substr(start, bar == std::u16string::npos ? std::u16string::npos : bar - start));
      if (item.empty()) return false;
      signal->Enumeration->Add(item);
      if (bar == std::u16string::npos) break;
      start = bar + 1;
    }
  }
  return true;
}

bool OnlyWhiteSpace(std::u16string_view text) {
  for (char16_t c : text)
    if (!IsXmlWhiteSpaceWideChar(c)) return false;
  return true;
}

}  // namespace

void TXmlStandardDtdReader::ProcessAttlistDecl(const IDomLocator* locator, const std::u16string& elementName,
                                               const std::u16string& definitions) {
  if (!IsXmlName(elementName)) SendErrorNotification(ET_INVALID_ATTLIST_ELEMENT_NAME, locator, elementName);
  if (!attListElementNames.insert(elementName).second)
    SendErrorNotification(ET_ATTLIST_DECLARED_TWICE, locator, elementName);
  if (NextHandler() == nullptr) return;
  std::u16string_view rest(definitions);
  while (!OnlyWhiteSpace(rest)) {
    std::unique_ptr<TXmlAttributeDefinitionSignal> signal(
        TXmlSignal::CreateFromLocator<TXmlAttributeDefinitionSignal>(this, locator));
    std::u16string_view before = rest;
    if (!ParseAttributeDefinition(rest, signal.get())) {
      SendErrorNotification(ET_INVALID_ATTRIBUTE_DEFINITION, locator, std::u16string(before));
      return;
    }
    signal->ElementName = elementName;
    Send(signal.get());
  }
}

// --- Other signals ----------------------------------------------------------------------

void TXmlStandardDtdReader::SendCommentSignal(const IDomLocator* locator, const std::u16string& text) {
  if (NextHandler() == nullptr) return;
  std::unique_ptr<TXmlCommentSignal> signal(TXmlSignal::CreateFromLocator<TXmlCommentSignal>(this, locator));
  signal->Data = text;
  Send(signal.get());
}

void TXmlStandardDtdReader::SendProcessingInstructionSignal(const IDomLocator* locator, const std::u16string& text) {
  if (NextHandler() == nullptr) return;
  std::unique_ptr<TXmlProcessingInstructionSignal> signal(
      TXmlSignal::CreateFromLocator<TXmlProcessingInstructionSignal>(this, locator));
  size_t i = 0;
  while (i < text.size() && !IsXmlWhiteSpaceWideChar(text[i])) ++i;
  signal->Target = text.substr(0, i);
  while (i < text.size() && IsXmlWhiteSpaceWideChar(text[i])) ++i;
  signal->Data = text.substr(i);
  Send(signal.get());
}

void TXmlStandardDtdReader::SendAbortedSignal(const IDomLocator* locator) {
  if (NextHandler() == nullptr) return;
  std::unique_ptr<TXmlAbortedSignal> signal(TXmlSignal::CreateFromLocator<TXmlAbortedSignal>(this, locator));
  Send(signal.get());
}

void TXmlStandardDtdReader::SendCompletedSignal(const IDomLocator* locator) {
  if (NextHandler() == nullptr) return;
  std::unique_ptr<TXmlCompletedSignal> signal(TXmlSignal::CreateFromLocator<TXmlCompletedSignal>(this, locator));
  Send(signal.get());
}

void TXmlStandardDtdReader::SendStartExtDtdSignal(const IDomLocator* locator, TXmlInputSource* source) {
  if (NextHandler() == nullptr) return;
  std::unique_ptr<TXmlStartExtDtdSignal> signal(TXmlSignal::CreateFromLocator<TXmlStartExtDtdSignal>(this, locator));
  signal->InputEncoding = source->EncodingName();
  signal->PublicId = source->PublicId();
  signal->SystemId = source->SystemId();
  signal->XmlVersion = source->XmlVersion();
  signal->XmlEncoding = source->XmlEncoding();
  Send(signal.get());
}

void TXmlStandardDtdReader::SendStartIntDtdSignal(const IDomLocator* locator, TXmlInputSource* source) {
  if (NextHandler() == nullptr) return;
  std::unique_ptr<TXmlStartIntDtdSignal> signal(TXmlSignal::CreateFromLocator<TXmlStartIntDtdSignal>(this, locator));
  signal->SystemId = source->SystemId();
  Send(signal.get());
}
