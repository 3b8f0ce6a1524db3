#include "xml/XmlSubsetTokenizer.h"

#include "xml/DomException.h"
#include "xml/ExternalIds.h"
#include "xml/ParserUtilsLiterals.h"
#include "xml/ParserUtilsWhiteSpace.h"
#include "xml/WideStrStream.h"
#include "xml/XmlRules.h"

namespace {
// Splits trimmed text at its first run of white space.
void SplitDecl(const std::u16string& text, std::u16string& name, std::u16string& value) {
  std::u16string trimmed = TrimXmlWhiteSpaceWideStr(text);
  size_t i = 0;
  while (i < trimmed.size() && !IsXmlWhiteSpaceWideChar(trimmed[i])) ++i;
  name = trimmed.substr(0, i);
  while (i < trimmed.size() && IsXmlWhiteSpaceWideChar(trimmed[i])) ++i;
  value = trimmed.substr(i);
}
}  // namespace

TXmlCustomSubsetTokenizer::~TXmlCustomSubsetTokenizer() { DropNested(); }

void TXmlCustomSubsetTokenizer::Create(TXmlInputSource* inputSource, TdomPERepository* repository_, int tabWidth) {
  if (repository_ == nullptr) throw ENot_Supported_Err();
  repository = repository_;
  dtdTokenizer.reset(New<TXmlDtdTokenizer>(inputSource, IsExternal(), tabWidth));
  if (dtdTokenizer->TokenType() == DTK_START_OF_SOURCE) {
    tokenType = SBT_START_OF_SOURCE;
  } else {
    tokenType = SBT_END_OF_SOURCE;
    SetError(dtdTokenizer->ErrorType(), dtdTokenizer->Clue());
  }
}

void TXmlCustomSubsetTokenizer::DropNested() {
  nested.reset();
  peInputSource.reset();
  peStream.reset();
}

const IDomLocator* TXmlCustomSubsetTokenizer::Locator() const {
  if (nested != nullptr) return nested.get();
  return dtdTokenizer.get();
}

std::u16string TXmlCustomSubsetTokenizer::GetTokenValue() const {
  return nested != nullptr ? nested->GetTokenValue() : dtdTokenizer->GetTokenValue();
}
TXmlErrorType TXmlCustomSubsetTokenizer::GetErrorType() const {
  return nested != nullptr ? nested->GetErrorType() : errorType;
}
std::u16string TXmlCustomSubsetTokenizer::GetClue() const { return nested != nullptr ? nested->GetClue() : clue; }
std::u16string TXmlCustomSubsetTokenizer::GetUri() const { return Locator()->GetUri(); }
int TXmlCustomSubsetTokenizer::GetTabWidth() const { return dtdTokenizer->TabWidth(); }
std::u16string TXmlCustomSubsetTokenizer::GetDeclValue() const {
  return nested != nullptr ? nested->GetDeclValue() : declValue;
}
std::u16string TXmlCustomSubsetTokenizer::GetDeclName() const {
  return nested != nullptr ? nested->GetDeclName() : declName;
}
TXmlSubsetTokenType TXmlCustomSubsetTokenizer::GetTokenType() const {
  return nested != nullptr ? nested->GetTokenType() : tokenType;
}

TXmlErrorType TXmlCustomSubsetTokenizer::PushParameterEntity(const std::u16string& name) {
  int depth = 0;
  TXmlCustomSubsetTokenizer* outermost = this;
  for (TXmlCustomSubsetTokenizer* t = this; t != nullptr; t = t->parent) {
    if (t->parent != nullptr && t->entityName == name) return ET_RECURSIVE_ENTITY_REF;
    ++depth;
    outermost = t;
  }
  if (depth > kMaxParameterEntityDepth) return ET_ENTITY_NESTING_TOO_DEEP;
  std::u16string value, systemId, publicId;
  TXmlErrorType result;
  try {
    result = repository->ReadPE(name, value, systemId, publicId);
  } catch (const Exception&) {
    return ET_ENTITY_REPLACEMENT_TEXT_UNAVAILABLE;
  }
  if (result != ET_NONE) return result;
  int64_t size = static_cast<int64_t>(value.size());
  outermost->expandedChars += size;
  if (outermost->expandedEntities.insert(name).second) outermost->distinctEntityChars += size;
  int64_t inputChars = outermost->dtdTokenizer->GetEndCharNumber() + outermost->distinctEntityChars;
  if (outermost->expandedChars > ParameterEntityExpansionBudget(inputChars)) return ET_ENTITY_EXPANSION_TOO_LARGE;
  DropNested();
  peStream.reset(New<TUtilsWideStringStream>(u"\uFEFF" + value));
  peInputSource.reset(New<TXmlInputSource>(peStream.get(), publicId, systemId, 4096, std::u16string(u"UTF-8"), true,
                                           int64_t(0), int64_t(0), int64_t(0), int64_t(0), int64_t(1)));
  nested.reset(New<TXmlExtSubsetTokenizer>(peInputSource.get(), repository, GetTabWidth()));
  nested->parent = this;
  nested->entityName = name;
  result = nested->GetErrorType();
  if (result != ET_NONE) DropNested();
  return result;
}

