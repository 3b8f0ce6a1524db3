#include "xml/TreeWalker.h"

#include "xml/DomException.h"
#include "xml/Node.h"
#include "xml/NodeFilterCall.h"

TdomTreeWalker::TdomTreeWalker(TdomNode* root_, bool expandEntityReferences_, TdomNodeFilter* filter_,
                               TdomWhatToShow whatToShow_)
    : currentNode(root_),
      expandEntityReferences(expandEntityReferences_),
      filter(filter_),
      root(root_),
      whatToShow(whatToShow_) {
  if (root_ == nullptr) throw ENot_Supported_Err();
  document = root_->GetReferenceDocument();
}

void TdomTreeWalker::SetCurrentNode(TdomNode* node) {
  if (node == nullptr) throw ENot_Supported_Err();
  if (node->GetReferenceDocument() != document) throw EWrong_Document_Err();
  currentNode = node;
}

void TdomTreeWalker::SetRoot(TdomNode* node) {
  if (node == nullptr) throw ENot_Supported_Err();
  if (node->GetReferenceDocument() != document) throw EWrong_Document_Err();
  root = node;
}

TdomFilterResult TdomTreeWalker::Decide(TdomNode* node) const {
  if (!NodeTypeInSet(whatToShow, node->GetNodeType())) return FILTER_SKIP;
  return filter != nullptr ? AskNodeFilter(filter, node, root) : FILTER_ACCEPT;
}

TdomNode* TdomTreeWalker::Move(TFind find) {
  // A filter that frees or moves what the search stands on ends it: null,
  // and the walker (if the document kept it) stays where the change left it.
  return FindUnlessFilterStops([this, find] {
    TdomNode* found = (this->*find)(currentNode);
    if (found != nullptr) currentNode = found;
    return found;
  });
}

TdomNode* TdomTreeWalker::FindChild(TdomNode* node, bool first) const {
  // Depth-first through skipped children, without recursion: a skipped child
  // is entered, and when it yields nothing the search resumes at its sibling.
  auto entersChildren = [this](TdomNode* n) {
    return expandEntityReferences || n->GetNodeType() != ntEntity_Reference_Node;
  };
  if (node == nullptr || !entersChildren(node)) return nullptr;
  TdomNode* current = first ? node->GetFirstChildNode() : node->GetLastChildNode();
  while (current != nullptr) {
    TdomFilterResult decision = Decide(current);
    if (decision == FILTER_ACCEPT) return current;
    if (decision == FILTER_SKIP && entersChildren(current)) {
      TdomNode* inner = first ? current->GetFirstChildNode() : current->GetLastChildNode();
      if (inner != nullptr) {
        current = inner;
        continue;
      }
    }
    // Next candidate: the sibling, climbing out of skipped containers when they run out.
    while (current != nullptr) {
      TdomNode* sibling = first ? current->GetNextSiblingNode() : current->GetPreviousSiblingNode();
      if (sibling != nullptr) {
        current = sibling;
        break;
      }
      current = current->GetParentNode();
      if (current == node || current == nullptr) return nullptr;
    }
  }
  return nullptr;
}

TdomNode* TdomTreeWalker::FindFirstChild(TdomNode* node) const { return FindChild(node, true); }

TdomNode* TdomTreeWalker::FindLastChild(TdomNode* node) const { return FindChild(node, false); }

TdomNode* TdomTreeWalker::FindSibling(TdomNode* node, bool next) const {
  if (node == nullptr || node == root) return nullptr;
  TdomNode* current = node;
  while (true) {
    TdomNode* sibling = next ? current->GetNextSiblingNode() : current->GetPreviousSiblingNode();
    while (sibling != nullptr) {
      TdomFilterResult decision = Decide(sibling);
      if (decision == FILTER_ACCEPT) return sibling;
      if (decision == FILTER_SKIP) {
        if (TdomNode* inner = FindChild(sibling, next)) return inner;
      }
      sibling = next ? sibling->GetNextSiblingNode() : sibling->GetPreviousSiblingNode();
    }
    // No sibling left: continue beside an invisible parent, stop at a visible one or the root.
    TdomNode* parent = current->GetParentNode();
    if (parent == nullptr || parent == root || Decide(parent) == FILTER_ACCEPT) return nullptr;
    current = parent;
  }
}

TdomNode* TdomTreeWalker::FindNextSibling(TdomNode* node) const { return FindSibling(node, true); }

TdomNode* TdomTreeWalker::FindPreviousSibling(TdomNode* node) const { return FindSibling(node, false); }

TdomNode* TdomTreeWalker::FindParent(TdomNode* node) const {
  if (node == nullptr || node == root) return nullptr;
  for (TdomNode* parent = node->GetParentNode(); parent != nullptr; parent = parent->GetParentNode()) {
    if (Decide(parent) == FILTER_ACCEPT) return parent;
    if (parent == root) return nullptr;
  }
  return nullptr;
}

TdomNode* TdomTreeWalker::FindNextNode(TdomNode* node) const {
  if (node == nullptr) return nullptr;
  if (TdomNode* child = FindFirstChild(node)) return child;
  if (node == root) return nullptr;
  for (TdomNode* current = node; current != nullptr; current = FindParent(current)) {
    if (TdomNode* sibling = FindNextSibling(current)) return sibling;
  }
  return nullptr;
}

TdomNode* TdomTreeWalker::FindPreviousNode(TdomNode* node) const {
  if (node == nullptr || node == root) return nullptr;
  TdomNode* sibling = FindPreviousSibling(node);
  if (sibling == nullptr) return FindParent(node);
  while (TdomNode* last = FindLastChild(sibling)) sibling = last;
  return sibling;
}

TdomNode* TdomTreeWalker::parentNode() { return Move(&TdomTreeWalker::FindParent); }
TdomNode* TdomTreeWalker::firstChild() { return Move(&TdomTreeWalker::FindFirstChild); }
TdomNode* TdomTreeWalker::lastChild() { return Move(&TdomTreeWalker::FindLastChild); }
TdomNode* TdomTreeWalker::previousSibling() { return Move(&TdomTreeWalker::FindPreviousSibling); }
TdomNode* TdomTreeWalker::nextSibling() { return Move(&TdomTreeWalker::FindNextSibling); }
TdomNode* TdomTreeWalker::nextNode() { return Move(&TdomTreeWalker::FindNextNode); }
TdomNode* TdomTreeWalker::previousNode() { return Move(&TdomTreeWalker::FindPreviousNode); }

namespace {

// True when node is inside or equal to top (by parent links).
bool IsWithin(const TdomNode* node, const TdomNode* top) {
  for (const TdomNode* up = node; up != nullptr; up = up->GetParentNode()) {
    if (up == top) return true;
  }
  return false;
}

}  // namespace

void TdomTreeWalker::HandleNodeFreeing(TdomNode* node) {
  if (root == nullptr) return;
  if (IsWithin(root, node)) {
    root = nullptr;
    currentNode = nullptr;
    return;
  }
  if (currentNode == nullptr || !IsWithin(currentNode, node)) return;
  TdomNode* parent = node->GetParentNode();
  currentNode = parent != nullptr && IsWithin(parent, root) ? parent : root;
}
