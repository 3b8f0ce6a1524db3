// Stable merge sorting of sibling lists, and re-initialising and resetting nodes.
#include <unordered_set>
#include <vector>

#include "tree/VirtualTreeCore.h"

namespace {
// Top-down merge sort of items[lo, hi): the first half has n / 2 items. Equal
// items keep their order in both directions. An item that left (a handler
// freed it or took it elsewhere) is compared no more: it is passed on as it
// comes and dropped by the caller.
template <class Left, class Compare>
void MergeSort(std::vector<PVirtualNode>& items, std::vector<PVirtualNode>& scratch, size_t lo, size_t hi,
               Left& left, Compare& takeSecond) {
  size_t n = hi - lo;
  if (n < 2) return;
  size_t mid = lo + n / 2;
  MergeSort(items, scratch, lo, mid, left, takeSecond);
  MergeSort(items, scratch, mid, hi, left, takeSecond);
  size_t a = lo, b = mid, out = lo;
  while (a < mid && b < hi) {
    if (left(items[a]))
      scratch[out++] = items[a++];
    else if (left(items[b]) || takeSecond(items[a], items[b]))
      scratch[out++] = items[b++];
    else
      scratch[out++] = items[a++];
  }
  while (a < mid) scratch[out++] = items[a++];
  while (b < hi) scratch[out++] = items[b++];
  for (size_t i = lo; i < hi; ++i) items[i] = scratch[i];
}
}  // namespace

void TVirtualTreeCore::SortChildren(PVirtualNode node, TColumnIndex column, TSortDirection direction) {
  std::vector<PVirtualNode> items;
  items.reserve(node->ChildCount);
  for (PVirtualNode run = node->FirstChild; run != nullptr; run = run->NextSibling) items.push_back(run);
  if (items.size() < 2) return;
  std::vector<PVirtualNode> scratch(items.size());
  std::vector<PVirtualNode> before = items;
  // A compare handler may free, add or move children, free the parent or the
  // whole tree: a child that left is compared no more (none at all once the
  // parent or the tree went), and the order found is applied to the children
  // there are now, new ones last in the order they came.
  TCallOutScope scope(*this);
  auto left = [&](PVirtualNode child) { return scope.Lost(node) || Gone(child) || child->Parent != node; };
  auto takeSecond = [&](PVirtualNode first, PVirtualNode second) {
    int result = DoCompareNodes(first, second, column);
    return direction == sdAscending ? result > 0 : result < 0;
  };
  MergeSort(items, scratch, 0, items.size(), left, takeSecond);
  if (scope.Lost(node)) return;
  if (!SameChildren(node, before)) {
    std::unordered_set<PVirtualNode> sorted;
    std::vector<PVirtualNode> kept;
    for (PVirtualNode item : items)
      if (!left(item) && sorted.insert(item).second) kept.push_back(item);
    for (PVirtualNode run = node->FirstChild; run != nullptr; run = run->NextSibling)
      if (sorted.count(run) == 0) kept.push_back(run);
    items.swap(kept);
    if (items.empty()) return;
  }
  // Relink the whole chain, the parent's first and last child included.
  node->FirstChild = items.front();
  node->LastChild = items.back();
  for (size_t i = 0; i < items.size(); ++i) {
    items[i]->Index = static_cast<uint32_t>(i);
    items[i]->PrevSibling = i > 0 ? items[i - 1] : nullptr;
    items[i]->NextSibling = i + 1 < items.size() ? items[i + 1] : nullptr;
  }
}

bool TVirtualTreeCore::SameChildren(PVirtualNode node, const std::vector<PVirtualNode>& children) const {
  size_t i = 0;
  for (PVirtualNode run = node->FirstChild; run != nullptr; run = run->NextSibling, ++i)
    if (i == children.size() || children[i] != run) return false;
  return i == children.size();
}

bool TVirtualTreeCore::InitEachChild(PVirtualNode node) {
  TCallOutScope scope(*this);
  // A handler that frees or moves the child in turn sends the walk back to
  // the first child (the initialised ones are passed at once).
  PVirtualNode child = node->FirstChild;
  while (child != nullptr) {
    if (!(child->States & vsInitialized)) InitNode(child);
    if (Gone(node)) return false;
    child = Gone(child) || child->Parent != node ? node->FirstChild : child->NextSibling;
  }
  return true;
}

