#pragma once
// The character classes of XML 1.0 (Second Edition), Appendix B, and the
// small ASCII classes of the XML and text declarations. Each class has a
// UCS-4 form (a code point) and a WideChar form that tests the code unit as a
// code point below 0x10000. All are pure and keep no state.
#include <cstdint>

// #x20, #x9, #xA, #xD.
inline bool IsXmlWhiteSpace(uint32_t c) { return c == 0x20 || c == 0x09 || c == 0x0A || c == 0x0D; }
bool IsXmlWhiteSpaceWideChar(char16_t c);
// #x0 and the four white-space characters.
bool IsXmlWhiteSpaceOrNull(uint32_t c);
bool IsXmlWhiteSpaceOrNullWideChar(char16_t c);
// BaseChar of Appendix B.
bool IsXmlBaseChar(uint32_t c);
bool IsXmlBaseCharWideChar(char16_t c);
// Ideographic: #x4E00-#x9FA5, #x3007, #x3021-#x3029.
bool IsXmlIdeographic(uint32_t c);
bool IsXmlIdeographicWideChar(char16_t c);
// Letter: BaseChar or Ideographic.
bool IsXmlLetter(uint32_t c);
bool IsXmlLetterWideChar(char16_t c);
// CombiningChar of Appendix B.
bool IsXmlCombiningChar(uint32_t c);
bool IsXmlCombiningCharWideChar(char16_t c);
// Digit of Appendix B (fifteen ten-digit ranges).
bool IsXmlDigit(uint32_t c);
bool IsXmlDigitWideChar(char16_t c);
// Extender of Appendix B.
bool IsXmlExtender(uint32_t c);
bool IsXmlExtenderWideChar(char16_t c);
// NameChar beyond ASCII (the tables of Appendix B).
bool IsXmlNameCharBeyondAscii(uint32_t c);
// NameChar: Letter, Digit, '.', '-', '_', ':', CombiningChar, Extender.
// Inline for ASCII, which the tokenizers ask about for every name.
inline bool IsXmlNameChar(uint32_t c) {
  if (c >= 0x80) return IsXmlNameCharBeyondAscii(c);
  uint32_t lower = c | 0x20;
  return (lower >= 'a' && lower <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_' || c == ':';
}
bool IsXmlNameCharWideChar(char16_t c);
// NameChar without ':'.
bool IsXmlNCNameCharWideChar(char16_t c);
// '0'-'9'.
inline bool IsXmlDecDigit(uint32_t c) { return c >= '0' && c <= '9'; }
// '0'-'9', 'A'-'F', 'a'-'f'.
inline bool IsXmlHexDigit(uint32_t c) { return IsXmlDecDigit(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f'); }
// 'A'-'Z', 'a'-'z', '0'-'9', '_', '.', ':', '-'.
bool IsXmlVersionNumChar(uint32_t c);
bool IsXmlVersionNumCharWideChar(char16_t c);
// 'A'-'Z', 'a'-'z'.
bool IsXmlEncNameLeadingChar(uint32_t c);
// 'A'-'Z', 'a'-'z', '0'-'9', '.', '_', '-'.
bool IsXmlEncNameFollowingChar(uint32_t c);
// #x9, #xA, #xD, #x20-#xFFFD; a code-unit test, so surrogate units pass.
bool IsXmlChar(char16_t c);
// PubidChar: #x20, #xD, #xA, ASCII letters and digits and -'()+,./:=?;!*#@$_%
bool IsXmlPubidChar(char16_t c);
