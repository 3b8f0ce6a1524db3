// The node-set result: the ordered node list of XPath evaluation.
#include <algorithm>
#include <utility>

#include "xml/Attr.h"
#include "xml/DomNamedNodeMap.h"
#include "xml/DomXPathNamespace.h"
#include "xml/Element.h"
#include "xml/XPathExpression.h"
#include "xml/XPathValues.h"
#include "xml/ParserUtilsXPathNumbers.h"

namespace {

bool IsNamespaceNode(const TdomNode* node) { return node->GetNodeType() == ntXPath_Namespace_Node; }

// Code units of a namespace node's prefix and URI copied into a new node
// (read, allocated, checked) that cost one unit of work.
constexpr size_t kNamespaceCopyCodeUnitsPerUnit = 16;

// Two namespace nodes stand for the same node of the data model.
bool SameNamespaceNode(const TdomNode* a, const TdomNode* b) {
  if (!IsNamespaceNode(a) || !IsNamespaceNode(b)) return false;
  auto* x = static_cast<const TdomXPathNamespace*>(a);
  auto* y = static_cast<const TdomXPathNamespace*>(b);
  return x->GetOwnerElement() == y->GetOwnerElement() && x->GetPrefix() == y->GetPrefix();
}

// The next node of root's subtree in document order after node, of type
// type. Only elements and documents are entered: entity references count as
// text, and the document type's declarations are no part of XPath's tree.
TdomNode* NextInSubtree(const TdomNode* root, TdomNode* node, TdomNodeType type) {
  if (type == ntElement_Node || type == ntDocument_Node) {
    if (TdomNode* child = node->GetFirstChildNode()) return child;
  }
  while (node != root) {
    if (TdomNode* sibling = node->GetNextSiblingNode()) return sibling;
    node = node->GetParentNode();
  }
  return nullptr;
}

}  // namespace

bool IsXPathTreeNode(const TdomNode* node) {
  switch (node->GetNodeType()) {
    case ntElement_Node:
    case ntText_Node:
    case ntCDATA_Section_Node:
    case ntEntity_Reference_Node:
    case ntProcessing_Instruction_Node:
    case ntComment_Node:
      return true;
    default:
      return false;
  }
}

// --- Document order keys -------------------------------------------------------------------

void TdomXPathDocumentOrder::Clear() {
  keys.clear();
  nextKey = 0;
}

void TdomXPathDocumentOrder::NumberTree(const TdomNode* root) {
  // Keys step by 4 so that an element's namespace nodes (key + 1) fit between
  // the element and its first attribute.
  const TdomNode* node = root;
  size_t numbered = 0;
  while (node != nullptr) {
    ++numbered;
    keys.emplace(node, nextKey);
    nextKey += 4;
    if (node->GetNodeType() == ntElement_Node) {
      TdomNamedNodeMap* attributes = node->GetAttributes();
      for (int i = 0, n = attributes->GetLength(); i < n; ++i) {
        keys.emplace(attributes->Item(i), nextKey);
        nextKey += 4;
      }
    }
    if (const TdomNode* child = node->GetFirstChildNode()) {
      node = child;
      continue;
    }
    while (node != root && node->GetNextSiblingNode() == nullptr) node = node->GetParentNode();
    node = node == root ? nullptr : node->GetNextSiblingNode();
  }
  // Paid for: keys rebuilt after every handler call must not make a
  // predicate's rounds free.
  ChargeRunningXPathWork(numbered);
}

uint64_t TdomXPathDocumentOrder::Key(const TdomNode* node) {
  if (IsNamespaceNode(node)) {
    const TdomElement* owner = static_cast<const TdomXPathNamespace*>(node)->GetOwnerElement();
    if (owner != nullptr) return Key(owner) + 1;
  }
  auto found = keys.find(node);
  if (found != keys.end()) return found->second;
  const TdomNode* top = node;
  for (;;) {
    const TdomNode* up = top->GetNodeType() == ntAttribute_Node
                             ? static_cast<const TdomAttr*>(top)->GetOwnerElement()
                             : top->GetParentNode();
    if (up == nullptr) break;
    top = up;
  }
  NumberTree(top);
  found = keys.find(node);
  if (found != keys.end()) return found->second;
  // Unreachable from its top (a free namespace node): a key of its own.
  uint64_t key = nextKey;
  nextKey += 4;
  keys.emplace(node, key);
  return key;
}

