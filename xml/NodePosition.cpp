// Where a node stands: its level, its document order and its position
// relative to another node. All walks are loops, never recursion, so a tree's
// depth is bounded only by memory.
#include <vector>

#include "xml/DomException.h"
#include "xml/Node.h"

namespace {

// The node right before node in document order: the previous sibling's
// deepest last descendant, or the parent; null when none.
const TdomNode* Predecessor(const TdomNode* node) {
  const TdomNode* previous = node->GetPreviousSiblingNode();
  if (previous == nullptr) return node->GetParentNode();
  while (const TdomNode* last = previous->GetLastChildNode()) previous = last;
  return previous;
}

}  // namespace

int64_t TdomNode::GetLevel() const {
  const TdomNode* root = this;
  int64_t depth = 0;
  while (const TdomNode* parent = root->GetParentNode()) {
    root = parent;
    ++depth;
  }
  if (depth == 0) return -1;
  // The root answers for itself (a document is level 0, others -1).
  return root->GetLevel() + depth;
}

int64_t TdomNode::GetDocumentOrder() const {
  const TdomNode* first = this;
  int64_t steps = 0;
  while (const TdomNode* previous = Predecessor(first)) {
    first = previous;
    ++steps;
  }
  if (steps == 0) return -1;
  // The first node answers for itself (a document is 0, others -1).
  return first->GetDocumentOrder() + steps;
}

TdomDocumentPosition TdomNode::compareDocumentPosition(TdomNode* other) {
  if (other == nullptr) throw ENot_Supported_Err();
  if (other == this) return DOCUMENT_POSITION_EQUIVALENT | DOCUMENT_POSITION_SAME_NODE;
  // Chains from the root down to each node.
  auto chainOf = [](const TdomNode* node) {
    std::vector<const TdomNode*> chain;
    for (const TdomNode* up = node; up != nullptr; up = up->GetPositionParent()) chain.push_back(up);
    return std::vector<const TdomNode*>(chain.rbegin(), chain.rend());
  };
  std::vector<const TdomNode*> mine = chainOf(this);
  std::vector<const TdomNode*> theirs = chainOf(other);
  if (mine.front() != theirs.front()) return DOCUMENT_POSITION_DISCONNECTED;
  size_t common = 0;  // index of the deepest common ancestor
  while (common + 1 < mine.size() && common + 1 < theirs.size() && mine[common + 1] == theirs[common + 1]) ++common;
  if (theirs.size() == common + 1) return DOCUMENT_POSITION_CONTAINS | DOCUMENT_POSITION_PRECEDING;
  if (mine.size() == common + 1) return DOCUMENT_POSITION_CONTAINED_BY | DOCUMENT_POSITION_FOLLOWING;
  const TdomNode* a = mine[common + 1];
  const TdomNode* b = theirs[common + 1];
  bool aIsAttr = a->GetNodeType() == ntAttribute_Node;
  bool bIsAttr = b->GetNodeType() == ntAttribute_Node;
  if (aIsAttr && bIsAttr) return DOCUMENT_POSITION_EQUIVALENT;
  if (aIsAttr) return DOCUMENT_POSITION_FOLLOWING;
  if (bIsAttr) return DOCUMENT_POSITION_PRECEDING;
  for (const TdomNode* n = a->GetNextSiblingNode(); n != nullptr; n = n->GetNextSiblingNode()) {
    if (n == b) return DOCUMENT_POSITION_FOLLOWING;
  }
  for (const TdomNode* n = b->GetNextSiblingNode(); n != nullptr; n = n->GetNextSiblingNode()) {
    if (n == a) return DOCUMENT_POSITION_PRECEDING;
  }
  return 0;
}
