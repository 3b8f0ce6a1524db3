// Floating point <-> text conversions of SysUtils.h.
#include <charconv>
#include <cmath>
#include <system_error>

#include "core/Exception.h"
#include "core/FloatText.h"
#include "core/SysUtils.h"

std::string FloatToStr(double value) { return FloatGeneralText(value, 15); }

bool TryStrToFloat(std::string_view text, double& value) {
  size_t pos = 0;
  while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
  text.remove_prefix(pos);
  // from_chars takes no '+' and insists on a digit before the point; the
  // classic syntax allows both, so they are normalised here.
  std::string normal;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    if (text[0] == '-') normal += '-';
    text.remove_prefix(1);
  }
  if (text.empty() || !(std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '.')) return false;
  size_t mantissaEnd = text.find_first_of("eE");
  std::string_view mantissa = text.substr(0, mantissaEnd);
  if (mantissa.find_first_of("0123456789") == std::string_view::npos) return false;
  if (text[0] == '.') normal += '0';
  normal.append(text);
  double result = 0;
  const char* end = normal.data() + normal.size();
  auto parsed = std::from_chars(normal.data(), end, result, std::chars_format::general);
  if (parsed.ec != std::errc() || parsed.ptr != end) return false;
  if (!std::isfinite(result)) return false;
  value = result;
  return true;
}

double StrToFloat(std::string_view text) {
  double value = 0;
  if (!TryStrToFloat(text, value))
    throw EConvertError("'" + std::string(text) + "' is not a valid floating point value");
  return value;
}

double StrToFloatDef(std::string_view text, double fallback) {
  double value = 0;
  return TryStrToFloat(text, value) ? value : fallback;
}
