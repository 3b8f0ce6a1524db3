// Walking the tree: first, next, previous, siblings, visible and selected
// nodes, levels and ancestry. Init variants initialise what they hand out.
#include "tree/VirtualTreeCore.h"

namespace {
constexpr const char* kNotRoot = "Node must not be the hidden root node.";
constexpr const char* kInvalidParameter = "Invalid parameter.";

// Hands out the node find() answers, initialised. An initialisation handler
// that frees it makes find() ask again (another node stands there now); null
// when from (a node the walk started at) or the whole tree went meanwhile.
template <class Find>
PVirtualNode InitFound(TVirtualTreeCore& tree, PVirtualNode from, Find find) {
  for (;;) {
    PVirtualNode result = find();
    if (result == nullptr || (result->States & vsInitialized)) return result;
    TVirtualTreeCore::TCallOutScope scope(tree);
    tree.InitNode(result);
    if (scope.TreeGone() || (from != nullptr && TVirtualTreeCore::Gone(from))) return nullptr;
    if (!TVirtualTreeCore::Gone(result)) return result;
  }
}

// Makes node's children when it has some not made yet; false when a handler freed node meanwhile.
bool ChildrenMade(TVirtualTreeCore& tree, PVirtualNode node) {
  if (!(node->States & vsHasChildren) || node->ChildCount != 0) return true;
  TVirtualTreeCore::TCallOutScope scope(tree);
  tree.InitChildren(node);
  return !scope.TreeGone() && !TVirtualTreeCore::Gone(node);
}
}  // namespace

PVirtualNode TVirtualTreeCore::GetFirstNoInit() const { return root->FirstChild; }

PVirtualNode TVirtualTreeCore::GetFirst() {
  return InitFound(*this, nullptr, [this] { return root->FirstChild; });
}

PVirtualNode TVirtualTreeCore::GetFirstChild(PVirtualNode node) {
  if (node == nullptr) node = root;
  if (node != root && !(node->States & vsHasChildren)) return nullptr;
  if (node->ChildCount == 0) {
    TCallOutScope scope(*this);
    InitChildren(node);
    if (Gone(node)) return nullptr;
  }
  return InitFound(*this, node, [node] { return node->FirstChild; });
}

PVirtualNode TVirtualTreeCore::GetLastChild(PVirtualNode node) {
  if (node == nullptr) node = root;
  if (node != root && !(node->States & vsHasChildren)) return nullptr;
  if (node->ChildCount == 0) {
    TCallOutScope scope(*this);
    InitChildren(node);
    if (Gone(node)) return nullptr;
  }
  return InitFound(*this, node, [node] { return node->LastChild; });
}

PVirtualNode TVirtualTreeCore::GetLastChildNoInit(PVirtualNode node) const {
  if (node == nullptr) node = root;
  if (node != root && !(node->States & vsHasChildren)) return nullptr;
  return node->LastChild;
}

PVirtualNode TVirtualTreeCore::GetNextNoInit(PVirtualNode node) const {
  VT_ASSERT(node != root, kNotRoot);
  if (node == nullptr) return nullptr;
  if (node->FirstChild != nullptr) return node->FirstChild;
  for (PVirtualNode run = node; run != root; run = run->Parent)
    if (run->NextSibling != nullptr) return run->NextSibling;
  return nullptr;
}

PVirtualNode TVirtualTreeCore::GetNext(PVirtualNode node) {
  VT_ASSERT(node != root, kNotRoot);
  if (node == nullptr || !ChildrenMade(*this, node)) return nullptr;
  return InitFound(*this, node, [this, node] { return GetNextNoInit(node); });
}

PVirtualNode TVirtualTreeCore::GetPreviousNoInit(PVirtualNode node) const {
  VT_ASSERT(node != root, kNotRoot);
  if (node == nullptr) return nullptr;
  PVirtualNode result = node->PrevSibling;
  if (result == nullptr) return node->Parent == root ? nullptr : node->Parent;
  while (result->LastChild != nullptr) result = result->LastChild;
  return result;
}