// --- Node-set result ----------------------------------------------------------------------------

TdomXPathNodeSetResult::~TdomXPathNodeSetResult() { FreeMade(); }

void TdomXPathNodeSetResult::FreeMade() {
  if (madeNodes == nullptr) return;
  std::unique_ptr<std::unordered_set<TdomNode*>> made = std::move(madeNodes);
  for (TdomNode* node : *made) node->Free();
}

void TdomXPathNodeSetResult::ReleaseNode(TdomNode* node) {
  if (madeNodes != nullptr && madeNodes->erase(node) != 0) node->Free();
}

TdomNode* TdomXPathNodeSetResult::Own(TdomNode* made) {
  try {
    if (madeNodes == nullptr) madeNodes = std::make_unique<std::unordered_set<TdomNode*>>();
    madeNodes->insert(made);
  } catch (...) {
    made->Free();
    throw;
  }
  return made;
}

TdomNode* TdomXPathNodeSetResult::Copy(TdomNode* node) {
  if (!IsNamespaceNode(node)) return node;
  auto* ns = static_cast<TdomXPathNamespace*>(node);
  std::u16string prefix = ns->GetPrefix();
  std::u16string uri = ns->GetNamespaceURI();
  // A new node with its own prefix (checked again) and URI: paid for by their length.
  ChargeRunningXPathWork((prefix.size() + uri.size()) / kNamespaceCopyCodeUnitsPerUnit);
  return Own(New<TdomXPathNamespace>(static_cast<TdomDocument*>(nullptr), prefix, uri, ns->GetOwnerElement()));
}

void TdomXPathNodeSetResult::SetAxisIsReverse(bool value) {
  if (value == axisIsReverse) return;
  axisIsReverse = value;
  std::reverse(nodes.begin(), nodes.end());
}

double TdomXPathNodeSetResult::AsNumber() const {
  if (nodes.empty()) return XPathWideStrToNumber(u"");
  return XPathNumberValueOf(axisIsReverse ? nodes.back() : nodes.front());
}

std::u16string TdomXPathNodeSetResult::AsWideString() const {
  if (nodes.empty()) return std::u16string();
  return XPathStringValueOf(axisIsReverse ? nodes.back() : nodes.front());
}

TdomNode* TdomXPathNodeSetResult::Item(int index) const {
  if (index < 0 || size_t(index) >= nodes.size()) return nullptr;
  return nodes[size_t(index)];
}

void TdomXPathNodeSetResult::AddXPathNamespace(TdomElement* ownerElement, const std::u16string& namespaceUri,
                                               const std::u16string& prefix) {
  nodes.push_back(Own(New<TdomXPathNamespace>(static_cast<TdomDocument*>(nullptr), prefix, namespaceUri, ownerElement)));
}

void TdomXPathNodeSetResult::Insert(int index, TdomNode* node) {
  if (node == nullptr) return;
  index = std::clamp(index, 0, Length());
  nodes.insert(nodes.begin() + index, Copy(node));
}

void TdomXPathNodeSetResult::Add(TdomNode* node) {
  if (node == nullptr) return;
  nodes.push_back(Copy(node));
}

void TdomXPathNodeSetResult::AddSubtree(TdomNode* node) { AddSubtreeOfTypes(node, kXPathSubtreeTypes); }

void TdomXPathNodeSetResult::AddSubtreeOfTypes(TdomNode* node, TdomWhatToShow types) {
  if (node == nullptr) return;
  size_t first = nodes.size();
  size_t walked = 0;
  for (TdomNode* current = node; current != nullptr;) {
    ++walked;
    TdomNodeType type = current->GetNodeType();
    if (NodeTypeInSet(types, type)) nodes.push_back(current);
    current = NextInSubtree(node, current, type);
  }
  // The nodes added are paid for by whoever takes them; the ones passed over here.
  ChargeRunningXPathWork(walked - (nodes.size() - first));
  if (axisIsReverse) std::reverse(nodes.begin() + first, nodes.end());
}

void TdomXPathNodeSetResult::Clear() {
  FreeMade();
  nodes.clear();
}

