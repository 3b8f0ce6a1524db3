// Character references and XPath numbers against independent references:
// a saturating 64-bit reading of the digits, strtod in the C locale, and the
// definition of round() checked on arbitrary doubles.
#include <clocale>
#include <cmath>
#include <cstring>
#include <string>

#include "FuzzXmlUtils.h"
#include "core/Exception.h"
#include "xml/ParserUtilsCharRefs.h"
#include "xml/ParserUtilsXPathNumbers.h"
#include "xml/XmlRulesStrings.h"

namespace {

// The code point a syntactically valid reference denotes, saturated far above
// the Unicode range.
uint64_t ReferenceValue(const std::u16string& text) {
  bool hex = text[2] == u'x';
  uint64_t value = 0;
  for (size_t i = hex ? 3 : 2; i + 1 < text.size(); ++i) {
    char16_t c = text[i];
    uint64_t digit = c <= u'9' ? c - u'0' : (c | 0x20) - u'a' + 10;
    value = value * (hex ? 16 : 10) + digit;
    if (value > (uint64_t(1) << 40)) value = uint64_t(1) << 40;
  }
  return value;
}

bool IsAllowedCodePoint(uint64_t v) {
  if (v >= 0x10000) return v <= 0x10FFFF;
  if (v >= 0xD800 && v <= 0xDFFF) return false;
  return v == 9 || v == 10 || v == 13 || (v >= 0x20 && v <= 0xFFFD);
}

// The XPath Number production (Digits ('.' Digits?)? | '.' Digits: "5." is
// five) with an optional minus and optional white space around it.
bool LooksLikeNumber(const std::string& s, std::string& core) {
  size_t first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return false;
  size_t last = s.find_last_not_of(" \t\r\n");
  core = s.substr(first, last - first + 1);
  size_t i = core[0] == '-' ? 1 : 0;
  size_t digits = 0, points = 0;
  for (; i < core.size(); ++i) {
    if (core[i] == '.') {
      ++points;
    } else if (core[i] >= '0' && core[i] <= '9') {
      ++digits;
    } else {
      return false;
    }
  }
  return digits > 0 && points <= 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  std::setlocale(LC_NUMERIC, "C");
  std::u16string text = FuzzBytesToUnits(data, size);

  bool accepted = true;
  uint32_t value = 0;
  try {
    value = XmlCharRefToInt(text);
  } catch (const EConvertError&) {
    accepted = false;
  }
  bool expected = IsXmlCharRef(text) && IsAllowedCodePoint(ReferenceValue(text));
  QV_XML_FUZZ_CHECK(accepted == expected);
  if (accepted) {
    QV_XML_FUZZ_CHECK(value == ReferenceValue(text));
    std::u16string ch = XmlCharRefToWideStr(text);
    QV_XML_FUZZ_CHECK(ch.size() == (value >= 0x10000 ? 2u : 1u) && IsXmlChars(ch));
  }

  try {
    std::u16string resolved = ResolveCharRefsWideStr(text);
    QV_XML_FUZZ_CHECK(IsXmlChars(resolved.substr(resolved.empty() || resolved[0] != 0xFEFF ? 0 : 1)));
    if (text.find(u'&') == std::u16string::npos) QV_XML_FUZZ_CHECK(resolved == text);
  } catch (const EConvertError&) {
  }

  std::string ascii;
  for (char16_t c : text) ascii += c < 0x80 ? char(c) : '\x7F';
  double number = XPathWideStrToNumber(text);
  std::string core;
  bool asciiOnly = ascii.find('\x7F') == std::string::npos;
  if (asciiOnly && LooksLikeNumber(ascii, core)) {
    double reference = std::strtod(core.c_str(), nullptr);
    QV_XML_FUZZ_CHECK(std::memcmp(&number, &reference, sizeof number) == 0);
  } else {
    QV_XML_FUZZ_CHECK(std::isnan(number));
  }

  if (size >= 8) {
    double x;
    std::memcpy(&x, data, sizeof x);
    double r = XPathRound(x);
    if (std::isnan(x)) {
      QV_XML_FUZZ_CHECK(std::isnan(r));
    } else if (std::isinf(x)) {
      QV_XML_FUZZ_CHECK(r == x);
    } else {
      // round(x) is the integer r with -0.5 <= x - r < 0.5, taken exactly in
      // extended precision where x has a fraction.
      QV_XML_FUZZ_CHECK(r == std::floor(r));
      long double offset = static_cast<long double>(x) - static_cast<long double>(r);
      QV_XML_FUZZ_CHECK(offset >= -0.5L && offset < 0.5L);
      QV_XML_FUZZ_CHECK(r != 0 || std::signbit(r) == std::signbit(x));
    }
  }
  return 0;
}
