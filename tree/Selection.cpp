// The selection store: the selection array (sorted by node address, for binary
// search), the range anchor, ranges, toggling and inverting, and focus.
// Deleted and internally removed nodes leave a marked entry (bit 0 set) that
// CompactSelection drops, so that a walk can remove many nodes in one pass.
#include <algorithm>
#include <cstdint>

#include "tree/VirtualTreeCore.h"

namespace {
uintptr_t Key(PVirtualNode node) { return reinterpret_cast<uintptr_t>(node) & ~uintptr_t(1); }
bool Marked(PVirtualNode node) { return (reinterpret_cast<uintptr_t>(node) & 1) != 0; }
PVirtualNode Mark(PVirtualNode node) { return reinterpret_cast<PVirtualNode>(reinterpret_cast<uintptr_t>(node) | 1); }
// A function object, so that searches, sorts and merges inline the comparison.
constexpr auto ByKey = [](PVirtualNode a, PVirtualNode b) { return Key(a) < Key(b); };

// Sorts nodes by address; a long run by its address digits, 16 bits a pass
// (a pass where every node has the same digit is skipped).
void SortByKey(std::vector<PVirtualNode>& nodes) {
  if (std::is_sorted(nodes.begin(), nodes.end(), ByKey)) return;
  if (nodes.size() < 1024) {
    std::sort(nodes.begin(), nodes.end(), ByKey);
    return;
  }
  std::vector<PVirtualNode> spare(nodes.size());
  std::vector<uint32_t> starts(65536);
  for (unsigned shift = 0; shift < sizeof(uintptr_t) * 8; shift += 16) {
    std::fill(starts.begin(), starts.end(), 0);
    for (PVirtualNode node : nodes) ++starts[(Key(node) >> shift) & 0xFFFF];
    if (starts[(Key(nodes[0]) >> shift) & 0xFFFF] == nodes.size()) continue;
    uint32_t sum = 0;
    for (uint32_t& start : starts) {
      uint32_t count = start;
      start = sum;
      sum += count;
    }
    for (PVirtualNode node : nodes) spare[starts[(Key(node) >> shift) & 0xFFFF]++] = node;
    nodes.swap(spare);
  }
}
}  // namespace

void TVirtualTreeCore::CompactSelection() {
  if (selection.size() == selectionCount) return;
  selection.erase(std::remove_if(selection.begin(), selection.end(), Marked), selection.end());
  selectionCount = static_cast<uint32_t>(selection.size());
}

bool TVirtualTreeCore::FlagSelectedNodes(TVirtualNodeStates flag, TVirtualNodeStates skip) {
  if (selectionBatch > 0) return false;
  for (PVirtualNode node : selection)
    if (!Marked(node) && !(node->States & skip)) node->States |= flag;
  return true;
}

bool TVirtualTreeCore::FindNodeInSelection(PVirtualNode node, int& index, int lowBound, int highBound) const {
  int count = static_cast<int>(selection.size());
  if (lowBound < 0) lowBound = 0;
  // A lower bound past the end searches nothing; the insertion place is the end.
  if (lowBound > count) lowBound = count;
  if (highBound < 0 || highBound >= count) highBound = count - 1;
  auto first = selection.begin() + lowBound;
  auto last = selection.begin() + (highBound + 1 > lowBound ? highBound + 1 : lowBound);
  auto it = std::lower_bound(first, last, node, ByKey);
  index = static_cast<int>(it - selection.begin());
  return it != last && *it == node;
}

bool TVirtualTreeCore::IsInSelection(PVirtualNode node) const {
  int index = 0;
  // (Nothing selected: only entries of nodes that left remain, if any.)
  return node != nullptr && selectionCount > 0 && FindNodeInSelection(node, index, -1, -1);
}

bool TVirtualTreeCore::InternalAddToSelection(PVirtualNode node, bool forceInsert) {
  return InternalAddToSelection(std::vector<PVirtualNode>{node}, forceInsert);
}

