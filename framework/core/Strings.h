#pragma once
// Lists of 8-bit strings with an object attached to each. TStrings is the
// abstract base (controls expose their items through it); TStringList keeps
// its strings itself, optionally sorted.
//
// Index errors raise EStringListError "List index out of bounds (%d)" with
// the index. Names and values: an item "name=value" has the name before its
// first '=' and the value after it. Text ends every line with CR LF and, when
// set, splits at CR LF, LF or CR (a final line break adds no empty line).
#include <string>
#include <string_view>
#include <vector>

#include "core/Events.h"
#include "core/Lists.h"
#include "core/Persistent.h"

class TStream;

class TStrings : public TPersistent {
public:
  // The item count.
  int Count() const { return GetCount(); }
  // The string / object at index; bad index raises.
  std::string Strings(int index) const { return Get(index); }
  void SetStrings(int index, const std::string& s) { Put(index, s); }
  TObject* Objects(int index) const { return GetObject(index); }
  void SetObjects(int index, TObject* object) { PutObject(index, object); }

  // Appends s (a sorted list inserts it in order); returns its index.
  virtual int Add(const std::string& s);
  virtual int AddObject(const std::string& s, TObject* object);
  // Add without the index.
  void Append(const std::string& s) { Add(s); }
  // Adds every string of source with its object (source may be this list).
  virtual void AddStrings(TStrings* source);
  // Inserts before index (0..Count).
  virtual void Insert(int index, const std::string& s) = 0;
  virtual void InsertObject(int index, const std::string& s, TObject* object);
  virtual void Delete(int index) = 0;
  virtual void Clear() = 0;
  // Swaps two items with their objects.
  virtual void Exchange(int index1, int index2);
  // Moves the item at curIndex (with its object) so that it ends at newIndex.
  virtual void Move(int curIndex, int newIndex);

  // The first item equal to s under CompareStrings, or -1.
  virtual int IndexOf(const std::string& s) const;
  // The first item whose name equals name under CompareStrings, or -1.
  virtual int IndexOfName(const std::string& name) const;
  // The first item holding object, or -1.
  int IndexOfObject(TObject* object) const;
  // True when both lists hold the same strings (objects not compared).
  bool Equals(TStrings* other) const;

  // The name of item index ("" when the item has no '=').
  std::string Names(int index) const;
  // The value of the first item named name; "" when there is none.
  std::string Values(const std::string& name) const;
  // Sets the value of the item named name (appending "name=value" when
  // absent); an empty value deletes the item.
  void SetValues(const std::string& name, const std::string& value);
  // The value of item index ("" when the item has no '=').
  std::string ValueFromIndex(int index) const;
  // Replaces the value of item index; an empty value deletes the item.
  void SetValueFromIndex(int index, const std::string& value);
  char NameValueSeparator() const { return nameValueSeparator; }
  void SetNameValueSeparator(char c) { nameValueSeparator = c; }

  // Every string followed by CR LF.
  std::string Text() const;
  // Replaces the items with the lines of text.
  void SetText(std::string_view text);
  // DelimitedText with ',' and '"' whatever Delimiter and QuoteChar are.
  std::string CommaText() const;
  void SetCommaText(std::string_view text);
  // The strings joined by Delimiter. An item that holds the delimiter, the
  // quote character, or (unless StrictDelimiter) a byte up to space is
  // quoted with QuoteChar, inner quotes doubled; a single empty item is
  // written as two quotes.
  std::string DelimitedText() const;
  // Replaces the items with those of text: items separated by Delimiter,
  // quoted items may hold anything (doubled quotes stand for one), spaces and
  // control bytes around items are skipped, and unless StrictDelimiter they
  // also separate unquoted items. A delimiter at the very end adds an empty item.
  void SetDelimitedText(std::string_view text);
  char Delimiter() const { return delimiter; }
  void SetDelimiter(char c) { delimiter = c; }
  char QuoteChar() const { return quoteChar; }
  void SetQuoteChar(char c) { quoteChar = c; }
  bool StrictDelimiter() const { return strictDelimiter; }
  void SetStrictDelimiter(bool value) { strictDelimiter = value; }

  // Replaces the items with the 8-bit text from the stream's position to its end.
  virtual void LoadFromStream(TStream* stream);
  // Writes Text at the stream's position.
  virtual void SaveToStream(TStream* stream) const;
  // The same through a file; open errors raise EFOpenError / EFCreateError.
  void LoadFromFile(const std::u16string& path);
  void LoadFromFile(const std::string& path);
  void SaveToFile(const std::u16string& path) const;
  void SaveToFile(const std::string& path) const;

