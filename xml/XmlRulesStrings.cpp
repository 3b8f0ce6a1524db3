#include "xml/XmlRulesStrings.h"

#include <cstdint>

#include "xml/XmlRulesChars.h"

namespace {

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Names and tokens are walked once with a flag saying that a new item must
// start at the next unit: a space sets it, a second space or a trailing one fails.
template <class FirstPred, class NextPred>
bool IsSpaceSeparatedList(std::u16string_view s, FirstPred first, NextPred next) {
  if (s.empty()) return false;
  bool atStart = true;
  for (char16_t c : s) {
    if (c == u' ') {
      if (atStart) return false;
      atStart = true;
      continue;
    }
    if (atStart ? !first(c) : !next(c)) return false;
    atStart = false;
  }
  return !atStart;
}

bool HasBothQuotes(std::u16string_view s) {
  return s.find(u'\'') != std::u16string_view::npos && s.find(u'"') != std::u16string_view::npos;
}

// ASCII name classes, one lookup each: bit 1 starts a Name, bit 2 continues one.
constexpr uint8_t kAsciiNameStart = 1;
constexpr uint8_t kAsciiNameChar = 2;
struct AsciiNameTable {
  uint8_t bits[128] = {};
  constexpr AsciiNameTable() {
    for (int c = 'A'; c <= 'Z'; ++c) bits[c] = bits[c + 32] = kAsciiNameStart | kAsciiNameChar;
    for (int c = '0'; c <= '9'; ++c) bits[c] = kAsciiNameChar;
    bits['_'] = bits[':'] = kAsciiNameStart | kAsciiNameChar;
    bits['.'] = bits['-'] = kAsciiNameChar;
  }
};
constexpr AsciiNameTable kAsciiName;

bool IsNameStart(char16_t c) {
  if (c < 0x80) return (kAsciiName.bits[c] & kAsciiNameStart) != 0;
  return IsXmlLetterWideChar(c);
}
bool IsNameChar(char16_t c) {
  if (c < 0x80) return (kAsciiName.bits[c] & kAsciiNameChar) != 0;
  return IsXmlNameCharWideChar(c);
}

// Walks s as XML characters; stop(c, p) may end the walk early with false
// (p points at c). A unit is taken in two compares in the common case.
template <class Stop>
bool AllXmlChars(std::u16string_view s, Stop stop) {
  const char16_t* p = s.data();
  const char16_t* end = p + s.size();
  while (p < end) {
    char16_t c = *p;
    if (c >= 0x20 && c < 0xD800) {
      if (stop(c, p, end)) return false;
      ++p;
      continue;
    }
    if (c < 0x20) {
      if (c != 0x09 && c != 0x0A && c != 0x0D) return false;
      ++p;
      continue;
    }
    if (IsHighSurrogate(c)) {
      if (p + 1 >= end || !IsLowSurrogate(p[1])) return false;
      p += 2;
      continue;
    }
    if (IsLowSurrogate(c) || c > 0xFFFD) return false;
    ++p;
  }
  return true;
}
bool IsNCNameStart(char16_t c) { return IsXmlLetterWideChar(c) || c == u'_'; }

}  // namespace

std::u16string GetXmlWhiteSpaceWideStr() { return u" \r\n\t"; }

bool IsXmlChars(std::u16string_view s) {
  return AllXmlChars(s, [](char16_t, const char16_t*, const char16_t*) { return false; });
}

bool IsXmlS(std::u16string_view s) {
  if (s.empty()) return false;
  for (char16_t c : s) {
    if (c != u' ' && c != u'\n' && c != u'\t' && c != u'\r') return false;
  }
  return true;
}

bool IsXmlName(std::u16string_view s) {
  if (s.empty() || !IsNameStart(s[0])) return false;
  for (size_t i = 1; i < s.size(); ++i) {
    if (!IsNameChar(s[i])) return false;
  }
  return true;
}

bool IsXmlNames(std::u16string_view s) {
  return IsSpaceSeparatedList(s, IsNameStart, IsXmlNameCharWideChar);
}

bool IsXmlNmtoken(std::u16string_view s) {
  if (s.empty()) return false;
  for (char16_t c : s) {
    if (!IsXmlNameCharWideChar(c)) return false;
  }
  return true;
}

bool IsXmlNmtokens(std::u16string_view s) {
  return IsSpaceSeparatedList(s, IsXmlNameCharWideChar, IsXmlNameCharWideChar);
}

