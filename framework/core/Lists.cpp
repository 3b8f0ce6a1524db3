#include "core/Lists.h"

#include <cstdio>
#include <new>

#include "core/Format.h"
#include "core/StableSort.h"

namespace {

const char* const kListIndexError = "List index out of bounds (%d)";
const char* const kListCapacityError = "List capacity out of bounds (%d)";
const char* const kListCountError = "List count out of bounds (%d)";

}  // namespace

// ---- TList --------------------------------------------------------------------

TList::~TList() { Clear(); }

void TList::Error(const char* message, int data) { throw EListError(Format(message, {data})); }

void TList::CheckIndex(int index) const {
  if (index < 0 || index >= count) Error(kListIndexError, index);
}

void TList::Grow() {
  int capacity = Capacity();
  int delta = capacity > 64 ? capacity / 4 : (capacity > 8 ? 16 : 4);
  SetCapacity(capacity + delta);
}

int TList::Add(void* item) {
  int index = count;
  if (count == Capacity()) Grow();
  items[index] = item;
  ++count;
  if (item != nullptr) Notify(item, lnAdded);
  return index;
}

void TList::Insert(int index, void* item) {
  if (index < 0 || index > count) Error(kListIndexError, index);
  if (count == Capacity()) Grow();
  for (int i = count; i > index; --i) items[i] = items[i - 1];
  items[index] = item;
  ++count;
  if (item != nullptr) Notify(item, lnAdded);
}

void TList::Delete(int index) {
  CheckIndex(index);
  void* item = items[index];
  for (int i = index; i < count - 1; ++i) items[i] = items[i + 1];
  --count;
  items[count] = nullptr;
  // Notified after removal: an owned object being freed no longer finds itself here.
  if (item != nullptr) Notify(item, lnDeleted);
}

int TList::Remove(void* item) {
  int index = IndexOf(item);
  if (index >= 0) Delete(index);
  return index;
}

void* TList::Extract(void* item) {
  int index = IndexOf(item);
  if (index < 0) return nullptr;
  for (int i = index; i < count - 1; ++i) items[i] = items[i + 1];
  --count;
  items[count] = nullptr;
  Notify(item, lnExtracted);
  return item;
}

void TList::Clear() {
  // Deleting from the end keeps each step O(1); a Notify that adds or
  // removes items is tolerated because the count is read on every pass.
  while (count > 0) Delete(count - 1);
  items.clear();
  items.shrink_to_fit();
}

int TList::IndexOf(void* item) const {
  for (int i = 0; i < count; ++i) {
    if (items[i] == item) return i;
  }
  return -1;
}

void* TList::First() const {
  if (count == 0) Error(kListIndexError, 0);
  return items[0];
}

void* TList::Last() const {
  if (count == 0) Error(kListIndexError, -1);
  return items[count - 1];
}

void* TList::Get(int index) const {
  CheckIndex(index);
  return items[index];
}

void TList::Put(int index, void* item) {
  CheckIndex(index);
  void* old = items[index];
  if (old == item) return;
  items[index] = item;
  if (old != nullptr) Notify(old, lnDeleted);
  if (item != nullptr) Notify(item, lnAdded);
}

void TList::Exchange(int index1, int index2) {
  CheckIndex(index1);
  CheckIndex(index2);
  std::swap(items[index1], items[index2]);
}

void TList::Move(int curIndex, int newIndex) {
  if (curIndex == newIndex) {
    CheckIndex(curIndex);
    return;
  }
  CheckIndex(curIndex);
  CheckIndex(newIndex);
  void* item = items[curIndex];
  if (curIndex < newIndex) {
    for (int i = curIndex; i < newIndex; ++i) items[i] = items[i + 1];
  } else {
    for (int i = curIndex; i > newIndex; --i) items[i] = items[i - 1];
  }
  items[newIndex] = item;
}

void TList::Pack() {
  int kept = 0;
  for (int i = 0; i < count; ++i) {
    if (items[i] != nullptr) items[kept++] = items[i];
  }
  for (int i = kept; i < count; ++i) items[i] = nullptr;
  count = kept;
}

void TList::Sort(TListSortCompare compare) {
  if (compare == nullptr || count < 2) return;
  std::vector<void*> sorted(items.begin(), items.begin() + count);
  StableSort(sorted, [compare](void* a, void* b) { return compare(a, b); });
  for (int i = 0; i < count; ++i) items[i] = sorted[i];
}

void TList::Assign(const TList* source) {
  if (source == this) return;
  Clear();
  if (source == nullptr) return;
  SetCapacity(source->count);
  for (int i = 0; i < source->count; ++i) Add(source->items[i]);
}

void TList::SetCount(int newCount) {
  if (newCount < 0) Error(kListCountError, newCount);
  if (newCount > Capacity()) SetCapacity(newCount);
  if (newCount > count) {
    for (int i = count; i < newCount; ++i) items[i] = nullptr;
    count = newCount;
    return;
  }
  while (count > newCount) Delete(count - 1);
}

void TList::SetCapacity(int newCapacity) {
  if (newCapacity < count) Error(kListCapacityError, newCapacity);
  try {
    items.resize(static_cast<size_t>(newCapacity), nullptr);
  } catch (const std::bad_alloc&) {
    Error(kListCapacityError, newCapacity);
  } catch (const std::length_error&) {
    Error(kListCapacityError, newCapacity);
  }
}

void TList::Notify(void*, TListNotification) {}

// ---- TObjectList --------------------------------------------------------------

TObjectList::~TObjectList() { Clear(); }

void TObjectList::Notify(void* item, TListNotification action) {
  if (ownsObjects && action == lnDeleted && item != nullptr) static_cast<TObject*>(item)->Free();
}

// ---- TThreadList --------------------------------------------------------------

void TThreadList::Add(void* item) {
  std::lock_guard<TRecursiveLock> guard(lock);
  if (duplicates != dupAccept && list.IndexOf(item) >= 0) {
    if (duplicates == dupIgnore) return;
    char hex[32];
    std::snprintf(hex, sizeof hex, "%lX", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(item)));
    throw EListError(std::string("List does not allow duplicates ($0") + hex + ")");
  }
  list.Add(item);
}

void TThreadList::Remove(void* item) {
  std::lock_guard<TRecursiveLock> guard(lock);
  list.Remove(item);
}

void TThreadList::Clear() {
  std::lock_guard<TRecursiveLock> guard(lock);
  list.Clear();
}

TList* TThreadList::LockList() {
  lock.lock();
  return &list;
}

void TThreadList::UnlockList() { lock.unlock(); }
