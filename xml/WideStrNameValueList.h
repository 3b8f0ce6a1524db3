#pragma once
// TUtilsNameValueList: name/value pairs kept in two owned string lists. Each
// entry of Names carries, as its object, the index of its value in Values;
// Values carries the caller's object for the pair. Values only grows by
// appending, so the stored indexes stay valid; sorting, exchanging and
// deleting act on Names only. A failed operation changes neither list.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/Lists.h"
#include "core/Persistent.h"
#include "xml/WideStrList.h"

class TUtilsNameValueList : public TPersistent {
public:
  TUtilsNameValueList();
  ~TUtilsNameValueList() override;

  // Another TUtilsNameValueList: Clear, then AddNameValueList (all or nothing).
  void Assign(TPersistent* source) override;

  virtual int GetCount() const;
  virtual int GetCapacity() const;
  // EStringListError "List Index out of bounds (%d)" outside 0..Count-1.
  virtual std::u16string GetName(int index) const;
  virtual void* GetObject(int index) const;
  virtual std::u16string GetValue(int index) const;
  // GetName and GetValue without a copy.
  const std::u16string& NameAt(int index) const { return names->At(index); }
  // Inline, as a parser reads each attribute through it: Names' own bounds
  // check is this list's (same count, same error).
  const std::u16string& ValueAt(int index) const {
    return values->At(static_cast<int>(reinterpret_cast<intptr_t>(names->GetObject(index))));
  }
  virtual void PutObject(int index, void* object);
  // Sets the capacity of both lists.
  virtual void SetCapacity(int newCapacity);
  // AddObject(name, value, null).
  virtual int Add(std::u16string_view name, std::u16string_view value);
  // Adds name under the rules of Names (sorted/duplicates) and appends value
  // with object. An existing name with dupIgnore returns its index (the value
  // is still appended); with dupError it raises and nothing is added.
  virtual int AddObject(std::u16string_view name, std::u16string_view value, void* object);
  // AddObject of every entry of source; all or nothing.
  virtual void AddNameValueList(const TUtilsNameValueList* source);
  virtual void Clear();
  virtual void Delete(int index);
  virtual void Exchange(int index1, int index2);
  // First / last entry whose name and value both equal, or -1.
  virtual int IndexOfNameValue(std::u16string_view name, std::u16string_view value) const;
  virtual int LastIndexOfNameValue(std::u16string_view name, std::u16string_view value) const;
  virtual int LastIndexOfName(std::u16string_view name) const;
  virtual int IndexOfName(std::u16string_view name) const;
  // Appends the value and inserts the name at index; a sorted Names raises
  // "Operation not allowed on Sorted string list" and nothing is added.
  virtual void Insert(int index, std::u16string_view name, std::u16string_view value);
  // Without dupAccept: FindName, then the value must equal (else index -1,
  // false). With dupAccept: IndexOfNameValue.
  virtual bool FindNameValue(std::u16string_view name, std::u16string_view value, int& index) const;
  virtual bool FindName(std::u16string_view name, int& index) const;
  virtual void Sort();
  // Replaces the entries by the pairs (names[i], values[i]), i from 0 to
  // count - 1, with no objects; order lists the pairs by name (ascending,
  // all names different), as a sorted list keeps them. The same as Clear and
  // Add of each pair in turn, in one change of each list. The views are not
  // of the list's own names or values.
  void RefillSorted(const std::u16string_view* names_, const std::u16string_view* values_, const int* order,
                    int count);

  void SetSorted(bool value);
  void SetDuplicates(TDuplicates value);
  int Count() const { return GetCount(); }

  TUtilsWideStringList* Names() const { return names; }
  TUtilsWideStringList* Values() const { return values; }

private:
  struct TSnapshot;
  TSnapshot TakeSnapshot() const;
  void RestoreSnapshot(TSnapshot& saved);
  void CheckIndex(int index) const;
  int ValueIndex(int index) const;

  TUtilsWideStringList* names;   // owned
  TUtilsWideStringList* values;  // owned
};
