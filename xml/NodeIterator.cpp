#include "xml/NodeIterator.h"

#include "xml/DomException.h"
#include "xml/Node.h"
#include "xml/NodeFilterCall.h"

namespace {

// True when node is top or lies inside it.
bool IsWithin(const TdomNode* node, const TdomNode* top) {
  for (const TdomNode* up = node; up != nullptr; up = up->GetParentNode()) {
    if (up == top) return true;
  }
  return false;
}

}  // namespace

TdomNodeIterator::TdomNodeIterator(TdomNode* root_, bool expandEntityReferences_, TdomNodeFilter* filter_,
                                   TdomWhatToShow whatToShow_)
    : root(root_),
      referenceNode(root_),
      whatToShow(whatToShow_),
      expandEntityReferences(expandEntityReferences_),
      filter(filter_) {
  if (root_ == nullptr) throw ENot_Supported_Err();
}

bool TdomNodeIterator::Accepts(TdomNode* node) const {
  if (!NodeTypeInSet(whatToShow, node->GetNodeType())) return false;
  if (filter == nullptr) return true;
  bool accepted = AskNodeFilter(filter, node, root) == FILTER_ACCEPT;
  // The filter took the root away (or a node above it).
  if (invalid) throw TNodeFilterStop{};
  return accepted;
}

bool TdomNodeIterator::EntersChildren(const TdomNode* node) const {
  return expandEntityReferences || node->GetNodeType() != ntEntity_Reference_Node;
}

TdomNode* TdomNodeIterator::FindNextRaw(TdomNode* node) const {
  if (node->HasChildren() && EntersChildren(node)) return node->GetFirstChildNode();
  for (TdomNode* current = node; current != nullptr; current = current->GetParentNode()) {
    if (TdomNode* sibling = current->GetNextSiblingNode()) return sibling;
  }
  return nullptr;
}

TdomNode* TdomNodeIterator::FindPreviousRaw(TdomNode* node) const {
  TdomNode* previous = node->GetPreviousSiblingNode();
  if (previous == nullptr) return node->GetParentNode();
  while (previous->HasChildren() && EntersChildren(previous)) previous = previous->GetLastChildNode();
  return previous;
}

TdomNode* TdomNodeIterator::NextWithin(TdomNode* node) const {
  if (node->HasChildren() && EntersChildren(node)) return node->GetFirstChildNode();
  // Climbing stops at the root, so the walk never leaves its subtree.
  for (TdomNode* current = node; current != nullptr && current != root; current = current->GetParentNode()) {
    if (TdomNode* sibling = current->GetNextSiblingNode()) return sibling;
  }
  return nullptr;
}

TdomNode* TdomNodeIterator::PreviousWithin(TdomNode* node) const {
  if (node == root) return nullptr;
  return FindPreviousRaw(node);
}

TdomNode* TdomNodeIterator::nextNode() {
  if (invalid) throw EInvalid_State_Err();
  // A filter that frees or moves what the search stands on ends it: null.
  return FindUnlessFilterStops([this] { return StepForward(); });
}

TdomNode* TdomNodeIterator::StepForward() {
  TdomNode* candidate = position == kBefore ? referenceNode : NextWithin(referenceNode);
  while (candidate != nullptr && !Accepts(candidate)) candidate = NextWithin(candidate);
  if (candidate == nullptr) return nullptr;
  referenceNode = candidate;
  position = kAfter;
  return candidate;
}

TdomNode* TdomNodeIterator::previousNode() {
  if (invalid) throw EInvalid_State_Err();
  return FindUnlessFilterStops([this] { return StepBack(); });
}

TdomNode* TdomNodeIterator::StepBack() {
  TdomNode* candidate = position == kAfter ? referenceNode : PreviousWithin(referenceNode);
  while (candidate != nullptr && !Accepts(candidate)) candidate = PreviousWithin(candidate);
  if (candidate == nullptr) return nullptr;
  referenceNode = candidate;
  position = kBefore;
  return candidate;
}

void TdomNodeIterator::Invalidate() {
  root = nullptr;
  referenceNode = nullptr;
  invalid = true;
}

void TdomNodeIterator::detach() { Invalidate(); }

void TdomNodeIterator::HandleNodeChange(TdomNode* node, bool removal) {
  if (invalid || node == nullptr) return;
  if (!removal) {
    // The children of node are cleared.
    if (root != node && IsWithin(root, node)) {
      Invalidate();
      return;
    }
    if (referenceNode != node && IsWithin(referenceNode, node)) {
      referenceNode = node;
      position = kAfter;
    }
    return;
  }
  if (IsWithin(root, node)) {
    Invalidate();
    return;
  }
  if (!IsWithin(referenceNode, node)) return;
  if (TdomNode* next = node->GetNextSiblingNode()) {
    referenceNode = next;
    position = kBefore;
    return;
  }
  TdomNode* previous = node->GetPreviousSiblingNode();
  if (previous == nullptr) {
    referenceNode = node->GetParentNode();
  } else {
    while (previous->HasChildren()) previous = previous->GetLastChildNode();
    referenceNode = previous;
  }
  position = kAfter;
  if (referenceNode == nullptr) Invalidate();
}