  // Defers change notification until the matching EndUpdate (they nest).
  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return updateCount; }

  // Copies the strings and objects of another TStrings, with its delimiter,
  // quote character, name-value separator and StrictDelimiter (other sources
  // go to TPersistent; Sorted, Duplicates and CaseSensitive stay). Assigning a
  // list to itself changes nothing.
  void Assign(TPersistent* source) override;

  // Compares two strings as this list does (TStrings: without regard to case).
  virtual int CompareStrings(std::string_view a, std::string_view b) const;

protected:
  virtual std::string Get(int index) const = 0;
  virtual int GetCount() const = 0;
  virtual TObject* GetObject(int index) const;
  virtual void Put(int index, const std::string& s);
  virtual void PutObject(int index, TObject* object);
  // Called with true by the first BeginUpdate and false by the last EndUpdate.
  virtual void SetUpdateState(bool updating);

private:
  char delimiter = ',';
  char quoteChar = '"';
  char nameValueSeparator = '=';
  bool strictDelimiter = false;
  int updateCount = 0;
};

// Orders items index1 and index2 of list: <0, 0 or >0.
class TStringList;
using TStringListSortCompare = int (*)(TStringList* list, int index1, int index2);

// A list that keeps its strings. When Sorted, items stay in CompareStrings
// order: Add inserts in place, Find and IndexOf search by halves, and Insert,
// Put, Exchange and Move raise EStringListError "Operation not allowed on
// sorted string list". Duplicates applies to sorted lists only: dupIgnore
// returns the index of the equal item and adds nothing, dupError raises
// EStringListError "String list does not allow duplicates" and changes
// nothing, dupAccept inserts before the first equal item. Turning Sorted on
// sorts but keeps duplicates already present. CaseSensitive off (default)
// compares with AnsiCompareText, on with AnsiCompareStr.
//
// OnChanging fires before and OnChange after every change, except inside
// BeginUpdate/EndUpdate, where they fire once each around the whole update.
// The list does not own its objects.
class TStringList : public TStrings {
public:
  TStringList() = default;
  ~TStringList() override;

  int AddObject(const std::string& s, TObject* object) override;
  void Insert(int index, const std::string& s) override;
  void InsertObject(int index, const std::string& s, TObject* object) override;
  void Delete(int index) override;
  void Clear() override;
  void Exchange(int index1, int index2) override;
  void Move(int curIndex, int newIndex) override;
  int IndexOf(const std::string& s) const override;

  // Sorted lists: true when s is present, index at it (with dupAccept the
  // first of equal items); otherwise false, index where s would go.
  // Unsorted lists: the same search over whatever order they hold.
  virtual bool Find(const std::string& s, int& index) const;
  // Sorts with CompareStrings (stable). Does nothing on a Sorted list, which
  // is always in order.
  virtual void Sort();
  // Sorts with compare (stable; an inconsistent compare cannot break the
  // list). Does nothing on a Sorted list.
  virtual void CustomSort(TStringListSortCompare compare);

  bool Sorted() const { return sorted; }
  void SetSorted(bool value);
  TDuplicates Duplicates() const { return duplicates; }
  void SetDuplicates(TDuplicates value) { duplicates = value; }
  bool CaseSensitive() const { return caseSensitive; }
  // Re-sorts a Sorted list under the new comparison.
  void SetCaseSensitive(bool value);
  int Capacity() const { return static_cast<int>(items.capacity()); }
  // Below Count raises EStringListError "List capacity out of bounds (%d)".
  void SetCapacity(int newCapacity);

  int CompareStrings(std::string_view a, std::string_view b) const override;

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

protected:
  std::string Get(int index) const override;
  int GetCount() const override { return static_cast<int>(items.size()); }
  TObject* GetObject(int index) const override;
  void Put(int index, const std::string& s) override;
  void PutObject(int index, TObject* object) override;
  void SetUpdateState(bool updating) override;
  // Fire OnChange / OnChanging unless an update is under way.
  virtual void Changed();
  virtual void Changing();

private:
  struct Item {
    std::string text;
    TObject* object;
  };
  void CheckIndex(int index) const;
  void InsertItem(int index, const std::string& s, TObject* object);
  void SortItems(TStringListSortCompare compare);

  std::vector<Item> items;
  bool sorted = false;
  bool caseSensitive = false;
  TDuplicates duplicates = dupIgnore;
};
