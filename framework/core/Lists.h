#pragma once
// Pointer lists: TList (a growable array of untyped pointers), TObjectList
// (frees the objects it owns) and TThreadList (a TList behind a lock).
// Indices are 0-based ints; a bad index raises EListError "List index out of
// bounds (%d)" with the index.
#include <cstdint>
#include <mutex>
#include <vector>

#include "core/Exception.h"
#include "core/Object.h"
#include "core/RecursiveLock.h"

// What a list does with an item that compares equal to one it already holds.
// TStringList applies it to sorted lists; TThreadList::Add to every item.
enum TDuplicates { dupIgnore, dupAccept, dupError };

// Why TList::Notify is called.
enum TListNotification { lnAdded, lnExtracted, lnDeleted };

// Orders two items: <0 when item1 comes first, 0 when equal, >0 otherwise.
using TListSortCompare = int (*)(void* item1, void* item2);

class TList : public TObject {
public:
  TList() = default;
  // Clears the list; Notify overrides are no longer reached here (see Notify).
  ~TList() override;

  // Appends item (null allowed); returns its index.
  int Add(void* item);
  // Inserts item before index (0..Count); raises EListError otherwise.
  void Insert(int index, void* item);
  // Removes the item at index and notifies lnDeleted; raises EListError on a bad index.
  void Delete(int index);
  // Removes the first occurrence of item (lnDeleted); returns its former index or -1.
  int Remove(void* item);
  // Removes the first occurrence of item without deleting it (lnExtracted);
  // returns item, or null when it is not in the list.
  void* Extract(void* item);
  // Removes every item (each notified lnDeleted) and releases the storage.
  // ~TList calls TList::Clear; a class overriding Clear or Notify calls its
  // own Clear in its destructor.
  virtual void Clear();

  // The index of the first occurrence of item, or -1.
  int IndexOf(void* item) const;
  // The first/last item; raises EListError on an empty list.
  void* First() const;
  void* Last() const;

  // The item at index; raises EListError on a bad index.
  void* Get(int index) const;
  void* Items(int index) const { return Get(index); }
  // Replaces the item at index (old one notified lnDeleted, new one lnAdded).
  void Put(int index, void* item);

  // Swaps two items; raises EListError when either index is bad.
  void Exchange(int index1, int index2);
  // Moves the item at curIndex so that it ends at newIndex; both must be valid.
  void Move(int curIndex, int newIndex);
  // Removes every null item.
  void Pack();
  // Sorts with compare (stable; a compare that is not a consistent order gives
  // some permutation but never reads outside the list).
  void Sort(TListSortCompare compare);
  // Makes this list a copy of source's items (null source empties it).
  void Assign(const TList* source);

  int Count() const { return count; }
  // Grows with null items or deletes items from the end; negative raises
  // EListError "List count out of bounds (%d)".
  void SetCount(int newCount);
  int Capacity() const { return static_cast<int>(items.size()); }
  // Below Count or negative raises EListError "List capacity out of bounds (%d)".
  void SetCapacity(int newCapacity);
  // The item array (Count entries, valid until the list changes size).
  void** List() { return items.data(); }

protected:
  // Called after an item has entered (lnAdded) or left the list. Classes that
  // override it must call Clear() in their own destructor, since by the time
  // ~TList runs the override is gone.
  virtual void Notify(void* item, TListNotification action);
  // Raises EListError with message formatted with data ("... (%d)").
  [[noreturn]] static void Error(const char* message, int data);

private:
  void Grow();
  void CheckIndex(int index) const;

  std::vector<void*> items;  // size() is the capacity
  int count = 0;
};

// A list of objects that, when OwnsObjects is on (the default), frees each
// object as it is deleted, replaced or cleared, and on destruction. Extract
// hands an object back without freeing it.
class TObjectList : public TList {
public:
  TObjectList() = default;
  explicit TObjectList(bool ownsObjects_) : ownsObjects(ownsObjects_) {}
  ~TObjectList() override;

  void Create() {}
  void Create(bool ownsObjects_) { ownsObjects = ownsObjects_; }

  int Add(TObject* object) { return TList::Add(object); }
  void Insert(int index, TObject* object) { TList::Insert(index, object); }
  int Remove(TObject* object) { return TList::Remove(object); }
  TObject* Extract(TObject* object) { return static_cast<TObject*>(TList::Extract(object)); }
  int IndexOf(TObject* object) const { return TList::IndexOf(object); }
  TObject* Items(int index) const { return static_cast<TObject*>(Get(index)); }
  void SetItems(int index, TObject* object) { Put(index, object); }
  TObject* First() const { return static_cast<TObject*>(TList::First()); }
  TObject* Last() const { return static_cast<TObject*>(TList::Last()); }

  bool OwnsObjects() const { return ownsObjects; }
  void SetOwnsObjects(bool value) { ownsObjects = value; }

protected:
  void Notify(void* item, TListNotification action) override;

private:
  bool ownsObjects = true;
};

// A TList guarded by a recursive lock: the thread that holds it may lock it
// again (LockList nests; each LockList needs its UnlockList). Add applies
// Duplicates (dupIgnore by default; dupError raises EListError
// "List does not allow duplicates ($0%x)" with the item).
class TThreadList : public TObject {
public:
  TThreadList() = default;
  ~TThreadList() override = default;

  // Adds item under the lock, subject to Duplicates.
  void Add(void* item);
  // Removes the first occurrence of item under the lock; nothing when absent.
  void Remove(void* item);
  // Empties the list under the lock.
  void Clear();
  // Takes the lock and returns the list; pair with UnlockList.
  TList* LockList();
  // Releases the lock taken by LockList.
  void UnlockList();

  TDuplicates Duplicates() const { return duplicates; }
  void SetDuplicates(TDuplicates value) { duplicates = value; }

private:
  TRecursiveLock lock;
  TList list;
  TDuplicates duplicates = dupIgnore;
};
