#pragma once
// Private to the core: a bottom-up merge sort whose every index is bounded by
// the ranges it merges, so a comparison that is no consistent order (or that
// answers at random) yields some permutation and never reads out of range.
#include <cstddef>
#include <utility>
#include <vector>

// Sorts items stably; compare(a, b) < 0 means a goes before b.
template <class T, class Compare>
void StableSort(std::vector<T>& items, Compare compare) {
  size_t n = items.size();
  if (n < 2) return;
  std::vector<T> scratch(n);
  std::vector<T>* from = &items;
  std::vector<T>* to = &scratch;
  for (size_t width = 1; width < n; width *= 2) {
    for (size_t lo = 0; lo < n; lo += 2 * width) {
      size_t mid = lo + width < n ? lo + width : n;
      size_t hi = lo + 2 * width < n ? lo + 2 * width : n;
      size_t left = lo, right = mid, out = lo;
      while (left < mid && right < hi) {
        // Take from the right only when it is strictly first: equal items keep their order.
        if (compare((*from)[right], (*from)[left]) < 0)
          (*to)[out++] = std::move((*from)[right++]);
        else
          (*to)[out++] = std::move((*from)[left++]);
      }
      while (left < mid) (*to)[out++] = std::move((*from)[left++]);
      while (right < hi) (*to)[out++] = std::move((*from)[right++]);
    }
    std::swap(from, to);
  }
  if (from != &items) items = std::move(*from);
}