PVirtualNode TVirtualTreeCore::GetPrevious(PVirtualNode node) {
  VT_ASSERT(node != root, kNotRoot);
  if (node == nullptr) return nullptr;
  // The handlers on the way down may free what the walk holds: it starts again from node.
  TCallOutScope scope(*this);
  for (;;) {
    PVirtualNode result = node->PrevSibling;
    if (result == nullptr) {
      result = node->Parent == root ? nullptr : node->Parent;
      if (result != nullptr && !(result->States & vsInitialized)) InitNode(result);
      if (Gone(node)) return nullptr;
      if (result != nullptr && Gone(result)) continue;
      return result;
    }
    for (;;) {
      if (!(result->States & vsInitialized)) InitNode(result);
      if (!Gone(result) && (result->States & vsHasChildren) && result->ChildCount == 0) InitChildren(result);
      if (Gone(node) || Gone(result) || result->LastChild == nullptr) break;
      result = result->LastChild;
    }
    if (Gone(node)) return nullptr;
    if (Gone(result)) continue;
    return result;
  }
}

PVirtualNode TVirtualTreeCore::GetNextSibling(PVirtualNode node) {
  VT_ASSERT(node != root, kNotRoot);
  if (node == nullptr) return nullptr;
  return InitFound(*this, node, [node] { return node->NextSibling; });
}

PVirtualNode TVirtualTreeCore::GetPreviousSibling(PVirtualNode node) {
  VT_ASSERT(node != root, kNotRoot);
  if (node == nullptr) return nullptr;
  return InitFound(*this, node, [node] { return node->PrevSibling; });
}

PVirtualNode TVirtualTreeCore::GetLastNoInit(PVirtualNode node) const {
  if (node == nullptr) node = root;
  PVirtualNode run = node;
  while (run->LastChild != nullptr) run = run->LastChild;
  return run == root ? nullptr : run;
}

PVirtualNode TVirtualTreeCore::GetLast(PVirtualNode node) {
  if (node == nullptr) node = root;
  // A handler that frees the node the walk holds sends it back to node's subtree.
  TCallOutScope scope(*this);
  PVirtualNode run = node;
  for (;;) {
    if ((run->States & vsHasChildren) && run->ChildCount == 0) InitChildren(run);
    if (Gone(node)) return nullptr;
    if (Gone(run)) {
      run = node;
      continue;
    }
    if (run->LastChild == nullptr) break;
    run = run->LastChild;
    if (!(run->States & vsInitialized)) InitNode(run);
    if (Gone(node)) return nullptr;
    if (Gone(run)) run = node;
  }
  return run == root ? nullptr : run;
}

PVirtualNode TVirtualTreeCore::GetFirstVisibleNoInit() const {
  PVirtualNode run = root->FirstChild;
  while (run != nullptr && !(run->States & vsVisible)) run = run->NextSibling;
  return run;
}

PVirtualNode TVirtualTreeCore::GetFirstVisible() {
  return InitFound(*this, nullptr, [this] { return GetFirstVisibleNoInit(); });
}

PVirtualNode TVirtualTreeCore::GetFirstVisibleChild(PVirtualNode node) {
  PVirtualNode result = GetFirstChild(node);
  if (result != nullptr && !(result->States & vsVisible)) result = GetNextVisibleSibling(result);
  return result;
}

// The first node on the path from the top level down to node that is not
// shown (hidden, or under a collapsed parent); null when node is fully visible.
static PVirtualNode FirstBreakOnPath(PVirtualNode node, PVirtualNode root) {
  PVirtualNode result = nullptr;
  for (PVirtualNode run = node; run != root; run = run->Parent) {
    if (!(run->States & vsVisible) || !(run->Parent->States & vsExpanded)) result = run;
  }
  return result;
}

