// Element navigation of TdomNode: the first element met along one direction,
// optionally matching a name or a namespace URI and local name.
#include "xml/Element.h"
#include "xml/Node.h"

namespace {

enum class Direction { FirstChild, LastChild, NextSibling, PreviousSibling, Parent };

TdomNode* Start(const TdomNode* node, Direction direction) {
  switch (direction) {
    case Direction::FirstChild:
      return node->GetFirstChildNode();
    case Direction::LastChild:
      return node->GetLastChildNode();
    case Direction::NextSibling:
      return node->GetNextSiblingNode();
    case Direction::PreviousSibling:
      return node->GetPreviousSiblingNode();
    case Direction::Parent:
      return node->GetParentNode();
  }
  return nullptr;
}

TdomNode* Step(const TdomNode* node, Direction direction) {
  switch (direction) {
    case Direction::FirstChild:
    case Direction::NextSibling:
      return node->GetNextSiblingNode();
    case Direction::LastChild:
    case Direction::PreviousSibling:
      return node->GetPreviousSiblingNode();
    case Direction::Parent:
      return node->GetParentNode();
  }
  return nullptr;
}

template <class Match>
TdomElement* FindElement(const TdomNode* from, Direction direction, Match match) {
  for (TdomNode* node = Start(from, direction); node != nullptr; node = Step(node, direction)) {
    if (node->GetNodeType() == ntElement_Node && match(node)) return static_cast<TdomElement*>(node);
  }
  return nullptr;
}

TdomElement* FindAny(const TdomNode* from, Direction direction) {
  return FindElement(from, direction, [](const TdomNode*) { return true; });
}

TdomElement* FindByName(const TdomNode* from, Direction direction, const std::u16string& name) {
  return FindElement(from, direction, [&](const TdomNode* node) { return node->GetNodeName() == name; });
}

TdomElement* FindByNameNS(const TdomNode* from, Direction direction, const std::u16string& namespaceURI,
                          const std::u16string& localName) {
  return FindElement(from, direction, [&](const TdomNode* node) {
    return node->GetNamespaceURI() == namespaceURI && node->GetLocalName() == localName;
  });
}

}  // namespace

TdomElement* TdomNode::FindFirstChildElement() const { return FindAny(this, Direction::FirstChild); }
TdomElement* TdomNode::FindLastChildElement() const { return FindAny(this, Direction::LastChild); }
TdomElement* TdomNode::FindNextSiblingElement() const { return FindAny(this, Direction::NextSibling); }
TdomElement* TdomNode::FindPreviousSiblingElement() const { return FindAny(this, Direction::PreviousSibling); }
TdomElement* TdomNode::FindParentElement() const { return FindAny(this, Direction::Parent); }

TdomElement* TdomNode::FindFirstChildElementByName(const std::u16string& name) const {
  return FindByName(this, Direction::FirstChild, name);
}
TdomElement* TdomNode::FindLastChildElementByName(const std::u16string& name) const {
  return FindByName(this, Direction::LastChild, name);
}
TdomElement* TdomNode::FindNextSiblingElementByName(const std::u16string& name) const {
  return FindByName(this, Direction::NextSibling, name);
}
TdomElement* TdomNode::FindPreviousSiblingElementByName(const std::u16string& name) const {
  return FindByName(this, Direction::PreviousSibling, name);
}
TdomElement* TdomNode::FindParentElementByName(const std::u16string& name) const {
  return FindByName(this, Direction::Parent, name);
}

TdomElement* TdomNode::FindFirstChildElementByNameNS(const std::u16string& namespaceURI,
                                                     const std::u16string& localName) const {
  return FindByNameNS(this, Direction::FirstChild, namespaceURI, localName);
}
TdomElement* TdomNode::FindLastChildElementByNameNS(const std::u16string& namespaceURI,
                                                    const std::u16string& localName) const {
  return FindByNameNS(this, Direction::LastChild, namespaceURI, localName);
}
TdomElement* TdomNode::FindNextSiblingElementByNameNS(const std::u16string& namespaceURI,
                                                      const std::u16string& localName) const {
  return FindByNameNS(this, Direction::NextSibling, namespaceURI, localName);
}
TdomElement* TdomNode::FindPreviousSiblingElementByNameNS(const std::u16string& namespaceURI,
                                                          const std::u16string& localName) const {
  return FindByNameNS(this, Direction::PreviousSibling, namespaceURI, localName);
}
TdomElement* TdomNode::FindParentElementByNameNS(const std::u16string& namespaceURI,
                                                 const std::u16string& localName) const {
  return FindByNameNS(this, Direction::Parent, namespaceURI, localName);
}
