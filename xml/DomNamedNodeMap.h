#pragma once
// TdomNamedNodeMap: the attributes of an element, or the entities or
// notations of a document type; a node list with named access and the DOM's
// modification checks. It owns neither its items nor its item list.
// Lookups by name find the first item of that name in insertion order; past a
// few items they go through a hash index, so adding and finding cost O(1).
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "xml/DomTypes.h"
#include "xml/NodeList.h"
#include "xml/NodePool.h"

class TdomNamedNodeMap : public TdomNodeList {
public:
  // items belongs to ownerNode (may be null) and must outlive the map; a
  // null items gives the map a storage of its own.
  TdomNamedNodeMap(TdomNode* ownerNode_, bool namespaceAware_, TdomWhatToShow allowedTypes_,
                   std::vector<TdomNode*>* items_);

  // Maps come from the node pool, like the nodes they serve (see NodePool.h).
  static void* operator new(size_t size) { return NodePoolAllocate(size); }
  static void operator delete(void* block, size_t size) noexcept { NodePoolFree(block, size); }

  // Makes room for count more items.
  void Reserve(size_t count) { MutableItems().reserve(MutableItems().size() + count); }
  // Appends node; an attribute records this map as its holder.
  virtual void AddItem(TdomNode* node);
  // Removes node; an attribute's holder link is cleared.
  virtual void RemoveItem(TdomNode* node);
  // Read-only check, then node must be here (ENot_Found_Err "Node not found error."); returns node.
  virtual TdomNode* RemoveItemChecked(TdomNode* node);

  // First item named name, or null; ENamespace_Err in namespace mode.
  virtual TdomNode* getNamedItem(const std::u16string& name) const;
  // First item with that namespace URI and local name, or null; ENamespace_Err outside namespace mode.
  virtual TdomNode* getNamedItemNS(const std::u16string& namespaceURI, const std::u16string& localName) const;
  // Removes and returns the named item; absent raises ENot_Found_Err.
  virtual TdomNode* removeNamedItem(const std::u16string& name);
  virtual TdomNode* removeNamedItemNS(const std::u16string& namespaceURI, const std::u16string& localName);
  // Adds or replaces; returns the replaced item, or null (also when arg was already there).
  virtual TdomNode* setNamedItem(TdomNode* arg);
  virtual TdomNode* setNamedItemNS(TdomNode* arg);

  // The items in order, without a copy.
  const std::vector<TdomNode*>& ItemList() const { return *Items(); }
  // True when node is one of the items; false for null.
  bool Contains(const TdomNode* node) const;
  // An item's name changed (an attribute's prefix): lookups index it afresh.
  void ItemRenamed() {
    index.reset();
    ++changes;
  }
  // Counts every addition, removal and renaming: one who adds items on the
  // understanding that nothing else did can tell when something else did.
  uint32_t Changes() const { return changes; }
  // The items are all going (their document is being freed): no more
  // lookups, so the index is let go rather than kept in step.
  void DropIndex() { index.reset(); }
  // Namespace mode follows the owner node; without one, the map's own flag.
  bool IsNamespaceMode() const;
  // Read-only when the owner node is.
  bool IsReadOnly() const;
  TdomNode* GetOwnerNode() const { return ownerNode; }
  TdomWhatToShow AllowedTypes() const { return allowedTypes; }

private:
  // Items up to this count are searched in order; more get the index.
  static constexpr size_t kIndexThreshold = 8;
  // Found by a view of the key too, without a copy.
  struct KeyHash {
    using is_transparent = void;
    size_t operator()(std::u16string_view key) const noexcept { return std::hash<std::u16string_view>()(key); }
  };
  // The index key of node: its name, or in namespace mode its namespace URI
  // and local name (each length-prefixed, so no pair of strings shares a key).
  static std::u16string KeyOf(const TdomNode* node, bool namespaceMode);
  static std::u16string KeyOf(std::u16string_view namespaceURI, std::u16string_view localName);
  // True when node is named name (plain), or has namespaceURI and localName
  // (namespace mode); compares the names in place, without building a key.
  static bool HasName(const TdomNode* node, bool namespaceMode, std::u16string_view nameOrURI,
                      std::u16string_view localName);
  // The first item named name (plain), or with namespaceURI and localName
  // (namespace mode), or null. Small maps are searched in order; a lookup in
  // a large one builds the index.
  TdomNode* FindByName(bool namespaceMode, std::u16string_view nameOrURI, std::u16string_view localName) const;
  // Keeps the index (when there is one) in step with an added or removed item.
  void IndexAdded(TdomNode* node);
  void IndexRemoved(TdomNode* node);

  // The checks shared by setNamedItem and setNamedItemNS after the mode check.
  void CheckSettable(TdomNode* arg) const;
  // Replaces old (if any) by arg.
  TdomNode* Exchange(TdomNode* old, TdomNode* arg);

  // The item list given at construction (not owned) or ownStorage; the base keeps it.
  std::vector<TdomNode*>& MutableItems() const { return *const_cast<std::vector<TdomNode*>*>(Items()); }

  std::vector<TdomNode*> ownStorage;      // used only without an item list
  TdomNode* ownerNode;  // not owned
  // Key -> first item of that key; null until a lookup in a large map.
  mutable std::unique_ptr<std::unordered_map<std::u16string, TdomNode*, KeyHash, std::equal_to<>>> index;
  TdomWhatToShow allowedTypes;
  bool namespaceAware;
  mutable bool indexNamespaceMode = false;
  // Some key is held by more than one item: a removal then rebuilds the index.
  mutable bool indexHasDuplicates = false;
  uint32_t changes = 0;
};
