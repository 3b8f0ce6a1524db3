// Lazy initialisation of nodes and children, and the linking and unlinking
// of one node into a parent's sibling chain with its counts.
#include <algorithm>
#include <vector>

#include "tree/TreeMath.h"
#include "tree/VirtualTreeCore.h"

void TVirtualTreeCore::InitNode(PVirtualNode node) {
  if (node == nullptr || node == root) return;
  // Flagged before the event, so a handler that walks the tree does not start again.
  node->States |= vsInitialized;
  TVirtualNodeInitStates initStates;
  // The handler may free the node (with its parent, say): then nothing is asked of it.
  TCallOutScope scope(*this);
  DoInitNode(node->Parent == root ? nullptr : node->Parent, node, initStates);
  if (Gone(node)) return;
  if (initStates.Contains(ivsDisabled)) node->States |= vsDisabled;
  if (initStates.Contains(ivsHasChildren)) {
    node->States |= vsHasChildren;
    if (node->FirstChild == nullptr) node->States &= ~vsAllChildrenHidden;
  }
  if (initStates.Contains(ivsSelected)) InternalAddToSelection({node}, false);
  if (initStates.Contains(ivsMultiline)) node->States |= vsMultiline;
  bool expanded = (node->States & vsExpanded) != 0;
  if (initStates.Contains(ivsExpanded) == expanded) return;
  if (!expanded) {
    ToggleNode(node);
    return;
  }
  // Already expanded (loaded from a stream) but not asked for: keep it, fetch children.
  if (node->States & vsHasChildren) InitChildren(node);
}

void TVirtualTreeCore::InitChildren(PVirtualNode node) {
  if (node == nullptr || node == root || !(node->States & vsHasChildren)) return;
  uint32_t count = node->ChildCount;
  TCallOutScope scope(*this);
  DoInitChildren(node, count);
  if (Gone(node)) return;
  if (count == 0) {
    DeleteChildren(node, true);
    node->States &= ~vsHasChildren;
    return;
  }
  SetChildCount(node, count);
}

void TVirtualTreeCore::ReindexChildren(std::vector<PVirtualNode>& parents) {
  std::sort(parents.begin(), parents.end());
  parents.erase(std::unique(parents.begin(), parents.end()), parents.end());
  for (PVirtualNode parent : parents) {
    uint32_t index = 0;
    for (PVirtualNode child = parent->FirstChild; child != nullptr; child = child->NextSibling) child->Index = index++;
  }
}

void TVirtualTreeCore::InternalConnectNode(PVirtualNode node, PVirtualNode destination, TVirtualTreeCore* target,
                                           TVTNodeAttachMode mode, bool reindex) {
  if (target == nullptr) target = this;
  PVirtualNode parent = nullptr;
  switch (mode) {
    case amNoWhere:
      break;
    case amInsertBefore: {
      parent = destination->Parent;
      node->PrevSibling = destination->PrevSibling;
      node->NextSibling = destination;
      node->Parent = parent;
      node->Index = destination->Index;
      if (node->PrevSibling != nullptr)
        node->PrevSibling->NextSibling = node;
      else
        parent->FirstChild = node;
      destination->PrevSibling = node;
      if (!reindex) {
        node->Index = node->PrevSibling != nullptr ? node->PrevSibling->Index + 1 : 0;
        break;
      }
      for (PVirtualNode run = destination; run != nullptr; run = run->NextSibling)
        run->Index = CheckedU32(run->Index, 1);
      break;
    }
    case amInsertAfter: {
      parent = destination->Parent;
      node->NextSibling = destination->NextSibling;
      node->PrevSibling = destination;
      node->Parent = parent;
      if (node->NextSibling != nullptr)
        node->NextSibling->PrevSibling = node;
      else
        parent->LastChild = node;
      destination->NextSibling = node;
      node->Index = destination->Index;
      if (!reindex) {
        node->Index = destination->Index + 1;
        break;
      }
      for (PVirtualNode run = node; run != nullptr; run = run->NextSibling) run->Index = CheckedU32(run->Index, 1);
      break;
    }
    case amAddChildFirst: {
      parent = destination;
      node->PrevSibling = nullptr;
      node->NextSibling = parent->FirstChild;
      node->Parent = parent;
      if (parent->FirstChild != nullptr)
        parent->FirstChild->PrevSibling = node;
      else
        parent->LastChild = node;
      parent->FirstChild = node;
      node->Index = 0;
      if (!reindex) break;
      for (PVirtualNode run = node->NextSibling; run != nullptr; run = run->NextSibling)
        run->Index = CheckedU32(run->Index, 1);
      break;
    }
    case amAddChildLast: {
      parent = destination;
      node->PrevSibling = parent->LastChild;
      node->NextSibling = nullptr;
      node->Parent = parent;
      if (parent->LastChild != nullptr) {
        parent->LastChild->NextSibling = node;
        node->Index = CheckedU32(parent->LastChild->Index, 1);
      } else {
        parent->FirstChild = node;
        node->Index = 0;
      }
      parent->LastChild = node;
      break;
    }
  }
  if (parent != nullptr) {
    parent->ChildCount = CheckedU32(parent->ChildCount, 1);
    parent->States |= vsHasChildren;
    target->PropagateTotalCount(parent, node->TotalCount, true);
    if ((parent->States & vsExpanded) && (node->States & vsVisible))
      target->PropagateTotalHeight(parent, node->TotalHeight, true);
    if (target->IsFullyVisible(node))
      target->visibleCount = CheckedU32(target->visibleCount, int64_t(CountVisibleChildren(node)) + 1);
  }
  node->States &= ~(vsChecking | vsCutOrCopy | vsClearing | vsDeleting);
  if (parent != nullptr) target->InvalidateCache();
  if (parent != nullptr && parent != target->root) {
    if (node->States & vsVisible)
      parent->States &= ~vsAllChildrenHidden;
    else if (parent->ChildCount == 1)
      parent->States |= vsAllChildrenHidden;
  }
}

