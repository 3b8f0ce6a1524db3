#pragma once
// A folder's own order of its children (its CompareIDs on column 0) guessed
// from keys computed once an item, so that sorting thousands of children
// need not ask the folder for every pair. The guess is folders first, then
// the in-folder parsing names by the user's collation without case, then
// the exact names (a file-system item's name read from its find data, the
// folder asked only for other items' names); callers confirm it with the
// folder for each neighbouring pair, since a folder may order by other
// rules (numbers by value, say).
#include <string>
#include <vector>

#include "shell/Namespace.h"

namespace shellorder {

// The positions 0..n-1 of items in the keyed order, stable among equal keys.
std::vector<size_t> KeyedOrder(const std::vector<TNamespace*>& items);
// True when compare (<0, 0, >0 as the folder answers) puts every
// neighbouring pair of items in order, ascending or descending; a pair it
// calls equal is not confirmed (two children of one folder never are).
template <class Item, class Compare>
bool NeighboursInOrder(const std::vector<Item>& items, bool descending, Compare&& compare) {
  for (size_t i = 0; i + 1 < items.size(); ++i) {
    int order = compare(items[i], items[i + 1]);
    if (order == 0 || (order > 0) != descending) return false;
  }
  return true;
}

}  // namespace shellorder
