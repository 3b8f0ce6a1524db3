#include "xml/WideStrCompare.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <vector>

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
  auto put = [&](char16_t c, size_t p) {
    if (p == std::u16string_view::npos) {
      out += c;
    } else if (p < toStr.size()) {
      out += toStr[p];
    }
  };
  if (fromStr.size() <= 16) {
    for (char16_t c : s) put(c, fromStr.find(c));
  } else if (fromStr.size() <= 256) {
    // The first place of each code unit in fromStr, sorted by unit: a binary
    // search per unit of s instead of a scan of fromStr, and a table no
    // larger than fromStr (short calls stay cheap).
    std::vector<std::pair<char16_t, uint32_t>> first;
    first.reserve(fromStr.size());
    for (size_t p = 0; p < fromStr.size(); ++p) first.emplace_back(fromStr[p], static_cast<uint32_t>(p));
    std::sort(first.begin(), first.end());
    first.erase(std::unique(first.begin(), first.end(), [](const auto& a, const auto& b) { return a.first == b.first; }),
                first.end());
    for (char16_t c : s) {
      auto found = std::lower_bound(first.begin(), first.end(), std::make_pair(c, uint32_t(0)));
      put(c, found != first.end() && found->first == c ? size_t(found->second) : std::u16string_view::npos);
    }
  } else {
    // A long fromStr: a bit per code unit says which units it holds, and the
    // first place of each is stored by the unit's rank among them (the bits
    // set below it). Two passes over fromStr, one lookup per unit of s, in
    // time linear in both however many distinct units fromStr holds.
    constexpr size_t kWords = 0x10000 / 64;
    std::vector<uint64_t> present(kWords, 0);
    for (char16_t c : fromStr) present[c / 64] |= uint64_t(1) << (c % 64);
    std::vector<uint32_t> ranksBefore(kWords, 0);
    uint32_t distinct = 0;
    for (size_t w = 0; w < kWords; ++w) {
      ranksBefore[w] = distinct;
      distinct += static_cast<uint32_t>(std::popcount(present[w]));
    }
    auto rank = [&](char16_t c) {
      return ranksBefore[c / 64] + static_cast<uint32_t>(std::popcount(present[c / 64] & ((uint64_t(1) << (c % 64)) - 1)));
    };
    std::vector<uint32_t> first(distinct, uint32_t(-1));
    for (size_t p = fromStr.size(); p-- > 0;) first[rank(fromStr[p])] = static_cast<uint32_t>(p);
    for (char16_t c : s) {
      bool held = (present[c / 64] >> (c % 64)) & 1;
      put(c, held ? size_t(first[rank(c)]) : std::u16string_view::npos);
    }
  }
  result = std::move(out);
}

size_t FindWideStr(std::u16string_view text, std::u16string_view pattern) {
  if (pattern.empty()) return 0;
  if (pattern.size() > text.size()) return std::u16string_view::npos;
  // Knuth-Morris-Pratt: each unit of text is looked at a bounded number of
  // times, whatever repeats the pattern holds.
  std::vector<size_t> border(pattern.size(), 0);
  for (size_t i = 1, k = 0; i < pattern.size(); ++i) {
    while (k > 0 && pattern[i] != pattern[k]) k = border[k - 1];
    if (pattern[i] == pattern[k]) ++k;
    border[i] = k;
  }
  for (size_t i = 0, k = 0; i < text.size(); ++i) {
    while (k > 0 && text[i] != pattern[k]) k = border[k - 1];
    if (text[i] == pattern[k]) ++k;
    if (k == pattern.size()) return i + 1 - k;
  }
  return std::u16string_view::npos;
}
