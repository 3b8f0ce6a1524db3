// The thirteen axes: which nodes each selects from a context node, in axis order.
#include <map>

#include "xml/Attr.h"
#include "xml/DomNamedNodeMap.h"
#include "xml/DomXPathNamespace.h"
#include "xml/Element.h"
#include "xml/XPathSyntaxNodes.h"
#include "xml/XmlRules.h"

namespace {

bool IsTextLike(const TdomNode* node) {
  TdomNodeType type = node->GetNodeType();
  return type == ntText_Node || type == ntCDATA_Section_Node || type == ntEntity_Reference_Node;
}

// Nodes with siblings in XPath's sense.
bool HasSiblings(const TdomNode* node) { return IsXPathTreeNode(node); }

// The parent in XPath's sense: an attribute's and a namespace node's element.
TdomNode* XPathParentOf(const TdomNode* node) {
  switch (node->GetNodeType()) {
    case ntAttribute_Node:
      return static_cast<const TdomAttr*>(node)->GetOwnerElement();
    case ntXPath_Namespace_Node:
      return static_cast<const TdomXPathNamespace*>(node)->GetOwnerElement();
    case ntElement_Node:
    case ntText_Node:
    case ntCDATA_Section_Node:
    case ntEntity_Reference_Node:
    case ntProcessing_Instruction_Node:
    case ntComment_Node:
      return node->GetParentNode();
    default:
      return nullptr;
  }
}

// Held until it is handed over: filling it charges the evaluation's work,
// which may refuse (raise) midway.
TdomXPathResultPtr<TdomXPathNodeSetResult> NewSet(bool reverse) {
  TdomXPathResultPtr<TdomXPathNodeSetResult> set(New<TdomXPathNodeSetResult>());
  set->SetAxisIsReverse(reverse);
  return set;
}

// Adds the siblings after node (with their subtrees when withSubtrees); of a
// run of adjacent text-like siblings only the first counts, and a text-like
// node hides the run right after it.
// The siblings passed over are paid for here, the ones added by the caller.
void AddFollowingSiblings(TdomXPathNodeSetResult* set, const TdomNode* node, bool withSubtrees) {
  bool previousTextLike = IsTextLike(node);
  size_t passed = 0;
  for (TdomNode* sibling = node->GetNextSiblingNode(); sibling != nullptr; sibling = sibling->GetNextSiblingNode()) {
    bool textLike = IsTextLike(sibling);
    bool hidden = textLike && previousTextLike;
    previousTextLike = textLike;
    if (hidden || !IsXPathTreeNode(sibling)) {
      ++passed;
      continue;
    }
    if (withSubtrees) {
      set->AddSubtree(sibling);
    } else {
      set->AppendRaw(sibling);
    }
  }
  ChargeRunningXPathWork(passed);
}

// Adds the siblings before node, nearest first; a run of text-like siblings gives its first node.
void AddPrecedingSiblings(TdomXPathNodeSetResult* set, const TdomNode* node, bool withSubtrees) {
  size_t passed = 0;
  for (TdomNode* sibling = node->GetPreviousSiblingNode(); sibling != nullptr;
       sibling = sibling->GetPreviousSiblingNode()) {
    TdomNode* before = sibling->GetPreviousSiblingNode();
    if ((IsTextLike(sibling) && before != nullptr && IsTextLike(before)) || !IsXPathTreeNode(sibling)) {
      ++passed;
      continue;
    }
    if (withSubtrees) {
      set->AddSubtree(sibling);
    } else {
      set->AppendRaw(sibling);
    }
  }
  ChargeRunningXPathWork(passed);
}

// The node whose following and preceding nodes an attribute or namespace node shares.
const TdomNode* DocumentOrderAnchor(const TdomNode* node) {
  TdomNodeType type = node->GetNodeType();
  if (type == ntAttribute_Node || type == ntXPath_Namespace_Node) return XPathParentOf(node);
  return HasSiblings(node) ? node : nullptr;
}

// A namespace binding read or made into a node costs about what a few nodes
// walked do (strings copied, a sorted map, a node allocated and checked).
constexpr size_t kNamespaceUnits = 2;
// A prefix is compared code unit by code unit with up to about sixteen others
// while the bindings are put in order, and checked and copied when made a node.
constexpr size_t kNamespaceCodeUnitsPerUnit = 8;
// A URI is copied twice more (into the bindings and into its node).
constexpr size_t kNamespaceUriCodeUnitsPerUnit = 16;

}  // namespace

