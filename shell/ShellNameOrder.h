#pragma once
// A folder's own order of its children (its CompareIDs on column 0) guessed
// from keys computed once an item, so that sorting thousands of children
// need not ask the folder for every pair. The guess is folders first, then
// the in-folder parsing names by the user's collation without case, then
// the exact names (a file-system item's name read from its find data, the
// folder asked only for other items' names); callers confirm it with the
// folder for each neighbouring pair, since a folder may order by other
// rules (numbers by value, say).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "shell/Namespace.h"

namespace shellorder {

// Keys that settle a file-system folder's order of two of its items without
// asking the folder, where the platform orders names by plain collation:
// directories before files (as the find data tells them), then the names by
// the primary weights of their characters, one character at a time. Only
// names made of characters the collation weighs alone get a key (printable
// ASCII but those it passes over at first, like '-' and '\''); the order of
// two items the keys do not settle (either has no key, or their weights are
// equal, as for names that differ only in case) is the folder's to tell.
class TNameKeys {
public:
  // The keys of items, children of one folder.
  explicit TNameKeys(const std::vector<TNamespace*>& items);
  // <0 or >0 when the keys settle the order of the items at a and b, else 0.
  int Order(size_t a, size_t b) const;
  // True unless the folder's compare (<0, 0, >0 as the folder answers) puts
  // the last keyed directory at or after the first keyed file: the one pair
  // where the keys' directories give way to their files.
  template <class Compare>
  bool DirectoriesFirst(Compare&& compare) const {
    size_t none = kinds.size(), lastDirectory = none, firstFile = none;
    for (size_t i = 0; i < kinds.size(); ++i) {
      if (kinds[i] == kDirectory && (lastDirectory == none || Order(lastDirectory, i) < 0)) lastDirectory = i;
      if (kinds[i] == kFile && (firstFile == none || Order(i, firstFile) < 0)) firstFile = i;
    }
    return lastDirectory == none || firstFile == none || compare(lastDirectory, firstFile) < 0;
  }

private:
  enum : uint8_t { kNone, kDirectory, kFile };
  std::vector<uint8_t> kinds;
  std::string weights;  // item i's run: weights[at[i], at[i + 1])
  std::vector<size_t> at{0};
};

// True when the names of folder's items are ordered by its CompareIDs
// (column 0) as TNameKeys orders them: probe names of every character that
// gets a key, put in the keys' order, are confirmed pair by pair by the
// folder. Asked of the first file-system folder only; the answer holds for
// the process. False where the folder has no file-system path or a probe
// cannot be made.
bool KeysAgreeWithFolder(TNamespace* folder);

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

// Puts items, nearly in order by compare (<0, 0, >0 as the folder answers),
// in order, ascending or descending: the two items of each descent are taken
// out until the rest stands in order, and each taken out is put back at its
// place found by binary search. Every neighbouring pair of the result has
// been confirmed by compare, as NeighboursInOrder confirms a whole list.
// False, with items as they were, when compare calls two items equal, a pair
// next to an item put back is not confirmed, or more than maxOut items would
// be taken out (the order is too far off for this to pay).
template <class Item, class Compare>
bool RepairNearOrder(std::vector<Item>& items, bool descending, size_t maxOut, Compare&& compare) {
  bool equal = false;
  auto before = [&](const Item& a, const Item& b) {
    int order = compare(a, b);
    if (order == 0) equal = true;
    return descending ? order > 0 : order < 0;
  };
  std::vector<Item> kept, out;
  kept.reserve(items.size());
  for (const Item& item : items) {
    if (kept.empty() || before(kept.back(), item)) {
      kept.push_back(item);
      continue;
    }
    if (equal) return false;
    out.push_back(kept.back());
    kept.pop_back();
    out.push_back(item);
    if (out.size() > maxOut) return false;
  }
  if (equal) return false;
  if (out.empty()) return true;
  // Where x belongs among list[from, to): the first item that x goes before.
  auto place = [&](const std::vector<Item>& list, size_t from, size_t to, const Item& x) {
    while (from < to) {
      size_t mid = from + (to - from) / 2;
      if (before(list[mid], x)) from = mid + 1;
      else to = mid;
    }
    return from;
  };
  std::vector<Item> back;  // those taken out, in order
  for (const Item& x : out) back.insert(back.begin() + static_cast<std::ptrdiff_t>(place(back, 0, back.size(), x)), x);
  std::vector<Item> result;
  std::vector<bool> putBack;
  result.reserve(items.size());
  size_t from = 0;
  for (const Item& x : back) {
    size_t at = place(kept, from, kept.size(), x);
    result.insert(result.end(), kept.begin() + static_cast<std::ptrdiff_t>(from), kept.begin() + static_cast<std::ptrdiff_t>(at));
    putBack.resize(result.size(), false);
    result.push_back(x);
    putBack.push_back(true);
    from = at;
  }
  result.insert(result.end(), kept.begin() + static_cast<std::ptrdiff_t>(from), kept.end());
  putBack.resize(result.size(), false);
  // The kept items' neighbours were confirmed as they were kept; those of
  // the items put back are confirmed here.
  for (size_t i = 0; i + 1 < result.size(); ++i)
    if ((putBack[i] || putBack[i + 1]) && !before(result[i], result[i + 1])) return false;
  if (equal) return false;
  items = std::move(result);
  return true;
}

}  // namespace shellorder