void TdomXPathNodeSetResult::Delete(int index) {
  if (index < 0 || size_t(index) >= nodes.size()) return;
  ReleaseNode(nodes[size_t(index)]);
  nodes.erase(nodes.begin() + index);
}

void TdomXPathNodeSetResult::TakeAll(TdomXPathNodeSetResult* other) {
  if (other->madeNodes != nullptr) {
    if (madeNodes == nullptr) {
      madeNodes = std::move(other->madeNodes);
    } else {
      madeNodes->merge(*other->madeNodes);
      other->madeNodes.reset();
    }
  }
  if (nodes.empty()) {
    nodes.swap(other->nodes);
    return;
  }
  nodes.insert(nodes.end(), other->nodes.begin(), other->nodes.end());
  other->nodes.clear();
}

void TdomXPathNodeSetResult::SortInOrder(TdomXPathDocumentOrder& order) {
  ChargeRunningXPathWork(nodes.size());
  // Equal keys belong to one node (repeated) or to the namespace nodes of
  // one element: among those, each prefix stands for one node, and they go
  // by prefix, the order the namespace axis lists them in, whichever operand
  // of a union brought them. Sorted by key and prefix, the copies of a node
  // lie side by side.
  struct Keyed {
    uint64_t key;
    std::u16string prefix;  // of a namespace node; "" for any other
    TdomNode* node;
  };
  std::vector<Keyed> keyed;
  keyed.reserve(nodes.size());
  for (TdomNode* node : nodes) {
    keyed.push_back({order.Key(node), IsNamespaceNode(node) ? node->GetPrefix() : std::u16string(), node});
  }
  std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
    return a.key != b.key ? a.key < b.key : a.prefix < b.prefix;
  });
  nodes.clear();
  const Keyed* kept = nullptr;
  for (const Keyed& entry : keyed) {
    bool repeated = kept != nullptr && kept->key == entry.key &&
                    (kept->node == entry.node || SameNamespaceNode(kept->node, entry.node));
    if (!repeated) {
      nodes.push_back(entry.node);
      kept = &entry;
      continue;
    }
    // A copy of a namespace node belongs to this set; a DOM node is only referred to.
    if (entry.node != kept->node) ReleaseNode(entry.node);
  }
  if (axisIsReverse) std::reverse(nodes.begin(), nodes.end());
}

bool XPathFollowsInSetOrder(TdomNode* last, TdomNode* first, bool reverse, TdomXPathDocumentOrder& order) {
  // Keys, numbered once per tree, rather than document positions, which
  // climb to the root and scan siblings on every call.
  if (last == first) return false;
  uint64_t a = order.Key(last);
  uint64_t b = order.Key(first);
  return reverse ? b < a : a < b;
}

void TdomXPathNodeSetResult::Merge(TdomXPathNodeSetResult* other) {
  TdomXPathDocumentOrder order;
  Merge(other, order);
}

void TdomXPathNodeSetResult::Merge(TdomXPathNodeSetResult* other, TdomXPathDocumentOrder& order) {
  if (other == nullptr || other == this) return;
  other->SetAxisIsReverse(axisIsReverse);
  if (other->nodes.empty()) return;
  if (nodes.empty()) {
    TakeAll(other);
    return;
  }
  bool follows = XPathFollowsInSetOrder(nodes.back(), other->nodes.front(), axisIsReverse, order);
  ChargeRunningXPathWork(other->nodes.size());
  TakeAll(other);
  if (!follows) SortInOrder(order);
}

void TdomXPathNodeSetResult::Assign(TPersistent* source) {
  if (auto* set = dynamic_cast<TdomXPathNodeSetResult*>(source)) {
    if (set == this) return;
    Clear();
    axisIsReverse = set->axisIsReverse;
    for (TdomNode* node : set->nodes) Add(node);
    return;
  }
  if (auto* expression = dynamic_cast<TXPathExpression*>(source)) {
    if (expression->Result() == this) return;
    Clear();
    axisIsReverse = expression->ResultAxisIsReverse();
    for (int i = 0, n = expression->ResultLength(); i < n; ++i) Add(expression->ResultNode(i));
    return;
  }
  TdomXPathCustomResult::Assign(source);
}
