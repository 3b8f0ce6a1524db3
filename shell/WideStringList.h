#pragma once
// TWideStringList: a list of wide strings with attached objects, sorted or not,
// compared without regard to case by the system, with a text form and a
// UTF-16 text stream carrying a byte-order mark.
#include <cstdint>
#include <string>
#include <vector>

#include "core/Events.h"
#include "core/Lists.h"
#include "core/Persistent.h"
#include "core/Stream.h"

class TStrings;

class TWideStringList : public TPersistent {
public:
  static constexpr int kMaxListSize = 0x7FFFFFF;

  ~TWideStringList() override;

  // From another TWideStringList (strings and objects), from a TStrings (the
  // strings converted from ANSI), else the base's assignment.
  void Assign(TPersistent* source) override;

  // Appends s (a sorted list inserts it in order, subject to Duplicates);
  // returns the index. Duplicates error raises EStringListError.
  virtual int Add(const std::u16string& s);
  virtual int AddObject(const std::u16string& s, TObject* object);
  virtual void AddStrings(TWideStringList* source);
  // The strings of an ANSI list, converted.
  virtual void AddStrings(TStrings* source);
  // Deletes every item (owned objects freed) and drops the capacity.
  virtual void Clear();
  // Sorts an unsorted list with compare (<0, 0, >0); sorted lists are left alone.
  using TCompare = int (*)(TWideStringList* list, int index1, int index2);
  virtual void CustomSort(TCompare compare);
  // index in 0..Count-1; an owned object is freed.
  virtual void Delete(int index);
  virtual void Exchange(int index1, int index2);
  // Binary search of a sorted list: true when found (index at it, the first
  // of equal items with dupAccept), else false with index where s would go.
  virtual bool Find(const std::u16string& s, int& index);
  // The index of s (case-insensitive), or -1.
  virtual int IndexOf(const std::u16string& s);
  // Inserts before index (0..Count); raises on a sorted list.
  virtual void Insert(int index, const std::u16string& s);
  void InsertObject(int index, const std::u16string& s, TObject* object);
  virtual void Sort();
  // Text with a byte-order mark: FF FE little-endian or FE FF big-endian
  // UTF-16, else ANSI text in the system code page. Replaces the content.
  virtual void LoadFromFile(const std::u16string& fileName);
  virtual void LoadFromStream(TStream* stream);
  // FF FE and the text form in UTF-16 little-endian (no terminating zero).
  virtual void SaveToFile(const std::u16string& fileName);
  virtual void SaveToStream(TStream* stream);

  int Count() { return GetCount(); }
  std::u16string Strings(int index) { return Get(index); }
  void SetStrings(int index, const std::u16string& s) { Put(index, s); }
  TObject* Objects(int index) { return GetObject(index); }
  void SetObjects(int index, TObject* object) { PutObject(index, object); }
  int Capacity() { return GetCapacity(); }
  void SetCapacityValue(int value) { SetCapacity(value); }
  // Every string followed by CR LF.
  std::u16string Text();
  // Clears, then one item per line (ends: LF, VT, FF, CR, U+2028, U+2029; CR LF is one).
  void SetText(const std::u16string& text);
  bool Sorted() const { return sorted; }
  // Turning sorting on sorts the list.
  void SetSorted(bool value);
  TDuplicates Duplicates() const { return duplicates; }
  void SetDuplicates(TDuplicates value) { duplicates = value; }
  bool OwnsObjects() const { return ownsObjects; }
  void SetOwnsObjects(bool value) { ownsObjects = value; }
  void BeginUpdate();
  void EndUpdate();

  // The list's comparison: case-insensitive, by the system.
  static int CompareStrings(const std::u16string& a, const std::u16string& b);

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

protected:
  // To another TWideStringList, or to a TStrings (strings converted to ANSI).
  void AssignTo(TPersistent* dest) override;
  virtual void Changed();
  virtual void Changing();
  virtual std::u16string Get(int index);
  virtual int GetCapacity();
  virtual int GetCount();
  virtual TObject* GetObject(int index);
  virtual void Put(int index, const std::u16string& s);
  virtual void PutObject(int index, TObject* object);
  virtual void SetCapacity(int newCapacity);
  virtual void SetUpdateState(bool updating);

private:
  struct Item {
    std::u16string text;
    TObject* object = nullptr;
  };
  [[noreturn]] static void Error(const char* message, int data);
  void CheckIndex(int index);
  void Grow();
  void InsertItem(int index, const std::u16string& s, TObject* object);
  void QuickSort(int left, int right, TCompare compare);

  std::vector<Item> items;
  int capacity = 0;
  bool sorted = false;
  TDuplicates duplicates = dupIgnore;
  bool ownsObjects = false;
  int updateCount = 0;
};
