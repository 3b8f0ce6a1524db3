#include "core/FloatText.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

// Text of a value that is not finite, or empty for a finite one.
std::string NonFiniteText(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  return {};
}

bool AllZeroDigits(const std::string& text) {
  return std::none_of(text.begin(), text.end(), [](char c) { return c >= '1' && c <= '9'; });
}

// Drops the sign of a negative value that rounded to zero ("-0.00").
void DropNegativeZero(std::string& text) {
  if (!text.empty() && text[0] == '-' && AllZeroDigits(text)) text.erase(0, 1);
}

// Significant digits (without point) and the decimal exponent of the first one,
// rounded to digits significant digits.
void Decompose(double value, int digits, std::string& mantissa, int& exponent) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                              std::chars_format::scientific, digits - 1);
  std::string text(buffer, result.ptr);
  size_t e = text.find('e');
  exponent = std::stoi(text.substr(e + 1));
  mantissa.clear();
  for (size_t i = 0; i < e; ++i)
    if (text[i] != '.') mantissa += text[i];
}

}  // namespace

std::string FloatFixedText(double value, int decimals) {
  std::string special = NonFiniteText(value);
  if (!special.empty()) return special;
  decimals = std::clamp(decimals, 0, 18);
  char buffer[400];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  std::string text(buffer, result.ptr);
  DropNegativeZero(text);
  return text;
}

std::string FloatNumberText(double value, int decimals) {
  std::string text = FloatFixedText(value, decimals);
  if (!std::isfinite(value)) return text;
  size_t begin = text[0] == '-' ? 1 : 0;
  size_t end = text.find('.');
  if (end == std::string::npos) end = text.size();
  for (size_t pos = end; pos > begin + 3;) {
    pos -= 3;
    text.insert(pos, 1, ',');
  }
  return text;
}

std::string FloatScientificText(double value, int digits) {
  std::string special = NonFiniteText(value);
  if (!special.empty()) return special;
  digits = std::clamp(digits, 1, 18);
  std::string mantissa;
  int exponent = 0;
  Decompose(value, digits, mantissa, exponent);
  bool zero = AllZeroDigits(mantissa);
  if (zero) exponent = 0;
  std::string text = (value < 0 && !zero) ? "-" : "";
  text += mantissa[0];
  if (mantissa.size() > 1) text += '.' + mantissa.substr(1);
  text += exponent < 0 ? "E-" : "E+";
  std::string expDigits = std::to_string(std::abs(exponent));
  text += std::string(expDigits.size() < 3 ? 3 - expDigits.size() : 0, '0') + expDigits;
  return text;
}

std::string FloatGeneralText(double value, int digits) {
  std::string special = NonFiniteText(value);
  if (!special.empty()) return special;
  digits = std::clamp(digits, 1, 18);
  if (value == 0) return "0";
  std::string mantissa;
  int exponent = 0;
  Decompose(value, digits, mantissa, exponent);
  while (mantissa.size() > 1 && mantissa.back() == '0') mantissa.pop_back();
  std::string text = value < 0 ? "-" : "";
  // Judge the magnitude after rounding, so 0.0000099999... that rounds up to
  // 1E-5 is written like 0.00001.
  bool fixed = exponent + 1 <= digits && exponent >= -5;
  if (!fixed) {
    text += mantissa[0];
    if (mantissa.size() > 1) text += '.' + mantissa.substr(1);
    text += 'E';
    text += std::to_string(exponent);
    return text;
  }
  if (exponent < 0) {
    text += "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + mantissa;
    return text;
  }
  size_t intDigits = static_cast<size_t>(exponent) + 1;
  if (mantissa.size() <= intDigits) {
    text += mantissa + std::string(intDigits - mantissa.size(), '0');
    return text;
  }
  text += mantissa.substr(0, intDigits) + '.' + mantissa.substr(intDigits);
  return text;
}
