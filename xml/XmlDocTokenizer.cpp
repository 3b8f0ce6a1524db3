#include "xml/XmlDocTokenizer.h"

#include "xml/XmlRules.h"

namespace {
constexpr UCS4Char kEnd = kUcs4EndOfInput;
constexpr TUcs4StopSet kTextStops(u"&<");

bool EndsWith(const std::u16string& s, const std::u16string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}
}  // namespace

void TXmlDocTokenizer::Create(TXmlInputSource* inputSource_, int tabWidth_) {
  TXmlCustomTokenizer::Create(inputSource_, tabWidth_);
  tokenType = inputSource_ != nullptr ? TK_START_OF_SOURCE : TK_END_OF_SOURCE;
}

void TXmlDocTokenizer::Next() {
  if (tokenType == TK_END_OF_SOURCE) return;
  BeginToken();
  StartAtNext();
  Advance();
  switch (CurCp()) {
    case kEnd:
      EndAtCurrent();
      tokenType = TK_END_OF_SOURCE;
      return;
    case '&':
      ReadReference();
      return;
    case '<':
      ReadMarkup();
      return;
    default:
      ReadText();
  }
}

void TXmlDocTokenizer::ReadText() {
  tokenType = TK_PCDATA;
  // The run is copied straight from the reader's records: one look at each
  // character, no per-character bookkeeping beyond the text itself.
  AddCurrent();
  AddRun(kTextStops);
  EndAtCurrent();
}

void TXmlDocTokenizer::ReadMarkup() {
  switch (NextCp()) {
    case '>':
      EndAtCurrent();
      Advance();
      tokenType = TK_START_TAG;
      SetError(ET_MISSING_ELEMENT_NAME);
      return;
    case kEnd:
      EndAtCurrent();
      tokenType = TK_START_TAG;
      SetError(ET_MISSING_ELEMENT_NAME);
      return;
    case '/':
      ReadEndTag();
      return;
    case '?':
      tokenType = TK_PI;
      ReadProcessingInstructionText();
      return;
    case '!':
      Advance();
      ReadBang();
      return;
    default:
      ReadTag();
  }
}

void TXmlDocTokenizer::ReadEndTag() {
  tokenType = TK_END_TAG;
  Advance();
  StartAtNext();
  for (;;) {
    UCS4Char c = NextCp();
    if (IsXmlWhiteSpace(c) || c == '>' || c == kEnd) break;
    Advance();
    Add(c);
  }
  EndAtCurrent();
  while (IsXmlWhiteSpace(NextCp())) Advance();
  if (NextCp() == '>') {
    Advance();
  } else {
    SetError(ET_UNCLOSED_ELEMENT_TAG, u">");
  }
}

void TXmlDocTokenizer::ReadBang() {
  switch (NextCp()) {
    case '[':
      ReadCData();
      return;
    case '-':
      tokenType = TK_COMMENT;
      ReadCommentText(TTrailingHyphen::Included);
      return;
    case 'D':
      ReadDoctype();
      return;
    case 'C':
    case 'c':
    case ']':
      EndAtCurrent();
      tokenType = TK_CDATA;
      SetError(ET_INVALID_CDATA_SECTION, u"<![CDATA[");
      return;
    case 'd':
    case 'O':
    case 'o':
      EndAtCurrent();
      tokenType = TK_DOCTYPE_DECL;
      SetError(ET_INVALID_DOCTYPE, u"<!DOCTYPE");
      return;
    default:
      EndAtCurrent();
      tokenType = TK_COMMENT;
      SetError(ET_INVALID_COMMENT, u"<!--");
  }
}

void TXmlDocTokenizer::ReadCData() {
  tokenType = TK_CDATA;
  Advance();
  for (char16_t expected : std::u16string_view(u"CDATA[")) {
    if (NextCp() != expected) {
      EndAtCurrent();
      SetError(ET_INVALID_CDATA_SECTION, u"<![CDATA[");
      return;
    }
    Advance();
  }
  StartAtNext();
  while (NextCp() != kEnd) {
    Advance();
    while (CurCp() == ']' && NextCp() == ']') {
      EndAtPrevious();
      Advance();
      if (NextCp() == '>') {
        Advance();
        return;
      }
      Add(']');
    }
    AddCurrent();
  }
  EndAtCurrent();
  SetError(ET_UNCLOSED_CDATA_SECTION, u"]]>");
}