bool TVirtualTreeCore::InternalAddToSelection(const std::vector<PVirtualNode>& nodes, bool forceInsert) {
  CompactSelection();
  bool multi = options.selection.Contains(toMultiSelect);
  bool siblings = options.selection.Contains(toSiblingSelectConstraint);
  // With nothing selected there is no group to stay beside: an anchor that
  // is not itself being added (the focused node after a clear) gives way to
  // the first node taken.
  bool regroup = siblings && !forceInsert && !anchorHeld && selectionCount == 0 && rangeAnchor != nullptr &&
                 std::find(nodes.begin(), nodes.end(), rangeAnchor) == nodes.end();
  std::vector<PVirtualNode> accepted;
  accepted.reserve(multi ? nodes.size() : 1);
  for (PVirtualNode node : nodes) {
    if (node == nullptr || node == root) continue;
    if (forceInsert) {
      // Forced entries skip the checks but never enter the array twice.
      if (!IsInSelection(node)) accepted.push_back(node);
      continue;
    }
    if (node->States & (vsSelected | vsDisabled)) continue;
    if (options.selection.Contains(toLevelSelectConstraint)) {
      if (lastSelectionLevel < 0) lastSelectionLevel = static_cast<int>(GetNodeLevel(node));
      if (static_cast<int>(GetNodeLevel(node)) != lastSelectionLevel) continue;
    }
    if (siblings) {
      if (rangeAnchor == nullptr || regroup) rangeAnchor = node;
      regroup = false;
      if (node->Parent != rangeAnchor->Parent) continue;
    }
    accepted.push_back(node);
  }
  if (accepted.empty()) return false;
  if (!multi) {
    // A single-selection tree keeps one node: the last one accepted.
    PVirtualNode keep = accepted.back();
    std::vector<PVirtualNode> dropped;
    for (PVirtualNode node : selection) {
      if (Marked(node) || node == keep) continue;
      node->States &= ~vsSelected;
      dropped.push_back(node);
    }
    selection.assign(1, keep);
    keep->States |= vsSelected;
    selectionCount = 1;
    // The callers repaint the node they added; only this knows the one it replaced.
    for (PVirtualNode node : dropped) InvalidateNodeArea(node);
    return true;
  }
  SortByKey(accepted);
  accepted.erase(std::unique(accepted.begin(), accepted.end()), accepted.end());
  for (PVirtualNode node : accepted) node->States |= vsSelected;
  size_t oldSize = selection.size();
  selection.insert(selection.end(), accepted.begin(), accepted.end());
  std::inplace_merge(selection.begin(), selection.begin() + static_cast<ptrdiff_t>(oldSize), selection.end(), ByKey);
  // Forced entries were checked against the array; a node selected without
  // an entry (loaded streams) may still have come twice through the checks.
  selection.erase(std::unique(selection.begin(), selection.end()), selection.end());
  selectionCount = static_cast<uint32_t>(selection.size());
  return true;
}

void TVirtualTreeCore::InternalRemoveFromSelection(PVirtualNode node) {
  if (node == nullptr || !(node->States & vsSelected)) return;
  node->States &= ~vsSelected;
  int index = 0;
  if (!FindNodeInSelection(node, index, -1, -1)) return;
  selection[static_cast<size_t>(index)] = Mark(node);
  --selectionCount;
}

void TVirtualTreeCore::InternalRemoveFromSelection(const std::vector<PVirtualNode>& nodes) {
  // A search per node costs more than one pass over the array once many of
  // its nodes leave together.
  if (nodes.size() * 16 < selectionCount) {
    for (PVirtualNode node : nodes) InternalRemoveFromSelection(node);
    return;
  }
  for (PVirtualNode node : nodes) node->States &= ~vsSelected;
  // Marked entries go first: their nodes may be freed already.
  CompactSelection();
  selection.erase(std::remove_if(selection.begin(), selection.end(),
                                 [](PVirtualNode node) { return !(node->States & vsSelected); }),
                  selection.end());
  selectionCount = static_cast<uint32_t>(selection.size());
}