// The next shown node after node's whole subtree (null at the end).
static PVirtualNode NextShownAfterSubtree(PVirtualNode node, PVirtualNode root) {
  for (PVirtualNode run = node; run != root; run = run->Parent) {
    for (PVirtualNode sibling = run->NextSibling; sibling != nullptr; sibling = sibling->NextSibling)
      if (sibling->States & vsVisible) return sibling;
  }
  return nullptr;
}

PVirtualNode TVirtualTreeCore::GetNextVisibleNoInit(PVirtualNode node) const {
  VT_ASSERT(node != root, kNotRoot);
  if (node == nullptr) return nullptr;
  PVirtualNode breakNode = FirstBreakOnPath(node, root);
  if (breakNode != nullptr) {
    // A node that is not shown continues where its place would be on screen:
    // inside a collapsed subtree after the collapsed parent, inside a hidden
    // one after it. (Restarting from the shown ancestor's first child would
    // hand back a node that comes before this one.)
    PVirtualNode parent = breakNode->Parent;
    if (parent != root && !(parent->States & vsExpanded)) return NextShownAfterSubtree(parent, root);
    return NextShownAfterSubtree(breakNode, root);
  }
  if (node->States & vsExpanded)
    for (PVirtualNode child = node->FirstChild; child != nullptr; child = child->NextSibling)
      if (child->States & vsVisible) return child;
  return NextShownAfterSubtree(node, root);
}

PVirtualNode TVirtualTreeCore::GetNextVisible(PVirtualNode node) {
  VT_ASSERT(node != root, kNotRoot);
  if (node == nullptr) return nullptr;
  if (IsFullyVisible(node) && (node->States & vsExpanded) && !ChildrenMade(*this, node)) return nullptr;
  return InitFound(*this, node, [this, node] { return GetNextVisibleNoInit(node); });
}

// The last shown node of node's subtree, node itself when none below it is shown.
static PVirtualNode LastShownInSubtree(PVirtualNode node) {
  for (;;) {
    if (!(node->States & vsExpanded)) return node;
    PVirtualNode child = node->LastChild;
    while (child != nullptr && !(child->States & vsVisible)) child = child->PrevSibling;
    if (child == nullptr) return node;
    node = child;
  }
}

PVirtualNode TVirtualTreeCore::GetPreviousVisibleNoInit(PVirtualNode node) const {
  VT_ASSERT(node != root, kNotRoot);
  if (node == nullptr) return nullptr;
  PVirtualNode start = node;
  PVirtualNode breakNode = FirstBreakOnPath(node, root);
  if (breakNode != nullptr) {
    PVirtualNode parent = breakNode->Parent;
    if (parent != root && !(parent->States & vsExpanded)) return parent;
    start = breakNode;
  }
  PVirtualNode sibling = start->PrevSibling;
  while (sibling != nullptr && !(sibling->States & vsVisible)) sibling = sibling->PrevSibling;
  if (sibling != nullptr) return LastShownInSubtree(sibling);
  return start->Parent == root ? nullptr : start->Parent;
}

PVirtualNode TVirtualTreeCore::GetPreviousVisible(PVirtualNode node) {
  return InitFound(*this, node, [this, node] { return GetPreviousVisibleNoInit(node); });
}

PVirtualNode TVirtualTreeCore::GetNextVisibleSibling(PVirtualNode node) {
  VT_ASSERT(node != nullptr && node != root, kInvalidParameter);
  return InitFound(*this, node, [node] {
    PVirtualNode run = node->NextSibling;
    while (run != nullptr && !(run->States & vsVisible)) run = run->NextSibling;
    return run;
  });
}

PVirtualNode TVirtualTreeCore::GetPreviousVisibleSiblingNoInit(PVirtualNode node) const {
  VT_ASSERT(node != nullptr && node != root, kInvalidParameter);
  PVirtualNode run = node->PrevSibling;
  while (run != nullptr && !(run->States & vsVisible)) run = run->PrevSibling;
  return run;
}

