#pragma once
// TdomOwnerNamedNodeMap: a collection of nodes of one class kept sorted by
// node name (ordinal comparison), one node per name, owning and freeing them.
#include <string>
#include <vector>

#include "core/Persistent.h"

class TdomCustomNode;

// Decides whether a node is of the map's item class (or derives from it).
using TdomItemClassTest = bool (*)(const TdomCustomNode* node);

// The item-class test for class T.
template <class T>
bool IsItemOfClass(const TdomCustomNode* node) {
  return dynamic_cast<const T*>(node) != nullptr;
}

class TdomOwnerNamedNodeMap : public TPersistent {
public:
  explicit TdomOwnerNamedNodeMap(TdomItemClassTest itemClass_) : itemClass(itemClass_) {}
  // Frees every item.
  ~TdomOwnerNamedNodeMap() override;

  int GetLength() const { return static_cast<int>(entries.size()); }
  // The item at index; EStringListError "List index out of bounds (%d)" outside the range.
  TdomCustomNode* Item(int index) const;
  // Takes ownership of node and inserts it under its node name; returns its
  // index. Not of the item class: EHierarchy_Request_Err; a name already
  // present: EStringListError "String list does not allow duplicates" (node stays the caller's).
  virtual int Add(TdomCustomNode* node);
  // Frees every item, then empties the map.
  virtual void Clear();
  // Frees the item at index and removes it; bad index raises EStringListError.
  virtual void Delete(int index);
  // Removes node without freeing it and returns it; absent raises EStringListError "Item not found".
  virtual TdomCustomNode* ExtractItem(TdomCustomNode* node);
  // The item named name, or null.
  virtual TdomCustomNode* GetNamedItem(const std::u16string& name) const;
  virtual bool HasNamedItem(const std::u16string& name) const;
  // Position of node by identity, or -1.
  virtual int IndexOfItem(const TdomCustomNode* node) const;
  // Position of name, or -1.
  virtual int IndexOfNamedItem(const std::u16string& name) const;
  // Frees node and removes its entry; returns the former index or -1 (no exception).
  virtual int RemoveItem(TdomCustomNode* node);
  virtual int RemoveNamedItem(const std::u16string& name);

private:
  struct Entry {
    std::u16string name;
    TdomCustomNode* node;  // owned
  };
  // Binary search: true with the match's index, or false with the insertion point.
  bool Find(const std::u16string& name, int& index) const;

  TdomItemClassTest itemClass;
  std::vector<Entry> entries;  // sorted by name
};
