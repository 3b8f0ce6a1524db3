#include "xml/WideStrCompare.h"

#include <algorithm>

int CompareWideStr(std::u16string_view s1, std::u16string_view s2) {
  size_t common = std::min(s1.size(), s2.size());
  for (size_t i = 0; i < common; ++i) {
    if (s1[i] != s2[i]) return int(s1[i]) - int(s2[i]);
  }
  // Lengths of strings held in memory differ by less than INT_MAX in practice;
  // clamp anyway so that the sign is always right.
  if (s1.size() == s2.size()) return 0;
  return s1.size() < s2.size() ? -int(std::min<size_t>(s2.size() - s1.size(), 0x7FFFFFFF))
                               : int(std::min<size_t>(s1.size() - s2.size(), 0x7FFFFFFF));
}

void TranslateWideStr(std::u16string_view s, std::u16string_view fromStr, std::u16string_view toStr,
                      std::u16string& result) {
  std::u16string out;
  out.reserve(s.size());
  for (char16_t c : s) {
    size_t p = fromStr.find(c);
    if (p == std::u16string_view::npos) {
      out += c;
    } else if (p < toStr.size()) {
      out += toStr[p];
    }
  }
  result = std::move(out);
}
