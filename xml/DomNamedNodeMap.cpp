#include "xml/DomNamedNodeMap.h"

#include <algorithm>

#include "xml/Attr.h"
#include "xml/DomException.h"
#include "xml/Node.h"

TdomNamedNodeMap::TdomNamedNodeMap(TdomNode* ownerNode_, bool namespaceAware_, TdomWhatToShow allowedTypes_,
                                   std::vector<TdomNode*>* items_)
    : TdomNodeList(items_ != nullptr ? items_ : &ownStorage),
      mutableItems(items_ != nullptr ? items_ : &ownStorage),
      allowedTypes(allowedTypes_),
      namespaceAware(namespaceAware_),
      ownerNode(ownerNode_) {}

bool TdomNamedNodeMap::IsNamespaceMode() const {
  return ownerNode != nullptr ? ownerNode->IsNamespaceAware() : namespaceAware;
}

bool TdomNamedNodeMap::IsReadOnly() const { return ownerNode != nullptr && ownerNode->GetReadOnly(); }

void TdomNamedNodeMap::AddItem(TdomNode* node) {
  mutableItems->push_back(node);
  if (node->GetNodeType() == ntAttribute_Node) static_cast<TdomAttr*>(node)->SetOwnerMap(this);
}

void TdomNamedNodeMap::RemoveItem(TdomNode* node) {
  auto it = std::find(mutableItems->begin(), mutableItems->end(), node);
  if (it == mutableItems->end()) return;
  mutableItems->erase(it);
  if (node->GetNodeType() == ntAttribute_Node) static_cast<TdomAttr*>(node)->SetOwnerMap(nullptr);
}

TdomNode* TdomNamedNodeMap::RemoveItemChecked(TdomNode* node) {
  if (IsReadOnly()) throw ENo_Modification_Allowed_Err();
  if (IndexOf(node) < 0) throw ENot_Found_Err();
  RemoveItem(node);
  return node;
}

TdomNode* TdomNamedNodeMap::getNamedItem(const std::u16string& name) const {
  if (IsNamespaceMode()) throw ENamespace_Err();
  for (TdomNode* item : *mutableItems) {
    if (item->GetNodeName() == name) return item;
  }
  return nullptr;
}

TdomNode* TdomNamedNodeMap::getNamedItemNS(const std::u16string& namespaceURI, const std::u16string& localName) const {
  if (!IsNamespaceMode()) throw ENamespace_Err();
  for (TdomNode* item : *mutableItems) {
    if (item->GetNamespaceURI() == namespaceURI && item->GetLocalName() == localName) return item;
  }
  return nullptr;
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