TdomXPathNodeSetResult* SelectXPathDescendants(TdomNode* node, bool orSelf, TdomWhatToShow types) {
  TdomXPathResultPtr<TdomXPathNodeSetResult> set = NewSet(false);
  if (orSelf && NodeTypeInSet(types, node->GetNodeType())) set->Add(node);
  // Entity references count as text: their replacement nodes are not descended into.
  if (node->GetNodeType() == ntEntity_Reference_Node) return set.release();
  for (TdomNode* child = node->GetFirstChildNode(); child != nullptr; child = child->GetNextSiblingNode()) {
    if (IsXPathTreeNode(child)) set->AddSubtreeOfTypes(child, types);
  }
  return set.release();
}

TdomNode* NextXPathDescendant(const TdomNode* root, TdomNode* node) {
  TdomNode* next;
  if (node == nullptr) {
    if (root->GetNodeType() == ntEntity_Reference_Node) return nullptr;
    next = root->GetFirstChildNode();
  } else {
    TdomNodeType type = node->GetNodeType();
    next = type == ntElement_Node ? node->GetFirstChildNode() : nullptr;
    for (; next == nullptr && node != root; node = node->GetParentNode()) next = node->GetNextSiblingNode();
  }
  // Only the root's own children can be outside XPath's tree (a document type).
  while (next != nullptr && next->GetParentNode() == root && !IsXPathTreeNode(next)) next = next->GetNextSiblingNode();
  return next;
}

TdomNode* NextXPathSibling(const TdomNode* node, bool forward) {
  size_t passed = 0;
  for (;;) {
    TdomNode* sibling = forward ? node->GetNextSiblingNode() : node->GetPreviousSiblingNode();
    if (sibling == nullptr) {
      ChargeRunningXPathWork(passed);
      return nullptr;
    }
    node = sibling;
    // Of a run of text-like siblings only the first counts, in either direction.
    TdomNode* before = sibling->GetPreviousSiblingNode();
    if ((IsTextLike(sibling) && before != nullptr && IsTextLike(before)) || !IsXPathTreeNode(sibling)) {
      ++passed;
      continue;
    }
    ChargeRunningXPathWork(passed);
    return sibling;
  }
}

TdomXPathNodeSetResult* TdomXPathAxisNameAncestor::SelectNodes(TdomNode* node) {
  TdomXPathResultPtr<TdomXPathNodeSetResult> set = NewSet(true);
  for (TdomNode* up = XPathParentOf(node); up != nullptr; up = XPathParentOf(up)) set->AppendRaw(up);
  return set.release();
}

TdomXPathNodeSetResult* TdomXPathAxisNameAncestorOrSelf::SelectNodes(TdomNode* node) {
  TdomXPathResultPtr<TdomXPathNodeSetResult> set = NewSet(true);
  set->Add(node);
  for (TdomNode* up = XPathParentOf(node); up != nullptr; up = XPathParentOf(up)) set->AppendRaw(up);
  return set.release();
}

TdomXPathNodeSetResult* TdomXPathAxisNameAttribute::SelectNodes(TdomNode* node) {
  TdomXPathResultPtr<TdomXPathNodeSetResult> set = NewSet(false);
  if (node->GetNodeType() != ntElement_Node) return set.release();
  TdomNamedNodeMap* attributes = node->GetAttributes();
  for (int i = 0, n = attributes->GetLength(); i < n; ++i) {
    auto* attr = static_cast<TdomAttr*>(attributes->Item(i));
    if (attr->GetDeclarationKind() == AT_OTHER) set->AppendRaw(attr);
  }
  return set.release();
}

TdomXPathNodeSetResult* TdomXPathAxisNameChild::SelectNodes(TdomNode* node) {
  TdomXPathResultPtr<TdomXPathNodeSetResult> set = NewSet(false);
  TdomNodeType type = node->GetNodeType();
  if (type != ntElement_Node && type != ntDocument_Node) return set.release();
  for (TdomNode* child = node->GetFirstChildNode(); child != nullptr; child = child->GetNextSiblingNode()) {
    if (IsXPathTreeNode(child)) set->AppendRaw(child);
  }
  return set.release();
}

TdomXPathNodeSetResult* TdomXPathAxisNameDescendant::SelectNodes(TdomNode* node) {
  return SelectXPathDescendants(node, false);
}

TdomXPathNodeSetResult* TdomXPathAxisNameDescendantOrSelf::SelectNodes(TdomNode* node) {
  return SelectXPathDescendants(node, true);
}

TdomXPathNodeSetResult* TdomXPathAxisNameFollowing::SelectNodes(TdomNode* node) {
  TdomXPathResultPtr<TdomXPathNodeSetResult> set = NewSet(false);
  const TdomNode* anchor = DocumentOrderAnchor(node);
  if (anchor == nullptr) return set.release();
  // An attribute's or namespace node's following nodes start with its element's descendants.
  if (anchor != node) {
    for (TdomNode* child = anchor->GetFirstChildNode(); child != nullptr; child = child->GetNextSiblingNode()) {
      if (IsXPathTreeNode(child)) set->AddSubtree(child);
    }
  }
  size_t levels = 0;
  for (const TdomNode* up = anchor; up != nullptr && HasSiblings(up); up = up->GetParentNode()) {
    ++levels;
    AddFollowingSiblings(set.get(), up, /*withSubtrees=*/true);
  }
  ChargeRunningXPathWork(levels);
  return set.release();
}

