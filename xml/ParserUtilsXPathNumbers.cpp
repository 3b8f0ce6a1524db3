#include "xml/ParserUtilsXPathNumbers.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "xml/XmlRulesChars.h"

double XPathRound(double x) {
  if (std::isnan(x) || std::isinf(x)) return x;
  // From 2^52 on every double is an integer; below, x - floor(x) is exact.
  if (std::fabs(x) >= 4503599627370496.0) return x;
  double lower = std::floor(x);
  double result = (x - lower >= 0.5) ? lower + 1.0 : lower;
  if (result == 0.0 && std::signbit(x)) return -0.0;
  return result;
}

double XPathWideStrToNumber(std::u16string_view text) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  size_t first = 0;
  size_t last = text.size();
  while (first < last && IsXmlWhiteSpaceWideChar(text[first])) ++first;
  while (last > first && IsXmlWhiteSpaceWideChar(text[last - 1])) --last;
  std::u16string_view s = text.substr(first, last - first);
  if (s.empty()) return kNaN;
  std::string ascii;
  ascii.reserve(s.size());
  size_t i = 0;
  if (s[0] == u'-') {
    ascii += '-';
    i = 1;
  }
  bool seenPoint = false;
  bool seenDigit = false;
  for (; i < s.size(); ++i) {
    char16_t c = s[i];
    if (c == u'.') {
      if (seenPoint) return kNaN;
      seenPoint = true;
    } else if (c >= u'0' && c <= u'9') {
      seenDigit = true;
    } else {
      return kNaN;
    }
    ascii += char(c);
  }
  if (!seenDigit) return kNaN;
  // "5." is 5, as the expression grammar reads the literal.
  if (ascii.back() == '.') ascii.pop_back();
  double value = kNaN;
  const char* begin = ascii.data();
  const char* end = begin + ascii.size();
  auto [ptr, ec] = std::from_chars(begin, end, value, std::chars_format::fixed);
  // Out of range: from_chars leaves value alone; the XPath number is then
  // infinity (too large) or zero (too small) with the text's sign.
  if (ec == std::errc::result_out_of_range) {
    bool tiny = ascii.find_first_of("123456789") > ascii.find('.');
    double magnitude = tiny ? 0.0 : std::numeric_limits<double>::infinity();
    return ascii[0] == '-' ? -magnitude : magnitude;
  }
  if (ec != std::errc() || ptr != end) return kNaN;
  return value;
}
