#pragma once
// TNameSet: the names met so far in one tag, as views into text that outlives
// the set. A linear scan while the set is small, a hash set beyond it, so a
// tag with three attributes and one with a million both stay cheap.
#include <array>
#include <string_view>
#include <unordered_set>
#include <vector>

class TNameSet {
public:
  // Adds name; false when it was there already.
  bool Insert(std::u16string_view name) {
    if (fewCount <= kLinearLimit) {
      for (size_t i = 0; i < fewCount; ++i) {
        if (few[i] == name) return false;
      }
      if (fewCount < kLinearLimit) {
        few[fewCount++] = TFewName{name.data(), name.size()};
        return true;
      }
      for (const TFewName& f : few) many.insert(f);
      ++fewCount;  // from now on the hash set holds them all
    }
    return many.insert(name).second;
  }

private:
  static constexpr size_t kLinearLimit = 16;
  // No allocation for a usual tag, and no clearing of room it does not use.
  struct TFewName {
    const char16_t* data;
    size_t size;
    bool operator==(std::u16string_view name) const { return std::u16string_view(data, size) == name; }
    operator std::u16string_view() const { return std::u16string_view(data, size); }
  };
  TFewName few[kLinearLimit];
  size_t fewCount = 0;
  std::unordered_set<std::u16string_view> many;
};