TdomXPathNodeSetResult* TdomXPathAxisNameFollowingSibling::SelectNodes(TdomNode* node) {
  TdomXPathResultPtr<TdomXPathNodeSetResult> set = NewSet(false);
  if (HasSiblings(node)) AddFollowingSiblings(set.get(), node, /*withSubtrees=*/false);
  return set.release();
}

TdomXPathNodeSetResult* TdomXPathAxisNameNamespace::SelectNodes(TdomNode* node) {
  TdomXPathResultPtr<TdomXPathNodeSetResult> set = NewSet(false);
  if (node->GetNodeType() != ntElement_Node) return set.release();
  // Nearest declaration first; a prefix once bound is not bound again, so
  // "xml" and "xmlns" cannot be redeclared.
  std::map<std::u16string, std::u16string> bindings{{u"xml", kXmlNamespaceUri}, {u"xmlns", kXmlnsNamespaceUri}};
  for (const TdomNode* element = node; element != nullptr && element->GetNodeType() == ntElement_Node;
       element = element->GetParentNode()) {
    TdomNamedNodeMap* attributes = element->GetAttributes();
    // Every element climbed and attribute read (a declaration's prefix and
    // value copied into the bindings) is paid for.
    ChargeRunningXPathWork(1 + kNamespaceUnits * size_t(attributes->GetLength()));
    for (int i = 0, n = attributes->GetLength(); i < n; ++i) {
      auto* attr = static_cast<TdomAttr*>(attributes->Item(i));
      TdomAttrDeclarationKind kind = attr->GetDeclarationKind();
      if (kind != AT_DEFAULT_NAMESPACE_DECL && kind != AT_PREFIXED_NAMESPACE_DECL) continue;
      std::u16string prefix = kind == AT_DEFAULT_NAMESPACE_DECL ? std::u16string() : DeclaredPrefix(attr);
      // A prefix is copied and compared with others as it takes its place: a long one costs its length.
      ChargeRunningXPathWork(prefix.size() / kNamespaceCodeUnitsPerUnit);
      auto [binding, added] = bindings.try_emplace(std::move(prefix));
      // The URI is the declaration's character data (references replaced).
      if (added) binding->second = XPathStringValueOf(attr);
    }
  }
  auto* element = static_cast<TdomElement*>(node);
  for (const auto& [prefix, uri] : bindings) {
    // Each binding is checked and becomes a node of its own, made for this set.
    ChargeRunningXPathWork(kNamespaceUnits + prefix.size() / kNamespaceCodeUnitsPerUnit +
                           uri.size() / kNamespaceUriCodeUnitsPerUnit);
    // An empty value undeclares; a prefix that is no NCName binds nothing.
    if (uri.empty() || (!prefix.empty() && !IsXmlNCName(prefix))) continue;
    set->AddXPathNamespace(element, uri, prefix);
  }
  return set.release();
}

TdomXPathNodeSetResult* TdomXPathAxisNameParent::SelectNodes(TdomNode* node) {
  TdomXPathResultPtr<TdomXPathNodeSetResult> set = NewSet(false);
  if (TdomNode* parent = XPathParentOf(node)) set->AppendRaw(parent);
  return set.release();
}

TdomXPathNodeSetResult* TdomXPathAxisNamePreceding::SelectNodes(TdomNode* node) {
  TdomXPathResultPtr<TdomXPathNodeSetResult> set = NewSet(true);
  const TdomNode* anchor = DocumentOrderAnchor(node);
  size_t levels = 0;
  for (const TdomNode* up = anchor; up != nullptr && HasSiblings(up); up = up->GetParentNode()) {
    ++levels;
    AddPrecedingSiblings(set.get(), up, /*withSubtrees=*/true);
  }
  ChargeRunningXPathWork(levels);
  return set.release();
}

TdomXPathNodeSetResult* TdomXPathAxisNamePrecedingSibling::SelectNodes(TdomNode* node) {
  TdomXPathResultPtr<TdomXPathNodeSetResult> set = NewSet(true);
  if (HasSiblings(node)) AddPrecedingSiblings(set.get(), node, /*withSubtrees=*/false);
  return set.release();
}

TdomXPathNodeSetResult* TdomXPathAxisNameSelf::SelectNodes(TdomNode* node) {
  TdomXPathResultPtr<TdomXPathNodeSetResult> set = NewSet(false);
  set->Add(node);
  return set.release();
}