void TVirtualTreeCore::InternalClearSelection() {
  if (updateCount > 0) CompactSelection();
  for (PVirtualNode node : selection)
    if (!Marked(node)) node->States &= ~vsSelected;
  ResetRangeAnchor();
  selection.clear();
  selectionCount = 0;
  DoStateChange({}, {tsClearPending});
}

void TVirtualTreeCore::ClearSelection() {
  if (IsTreeDestroying()) return;
  if (selectionCount == 0) {
    // Nothing to report, but an anchor left from an earlier selection must
    // not hold the next one to its siblings.
    ResetRangeAnchor();
    return;
  }
  if (updateCount == 0) InvalidateSelection();
  InternalClearSelection();
  Change(nullptr);
}

void TVirtualTreeCore::AddToSelection(PVirtualNode node) {
  VT_ASSERT(node != nullptr, "Node must not be nil!");
  if (!InternalAddToSelection(node, false)) return;
  InvalidateNodeArea(node);
  Change(node);
}

void TVirtualTreeCore::AddToSelection(const std::vector<PVirtualNode>& nodes, bool forceInsert) {
  if (!InternalAddToSelection(nodes, forceInsert)) return;
  if (nodes.size() > 1) {
    InvalidateWhole();
    Change(nullptr);
    return;
  }
  InvalidateNodeArea(nodes.front());
  Change(nodes.front());
}

void TVirtualTreeCore::AddToSelectionInTurn(const std::vector<PVirtualNode>& nodes) {
  // One step only where it ends as the turns would: a single-selection tree
  // takes each in turn, with nothing selected the sibling constraint
  // regroups at every turn until a node is taken, and outside an update
  // each change is reported at once.
  bool oneStep = updateCount > 0 && options.selection.Contains(toMultiSelect) &&
                 !(options.selection.Contains(toSiblingSelectConstraint) && selectionCount == 0 && rangeAnchor != nullptr);
  if (!oneStep) {
    // Each change may be reported at once: its handlers may free a node still to come, or the tree.
    TCallOutScope scope(*this);
    for (PVirtualNode node : nodes) {
      if (scope.TreeGone()) return;
      if (node != nullptr && !Gone(node)) AddToSelection(node);
    }
    return;
  }
  // One by one each addition would search and merge the whole selection.
  std::vector<PVirtualNode> fresh;
  fresh.reserve(nodes.size());
  for (PVirtualNode node : nodes)
    if (node != nullptr && !(node->States & vsSelected)) fresh.push_back(node);
  std::vector<PVirtualNode> sorted = fresh;
  SortByKey(sorted);
  if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) {
    // A node named again is refused at its later turns: only its first counts.
    std::vector<PVirtualNode> firsts;
    for (PVirtualNode node : fresh) {
      // Marking keeps the order (the key ignores the mark).
      auto at = std::lower_bound(sorted.begin(), sorted.end(), node, ByKey);
      if (Marked(*at)) continue;
      *at = Mark(*at);
      firsts.push_back(node);
    }
    fresh.swap(firsts);
  }
  if (!InternalAddToSelection(fresh, false)) return;
  // Each one taken (selected now, not before) is noted as its turn would
  // note it: inside an update that only records the change.
  for (PVirtualNode node : fresh) {
    if (!(node->States & vsSelected)) continue;
    InvalidateNodeArea(node);
    Change(node);
  }
}

void TVirtualTreeCore::RemoveFromSelection(PVirtualNode node) {
  VT_ASSERT(node != nullptr, "Node must not be nil!");
  if (!(node->States & vsSelected)) return;
  InternalRemoveFromSelection(node);
  CompactSelection();
  if (selectionCount == 0) ResetRangeAnchor();
  InvalidateNodeArea(node);
  Change(node);
}