void TVirtualTreeCore::InternalDisconnectNode(PVirtualNode node, bool keepFocus, bool reindex) {
  VT_ASSERT(node != nullptr && node != root, "Node must neither be nil nor the root node.");
  if (node == focusedNode && !keepFocus) {
    // The focus handlers may free the node themselves: then nothing is left to do.
    TCallOutScope scope(*this);
    DoFocusNode(nullptr, false);
    DoFocusChanged(focusedNode, focusedColumn);
    if (Gone(node)) return;
  }
  if (node == rangeAnchor) ResetRangeAnchor();
  // A child removed by DeleteChildren: that loop keeps the links and counts.
  if (node->States & vsDeleting) return;
  PVirtualNode parent = node->Parent;
  node->States &= ~vsChecking;
  bool wasFullyVisible = IsFullyVisible(node);
  uint32_t visibleBelow = wasFullyVisible ? CountVisibleChildren(node) : 0;
  bool adjustHeight = (parent->States & vsExpanded) && (node->States & vsVisible);
  parent->ChildCount = CheckedU32(parent->ChildCount, -1);
  if (parent->ChildCount == 0) {
    parent->States &= ~(vsAllChildrenHidden | vsHasChildren);
    if (parent != root) parent->States &= ~vsExpanded;
  }
  PropagateTotalCount(parent, -static_cast<int64_t>(node->TotalCount), true);
  if (adjustHeight) PropagateTotalHeight(parent, -static_cast<int64_t>(node->TotalHeight), true);
  if (wasFullyVisible) visibleCount = CheckedU32(visibleCount, -(int64_t(visibleBelow) + 1));
  PVirtualNode previous = node->PrevSibling;
  PVirtualNode next = node->NextSibling;
  if (previous != nullptr)
    previous->NextSibling = next;
  else
    parent->FirstChild = next;
  if (next != nullptr)
    next->PrevSibling = previous;
  else
    parent->LastChild = previous;
  if (reindex && next != nullptr) {
    uint32_t index = node->Index;
    for (PVirtualNode run = next; run != nullptr; run = run->NextSibling) run->Index = index++;
  }
  node->PrevSibling = nullptr;
  node->NextSibling = nullptr;
  InvalidateCache();
  // The flag is decided on the chain without the node (inside an update: at EndUpdate).
  if (parent != root && !(parent->States & vsClearing)) {
    if (updateCount == 0)
      DetermineHiddenChildrenFlag(parent);
    else
      DoStateChange({tsUpdateHiddenChildrenNeeded});
  }
}

uint32_t TVirtualTreeCore::CountVisibleChildren(PVirtualNode node) const {
  if (!(node->States & vsExpanded)) return 0;
  // Pre-order over the visible nodes below expanded ones, without recursion.
  uint32_t result = 0;
  PVirtualNode run = node->FirstChild;
  while (run != nullptr) {
    if (run->States & vsVisible) {
      result = CheckedU32(result, 1);
      if ((run->States & vsExpanded) && run->FirstChild != nullptr) {
        run = run->FirstChild;
        continue;
      }
    }
    while (run != node && run->NextSibling == nullptr) run = run->Parent;
    if (run == node) break;
    run = run->NextSibling;
  }
  return result;
}

int TVirtualTreeCore::CountLevelDifference(PVirtualNode node1, PVirtualNode node2) const {
  VT_ASSERT(node1 != nullptr && node2 != nullptr, "Both nodes must be Assigned.");
  int level1 = 0, level2 = 0;
  for (PVirtualNode run = node1; run != root; run = run->Parent) ++level1;
  for (PVirtualNode run = node2; run != root; run = run->Parent) ++level2;
  return level2 - level1;
}

void TVirtualTreeCore::DetermineHiddenChildrenFlag(PVirtualNode node) {
  if (node == nullptr) return;
  if (node->FirstChild == nullptr) {
    if (node->States & vsHasChildren)
      node->States &= ~vsAllChildrenHidden;
    else
      node->States |= vsAllChildrenHidden;
    return;
  }
  for (PVirtualNode run = node->FirstChild; run != nullptr; run = run->NextSibling) {
    if (run->States & vsVisible) {
      node->States &= ~vsAllChildrenHidden;
      return;
    }
  }
  node->States |= vsAllChildrenHidden;
}

void TVirtualTreeCore::DetermineHiddenChildrenFlagAllNodes() {
  // Existing nodes only: nothing is initialised and no children are made.
  DetermineHiddenChildrenFlag(root);
  for (PVirtualNode run = GetFirstNoInit(); run != nullptr; run = GetNextNoInit(run)) DetermineHiddenChildrenFlag(run);
}

void TVirtualTreeCore::InternalCacheNode(PVirtualNode node) {
  if (tempNodeCache.size() == tempNodeCache.capacity())
    tempNodeCache.reserve(tempNodeCache.size() < 100 ? 100 : tempNodeCache.size() + tempNodeCache.size() / 10);
  tempNodeCache.push_back(node);
}

void TVirtualTreeCore::ClearTempCache() {
  tempNodeCache.clear();
  tempNodeCache.shrink_to_fit();
}
