// Stable merge sorting of sibling lists, and re-initialising and resetting nodes.
#include <vector>

#include "tree/VirtualTreeCore.h"

namespace {
// Top-down merge sort of items[lo, hi): the first half has n / 2 items. Equal
// items keep their order in both directions.
template <class Compare>
void MergeSort(std::vector<PVirtualNode>& items, std::vector<PVirtualNode>& scratch, size_t lo, size_t hi,
               Compare& takeSecond) {
  size_t n = hi - lo;
  if (n < 2) return;
  size_t mid = lo + n / 2;
  MergeSort(items, scratch, lo, mid, takeSecond);
  MergeSort(items, scratch, mid, hi, takeSecond);
  size_t a = lo, b = mid, out = lo;
  while (a < mid && b < hi) {
    if (takeSecond(items[a], items[b]))
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
  auto takeSecond = [&](PVirtualNode first, PVirtualNode second) {
    int result = DoCompareNodes(first, second, column);
    return direction == sdAscending ? result > 0 : result < 0;
  };
  MergeSort(items, scratch, 0, items.size(), takeSecond);
  // Relink the whole chain, the parent's first and last child included.
  node->FirstChild = items.front();
  node->LastChild = items.back();
  for (size_t i = 0; i < items.size(); ++i) {
    items[i]->Index = static_cast<uint32_t>(i);
    items[i]->PrevSibling = i > 0 ? items[i - 1] : nullptr;
    items[i]->NextSibling = i + 1 < items.size() ? items[i + 1] : nullptr;
  }
}

void TVirtualTreeCore::Sort(PVirtualNode node, TColumnIndex column, TSortDirection direction, bool doInit) {
  StopCacheValidation();
  if (states.Contains(tsEditPending)) {
    StopTreeTimer(2);
    DoStateChange({}, {tsEditPending});
  }
  if (states.Contains(tsEditing) && !DoEndEdit()) return;
  if (node == nullptr) node = root;
  if (!(node->States & vsHasChildren)) return;
  if (doInit) {
    if (node->ChildCount == 0) InitChildren(node);
    for (PVirtualNode child = node->FirstChild; child != nullptr; child = child->NextSibling)
      if (!(child->States & vsInitialized)) InitNode(child);
  }
  if (node->FirstChild != nullptr && node->FirstChild != node->LastChild) {
    SortChildren(node, column, direction);
    InvalidateCache();
  }
  if (updateCount == 0) {
    ValidateCache();
    InvalidateWhole();
  }
}

void TVirtualTreeCore::SortTree(TColumnIndex column, TSortDirection direction, bool doInit) {
  ++updateCount;
  try {
    if (column > InvalidColumn) {
      // Explicit stack: every initialised node's children are sorted.
      std::vector<PVirtualNode> pending{root};
      while (!pending.empty()) {
        PVirtualNode node = pending.back();
        pending.pop_back();
        Sort(node, column, direction, doInit);
        for (PVirtualNode child = node->FirstChild; child != nullptr; child = child->NextSibling) {
          if (doInit && !(child->States & vsInitialized)) InitNode(child);
          if (child->States & vsInitialized) pending.push_back(child);
        }
      }
    }
  } catch (...) {
    --updateCount;
    throw;
  }
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
    if (node->States & (vsDeleting | vsClearing)) return;
    node->States &= ~(vsChecking | vsCutOrCopy | vsDeleting | vsHeightMeasured);
    InitNode(node);
  }
  if (recursive) ReinitChildren(node, true);
}

void TVirtualTreeCore::ReinitChildren(PVirtualNode node, bool recursive) {
  if (node == nullptr) node = root;
  // Only children that exist are asked again; children never made stay to be
  // made on demand (a recursive re-initialisation must not build the whole tree).
  if (node->FirstChild != nullptr) InitChildren(node);
  PVirtualNode run = node->FirstChild;
  if (!recursive) {
    while (run != nullptr) {
      PVirtualNode next = run->NextSibling;
      ReinitNode(run, false);
      run = next;
    }
    return;
  }
  // Recursively: each node, then its children, in pre-order without recursion.
  while (run != nullptr) {
    ReinitNode(run, false);
    if (run->FirstChild != nullptr) InitChildren(run);
    if (run->FirstChild != nullptr) {
      run = run->FirstChild;
      continue;
    }
    while (run != node && run->NextSibling == nullptr) run = run->Parent;
    if (run == node) break;
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
