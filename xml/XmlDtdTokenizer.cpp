#include "xml/XmlDtdTokenizer.h"

#include "xml/XmlRules.h"

namespace {
constexpr UCS4Char kEnd = kUcs4EndOfInput;

bool StartsName(UCS4Char c) { return IsXmlLetter(c) || c == '_' || c == ':'; }
}  // namespace

void TXmlDtdTokenizer::Create(TXmlInputSource* inputSource_, bool isExternal, int tabWidth_) {
  TXmlCustomTokenizer::Create(inputSource_, tabWidth_);
  tokenType = DTK_END_OF_SOURCE;
  if (inputSource_ == nullptr) return;
  if (!isExternal) {
    if (inputSource_->HasMalformedDecl() || inputSource_->DeclType() != DT_UNSPECIFIED) {
      SetError(ET_INVALID_MARKUP);
      return;
    }
  } else {
    TXmlDeclType kind = inputSource_->DeclType();
    if (inputSource_->HasMalformedDecl() || kind < DT_TEXT_DECLARATION || kind > DT_UNSPECIFIED) {
      SetError(ET_INVALID_TEXT_DECL);
      return;
    }
    if (inputSource_->InvalidEncoding()) {
      SetError(ET_ENCODING_NOT_SUPPORTED);
      return;
    }
  }
  tokenType = DTK_START_OF_SOURCE;
}

void TXmlDtdTokenizer::SkipToMarkup() {
  for (;;) {
    UCS4Char c = NextCp();
    if (c == '%' || c == '<' || c == ']' || c == kEnd) return;
    Advance();
  }
}

void TXmlDtdTokenizer::Next() {
  if (tokenType == DTK_END_OF_SOURCE) return;
  BeginToken();
  tokenType = DTK_INVALID_MARKUP;
  StartAtNext();
  Advance();
  UCS4Char c = CurCp();
  if (c == kEnd) {
    EndAtCurrent();
    tokenType = DTK_END_OF_SOURCE;
    return;
  }
  if (c == '%') {
    tokenType = DTK_PARAMETER_ENTITY_REF;
    StartAtNext();
    while (NextCp() != ';' && NextCp() != kEnd) {
      Advance();
      AddCurrent();
    }
    EndAtCurrent();
    if (NextCp() == ';') {
      Advance();
    } else {
      SetError(ET_UNCLOSED_PARAMETER_ENTITY_REF, u";");
    }
    return;
  }
  if (c == '<') {
    UCS4Char n = NextCp();
    if (n == '?') {
      tokenType = DTK_PI;
      ReadProcessingInstructionText();
      return;
    }
    if (n != '!') {
      EndAtCurrent();
      SetError(ET_INVALID_MARKUP, u"<!");
      return;
    }
    Advance();
    switch (NextCp()) {
      case '-':
        tokenType = DTK_COMMENT;
        ReadCommentText(TTrailingHyphen::Excluded);
        return;
      case '[':
        ReadConditionalStart();
        return;
      case 'A':
        Advance();
        ReadDeclaration(DTK_ATTLIST_DECL, u"TTLIST", ET_INVALID_ATTLIST_DECL, u"<!ATTLIST", ET_UNCLOSED_ATTLIST_DECL);
        return;
      case 'E':
        Advance();
        if (NextCp() == 'L') {
          Advance();
          ReadDeclaration(DTK_ELEMENT_DECL, u"EMENT", ET_INVALID_ELEMENT_DECL, u"<!ELEMENT", ET_UNCLOSED_ELEMENT_DECL);
        } else if (NextCp() == 'N') {
          Advance();
          ReadDeclaration(DTK_ENTITY_DECL, u"TITY", ET_INVALID_ENTITY_DECL, u"<!ENTITY", ET_UNCLOSED_ENTITY_DECL);
        } else {
          EndAtCurrent();
          SetError(ET_INVALID_MARKUP);
        }
        return;
      case 'N':
        Advance();
        ReadDeclaration(DTK_NOTATION_DECL, u"OTATION", ET_INVALID_NOTATION_DECL, u"<!NOTATION",
                        ET_UNCLOSED_NOTATION_DECL);
        return;
      default:
        EndAtCurrent();
        SetError(ET_INVALID_MARKUP);
        return;
    }
  }
  if (c == ']') {
    tokenType = DTK_END_OF_CONDITIONAL_SECT;
    for (char16_t expected : std::u16string_view(u"]>")) {
      if (NextCp() != expected) {
        EndAtCurrent();
        SetError(ET_INVALID_CONDITIONAL_SECTION_END, u"]]>");
        return;
      }
      Advance();
    }
    EndAtCurrent();
    return;
  }
  AddCurrent();
  if (IsXmlWhiteSpace(c)) {
    tokenType = DTK_IGNORABLE_WHITESPACE;
    while (IsXmlWhiteSpace(NextCp())) {
      Advance();
      AddCurrent();
    }
    EndAtCurrent();
    return;
  }
  EndAtCurrent();
  SetError(ET_INVALID_MARKUP);
}

