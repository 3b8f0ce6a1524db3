#include "core/TextCompare.h"

#include <array>

namespace {

struct CaseTables {
  std::array<unsigned char, 256> lower;
  std::array<unsigned char, 256> upper;
};

// Code page 1252's case pairs, built once.
const CaseTables& Tables() {
  static const CaseTables tables = [] {
    CaseTables t{};
    for (int c = 0; c < 256; ++c) {
      t.lower[c] = static_cast<unsigned char>(c);
      t.upper[c] = static_cast<unsigned char>(c);
    }
    auto pair = [&t](int capital, int small) {
      t.lower[capital] = static_cast<unsigned char>(small);
      t.upper[small] = static_cast<unsigned char>(capital);
    };
    for (int c = 'A'; c <= 'Z'; ++c) pair(c, c + 0x20);
    for (int c = 0xC0; c <= 0xDE; ++c) {
      if (c != 0xD7) pair(c, c + 0x20);
    }
    pair(0x8A, 0x9A);  // S caron
    pair(0x8C, 0x9C);  // OE ligature
    pair(0x8E, 0x9E);  // Z caron
    pair(0x9F, 0xFF);  // Y diaeresis
    return t;
  }();
  return tables;
}

}  // namespace

char AnsiLowerChar(char c) {
  return static_cast<char>(Tables().lower[static_cast<unsigned char>(c)]);
}

char AnsiUpperChar(char c) {
  return static_cast<char>(Tables().upper[static_cast<unsigned char>(c)]);
}

int AnsiCompareText(std::string_view a, std::string_view b) {
  const auto& lower = Tables().lower;
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    int ca = lower[static_cast<unsigned char>(a[i])];
    int cb = lower[static_cast<unsigned char>(b[i])];
    if (ca != cb) return ca - cb;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool AnsiSameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && AnsiCompareText(a, b) == 0;
}

int AnsiCompareStr(std::string_view a, std::string_view b) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    int ca = static_cast<unsigned char>(a[i]);
    int cb = static_cast<unsigned char>(b[i]);
    if (ca != cb) return ca - cb;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool AnsiSameStr(std::string_view a, std::string_view b) { return a == b; }

std::string AnsiUpperCase(std::string_view s) {
  std::string result(s);
  for (char& c : result) c = AnsiUpperChar(c);
  return result;
}

std::string AnsiLowerCase(std::string_view s) {
  std::string result(s);
  for (char& c : result) c = AnsiLowerChar(c);
  return result;
}
