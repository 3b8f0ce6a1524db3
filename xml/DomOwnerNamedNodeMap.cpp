#include "xml/DomOwnerNamedNodeMap.h"

#include <string>

#include "xml/DomException.h"
#include "xml/Node.h"

namespace {

[[noreturn]] void RaiseIndexError(int index) {
  throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
}

}  // namespace

TdomOwnerNamedNodeMap::~TdomOwnerNamedNodeMap() { Clear(); }

TdomCustomNode* TdomOwnerNamedNodeMap::Item(int index) const {
  if (index < 0 || index >= GetLength()) RaiseIndexError(index);
  return entries[index].node;
}

bool TdomOwnerNamedNodeMap::Find(const std::u16string& name, int& index) const {
  int lo = 0;
  int hi = GetLength() - 1;
  while (lo <= hi) {
    int mid = lo + (hi - lo) / 2;
    int order = entries[mid].name.compare(name);
    if (order == 0) {
      index = mid;
      return true;
    }
    if (order < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
    }
  }
  index = lo;
  return false;
}

int TdomOwnerNamedNodeMap::Add(TdomCustomNode* node) {
  if (node == nullptr || itemClass == nullptr || !itemClass(node)) throw EHierarchy_Request_Err();
  std::u16string name = node->GetNodeName();
  int index = 0;
  if (Find(name, index)) throw EStringListError("String list does not allow duplicates");
  entries.insert(entries.begin() + index, Entry{name, node});
  return index;
}

void TdomOwnerNamedNodeMap::Clear() {
  // Each entry leaves the list before its node is freed.
  while (!entries.empty()) {
    TdomCustomNode* node = entries.back().node;
    entries.pop_back();
    node->Free();
  }
}

void TdomOwnerNamedNodeMap::Delete(int index) {
  if (index < 0 || index >= GetLength()) RaiseIndexError(index);
  TdomCustomNode* node = entries[index].node;
  entries.erase(entries.begin() + index);
  node->Free();
}

TdomCustomNode* TdomOwnerNamedNodeMap::ExtractItem(TdomCustomNode* node) {
  int index = IndexOfItem(node);
  if (index < 0) throw EStringListError("Item not found");
  entries.erase(entries.begin() + index);
  return node;
}

TdomCustomNode* TdomOwnerNamedNodeMap::GetNamedItem(const std::u16string& name) const {
  int index = 0;
  return Find(name, index) ? entries[index].node : nullptr;
}

bool TdomOwnerNamedNodeMap::HasNamedItem(const std::u16string& name) const { return GetNamedItem(name) != nullptr; }

int TdomOwnerNamedNodeMap::IndexOfItem(const TdomCustomNode* node) const {
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].node == node) return static_cast<int>(i);
  }
  return -1;
}

int TdomOwnerNamedNodeMap::IndexOfNamedItem(const std::u16string& name) const {
  int index = 0;
  return Find(name, index) ? index : -1;
}

int TdomOwnerNamedNodeMap::RemoveItem(TdomCustomNode* node) {
  int index = IndexOfItem(node);
  if (index >= 0) Delete(index);
  return index;
}

int TdomOwnerNamedNodeMap::RemoveNamedItem(const std::u16string& name) {
  int index = IndexOfNamedItem(name);
  if (index >= 0) Delete(index);
  return index;
}