bool IsXmlCharRef(std::u16string_view s) {
  if (s.size() < 4 || s.substr(0, 2) != u"&#" || s.back() != u';') return false;
  std::u16string_view digits = s.substr(2, s.size() - 3);
  bool hex = digits[0] == u'x';
  if (hex) digits.remove_prefix(1);
  if (digits.empty()) return false;
  for (char16_t c : digits) {
    if (hex ? !IsXmlHexDigit(c) : !IsXmlDecDigit(c)) return false;
  }
  return true;
}

bool IsXmlEntityRef(std::u16string_view s) {
  if (s.size() < 3 || s.front() != u'&' || s.back() != u';') return false;
  return IsXmlName(s.substr(1, s.size() - 2));
}

bool IsXmlReference(std::u16string_view s) { return IsXmlEntityRef(s) || IsXmlCharRef(s); }

bool IsXmlEntityValueChars(std::u16string_view s) {
  if (!IsXmlChars(s) || HasBothQuotes(s)) return false;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == u'%') return false;
    if (s[i] != u'&') continue;
    size_t end = s.find(u';', i);
    if (end == std::u16string_view::npos || !IsXmlReference(s.substr(i, end - i + 1))) return false;
    i = end;
  }
  return true;
}

bool IsXmlSystemLiteral(std::u16string_view s) {
  if (s.size() < 2) return false;
  char16_t quote = s.front();
  if ((quote != u'\'' && quote != u'"') || s.back() != quote) return false;
  std::u16string_view inner = s.substr(1, s.size() - 2);
  return inner.find(quote) == std::u16string_view::npos && IsXmlChars(inner);
}

bool IsXmlQuotableChars(std::u16string_view s) { return IsXmlChars(s) && !HasBothQuotes(s); }

bool IsXmlPredefinedEntityName(std::u16string_view s) { return XmlPredefinedEntityChar(s) != 0; }

char16_t XmlPredefinedEntityChar(std::u16string_view name) {
  if (name == u"lt") return u'<';
  if (name == u"gt") return u'>';
  if (name == u"amp") return u'&';
  if (name == u"apos") return u'\'';
  if (name == u"quot") return u'"';
  return 0;
}

bool IsXmlPubidChars(std::u16string_view s) {
  for (char16_t c : s) {
    if (!IsXmlPubidChar(c)) return false;
  }
  return true;
}

bool IsXmlCData(std::u16string_view s) {
  return AllXmlChars(s, [](char16_t c, const char16_t* p, const char16_t* end) {
    return c == u']' && end - p >= 3 && p[1] == u']' && p[2] == u'>';
  });
}

bool IsXmlCharData(std::u16string_view s) {
  return AllXmlChars(s, [](char16_t c, const char16_t*, const char16_t*) { return c == u'<' || c == u'&'; });
}

bool IsXmlPITarget(std::u16string_view s) {
  if (!IsXmlName(s)) return false;
  if (s.size() != 3) return true;
  return !((s[0] == u'x' || s[0] == u'X') && (s[1] == u'm' || s[1] == u'M') && (s[2] == u'l' || s[2] == u'L'));
}

bool IsXmlVersionNum(std::u16string_view s) {
  if (s.empty()) return false;
  for (char16_t c : s) {
    if (!IsXmlVersionNumCharWideChar(c)) return false;
  }
  return true;
}

bool IsXmlEncName(std::u16string_view s) {
  if (s.empty() || !IsXmlEncNameLeadingChar(s[0])) return false;
  for (size_t i = 1; i < s.size(); ++i) {
    if (!IsXmlEncNameFollowingChar(s[i])) return false;
  }
  return true;
}

bool IsXmlNCName(std::u16string_view s) {
  if (s.empty() || !IsNCNameStart(s[0])) return false;
  for (size_t i = 1; i < s.size(); ++i) {
    if (!IsXmlNCNameCharWideChar(s[i])) return false;
  }
  return true;
}

bool IsXmlLocalPart(std::u16string_view s) { return IsXmlNCName(s); }

bool IsXmlPrefix(std::u16string_view s) { return IsXmlNCName(s); }

bool IsXmlQName(std::u16string_view s) {
  size_t colon = s.find(u':');
  if (colon == std::u16string_view::npos) return IsXmlNCName(s);
  return IsXmlNCName(s.substr(0, colon)) && IsXmlNCName(s.substr(colon + 1));
}

bool IsXmlDefaultAttName(std::u16string_view s) { return s == u"xmlns"; }

bool IsXmlPrefixedAttName(std::u16string_view s) {
  return s.size() > 6 && s.substr(0, 6) == u"xmlns:" && IsXmlNCName(s.substr(6));
}