void TXmlDocTokenizer::ReadDoctype() {
  tokenType = TK_DOCTYPE_DECL;
  Advance();
  for (char16_t expected : std::u16string_view(u"OCTYPE")) {
    if (NextCp() != expected) {
      SetError(ET_INVALID_DOCTYPE, u"<!DOCTYPE");
      return;
    }
    Advance();
  }
  StartAtNext();
  bool aposOpen = false;
  bool quoteOpen = false;
  bool inSubset = false;
  std::u16string pending;
  int markup = 0;  // 0 none, 1 "<", 2 "<!", 3 "<!-"
  while (NextCp() != kEnd) {
    Advance();
    UCS4Char c = CurCp();
    if (c == '>' && !aposOpen && !quoteOpen && !inSubset && pending.empty()) {
      EndAtPrevious();
      return;
    }
    Add(c);
    if (!pending.empty()) {
      if (EndsWith(tokenValue, pending)) pending.clear();
      continue;
    }
    if (c == '\'' && !quoteOpen) {
      aposOpen = !aposOpen;
    } else if (c == '"' && !aposOpen) {
      quoteOpen = !quoteOpen;
    }
    if (!inSubset) {
      if (c == '[' && !aposOpen && !quoteOpen) inSubset = true;
      continue;
    }
    if (aposOpen || quoteOpen) continue;
    if (c == '<') {
      markup = 1;
    } else if (c == '!' && markup == 1) {
      markup = 2;
    } else if (c == '?' && markup == 1) {
      markup = 0;
      pending = u"?>";
    } else if (c == '-' && markup == 2) {
      markup = 3;
    } else if (c == '-' && markup == 3) {
      markup = 0;
      pending = u"-->";
    } else {
      markup = 0;
      if (c == ']') inSubset = false;
    }
  }
  EndAtCurrent();
  SetError(ET_UNCLOSED_DOCTYPE, u"]>");
}

void TXmlDocTokenizer::ReadTag() {
  Advance();
  StartAtCurrent();
  AddCurrent();
  // A quoted value runs to the same quote, whatever it holds.
  UCS4Char openQuote = inputSource->StepTag(tokenValue);
  EndAtCurrent();
  switch (NextCp()) {
    case '/':
      tokenType = TK_EMPTY_ELEMENT_TAG;
      Advance();
      if (NextCp() == '>') {
        Advance();
      } else {
        SetError(ET_UNCLOSED_ELEMENT_TAG, u">");
      }
      return;
    case '>':
      tokenType = TK_START_TAG;
      Advance();
      return;
    default:
      tokenType = TK_START_TAG;
      if (openQuote != 0) {
        SetError(ET_UNCLOSED_ELEMENT_TAG, std::u16string(1, static_cast<char16_t>(openQuote)) + u">");
      } else {
        SetError(ET_UNCLOSED_ELEMENT_TAG, u">");
      }
  }
}

void TXmlDocTokenizer::ReadReference() {
  if (NextCp() == '#') {
    Advance();
    if (NextCp() == 'x') {
      tokenType = TK_CHAR_REF_HEX;
      Advance();
      StartAtNext();
      while (IsXmlHexDigit(NextCp())) {
        Advance();
        AddCurrent();
      }
    } else {
      tokenType = TK_CHAR_REF_DEC;
      StartAtNext();
      while (IsXmlDecDigit(NextCp())) {
        Advance();
        AddCurrent();
      }
    }
    EndAtCurrent();
    if (NextCp() == ';') {
      Advance();
    } else {
      SetError(ET_UNCLOSED_CHAR_REF, u";");
    }
    return;
  }
  tokenType = TK_ENTITY_REF;
  StartAtNext();
  UCS4Char c = NextCp();
  if (IsXmlLetter(c) || c == ':' || c == '_') {
    Advance();
    AddCurrent();
    while (IsXmlNameChar(NextCp())) {
      Advance();
      AddCurrent();
    }
    EndAtCurrent();
    if (NextCp() == ';') {
      Advance();
    } else {
      SetError(ET_UNCLOSED_ENTITY_REF, u";");
    }
    return;
  }
  EndAtCurrent();
  SetError(ET_MISSING_ENTITY_NAME);
}