void TXmlDtdTokenizer::ReadConditionalStart() {
  tokenType = DTK_START_OF_CONDITIONAL_SECT;
  Advance();
  StartAtNext();
  for (;;) {
    UCS4Char c = NextCp();
    if (c == kEnd) {
      EndAtCurrent();
      SetError(ET_INVALID_CONDITIONAL_SECTION);
      return;
    }
    Advance();
    if (c == '[' || c == ']') {
      EndAtPrevious();
      return;
    }
    Add(c);
  }
}

void TXmlDtdTokenizer::ReadDeclaration(TXmlDtdTokenType type, std::u16string_view rest, TXmlErrorType keywordError,
                                       const char16_t* keywordClue, TXmlErrorType unclosedError) {
  tokenType = type;
  for (char16_t expected : rest) {
    if (NextCp() != expected) {
      EndAtCurrent();
      SetError(keywordError, keywordClue);
      return;
    }
    Advance();
  }
  std::u16string spacedClue = std::u16string(keywordClue) + u" ";
  StartAtNext();
  if (NextCp() == '%') {
    Advance();
    if (!StartsName(NextCp())) {
      EndAtCurrent();
      SkipToMarkup();
      if (type == DTK_ENTITY_DECL) {
        SetError(ET_INVALID_PARAMETER_ENTITY_DECL, u"<!ENTITY %");
      } else {
        SetError(ET_MISSING_WHITESPACE_IN_DECL, spacedClue);
      }
      return;
    }
    Add('%');
  } else if (IsXmlWhiteSpace(NextCp())) {
    while (IsXmlWhiteSpace(NextCp())) Advance();
    StartAtNext();
  } else {
    EndAtCurrent();
    SkipToMarkup();
    SetError(ET_MISSING_WHITESPACE_IN_DECL, spacedClue);
    return;
  }
  UCS4Char quote = 0;
  for (;;) {
    UCS4Char c = NextCp();
    if (c == kEnd) {
      EndAtCurrent();
      std::u16string clue = quote != 0 ? std::u16string(1, static_cast<char16_t>(quote)) + u">" : u">";
      SetError(unclosedError, clue);
      return;
    }
    Advance();
    if (quote == 0 && c == '>') {
      EndAtPrevious();
      return;
    }
    Add(c);
    if (quote == 0 && (c == '"' || c == '\'')) {
      quote = c;
    } else if (c == quote) {
      quote = 0;
    }
  }
}

void TXmlDtdTokenizer::SkipIgnoredSection() {
  if (tokenType == DTK_END_OF_SOURCE) return;
  BeginToken();
  StartAtNext();
  int depth = 0;
  for (;;) {
    Advance();
    UCS4Char c = CurCp();
    if (c == kEnd) {
      EndAtCurrent();
      tokenType = DTK_END_OF_SOURCE;
      return;
    }
    if (c == '<' && NextCp() == '!') {
      Advance();
      if (NextCp() == '[') {
        Advance();
        ++depth;
      }
      continue;
    }
    if (c == ']' && NextCp() == ']') {
      Advance();
      while (NextCp() == ']') Advance();
      if (NextCp() != '>') continue;
      Advance();
      if (depth == 0) {
        EndAtCurrent();
        tokenType = DTK_END_OF_CONDITIONAL_SECT;
        return;
      }
      --depth;
    }
  }
}
