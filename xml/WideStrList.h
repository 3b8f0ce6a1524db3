#pragma once
// TUtilsWideStringList: a list of UTF-16 strings, each with an object
// reference the list never interprets, optionally kept sorted (ordinal order
// of CompareWideStr) with a duplicates policy. The list owns the strings, not
// the objects. Every modifying operation is wrapped in Changing/Changed;
// failed operations leave the list as it was.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/Events.h"
#include "core/Lists.h"
#include "core/Persistent.h"

struct TUtilsWideStringItem {
  std::u16string fString;
  void* fObject = nullptr;
};

class TUtilsWideStringList : public TPersistent {
public:
  ~TUtilsWideStringList() override;

  // A TUtilsWideStringList source replaces the items (Sorted and Duplicates
  // are not copied; a sorted dupError list that cannot take them is left as it
  // was); other sources go to TPersistent.
  void Assign(TPersistent* source) override;

  // Fire OnChange / OnChanging while no update is open.
  virtual void Changed();
  virtual void Changing();
  // Item text / object; EStringListError "List Index out of bounds (%d)" outside 0..Count-1.
  virtual std::u16string Get(int index) const;
  // The item text without a copy; the same bounds check as Get.
  const std::u16string& At(int index) const {
    CheckIndex(index);
    return items[index].fString;
  }
  virtual int GetCapacity() const;
  virtual int GetCount() const;
  virtual void* GetObject(int index) const;
  // Replaces the text; a sorted list raises "Operation not allowed on Sorted string list".
  virtual void Put(int index, std::u16string_view s);
  virtual void PutObject(int index, void* object);
  // Below Count or negative raises EStringListError "List capacity out of bounds (%d)".
  virtual void SetCapacity(int newCapacity);
  // Called with true when the update count rises from 0, false when it returns there.
  virtual void SetUpdateState(bool updating);
  // AddObject(s, null).
  virtual int Add(std::u16string_view s);
  // Sorted: at the position Find gives; an existing s gives its index
  // (dupIgnore), raises "String list does not allow duplicates" (dupError), or
  // is added again (dupAccept). Unsorted: appended. Returns the index.
  virtual int AddObject(std::u16string_view s, void* object);
  // AddObject of every item of strings, inside one update; all or nothing.
  virtual void AddStrings(const TUtilsWideStringList* strings);
  virtual void Append(std::u16string_view s);
  virtual void BeginUpdate();
  // Empties the list (nothing happens, and no event fires, when it is empty).
  virtual void Clear();
  virtual void Delete(int index);
  virtual void EndUpdate();
  virtual void Exchange(int index1, int index2);
  // Binary search of a sorted list; index is the match (the first one with
  // dupAccept) or the insertion point.
  virtual bool Find(std::u16string_view s, int& index) const;
  // The index of s (first from the front; by Find when sorted), or -1.
  virtual int IndexOf(std::u16string_view s) const;
  // The last index of s searching from the back, or -1.
  virtual int LastIndexOf(std::u16string_view s) const;
  // Sorted lists raise "Operation not allowed on Sorted string list"; index
  // outside 0..Count raises "List Index out of bounds (%d)".
  virtual void Insert(int index, std::u16string_view s);
  virtual void InsertObject(int index, std::u16string_view s, void* object);
  // Quicksorts an unsorted list of two or more items; nothing otherwise.
  virtual void Sort();

  // true sorts an unsorted list, then sets the flag; false only clears it.
  void SetSorted(bool value);
  bool Sorted() const { return sorted; }
  TDuplicates Duplicates() const { return duplicates; }
  void SetDuplicates(TDuplicates value) { duplicates = value; }
  // With true, Clear keeps the room of a small list and the buffers of its
  // strings for the items added next: for a list refilled over and over,
  // such as the attributes of one start tag after another.
  void SetKeepStorage(bool value) {
    keepStorage = value;
    if (!value) spare.clear();
  }
  int Count() const { return GetCount(); }
  int UpdateCount() const { return updateCount; }

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

private:
  friend class TUtilsNameValueList;  // restores both of its lists after a failed operation
  // Replaces the items by count texts in one change, the room and string
  // buffers the list holds or kept used again: texts[0..count) in that order
  // with no objects, or with order, item i is texts[order[i]] with the
  // object order[i]. A sorted list must get them in order. The texts are
  // not views of the list's own items.
  void Refill(const std::u16string_view* texts, const int* order, int count);

  void CheckIndex(int index) const {
    if (index < 0 || index >= static_cast<int>(items.size())) [[unlikely]] RaiseIndexError(index);
  }
  [[noreturn]] static void RaiseIndexError(int index);
  void Grow();
  // How much the room grows from room items.
  static int GrowthFrom(int room);
  // Puts an item at index (0..Count) without any check or event.
  void InsertItem(int index, std::u16string_view s, void* object);
  // The index AddObject would give s, or raises on a disallowed duplicate;
  // existing is set when s is present and is not to be added (dupIgnore).
  int PlaceFor(std::u16string_view s, bool& existing) const;
  void QuickSort(int low, int high);

  static constexpr size_t kKeptItems = 64;
  static constexpr size_t kKeptStringLength = 256;
  int capacity = 0;
  TDuplicates duplicates = dupIgnore;
  std::vector<TUtilsWideStringItem> items;
  bool sorted = false;
  int updateCount = 0;
  bool keepStorage = false;
  std::vector<std::u16string> spare;  // buffers kept by Clear for InsertItem
};
