#include "xml/DomNamedNodeMap.h"

#include <algorithm>

#include "xml/Attr.h"
#include "xml/DomException.h"
#include "xml/Node.h"

TdomNamedNodeMap::TdomNamedNodeMap(TdomNode* ownerNode_, bool namespaceAware_, TdomWhatToShow allowedTypes_,
                                   std::vector<TdomNode*>* items_)
    : TdomNodeList(items_ != nullptr ? items_ : &ownStorage),
      ownerNode(ownerNode_),
      allowedTypes(allowedTypes_),
      namespaceAware(namespaceAware_) {}

bool TdomNamedNodeMap::IsNamespaceMode() const {
  return ownerNode != nullptr ? ownerNode->IsNamespaceAware() : namespaceAware;
}

bool TdomNamedNodeMap::IsReadOnly() const { return ownerNode != nullptr && ownerNode->GetReadOnly(); }

std::u16string TdomNamedNodeMap::KeyOf(std::u16string_view namespaceURI, std::u16string_view localName) {
  std::u16string key;
  key.reserve(2 + namespaceURI.size() + localName.size());
  key += static_cast<char16_t>(namespaceURI.size() & 0xFFFF);
  key += static_cast<char16_t>(namespaceURI.size() >> 16);
  key += namespaceURI;
  key += localName;
  return key;
}

std::u16string TdomNamedNodeMap::KeyOf(const TdomNode* node, bool namespaceMode) {
  if (node->GetNodeType() == ntAttribute_Node) {
    const TdomQualifiedName& names = static_cast<const TdomAttr*>(node)->Names();
    return namespaceMode ? KeyOf(names.namespaceURI, names.localName) : names.nodeName;
  }
  return namespaceMode ? KeyOf(node->GetNamespaceURI(), node->GetLocalName()) : node->GetNodeName();
}

bool TdomNamedNodeMap::HasName(const TdomNode* node, bool namespaceMode, std::u16string_view nameOrURI,
                               std::u16string_view localName) {
  if (node->GetNodeType() == ntAttribute_Node) {
    const TdomQualifiedName& names = static_cast<const TdomAttr*>(node)->Names();
    if (!namespaceMode) return names.nodeName == nameOrURI;
    return names.localName == localName && names.namespaceURI == nameOrURI;
  }
  if (!namespaceMode) return node->GetNodeName() == nameOrURI;
  return node->GetLocalName() == localName && node->GetNamespaceURI() == nameOrURI;
}

TdomNode* TdomNamedNodeMap::FindByName(bool namespaceMode, std::u16string_view nameOrURI,
                                       std::u16string_view localName) const {
  if (index == nullptr || indexNamespaceMode != namespaceMode) {
    if (MutableItems().size() <= kIndexThreshold) {
      for (TdomNode* item : MutableItems()) {
        if (HasName(item, namespaceMode, nameOrURI, localName)) return item;
      }
      return nullptr;
    }
    index = std::make_unique<std::unordered_map<std::u16string, TdomNode*, KeyHash, std::equal_to<>>>();
    index->reserve(MutableItems().size());
    indexNamespaceMode = namespaceMode;
    indexHasDuplicates = false;
    for (TdomNode* item : MutableItems()) {
      if (!index->emplace(KeyOf(item, namespaceMode), item).second) indexHasDuplicates = true;
    }
  }
  auto it = namespaceMode ? index->find(KeyOf(nameOrURI, localName)) : index->find(nameOrURI);
  return it != index->end() ? it->second : nullptr;
}

void TdomNamedNodeMap::IndexAdded(TdomNode* node) {
  if (index == nullptr) return;
  // An earlier item of the same key stays the one found.
  if (!index->emplace(KeyOf(node, indexNamespaceMode), node).second) indexHasDuplicates = true;
}

void TdomNamedNodeMap::IndexRemoved(TdomNode* node) {
  if (index == nullptr) return;
  if (indexHasDuplicates) {
    index.reset();  // a later item of the same key may now come first
    return;
  }
  auto it = index->find(KeyOf(node, indexNamespaceMode));
  if (it != index->end() && it->second == node) index->erase(it);
}

bool TdomNamedNodeMap::Contains(const TdomNode* node) const {
  if (node == nullptr) return false;
  // An attribute knows the map that holds it.
  if (node->GetNodeType() == ntAttribute_Node) return static_cast<const TdomAttr*>(node)->GetOwnerMap() == this;
  return std::find(MutableItems().rbegin(), MutableItems().rend(), node) != MutableItems().rend();
}