void TXmlCustomSubsetTokenizer::Next() {
  for (;;) {
    if (nested != nullptr) {
      nested->Next();
      if (nested->GetTokenType() != SBT_END_OF_SOURCE) return;
      TXmlErrorType nestedError = nested->GetErrorType();
      std::u16string nestedClue = nested->GetClue();
      DropNested();
      if (nestedError != ET_NONE) {
        tokenType = SBT_INVALID_MARKUP;
        declName.clear();
        declValue.clear();
        SetError(nestedError, nestedClue);
        return;
      }
      continue;
    }
    if (tokenType == SBT_END_OF_SOURCE) return;
    if (MapToken()) return;
  }
}

bool TXmlCustomSubsetTokenizer::MapToken() {
  declName.clear();
  declValue.clear();
  SetError(ET_NONE);
  dtdTokenizer->Next();
  TXmlDtdTokenType type = dtdTokenizer->TokenType();
  const std::u16string& text = dtdTokenizer->TokenText();
  if (dtdTokenizer->ErrorType() != ET_NONE) {
    SetError(dtdTokenizer->ErrorType(), dtdTokenizer->Clue());
    switch (type) {
      case DTK_ATTLIST_DECL: tokenType = SBT_ATTLIST_DECL; break;
      case DTK_COMMENT: tokenType = SBT_COMMENT; break;
      case DTK_ELEMENT_DECL: tokenType = SBT_ELEMENT_DECL; break;
      case DTK_NOTATION_DECL: tokenType = SBT_NOTATION_DECL; break;
      case DTK_IGNORABLE_WHITESPACE: tokenType = SBT_IGNORABLE_WHITESPACE; break;
      case DTK_END_OF_SOURCE: tokenType = SBT_END_OF_SOURCE; break;
      case DTK_START_OF_SOURCE: tokenType = SBT_START_OF_SOURCE; break;
      case DTK_PARAMETER_ENTITY_REF: tokenType = SBT_PARAMETER_ENTITY_REF; break;
      case DTK_PI: tokenType = SBT_PI; break;
      default: tokenType = SBT_INVALID_MARKUP; break;
    }
    return true;
  }
  switch (type) {
    case DTK_ATTLIST_DECL:
      tokenType = SBT_ATTLIST_DECL;
      SplitDecl(text, declName, declValue);
      return true;
    case DTK_ELEMENT_DECL:
      tokenType = SBT_ELEMENT_DECL;
      SplitDecl(text, declName, declValue);
      return true;
    case DTK_NOTATION_DECL:
      tokenType = SBT_NOTATION_DECL;
      SplitDecl(text, declName, declValue);
      return true;
    case DTK_ENTITY_DECL:
      MapEntityDecl(text);
      return true;
    case DTK_COMMENT: tokenType = SBT_COMMENT; return true;
    case DTK_PI: tokenType = SBT_PI; return true;
    case DTK_IGNORABLE_WHITESPACE: tokenType = SBT_IGNORABLE_WHITESPACE; return true;
    case DTK_INVALID_MARKUP: tokenType = SBT_INVALID_MARKUP; return true;
    case DTK_END_OF_SOURCE:
      HandleEnd();
      return true;
    case DTK_PARAMETER_ENTITY_REF: {
      if (ResolvesReferences()) {
        TXmlErrorType result = PushParameterEntity(text);
        if (result == ET_NONE) return false;
        SetError(result);
      }
      tokenType = SBT_PARAMETER_ENTITY_REF;
      declName = text;
      return true;
    }
    case DTK_START_OF_CONDITIONAL_SECT: return HandleConditional(true);
    case DTK_END_OF_CONDITIONAL_SECT: return HandleConditional(false);
    default:
      tokenType = SBT_INVALID_MARKUP;
      return true;
  }
}