void TVirtualTreeCore::Sort(PVirtualNode node, TColumnIndex column, TSortDirection direction, bool doInit) {
  TCallOutScope scope(*this);
  StopCacheValidation();
  if (states.Contains(tsEditPending)) {
    StopTreeTimer(2);
    DoStateChange({}, {tsEditPending});
  }
  if (states.Contains(tsEditing) && !DoEndEdit()) return;
  if (scope.TreeGone()) return;
  if (node == nullptr) node = root;
  if (Gone(node) || !(node->States & vsHasChildren)) return;
  if (doInit) {
    if (node->ChildCount == 0) InitChildren(node);
    if (scope.Lost(node) || !InitEachChild(node)) return;
  }
  if (node->FirstChild != nullptr && node->FirstChild != node->LastChild) {
    SortChildren(node, column, direction);
    if (scope.TreeGone()) return;
    InvalidateCache();
  }
  if (updateCount == 0) {
    ValidateCache();
    InvalidateWhole();
  }
}

void TVirtualTreeCore::SortTree(TColumnIndex column, TSortDirection direction, bool doInit) {
  // The handlers may free nodes waiting on the stack (those are passed) or
  // the whole tree (then the sort ends there).
  TCallOutScope scope(*this);
  ++updateCount;
  try {
    if (column > InvalidColumn) {
      // Explicit stack: every initialised node's children are sorted.
      std::vector<PVirtualNode> pending{root};
      while (!pending.empty()) {
        PVirtualNode node = pending.back();
        pending.pop_back();
        if (scope.Lost(node)) continue;
        Sort(node, column, direction, doInit);
        if (scope.Lost(node) || (doInit && !InitEachChild(node))) continue;
        for (PVirtualNode child = node->FirstChild; child != nullptr; child = child->NextSibling)
          if (child->States & vsInitialized) pending.push_back(child);
      }
    }
  } catch (...) {
    if (!scope.TreeGone()) --updateCount;
    throw;
  }
  if (scope.TreeGone()) return;
  InvalidateCache();
  --updateCount;
  if (updateCount == 0) {
    ValidateCache();
    InvalidateWhole();
  }
}

void TVirtualTreeCore::ReinitNode(PVirtualNode node, bool recursive) {
  if (node != nullptr && node != root) {
    // A node whose deletion is under way goes with it.
    if (InDeletion(node)) return;
    node->States &= ~(vsChecking | vsCutOrCopy | vsDeleting | vsHeightMeasured);
    TCallOutScope scope(*this);
    InitNode(node);
    if (Gone(node)) return;
    if (recursive) ReinitChildren(node, true);
    return;
  }
  if (recursive) ReinitChildren(node, true);
}

void TVirtualTreeCore::ReinitChildren(PVirtualNode node, bool recursive) {
  if (node == nullptr) node = root;
  // The handlers may free or move any node: a walk whose node went (or left
  // the subtree) goes on from the next sibling when that is still there, else stops.
  TCallOutScope scope(*this);
  // Only children that exist are asked again; children never made stay to be
  // made on demand (a recursive re-initialisation must not build the whole tree).
  if (node->FirstChild != nullptr) InitChildren(node);
  if (Gone(node)) return;
  PVirtualNode run = node->FirstChild;
  if (!recursive) {
    while (run != nullptr) {
      PVirtualNode next = run->NextSibling;
      ReinitNode(run, false);
      if (Gone(node)) return;
      if (!Gone(run) && run->Parent == node)
        run = run->NextSibling;
      else
        run = !Gone(next) && next->Parent == node ? next : nullptr;
    }
    return;
  }
  // Recursively: each node, then its children, in pre-order without recursion.
  while (run != nullptr) {
    ReinitNode(run, false);
    if (!Gone(run) && run->FirstChild != nullptr) InitChildren(run);
    if (Gone(node) || Gone(run)) return;
    if (run->FirstChild != nullptr) {
      run = run->FirstChild;
      continue;
    }
    // (A node a handler moved out of the subtree leads the walk up to the root.)
    while (run != node && run != root && run->NextSibling == nullptr) run = run->Parent;
    if (run == node || run == root) break;
    run = run->NextSibling;
  }
}

void TVirtualTreeCore::ResetNode(PVirtualNode node) {
  // A read-only tree keeps its children, so the node keeps what it says of them.
  if (options.misc.Contains(toReadOnly)) return;
  TCallOutScope scope(*this);
  DoCancelEdit();
  if (node == nullptr || node == root) {
    Clear();
    return;
  }
  // A node whose deletion is under way goes with it.
  if (Gone(node) || (node->States & (vsDeleting | vsClearing))) return;
  DoResetNode(node);
  if (Gone(node)) return;
  DeleteChildren(node, false);
  if (Gone(node)) return;
  if (node->States & vsExpanded) {
    // Collapsed with no children left: the node takes only its own height.
    PropagateTotalHeight(node, node->NodeHeight, false);
    node->States &= ~vsExpanded;
  }
  node->States &= ~(vsInitialized | vsChecking | vsCutOrCopy | vsDeleting | vsHasChildren | vsHeightMeasured);
  if (node->FirstChild == nullptr) node->States |= vsAllChildrenHidden;
  InvalidateNodeArea(node);
}
