#pragma once
// TNameSet: the names met so far in one tag, as views into text that outlives
// the set. A linear scan while the set is small, a hash set beyond it, so a
// tag with three attributes and one with a million both stay cheap.
#include <string_view>
#include <unordered_set>
#include <vector>

class TNameSet {
public:
  // Adds name; false when it was there already.
  bool Insert(std::u16string_view name) {
    if (many.empty()) {
      for (std::u16string_view known : few) {
        if (known == name) return false;
      }
      few.push_back(name);
      if (few.size() > kLinearLimit) many.insert(few.begin(), few.end());
      return true;
    }
    return many.insert(name).second;
  }

private:
  static constexpr size_t kLinearLimit = 16;
  std::vector<std::u16string_view> few;
  std::unordered_set<std::u16string_view> many;
};