PVirtualNode TVirtualTreeCore::GetPreviousVisibleSibling(PVirtualNode node) {
  return InitFound(*this, node, [this, node] { return GetPreviousVisibleSiblingNoInit(node); });
}

PVirtualNode TVirtualTreeCore::GetLastVisibleChildNoInit(PVirtualNode node) const {
  if (node == nullptr) node = root;
  if (node != root && !((node->States & vsExpanded) && IsFullyVisible(node))) return nullptr;
  PVirtualNode run = node->LastChild;
  while (run != nullptr && !(run->States & vsVisible)) run = run->PrevSibling;
  return run;
}

PVirtualNode TVirtualTreeCore::GetLastVisibleChild(PVirtualNode node) {
  if (node == nullptr) node = root;
  if (node != root && (node->States & vsExpanded) && !ChildrenMade(*this, node)) return nullptr;
  return InitFound(*this, node == root ? nullptr : node, [this, node] { return GetLastVisibleChildNoInit(node); });
}

PVirtualNode TVirtualTreeCore::GetLastVisibleNoInit(PVirtualNode node) const {
  if (node == nullptr) node = root;
  PVirtualNode run = node;
  for (PVirtualNode child = GetLastVisibleChildNoInit(run); child != nullptr; child = GetLastVisibleChildNoInit(run))
    run = child;
  return run == root ? nullptr : run;
}

PVirtualNode TVirtualTreeCore::GetLastVisible(PVirtualNode node) {
  if (node == nullptr) node = root;
  PVirtualNode run = node;
  for (PVirtualNode child = GetLastVisibleChild(run); child != nullptr; child = GetLastVisibleChild(run)) run = child;
  return run == root ? nullptr : run;
}

PVirtualNode TVirtualTreeCore::GetFirstInitialized() const {
  PVirtualNode run = GetFirstNoInit();
  if (run != nullptr && !(run->States & vsInitialized)) run = GetNextInitialized(run);
  return run;
}

PVirtualNode TVirtualTreeCore::GetNextInitialized(PVirtualNode node) const {
  PVirtualNode run = GetNextNoInit(node);
  while (run != nullptr && !(run->States & vsInitialized)) run = GetNextNoInit(run);
  return run;
}

PVirtualNode TVirtualTreeCore::GetFirstSelected() {
  if (selectionCount == 0 || root->FirstChild == nullptr) return nullptr;
  PVirtualNode first = root->FirstChild;
  if (first->States & vsSelected) {
    if (first->States & vsInitialized) return first;
    {
      TCallOutScope scope(*this);
      InitNode(first);
      if (!Gone(first)) return first;
    }
    // Its initialisation freed it: the selection is looked at again.
    return GetFirstSelected();
  }
  return GetNextSelected(first);
}

PVirtualNode TVirtualTreeCore::GetNextSelected(PVirtualNode node) {
  if (selectionCount == 0 || node == nullptr) return nullptr;
  return InitFound(*this, node, [this, node] {
    PVirtualNode run = GetNextNoInit(node);
    while (run != nullptr && !(run->States & vsSelected)) run = GetNextNoInit(run);
    return run;
  });
}

PVirtualNode TVirtualTreeCore::GetFirstMarked() const {
  if (!states.Contains(tsCutPending) && !states.Contains(tsCopyPending)) return nullptr;
  PVirtualNode first = root->FirstChild;
  if (first == nullptr || (first->States & vsCutOrCopy)) return first;
  return GetNextMarked(first);
}

PVirtualNode TVirtualTreeCore::GetNextMarked(PVirtualNode node) const {
  if (!states.Contains(tsCutPending) && !states.Contains(tsCopyPending)) return nullptr;
  PVirtualNode run = GetNextNoInit(node);
  while (run != nullptr && !(run->States & vsCutOrCopy)) run = GetNextNoInit(run);
  return run;
}