void TVirtualTreeCore::SetSelected(PVirtualNode node, bool value) {
  if (node == nullptr || node == root || ((node->States & vsSelected) != 0) == value) return;
  if (!value) {
    RemoveFromSelection(node);
    if (selectionCount == 0) rangeAnchor = nullptr;
    return;
  }
  // The change handlers may free the node: a freed node is neither selected nor the anchor.
  TCallOutScope scope(*this);
  if (selectionCount == 0) {
    rangeAnchor = node;
  } else if (!options.selection.Contains(toMultiSelect)) {
    ClearSelection();
    if (scope.TreeGone() || Gone(node)) return;
  }
  AddToSelection(node);
  if (scope.TreeGone() || Gone(node)) return;
  if (rangeAnchor == nullptr) rangeAnchor = node;
  AdjustFocusedColumnForSelection();
}

void TVirtualTreeCore::SelectAll(bool visibleOnly) {
  if (!options.selection.Contains(toMultiSelect)) return;
  ClearTempCache();
  PVirtualNode run = visibleOnly ? GetFirstVisibleNoInit() : GetFirstNoInit();
  while (run != nullptr) {
    if (!(run->States & vsSelected)) InternalCacheNode(run);
    run = visibleOnly ? GetNextVisibleNoInit(run) : GetNextNoInit(run);
  }
  // The change handler may free the whole tree.
  TCallOutScope scope(*this);
  if (!tempNodeCache.empty() && InternalAddToSelection(tempNodeCache, false)) Change(nullptr);
  if (scope.TreeGone()) return;
  ClearTempCache();
  InvalidateWhole();
}

void TVirtualTreeCore::InvertSelection(bool visibleOnly) {
  if (!options.selection.Contains(toMultiSelect)) return;
  ClearTempCache();
  bool removed = false;
  PVirtualNode run = visibleOnly ? GetFirstVisibleNoInit() : GetFirstNoInit();
  while (run != nullptr) {
    if (run->States & vsSelected) {
      InternalRemoveFromSelection(run);
      removed = true;
    } else {
      InternalCacheNode(run);
    }
    run = visibleOnly ? GetNextVisibleNoInit(run) : GetNextNoInit(run);
  }
  CompactSelection();
  // Additions the constraints or disabled nodes refuse all count as none.
  // The inverted nodes stay in the anchor's group, though for a moment
  // nothing is selected.
  anchorHeld = true;
  bool added = false;
  try {
    added = !tempNodeCache.empty() && InternalAddToSelection(tempNodeCache, false);
  } catch (...) {
    anchorHeld = false;
    throw;
  }
  anchorHeld = false;
  PVirtualNode changed = tempNodeCache.size() == 1 ? tempNodeCache.front() : nullptr;
  ClearTempCache();
  InvalidateWhole();
  if (added || removed) Change(added ? changed : nullptr);
}

int TVirtualTreeCore::CompareNodeOrder(PVirtualNode node1, PVirtualNode node2) const {
  VT_ASSERT(node1 != nullptr && node2 != nullptr, "Nodes must never be nil.");
  if (node1 == node2) return 0;
  if (HasAsParent(node1, node2)) return 1;
  if (HasAsParent(node2, node1)) return -1;
  uint32_t level1 = GetNodeLevel(node1);
  uint32_t level2 = GetNodeLevel(node2);
  while (level1 > level2) {
    node1 = node1->Parent;
    --level1;
  }
  while (level2 > level1) {
    node2 = node2->Parent;
    --level2;
  }
  while (node1->Parent != node2->Parent) {
    node1 = node1->Parent;
    node2 = node2->Parent;
  }
  return static_cast<int>(node1->Index) - static_cast<int>(node2->Index);
}

// The two ends of a range, ordered, each replaced by a shown node when hidden.
void TVirtualTreeCore::PrepareRange(PVirtualNode& startNode, PVirtualNode& endNode) {
  VT_ASSERT(endNode != nullptr, "EndNode must not be nil!");
  auto shown = [this](PVirtualNode node) {
    if (node == nullptr) return GetFirstNoInit();
    if (IsFullyVisible(node)) return node;
    PVirtualNode previous = GetPreviousVisibleNoInit(node);
    return previous != nullptr ? previous : GetFirstNoInit();
  };
  startNode = shown(startNode);
  endNode = shown(endNode);
  if (startNode != nullptr && CompareNodeOrder(startNode, endNode) > 0) std::swap(startNode, endNode);
}

