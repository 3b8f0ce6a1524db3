#include "xml/XmlDoctypeTokenizer.h"

#include "xml/XmlRules.h"

namespace {
constexpr UCS4Char kEnd = kUcs4EndOfInput;

bool EndsWith(const std::u16string& s, std::u16string_view tail) {
  return s.size() >= tail.size() && std::u16string_view(s).substr(s.size() - tail.size()) == tail;
}
}  // namespace

void TXmlDoctypeDeclTokenizer::Create(TXmlInputSource* inputSource_, int tabWidth_) {
  TXmlCustomTokenizer::Create(inputSource_, tabWidth_);
  tokenType = DCT_END_OF_SOURCE;
  if (inputSource_ == nullptr) return;
  if (!inputSource_->HasMalformedDecl() && inputSource_->DeclType() == DT_UNSPECIFIED) {
    tokenType = DCT_START_OF_SOURCE;
  } else {
    SetError(ET_INVALID_MARKUP);
  }
}

void TXmlDoctypeDeclTokenizer::SkipWhiteSpace() {
  while (IsXmlWhiteSpace(NextCp())) Advance();
}

void TXmlDoctypeDeclTokenizer::Next() {
  if (tokenType == DCT_END_OF_SOURCE) return;
  BeginToken();
  StartAtNext();
  switch (tokenType) {
    case DCT_START_OF_SOURCE: {
      tokenType = DCT_NAME;
      Advance();
      EndAtCurrent();
      if (!IsXmlWhiteSpace(CurCp())) {
        SetError(ET_MISSING_WHITESPACE, u" ");
        return;
      }
      SkipWhiteSpace();
      StartAtNext();
      for (;;) {
        UCS4Char c = NextCp();
        if (IsXmlWhiteSpace(c) || c == '[' || c == '>' || c == kEnd) break;
        Advance();
        AddCurrent();
      }
      EndAtCurrent();
      return;
    }
    case DCT_NAME: {
      SkipWhiteSpace();
      StartAtNext();
      UCS4Char c = NextCp();
      if (c == 'S') {
        Advance();
        for (char16_t expected : std::u16string_view(u"YSTEM")) {
          if (NextCp() != expected) {
            EndAtCurrent();
            SetError(ET_INVALID_SYSTEM_KEYWORD, u"SYSTEM");
            return;
          }
          Advance();
        }
        tokenType = DCT_PUBLIC_ID;
        Next();
        return;
      }
      if (c == 'P') {
        Advance();
        for (char16_t expected : std::u16string_view(u"UBLIC")) {
          if (NextCp() != expected) {
            EndAtCurrent();
            SetError(ET_INVALID_PUBLIC_KEYWORD, u"PUBLIC");
            return;
          }
          Advance();
        }
        tokenType = DCT_PUBLIC_ID;
        if (!IsXmlWhiteSpace(NextCp())) {
          EndAtCurrent();
          SetError(ET_MISSING_WHITESPACE, u" ");
          return;
        }
        SkipWhiteSpace();
        ReadLiteral(ET_UNCLOSED_LITERAL);
        return;
      }
      if (c == '[') {
        ReadSubsetOrEnd();
        return;
      }
      if (c == kEnd) {
        tokenType = DCT_END_OF_SOURCE;
        EndAtCurrent();
        return;
      }
      EndAtCurrent();
      SetError(ET_INVALID_SYSTEM_KEYWORD, u"SYSTEM");
      return;
    }
    case DCT_PUBLIC_ID:
      tokenType = DCT_SYSTEM_ID;
      // The system literal is set off by white space, after SYSTEM as after the public literal.
      if (NextCp() != kEnd && !IsXmlWhiteSpace(NextCp())) {
        EndAtCurrent();
        SetError(ET_MISSING_WHITESPACE, u" ");
        return;
      }
      SkipWhiteSpace();
      // SYSTEM, or PUBLIC and its literal, must be followed by a system literal.
      ReadLiteral(ET_INVALID_SYSTEM_ID);
      return;
    case DCT_SYSTEM_ID:
      ReadSubsetOrEnd();
      return;
    case DCT_INTERNAL_SUBSET:
      SkipWhiteSpace();
      Advance();
      EndAtCurrent();
      if (CurCp() != kEnd) SetError(ET_UNCLOSED_DOCTYPE);
      tokenType = DCT_END_OF_SOURCE;
      return;
    default:
      tokenType = DCT_END_OF_SOURCE;
  }
}

void TXmlDoctypeDeclTokenizer::ReadLiteral(TXmlErrorType missingError) {
  StartAtNext();
  UCS4Char quote = NextCp();
  if (quote != '"' && quote != '\'') {
    EndAtCurrent();
    SetError(missingError, u"\"");
    return;
  }
  Advance();
  StartAtNext();
  for (;;) {
    UCS4Char c = NextCp();
    if (c == kEnd) {
      EndAtCurrent();
      SetError(ET_UNCLOSED_LITERAL, std::u16string(1, static_cast<char16_t>(quote)));
      return;
    }
    Advance();
    if (c == quote) {
      EndAtPrevious();
      return;
    }
    Add(c);
  }
}

void TXmlDoctypeDeclTokenizer::ReadSubsetOrEnd() {
  SkipWhiteSpace();
  StartAtNext();
  UCS4Char c = NextCp();
  if (c == '[') {
    tokenType = DCT_INTERNAL_SUBSET;
    Advance();
    ReadInternalSubset();
    return;
  }
  if (c == kEnd) {
    tokenType = DCT_END_OF_SOURCE;
    EndAtCurrent();
    return;
  }
  EndAtCurrent();
  SetError(ET_MISSING_INTERNAL_SUBSET_START, u"[");
}

void TXmlDoctypeDeclTokenizer::ReadInternalSubset() {
  StartAtNext();
  enum { kNormal, kComment, kPi } state = kNormal;
  UCS4Char quote = 0;
  size_t commentStart = 0;
  for (;;) {
    UCS4Char c = NextCp();
    if (c == kEnd) {
      EndAtCurrent();
      SetError(ET_UNCLOSED_INTERNAL_SUBSET, u"]");
      return;
    }
    Advance();
    if (state == kComment) {
      Add(c);
      if (tokenValue.size() >= commentStart + 2 && EndsWith(tokenValue, u"--")) {
        if (NextCp() != '>') {
          EndAtCurrent();
          SetError(ET_UNCLOSED_COMMENT, u"-->");
          return;
        }
        Advance();
        Add('>');
        state = kNormal;
      }
      continue;
    }
    if (state == kPi) {
      Add(c);
      if (c == '>' && EndsWith(tokenValue, u"?>")) state = kNormal;
      continue;
    }
    if (quote != 0) {
      Add(c);
      if (c == quote) quote = 0;
      continue;
    }
    if (c == ']') {
      EndAtPrevious();
      return;
    }
    Add(c);
    if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '-' && EndsWith(tokenValue, u"<!--")) {
      state = kComment;
      commentStart = tokenValue.size();
    } else if (c == '?' && EndsWith(tokenValue, u"<?")) {
      state = kPi;
    }
  }
}
