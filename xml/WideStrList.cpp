#include "xml/WideStrList.h"

#include <string>
#include <utility>

#include "core/Exception.h"
#include "xml/WideStrCompare.h"

namespace {

[[noreturn]] void RaiseListError(const char* text, int data) {
  std::string message(text);
  message.replace(message.find("%d"), 2, std::to_string(data));
  throw EStringListError(message);
}

[[noreturn]] void RaiseSortedError() { throw EStringListError("Operation not allowed on Sorted string list"); }

// Restores a list's items when an operation that spans several items fails,
// so that the list is never left half-changed.
struct TItemsSnapshot {
  std::vector<TUtilsWideStringItem> items;
  int capacity;
};

}  // namespace

TUtilsWideStringList::~TUtilsWideStringList() = default;

void TUtilsWideStringList::Assign(TPersistent* source) {
  auto* list = dynamic_cast<TUtilsWideStringList*>(source);
  if (list == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  if (list == this) return;
  BeginUpdate();
  TItemsSnapshot saved{items, capacity};
  try {
    Clear();
    AddStrings(list);
  } catch (...) {
    items = std::move(saved.items);
    capacity = saved.capacity;
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TUtilsWideStringList::Changed() {
  if (updateCount == 0) OnChange(this);
}

void TUtilsWideStringList::Changing() {
  if (updateCount == 0) OnChanging(this);
}

std::u16string TUtilsWideStringList::Get(int index) const {
  CheckIndex(index);
  return items[index].fString;
}

int TUtilsWideStringList::GetCapacity() const { return capacity; }

int TUtilsWideStringList::GetCount() const { return static_cast<int>(items.size()); }

void* TUtilsWideStringList::GetObject(int index) const {
  CheckIndex(index);
  return items[index].fObject;
}

void TUtilsWideStringList::Put(int index, std::u16string_view s) {
  if (sorted) RaiseSortedError();
  CheckIndex(index);
  Changing();
  items[index].fString.assign(s);
  Changed();
}

void TUtilsWideStringList::PutObject(int index, void* object) {
  CheckIndex(index);
  Changing();
  items[index].fObject = object;
  Changed();
}

void TUtilsWideStringList::SetCapacity(int newCapacity) {
  if (newCapacity < GetCount()) RaiseListError("List capacity out of bounds (%d)", newCapacity);
  if (newCapacity > capacity) items.reserve(static_cast<size_t>(newCapacity));
  capacity = newCapacity;
}

void TUtilsWideStringList::SetUpdateState(bool updating) {
  if (updating) {
    Changing();
  } else {
    Changed();
  }
}

int TUtilsWideStringList::Add(std::u16string_view s) { return AddObject(s, nullptr); }

int TUtilsWideStringList::AddObject(std::u16string_view s, void* object) {
  bool existing = false;
  int index = PlaceFor(s, existing);
  if (existing) return index;
  Changing();
  InsertItem(index, s, object);
  Changed();
  return index;
}

void TUtilsWideStringList::AddStrings(const TUtilsWideStringList* strings) {
  if (strings == nullptr) return;
  std::vector<TUtilsWideStringItem> source = strings->items;  // the list may be this one
  BeginUpdate();
  TItemsSnapshot saved{items, capacity};
  try {
    for (const auto& item : source) AddObject(item.fString, item.fObject);
  } catch (...) {
    items = std::move(saved.items);
    capacity = saved.capacity;
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TUtilsWideStringList::Append(std::u16string_view s) { Add(s); }

void TUtilsWideStringList::BeginUpdate() {
  if (updateCount == 0) SetUpdateState(true);
  ++updateCount;
}

void TUtilsWideStringList::Clear() {
  if (items.empty()) return;
  Changing();
  if (keepStorage && items.size() <= kKeptItems) {
    for (TUtilsWideStringItem& item : items) {
      if (spare.size() < kKeptItems && item.fString.capacity() <= kKeptStringLength) spare.push_back(std::move(item.fString));
    }
    items.clear();
  } else {
    std::vector<TUtilsWideStringItem>().swap(items);
  }
  capacity = 0;
  Changed();
}

void TUtilsWideStringList::Delete(int index) {
  CheckIndex(index);
  Changing();
  items.erase(items.begin() + index);
  Changed();
}

void TUtilsWideStringList::EndUpdate() {
  if (updateCount <= 0) return;
  --updateCount;
  if (updateCount == 0) SetUpdateState(false);
}

void TUtilsWideStringList::Exchange(int index1, int index2) {
  CheckIndex(index1);
  CheckIndex(index2);
  Changing();
  std::swap(items[index1], items[index2]);
  Changed();
}

bool TUtilsWideStringList::Find(std::u16string_view s, int& index) const {
  bool found = false;
  int low = 0;
  int high = GetCount() - 1;
  while (low <= high) {
    int mid = low + (high - low) / 2;
    int order = CompareWideStr(items[mid].fString, s);
    if (order < 0) {
      low = mid + 1;
      continue;
    }
    high = mid - 1;
    if (order == 0) {
      found = true;
      if (duplicates != dupAccept) low = mid;
    }
  }
  index = low;
  return found;
}

int TUtilsWideStringList::IndexOf(std::u16string_view s) const {
  if (sorted) {
    int index = -1;
    return Find(s, index) ? index : -1;
  }
  for (int i = 0; i < GetCount(); ++i) {
    if (items[i].fString == s) return i;
  }
  return -1;
}

int TUtilsWideStringList::LastIndexOf(std::u16string_view s) const {
  for (int i = GetCount() - 1; i >= 0; --i) {
    if (items[i].fString == s) return i;
  }
  return -1;
}

void TUtilsWideStringList::Insert(int index, std::u16string_view s) { InsertObject(index, s, nullptr); }

void TUtilsWideStringList::InsertObject(int index, std::u16string_view s, void* object) {
  if (sorted) RaiseSortedError();
  if (index < 0 || index > GetCount()) RaiseListError("List Index out of bounds (%d)", index);
  Changing();
  InsertItem(index, s, object);
  Changed();
}

void TUtilsWideStringList::Sort() {
  if (sorted || GetCount() <= 1) return;
  Changing();
  QuickSort(0, GetCount() - 1);
  Changed();
}

void TUtilsWideStringList::SetSorted(bool value) {
  if (value == sorted) return;
  if (value) Sort();
  sorted = value;
}

void TUtilsWideStringList::RaiseIndexError(int index) { RaiseListError("List Index out of bounds (%d)", index); }

int TUtilsWideStringList::GrowthFrom(int room) { return room > 64 ? room / 4 : (room > 8 ? 16 : 4); }

void TUtilsWideStringList::Grow() { SetCapacity(capacity + GrowthFrom(capacity)); }

void TUtilsWideStringList::Refill(const std::u16string_view* texts, const int* order, int count) {
  // Empty stays empty, unchanged (as Clear leaves it): a start tag without
  // attributes fills the list of the one before it with nothing.
  if (count == 0 && items.empty()) return;
  Changing();
  // As Clear and adding the items one by one: the room starts again and
  // grows step by step. The items of a small list keep their buffers.
  int room = 0;
  while (room < count) room += GrowthFrom(room);
  size_t n = static_cast<size_t>(count);
  if (!keepStorage || items.size() > kKeptItems) {
    std::vector<TUtilsWideStringItem>().swap(items);
  } else {
    while (items.size() > n) {
      if (spare.size() < kKeptItems && items.back().fString.capacity() <= kKeptStringLength)
        spare.push_back(std::move(items.back().fString));
      items.pop_back();
    }
  }
  capacity = room;
  items.reserve(n);
  while (items.size() < n) {
    items.emplace_back();
    if (!spare.empty()) {
      items.back().fString = std::move(spare.back());
      spare.pop_back();
    }
  }
  // The texts are never parts of the items (they come from elsewhere), so
  // each string is emptied and appended to: the buffer it holds is used
  // again without the general replace.
  for (size_t i = 0; i < n; ++i) {
    std::u16string& text = items[i].fString;
    text.clear();
    if (order == nullptr) {
      text.append(texts[i]);
      items[i].fObject = nullptr;
    } else {
      text.append(texts[order[i]]);
      items[i].fObject = reinterpret_cast<void*>(static_cast<intptr_t>(order[i]));
    }
  }
  Changed();
}

void TUtilsWideStringList::InsertItem(int index, std::u16string_view s, void* object) {
  if (GetCount() == capacity) Grow();
  if (spare.empty()) {
    items.insert(items.begin() + index, TUtilsWideStringItem{std::u16string(s), object});
    return;
  }
  std::u16string text = std::move(spare.back());
  spare.pop_back();
  text.assign(s);
  items.insert(items.begin() + index, TUtilsWideStringItem{std::move(text), object});
}

int TUtilsWideStringList::PlaceFor(std::u16string_view s, bool& existing) const {
  existing = false;
  if (!sorted) return GetCount();
  int index = 0;
  if (!Find(s, index)) return index;
  if (duplicates == dupError) throw EStringListError("String list does not allow duplicates");
  existing = duplicates == dupIgnore;
  return index;
}

void TUtilsWideStringList::QuickSort(int low, int high) {
  // Recurses into the smaller part only, so the depth stays logarithmic.
  while (low < high) {
    int i = low;
    int j = high;
    // The pivot is followed through the swaps rather than copied.
    int pivot = low + (high - low) / 2;
    while (i <= j) {
      while (CompareWideStr(items[i].fString, items[pivot].fString) < 0) ++i;
      while (CompareWideStr(items[j].fString, items[pivot].fString) > 0) --j;
      if (i <= j) {
        if (i != j) {
          std::swap(items[i], items[j]);
          if (pivot == i) {
            pivot = j;
          } else if (pivot == j) {
            pivot = i;
          }
        }
        ++i;
        --j;
      }
    }
    if (j - low < high - i) {
      if (low < j) QuickSort(low, j);
      low = i;
    } else {
      if (i < high) QuickSort(i, high);
      high = j;
    }
  }
}
