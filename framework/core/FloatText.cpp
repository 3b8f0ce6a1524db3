#include "core/FloatText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace {

// A non-negative decimal number d1.d2d3... x 10^exponent; no digits means zero.
struct Decimal {
  std::string digits;
  int exponent = 0;
};

// Text of a value that is not finite, or empty for a finite one.
std::string NonFiniteText(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  return {};
}

// The shortest digits that read back as |value|. Rounding starts from these, so
// 0.125 and 1.005 round the way they are written (0.13, 1.01), not by the
// binary value's tail.
Decimal ShortestDecimal(double value) {
  Decimal d;
  if (value == 0) return d;
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::scientific);
  std::string_view text(buffer, static_cast<size_t>(result.ptr - buffer));
  size_t e = text.find('e');
  for (size_t i = 0; i < e; ++i)
    if (text[i] != '.') d.digits += text[i];
  d.exponent = std::atoi(std::string(text.substr(e + 1)).c_str());
  while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
  return d;
}

// Keeps keep significant digits (keep may be zero or negative), rounding half
// away from zero.
void RoundDecimal(Decimal& d, int keep) {
  if (keep >= static_cast<int>(d.digits.size())) return;
  if (keep < 0) {
    d.digits.clear();
    return;
  }
  bool up = d.digits[static_cast<size_t>(keep)] >= '5';
  d.digits.resize(static_cast<size_t>(keep));
  if (up) {
    int i = keep - 1;
    while (i >= 0 && d.digits[static_cast<size_t>(i)] == '9') d.digits[static_cast<size_t>(i--)] = '0';
    if (i >= 0) {
      ++d.digits[static_cast<size_t>(i)];
    } else {
      d.digits.insert(d.digits.begin(), '1');
      ++d.exponent;
    }
  }
  while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
}

// The digit at decimal position power (10^power) of d.
char DigitAt(const Decimal& d, int power) {
  int index = d.exponent - power;
  if (index < 0 || index >= static_cast<int>(d.digits.size())) return '0';
  return d.digits[static_cast<size_t>(index)];
}

std::string FixedDigits(const Decimal& d, int decimals) {
  std::string text;
  int top = d.digits.empty() ? 0 : std::max(d.exponent, 0);
  for (int power = top; power >= 0; --power) text += DigitAt(d, power);
  if (decimals > 0) {
    text += '.';
    for (int power = -1; power >= -decimals; --power) text += DigitAt(d, power);
  }
  return text;
}

}  // namespace

std::string FloatFixedText(double value, int decimals) {
  std::string special = NonFiniteText(value);
  if (!special.empty()) return special;
  decimals = std::clamp(decimals, 0, 18);
  Decimal d = ShortestDecimal(value);
  RoundDecimal(d, d.exponent + 1 + decimals);
  std::string text = (value < 0 && !d.digits.empty()) ? "-" : "";
  return text + FixedDigits(d, decimals);
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
  Decimal d = ShortestDecimal(value);
  RoundDecimal(d, digits);
  bool zero = d.digits.empty();
  std::string mantissa = d.digits + std::string(static_cast<size_t>(digits) - d.digits.size(), '0');
  int exponent = zero ? 0 : d.exponent;
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
  Decimal d = ShortestDecimal(value);
  RoundDecimal(d, digits);
  if (d.digits.empty()) return "0";
  std::string text = value < 0 ? "-" : "";
  // Judged after rounding, so a value that rounds up to 1E-5 is written 0.00001.
  bool fixed = d.exponent + 1 <= digits && d.exponent >= -5;
  if (!fixed) {
    text += d.digits[0];
    if (d.digits.size() > 1) text += '.' + d.digits.substr(1);
    return text + 'E' + std::to_string(d.exponent);
  }
  int decimals = std::max(0, static_cast<int>(d.digits.size()) - 1 - d.exponent);
  return text + FixedDigits(d, decimals);
}
