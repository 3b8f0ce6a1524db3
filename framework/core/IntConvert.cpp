// Integer <-> text conversions of SysUtils.h.
#include <cstdint>
#include <limits>

#include "core/Exception.h"
#include "core/SysUtils.h"

namespace {

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Parses text into value with bits 32 or 64. Decimal must fit the signed range;
// hexadecimal may fill all bits (taken as two's complement).
bool ParseInteger(std::string_view text, int bits, int64_t& value) {
  size_t pos = 0;
  while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) negative = text[pos++] == '-';
  bool hex = false;
  if (pos < text.size() && text[pos] == '$') {
    hex = true;
    ++pos;
  } else if (pos + 1 < text.size() && text[pos] == '0' && (text[pos + 1] == 'x' || text[pos + 1] == 'X')) {
    hex = true;
    pos += 2;
  }
  if (pos >= text.size()) return false;
  const uint64_t hexLimit = bits == 64 ? std::numeric_limits<uint64_t>::max() : 0xFFFFFFFFull;
  const uint64_t decLimit = (bits == 64 ? uint64_t{1} << 63 : uint64_t{1} << 31) - (negative ? 0 : 1);
  const uint64_t limit = hex ? hexLimit : decLimit;
  const unsigned base = hex ? 16 : 10;
  uint64_t magnitude = 0;
  for (; pos < text.size(); ++pos) {
    int digit = hex ? HexDigitValue(text[pos]) : (text[pos] >= '0' && text[pos] <= '9' ? text[pos] - '0' : -1);
    if (digit < 0) return false;
    if (magnitude > (limit - static_cast<unsigned>(digit)) / base) return false;
    magnitude = magnitude * base + static_cast<unsigned>(digit);
  }
  if (bits == 32 && hex) magnitude = static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(magnitude)));
  uint64_t result = negative ? uint64_t{0} - magnitude : magnitude;
  value = static_cast<int64_t>(result);
  return true;
}

[[noreturn]] void RaiseNotInteger(std::string_view text) {
  throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
}

}  // namespace

std::string IntToStr(int64_t value) { return std::to_string(value); }

std::u16string IntToWideStr(int64_t value) {
  std::string text = std::to_string(value);
  return std::u16string(text.begin(), text.end());
}

std::string UIntToHex(uint64_t value, int digits) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  do {
    text.insert(text.begin(), kDigits[value & 15]);
    value >>= 4;
  } while (value != 0);
  if (digits > static_cast<int>(text.size())) text.insert(0, static_cast<size_t>(digits) - text.size(), '0');
  return text;
}

bool TryStrToInt(std::string_view text, int32_t& value) {
  int64_t wide = 0;
  if (!ParseInteger(text, 32, wide)) return false;
  value = static_cast<int32_t>(wide);
  return true;
}

bool TryStrToInt64(std::string_view text, int64_t& value) { return ParseInteger(text, 64, value); }

int32_t StrToInt(std::string_view text) {
  int32_t value = 0;
  if (!TryStrToInt(text, value)) RaiseNotInteger(text);
  return value;
}

int64_t StrToInt64(std::string_view text) {
  int64_t value = 0;
  if (!TryStrToInt64(text, value)) RaiseNotInteger(text);
  return value;
}

int32_t StrToIntDef(std::string_view text, int32_t fallback) {
  int32_t value = 0;
  return TryStrToInt(text, value) ? value : fallback;
}

int64_t StrToInt64Def(std::string_view text, int64_t fallback) {
  int64_t value = 0;
  return TryStrToInt64(text, value) ? value : fallback;
}
