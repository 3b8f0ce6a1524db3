#include "xml/NodeList.h"

#include "xml/Document.h"
#include "xml/Element.h"
#include "xml/Node.h"

TdomNodeList::TdomNodeList(const TdomNode* owner) : childOwner(owner) {}

TdomNodeList::TdomNodeList(const std::vector<TdomNode*>* items_) : items(items_) {}

int TdomNodeList::GetLength() const {
  if (childOwner != nullptr) return childOwner->GetChildCount();
  return items != nullptr ? static_cast<int>(items->size()) : 0;
}

int TdomNodeList::IndexOf(const TdomNode* node) const {
  if (node == nullptr) return -1;
  if (childOwner != nullptr) return childOwner->IndexOfChild(node);
  if (items == nullptr) return -1;
  for (size_t i = 0; i < items->size(); ++i) {
    if ((*items)[i] == node) return static_cast<int>(i);
  }
  return -1;
}

TdomNode* TdomNodeList::Item(int index) const {
  if (index < 0 || index >= GetLength()) return nullptr;
  if (childOwner == nullptr) return (*items)[index];
  TdomDocument* doc = childOwner->GetReferenceDocument();
  if (doc == nullptr) return static_cast<TdomNode*>(childOwner->GetChild(index));
  if (cursor == nullptr) cursor = std::make_unique<Cursor>();
  bool valid = cursor->node != nullptr && cursor->stamp == doc->StructureStamp();
  auto* child = static_cast<TdomNode*>(childOwner->GetChildNear(index, valid ? cursor->node : nullptr, cursor->index));
  cursor->node = child;
  cursor->index = index;
  cursor->stamp = doc->StructureStamp();
  return child;
}

// --- Element lists --------------------------------------------------------------------

const std::vector<TdomNode*>& TdomCustomElementsNodeList::CurrentMatches() const {
  TdomDocument* doc = startElement != nullptr ? startElement->GetReferenceDocument() : nullptr;
  // Without a document nothing announces changes: walk every time.
  if (valid && doc != nullptr && stamp == doc->StructureStamp()) return matches;
  matches.clear();
  if (startElement != nullptr) {
    // Pre-order walk of the descendants; never leaves the start element's subtree.
    TdomNode* current = startElement->GetFirstChildNode();
    while (current != nullptr) {
      if (Matches(current)) matches.push_back(current);
      if (TdomNode* child = current->GetFirstChildNode()) {
        current = child;
        continue;
      }
      while (current != startElement && current->GetNextSiblingNode() == nullptr) current = current->GetParentNode();
      current = current == startElement ? nullptr : current->GetNextSiblingNode();
    }
  }
  valid = doc != nullptr;
  if (doc != nullptr) stamp = doc->StructureStamp();
  return matches;
}

int TdomCustomElementsNodeList::GetLength() const { return static_cast<int>(CurrentMatches().size()); }

int TdomCustomElementsNodeList::IndexOf(const TdomNode* node) const {
  if (node == nullptr || startElement == nullptr || !Matches(node)) return -1;
  const std::vector<TdomNode*>& found = CurrentMatches();
  for (size_t i = 0; i < found.size(); ++i) {
    if (found[i] == node) return static_cast<int>(i);
  }
  return -1;
}

TdomNode* TdomCustomElementsNodeList::Item(int index) const {
  const std::vector<TdomNode*>& found = CurrentMatches();
  if (index < 0 || index >= static_cast<int>(found.size())) return nullptr;
  return found[index];
}

TdomElementsNodeList::TdomElementsNodeList(const std::u16string& queryName_, TdomNode* startElement_)
    : TdomCustomElementsNodeList(startElement_), queryName(queryName_) {}

bool TdomElementsNodeList::Matches(const TdomNode* node) const {
  if (node->GetNodeType() != ntElement_Node) return false;
  return queryName == u"*" || static_cast<const TdomElement*>(node)->Names().nodeName == queryName;
}

TdomElementsNodeListNS::TdomElementsNodeListNS(const std::u16string& namespaceURI_, TdomNode* startElement_,
                                               const std::u16string& localName_)
    : TdomCustomElementsNodeList(startElement_), namespaceURI(namespaceURI_), localName(localName_) {}

bool TdomElementsNodeListNS::Matches(const TdomNode* node) const {
  if (node->GetNodeType() != ntElement_Node) return false;
  const TdomQualifiedName& names = static_cast<const TdomElement*>(node)->Names();
  if (namespaceURI != u"*" && names.namespaceURI != namespaceURI) return false;
  return localName == u"*" || names.localName == localName;
}