void TdomNamedNodeMap::AddItem(TdomNode* node) {
  MutableItems().push_back(node);
  ++changes;
  IndexAdded(node);
  if (node->GetNodeType() == ntAttribute_Node) static_cast<TdomAttr*>(node)->SetOwnerMap(this);
}

void TdomNamedNodeMap::RemoveItem(TdomNode* node) {
  std::vector<TdomNode*>& items = MutableItems();
  if (!items.empty() && items.back() == node) {
    items.pop_back();  // an element frees its attributes last first
  } else {
    auto it = std::find(items.rbegin(), items.rend(), node);
    if (it == items.rend()) return;
    items.erase(std::next(it).base());
  }
  ++changes;
  IndexRemoved(node);
  if (node->GetNodeType() == ntAttribute_Node) static_cast<TdomAttr*>(node)->SetOwnerMap(nullptr);
}

TdomNode* TdomNamedNodeMap::RemoveItemChecked(TdomNode* node) {
  if (IsReadOnly()) throw ENo_Modification_Allowed_Err();
  if (!Contains(node)) throw ENot_Found_Err();
  RemoveItem(node);
  return node;
}

TdomNode* TdomNamedNodeMap::getNamedItem(const std::u16string& name) const {
  if (IsNamespaceMode()) throw ENamespace_Err();
  return FindByName(/*namespaceMode=*/false, name, std::u16string_view());
}

TdomNode* TdomNamedNodeMap::getNamedItemNS(const std::u16string& namespaceURI, const std::u16string& localName) const {
  if (!IsNamespaceMode()) throw ENamespace_Err();
  return FindByName(/*namespaceMode=*/true, namespaceURI, localName);
}

TdomNode* TdomNamedNodeMap::removeNamedItem(const std::u16string& name) {
  if (IsNamespaceMode()) throw ENamespace_Err();
  if (IsReadOnly()) throw ENo_Modification_Allowed_Err();
  TdomNode* item = getNamedItem(name);
  if (item == nullptr) throw ENot_Found_Err();
  RemoveItem(item);
  return item;
}

TdomNode* TdomNamedNodeMap::removeNamedItemNS(const std::u16string& namespaceURI, const std::u16string& localName) {
  if (!IsNamespaceMode()) throw ENamespace_Err();
  if (IsReadOnly()) throw ENo_Modification_Allowed_Err();
  TdomNode* item = getNamedItemNS(namespaceURI, localName);
  if (item == nullptr) throw ENot_Found_Err();
  RemoveItem(item);
  return item;
}

void TdomNamedNodeMap::CheckSettable(TdomNode* arg) const {
  if (IsReadOnly()) throw ENo_Modification_Allowed_Err();
  // A map without owner node has no document to compare with: it takes nothing.
  if (arg == nullptr || ownerNode == nullptr || arg->GetOwnerDocument() != ownerNode->GetOwnerDocument()) {
    throw EWrong_Document_Err();
  }
  if (!NodeTypeInSet(allowedTypes, arg->GetNodeType())) throw EHierarchy_Request_Err();
  if (arg->GetParentNode() != nullptr) throw EInuse_Err(DomMessage::kInuseNode);
  if (arg->GetNodeType() == ntAttribute_Node) {
    TdomNamedNodeMap* holder = static_cast<TdomAttr*>(arg)->GetOwnerMap();
    if (holder != nullptr && holder != this) throw EInuse_Err(DomMessage::kInuseAttribute);
  }
}

TdomNode* TdomNamedNodeMap::Exchange(TdomNode* old, TdomNode* arg) {
  if (old == arg) return nullptr;
  if (old != nullptr) RemoveItem(old);
  AddItem(arg);
  return old;
}

TdomNode* TdomNamedNodeMap::setNamedItem(TdomNode* arg) {
  if (IsNamespaceMode()) throw ENamespace_Err();
  CheckSettable(arg);
  return Exchange(getNamedItem(arg->GetNodeName()), arg);
}

TdomNode* TdomNamedNodeMap::setNamedItemNS(TdomNode* arg) {
  if (!IsNamespaceMode()) throw ENamespace_Err();
  CheckSettable(arg);
  return Exchange(getNamedItemNS(arg->GetNamespaceURI(), arg->GetLocalName()), arg);
}