void TXmlCustomSubsetTokenizer::MapEntityDecl(const std::u16string& text) {
  if (text.empty() || text[0] != u'%') {
    tokenType = SBT_ENTITY_DECL;
    SplitDecl(text, declName, declValue);
    return;
  }
  tokenType = SBT_PARAMETER_ENTITY_DECL;
  if (text.size() < 2 || !IsXmlWhiteSpaceWideChar(text[1])) return SetError(ET_MISSING_WHITESPACE_IN_DECL, u"% ");
  SplitDecl(text.substr(1), declName, declValue);
  if (declName.empty()) return SetError(ET_INVALID_PARAMETER_ENTITY_DECL);
  if (!IsXmlName(declName)) return SetError(ET_INVALID_PARAMETER_ENTITY_NAME);
  // Outside the internal subset proper, references in the value are included in it.
  if (IsExternal() || parent != nullptr) {
    TXmlErrorType included = IncludeReferencesInValue();
    if (included != ET_NONE) return SetError(included);
  }
  std::u16string entityValue, systemLiteral, notationName, publicLiteral;
  bool error = false;
  ParseEntityDeclValue(declValue, entityValue, systemLiteral, error, notationName, publicLiteral);
  if (error && LacksSystemLiteral(declValue, /*publicAlone=*/false)) return SetError(ET_INVALID_SYSTEM_ID);
  if (error || !notationName.empty()) return SetError(ET_INVALID_PARAMETER_ENTITY_DECL);
  bool added;
  try {
    if (systemLiteral.empty()) {
      added = repository->Add(declName, entityValue);
    } else {
      std::u16string baseUri = dtdTokenizer->InputSource() != nullptr ? dtdTokenizer->InputSource()->SystemId()
                                                                       : std::u16string();
      added = repository->AddExternal(declName, baseUri, systemLiteral, publicLiteral);
    }
  } catch (const Exception&) {
    return SetError(ET_INVALID_PARAMETER_ENTITY_DECL);
  }
  if (!added) SetError(ET_PARAMETER_ENTITY_DECLARED_TWICE);
}

TXmlErrorType TXmlCustomSubsetTokenizer::IncludeReferencesInValue() {
  if (declValue.empty() || (declValue[0] != u'"' && declValue[0] != u'\'')) return ET_NONE;
  size_t close = declValue.find(declValue[0], 1);
  if (close == std::u16string::npos) return ET_NONE;
  std::u16string literal = declValue.substr(1, close - 1);
  if (literal.find(u'%') == std::u16string::npos) return ET_NONE;
  std::u16string expanded;
  int64_t budget = kMaxParameterEntityExpansion;
  TXmlErrorType result = repository->ExpandInLiteral(literal, budget, expanded);
  if (result != ET_NONE) return result;
  // Quotes from the entities are data: as references they cannot end the
  // literal, and the repository replaces them back when it stores the value.
  std::u16string escaped;
  for (char16_t c : expanded) {
    if (c == u'"') escaped += u"&#34;";
    else if (c == u'\'') escaped += u"&#39;";
    else escaped += c;
  }
  declValue = u"\"" + escaped + u"\"" + declValue.substr(close + 1);
  return ET_NONE;
}

bool TXmlExtSubsetTokenizer::HandleConditional(bool start) {
  if (!start) {
    if (openSections == 0) {
      tokenType = SBT_INVALID_MARKUP;
      SetError(ET_INVALID_CONDITIONAL_SECTION);
      return true;
    }
    --openSections;
    tokenType = SBT_END_OF_CONDITIONAL_SECT;
    return true;
  }
  std::u16string keyword = TrimXmlWhiteSpaceWideStr(dtdTokenizer->TokenText());
  // The keyword may come from a parameter entity.
  if (keyword.size() > 2 && keyword[0] == u'%' && keyword.back() == u';' &&
      IsXmlName(std::u16string_view(keyword).substr(1, keyword.size() - 2))) {
    std::u16string name = keyword.substr(1, keyword.size() - 2), value, systemId, publicId;
    TXmlErrorType result;
    try {
      result = Repository()->ResolvePE(name, value, systemId, publicId);
    } catch (const Exception&) {
      result = ET_ENTITY_REPLACEMENT_TEXT_UNAVAILABLE;
    }
    if (result != ET_NONE) {
      tokenType = SBT_INVALID_MARKUP;
      SetError(result, name);
      return true;
    }
    keyword = TrimXmlWhiteSpaceWideStr(value);
  }
  if (keyword == u"INCLUDE") {
    ++openSections;
    tokenType = SBT_START_OF_CONDITIONAL_SECT;
    return true;
  }
  if (keyword == u"IGNORE") {
    dtdTokenizer->SkipIgnoredSection();
    if (dtdTokenizer->TokenType() != DTK_END_OF_SOURCE) return false;
    tokenType = SBT_END_OF_SOURCE;
    SetError(ET_UNCLOSED_CONDITIONAL_SECTION);
    return true;
  }
  tokenType = SBT_INVALID_MARKUP;
  SetError(ET_INVALID_CONDITIONAL_SECTION);
  return true;
}

void TXmlExtSubsetTokenizer::HandleEnd() {
  tokenType = SBT_END_OF_SOURCE;
  if (openSections > 0) SetError(ET_UNCLOSED_CONDITIONAL_SECTION);
}

bool TXmlIntSubsetTokenizer::HandleConditional(bool) {
  tokenType = SBT_INVALID_MARKUP;
  SetError(ET_CONDITIONAL_SECTION_IN_INTERNAL_SUBSET);
  return true;
}