void TVirtualTreeCore::SelectNodes(PVirtualNode startNode, PVirtualNode endNode, bool addOnly) {
  PrepareRange(startNode, endNode);
  PVirtualNode anchor = rangeAnchor;
  if (!addOnly) InternalClearSelection();
  // The range keeps to the anchor's group, not to that of the node the
  // clear made the anchor (the focused one, often the range's other end).
  PVirtualNode cleared = rangeAnchor;
  if (anchor != nullptr) rangeAnchor = anchor;
  ClearTempCache();
  for (PVirtualNode run = startNode; run != nullptr; run = GetNextVisibleNoInit(run)) {
    InternalCacheNode(run);
    if (run == endNode) break;
  }
  bool added = InternalAddToSelection(tempNodeCache, false);
  PVirtualNode changed = tempNodeCache.size() == 1 ? tempNodeCache.front() : nullptr;
  ClearTempCache();
  if (anchor == nullptr || !(anchor->States & vsSelected)) {
    if (rangeAnchor == anchor) rangeAnchor = cleared;
  } else {
    rangeAnchor = anchor;
  }
  if (!added) return;
  if (changed == nullptr) {
    InvalidateWhole();
  } else {
    InvalidateNodeArea(changed);
  }
  Change(changed);
}

void TVirtualTreeCore::ToggleSelection(PVirtualNode startNode, PVirtualNode endNode) {
  PrepareRange(startNode, endNode);
  if (startNode == endNode || startNode == nullptr) return;
  if (rangeAnchor == nullptr) rangeAnchor = startNode;
  bool firstMoves = CompareNodeOrder(startNode, rangeAnchor) < 0;
  bool lastMoves = CompareNodeOrder(endNode, rangeAnchor) > 0;
  ClearTempCache();
  for (PVirtualNode run = startNode; run != nullptr; run = GetNextVisibleNoInit(run)) {
    bool end = run == endNode;
    bool changes = (run != startNode || firstMoves) && (!end || lastMoves);
    if (changes) {
      if (run->States & vsSelected)
        InternalRemoveFromSelection(run);
      else
        InternalCacheNode(run);
    }
    if (end) break;
  }
  CompactSelection();
  if (!(rangeAnchor->States & vsSelected)) InternalCacheNode(rangeAnchor);
  if (!tempNodeCache.empty()) AddToSelection(tempNodeCache, false);
  ClearTempCache();
}

void TVirtualTreeCore::UnselectNodes(PVirtualNode startNode, PVirtualNode endNode) {
  PrepareRange(startNode, endNode);
  for (PVirtualNode run = startNode; run != nullptr; run = GetNextVisibleNoInit(run)) {
    InternalRemoveFromSelection(run);
    if (run == endNode) break;
  }
  CompactSelection();
  if (selectionCount == 0) ResetRangeAnchor();
}

bool TVirtualTreeCore::DoFocusNode(PVirtualNode node, bool ask) {
  if (node == root) node = nullptr;
  if (node == focusedNode) return true;
  if (ask && !DoFocusChanging(focusedNode, node, focusedColumn, focusedColumn)) return false;
  PVirtualNode old = focusedNode;
  focusedNode = node;
  if (old != nullptr) InvalidateNodeArea(old);
  if (node != nullptr) InvalidateNodeArea(node);
  if (selectionCount == 0) ResetRangeAnchor();
  return true;
}

void TVirtualTreeCore::SetFocusedNode(PVirtualNode node) {
  PVirtualNode old = focusedNode;
  // The handlers on the way may free the whole tree.
  TCallOutScope scope(*this);
  DoFocusNode(node, true);
  if (scope.TreeGone()) return;
  if (focusedNode != old && focusedNode == (node == root ? nullptr : node))
    DoFocusChanged(focusedNode, focusedColumn);
}

void TVirtualTreeCore::SetHotNode(PVirtualNode node) {
  if (node == root) node = nullptr;
  if (node == hotNode) return;
  PVirtualNode old = hotNode;
  hotNode = node;
  DoHotChange(old, node);
}