// Nodes carrying flag in tree order; with resolve the subtree of a listed node is skipped.
static std::vector<PVirtualNode> CollectInOrder(PVirtualNode root, uint16_t flag, bool resolve) {
  std::vector<PVirtualNode> result;
  PVirtualNode run = root->FirstChild;
  while (run != nullptr) {
    bool taken = (run->States & flag) != 0;
    if (taken) result.push_back(run);
    if (run->FirstChild != nullptr && !(taken && resolve)) {
      run = run->FirstChild;
      continue;
    }
    while (run != root && run->NextSibling == nullptr) run = run->Parent;
    run = run == root ? nullptr : run->NextSibling;
  }
  return result;
}

std::vector<PVirtualNode> TVirtualTreeCore::GetSelectionInOrder(bool resolve) {
  if (selectionCount == 0) return {};
  return CollectInOrder(root, vsSelected, resolve);
}

std::vector<PVirtualNode> TVirtualTreeCore::GetMarkedNodesInOrder(bool resolve) const {
  if (!states.Contains(tsCutPending) && !states.Contains(tsCopyPending)) return {};
  std::vector<PVirtualNode> result = CollectInOrder(root, vsCutOrCopy, resolve);
  result.shrink_to_fit();
  return result;
}

uint32_t TVirtualTreeCore::GetNodeLevel(PVirtualNode node) const {
  if (node == nullptr || node == root) return 0;
  uint32_t level = 0;
  // Nodes being read from a stream hang under a stand-in for the root.
  for (PVirtualNode run = node->Parent; run != root && run != streamRootStandIn; run = run->Parent) ++level;
  return level;
}

bool TVirtualTreeCore::HasAsParent(PVirtualNode node, PVirtualNode potentialParent) const {
  if (node == nullptr || potentialParent == nullptr || node == potentialParent || node == root) return false;
  for (PVirtualNode run = node->Parent;; run = run->Parent) {
    if (run == potentialParent) return true;
    if (run == root || run == streamRootStandIn) return false;
  }
}

bool TVirtualTreeCore::GetChildrenInitialized(PVirtualNode node) const {
  if (node == nullptr) node = root;
  return !((node->States & vsHasChildren) && node->ChildCount == 0);
}

bool TVirtualTreeCore::AncestorsShown(PVirtualNode node) const {
  VT_ASSERT(node != nullptr && node != root, "Invalid parameters.");
  PVirtualNode run = node->Parent;
  while (run != root && (run->States & (vsExpanded | vsVisible | vsDeleting)) == (vsExpanded | vsVisible))
    run = run->Parent;
  return run == root;
}

bool TVirtualTreeCore::IsFullyVisible(PVirtualNode node) const {
  VT_ASSERT(node != nullptr, kInvalidParameter);
  if (!(node->States & vsVisible)) return false;
  if (node == root) return true;
  // A node taken out by a deletion under way (or below one) is shown nowhere.
  if (node->States & vsDeleting) return false;
  return AncestorsShown(node);
}

PVirtualNode TVirtualTreeCore::GetShownAncestor(PVirtualNode node) const {
  VT_ASSERT(node != nullptr, "Node must not be nil.");
  PVirtualNode run = node;
  for (;;) {
    if (run == root) return root;
    // The nearest expanded ancestor (the root always is one).
    do run = run->Parent;
    while (!(run->States & vsExpanded));
    if (run == root || IsFullyVisible(run)) return run;
    // Hidden itself or below a collapsed node: up to where an expanded chain breaks.
    while (run->Parent->States & vsExpanded) {
      run = run->Parent;
      if (run == root) return root;
    }
  }
}

bool TVirtualTreeCore::GetNodeVisible(PVirtualNode node) {
  if (node == nullptr) node = root;
  if (!(node->States & vsInitialized)) InitNode(node);
  return (node->States & vsVisible) != 0;
}
