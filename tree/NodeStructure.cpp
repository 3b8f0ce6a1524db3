// Node records and the structural operations: making, adding, counting,
// deleting and clearing nodes, with the totals kept exact along the parent chain.
#include <algorithm>
#include <cstdlib>
#include <new>
#include <vector>

#include "tree/NodeRecords.h"
#include "tree/TreeMath.h"
#include "tree/VirtualTreeCore.h"

TVirtualTreeCore::~TVirtualTreeCore() {
  // The window class clears the tree with events before this runs; what is
  // left is freed silently (no handler may run on a half-destroyed object).
  // A tree freed by a handler lives until its scopes end; only a core
  // without a holder, or one deleted outright, gets here with scopes open:
  // they let go of it, and every record is left dead to the outermost one,
  // so that the operations still find the nodes they hold gone and return.
  if (innermostScope != nullptr) {
    if (root != nullptr) {
      FreeSubtree(root);
      FreeNodeRecord(root);
      root = nullptr;
    }
    TCallOutScope* outermost = innermostScope;
    for (TCallOutScope* scope = innermostScope; scope != nullptr; scope = scope->outer) {
      scope->tree = nullptr;
      scope->holder = nullptr;
      outermost = scope;
    }
    innermostScope = nullptr;
    callOutDepth = 0;
    outermost->orphans = new (std::nothrow) std::vector<PVirtualNode>(std::move(deadRecords));
    if (outermost->orphans != nullptr) return;
  }
  callOutDepth = 0;
  ReleaseDeadRecords();
  if (root == nullptr) return;
  FreeSubtree(root);
  ReleaseNodeRecord(root);
  root = nullptr;
}

void TVirtualTreeCore::CreateRootNode() {
  if (root != nullptr) return;
  void* block = AllocateNodeRecord(kNodeHeaderSize + totalInternalDataSize);
  root = static_cast<PVirtualNode>(block);
  root->States = vsInitialized | vsExpanded | vsHasChildren | vsVisible;
  root->NodeHeight = static_cast<uint16_t>(defaultNodeHeight > 0xFFFF ? 0xFFFF : defaultNodeHeight);
  root->TotalHeight = root->NodeHeight;
  root->TotalCount = 1;
  root->Align = 50;
  root->PrevSibling = root;
  root->NextSibling = root;
  // The root's parent link holds the tree: upward walks stop at the root.
  root->Parent = reinterpret_cast<PVirtualNode>(this);
}

PVirtualNode TVirtualTreeCore::MakeNewNode() {
  if (nodeDataSize == -1) DoGetNodeDataSize(nodeDataSize);
  if (nodeDataSize < 0) throw EIntOverflow("Node data size must not be negative");
  size_t size = kNodeHeaderSize + totalInternalDataSize;
  if (!IsTreeDesigning()) size += static_cast<size_t>(nodeDataSize);
  void* block = AllocateNodeRecord(size);
  PVirtualNode node = static_cast<PVirtualNode>(block);
  node->TotalCount = 1;
  node->NodeHeight = static_cast<uint16_t>(defaultNodeHeight > 0xFFFF ? 0xFFFF : defaultNodeHeight);
  node->TotalHeight = node->NodeHeight;
  node->States = vsVisible;
  node->Align = 50;
  if (liveRecords != nullptr) {
    try {
      liveRecords->insert(node);
    } catch (...) {
      ReleaseNodeRecord(block);
      throw;
    }
  }
  return node;
}

void TVirtualTreeCore::FreeNodeRecord(PVirtualNode node) {
  if (liveRecords != nullptr) liveRecords->erase(node);
  ++freedCount;
  if (callOutDepth > 0) {
    node->States |= vsDead;
    try {
      deadRecords.push_back(node);
      return;
    } catch (const std::bad_alloc&) {
      // Kept nowhere: given back now, as outside an operation.
    }
  }
  ReleaseNodeRecord(node);
}

void TVirtualTreeCore::ReserveDeadRecords(uint32_t count) {
  size_t needed = deadRecords.size() + count;
  if (needed <= deadRecords.capacity()) return;
  try {
    // Growing by at least half keeps many small deletions linear.
    deadRecords.reserve(std::max(needed, deadRecords.capacity() + deadRecords.capacity() / 2));
  } catch (const std::bad_alloc&) {
    // Kept one by one (or given back at once) as before.
  }
}

void TVirtualTreeCore::ReleaseDeadRecords() {
  std::vector<PVirtualNode> dead;
  dead.swap(deadRecords);
  for (PVirtualNode node : dead) ReleaseNodeRecord(node);
}

void TVirtualTreeCore::TCallOutScope::KeepOrphan(PVirtualNode node) {
  TCallOutScope* outermost = this;
  while (outermost->outer != nullptr) outermost = outermost->outer;
  node->States |= vsDead;
  if (outermost->orphans != nullptr) {
    try {
      outermost->orphans->push_back(node);
      return;
    } catch (const std::bad_alloc&) {
      // Kept nowhere: given back now.
    }
  }
  ReleaseNodeRecord(node);
}

void TVirtualTreeCore::ReleaseOrphans(std::vector<PVirtualNode>* records) {
  for (PVirtualNode node : *records) ReleaseNodeRecord(node);
  delete records;
}

bool TVirtualTreeCore::BelowDeletion(PVirtualNode node) const {
  // Only a deletion that takes whole branches out leaves nodes below one.
  if (deletionsRunning == 0) return false;
  for (PVirtualNode run = node->Parent; run != nullptr && run != root; run = run->Parent)
    if (run->States & (vsDeleting | vsDead)) return true;
  return false;
}

bool TVirtualTreeCore::IsLinkedRecord(PVirtualNode node) const {
  if (node == nullptr || node == root) return false;
  if (liveRecords == nullptr) {
    // Built once; from now on every record made or freed keeps it current.
    auto records = std::make_unique<std::unordered_set<PVirtualNode>>();
    for (PVirtualNode run = GetFirstNoInit(); run != nullptr; run = GetNextNoInit(run)) records->insert(run);
    liveRecords = std::move(records);
  }
  // Each link is followed only from a record known to be alive.
  for (PVirtualNode run = node; run != root; run = run->Parent)
    if (run == nullptr || liveRecords->count(run) == 0) return false;
  return true;
}

void TVirtualTreeCore::FreeSubtree(PVirtualNode node) {
  // Post-order without recursion, so deep chains cannot exhaust the stack.
  PVirtualNode run = node->FirstChild;
  while (run != nullptr && run != node) {
    if (run->FirstChild != nullptr) {
      run = run->FirstChild;
      continue;
    }
    PVirtualNode next = run->NextSibling;
    PVirtualNode up = run->Parent;
    FreeNodeRecord(run);
    if (next != nullptr) {
      run = next;
      continue;
    }
    up->FirstChild = nullptr;
    run = up;
  }
  node->FirstChild = nullptr;
  node->LastChild = nullptr;
}

void TVirtualTreeCore::PropagateTotalCount(PVirtualNode node, int64_t value, bool relative) {
  int64_t difference = relative ? value : value - static_cast<int64_t>(node->TotalCount);
  if (difference == 0) return;
  for (;;) {
    node->TotalCount = CheckedU32(node->TotalCount, difference);
    // A node taken out by a deletion is counted by that deletion already.
    if (node == root || (node->States & vsDeleting)) break;
    node = node->Parent;
  }
}

void TVirtualTreeCore::PropagateTotalHeight(PVirtualNode node, int64_t value, bool relative) {
  int64_t difference = relative ? value : value - static_cast<int64_t>(node->TotalHeight);
  if (difference == 0) return;
  for (;;) {
    node->TotalHeight = CheckedU32(node->TotalHeight, difference);
    // A hidden node, a collapsed parent or a node taken out by a deletion absorbs the change.
    if (!(node->States & vsVisible) || node == root || (node->States & vsDeleting)) break;
    node = node->Parent;
    if (!(node->States & vsExpanded)) break;
  }
}

void TVirtualTreeCore::CreateChildren(PVirtualNode node, uint32_t count) {
  uint32_t index = 0;
  if (node->LastChild != nullptr)
    index = CheckedU32(node->LastChild->Index, 1);
  else
    node->States |= vsHasChildren;
  node->States &= ~vsAllChildrenHidden;
  // Overflow checks before anything is made: the root's count bounds every
  // ancestor's, and the height goes up the chain it will be added to.
  CheckedU32(node->ChildCount, count);
  CheckedU32(root->TotalCount, count);
  bool expanded = (node->States & vsExpanded) != 0;
  bool shown = expanded && (node == root || IsFullyVisible(node));
  if (expanded) {
    int64_t room = int64_t(count) * std::min<uint32_t>(defaultNodeHeight, 0xFFFF);
    for (PVirtualNode run = node;; run = run->Parent) {
      CheckedU32(run->TotalHeight, room);
      if (!(run->States & vsVisible) || run == root || !(run->Parent->States & vsExpanded)) break;
    }
  }
  // The new children are counted once for all, up the whole chain.
  uint32_t made = 0;
  int64_t heightSum = 0;
  auto account = [&]() {
    PropagateTotalCount(node, made, true);
    if (expanded) PropagateTotalHeight(node, heightSum, true);
    if (shown) visibleCount = CheckedU32(visibleCount, made);
  };
  try {
    for (; made < count; ++made) {
      PVirtualNode child = MakeNewNode();
      child->Index = index++;
      child->Parent = node;
      child->PrevSibling = node->LastChild;
      if (node->LastChild != nullptr)
        node->LastChild->NextSibling = child;
      else
        node->FirstChild = child;
      node->LastChild = child;
      node->ChildCount++;
      heightSum += child->NodeHeight;
    }
  } catch (...) {
    // A failing allocation leaves exact totals for the children made.
    account();
    throw;
  }
  account();
  // Heights are measured only once the new nodes are linked and counted, so a
  // changed height is propagated exactly once (by SetNodeHeight).
  if (options.misc.Contains(toVariableNodeHeight)) {
    // A measuring handler that deletes the node measured (or frees the
    // tree) ends the measuring there.
    TCallOutScope scope(*this);
    ++updateCount;
    try {
      for (PVirtualNode run = node->LastChild; count > 0 && run != nullptr; run = run->PrevSibling, --count) {
        MeasureNodeHeight(MeasureCanvas(), run);
        if (scope.Lost(run)) break;
      }
    } catch (...) {
      --updateCount;
      throw;
    }
    --updateCount;
  }
}

void TVirtualTreeCore::SetChildCount(PVirtualNode node, uint32_t newCount) {
  if (options.misc.Contains(toReadOnly)) return;
  if (node == nullptr) node = root;
  // A node that goes (or whose children go) takes no new count: the deletion
  // decides its children. Emptying is the one request it may still honour.
  if (newCount > 0 && InDeletion(node)) return;
  if (newCount == 0) {
    DeleteChildren(node, false);
    return;
  }
  if (newCount == node->ChildCount && (node->FirstChild != nullptr || node->ChildCount == 0)) return;
  if (node->States & vsDeleting) return;
  // The state handler, and those of the sort or of the deletions, may free
  // the node or the whole tree: a node gone takes no children.
  TCallOutScope scope(*this);
  StopCacheValidation();
  if (scope.Lost(node) || InDeletion(node)) return;
  if (node->FirstChild == nullptr && node->ChildCount > 0) node->ChildCount = 0;  // count of a pending load
  if (newCount > node->ChildCount) {
    CreateChildren(node, newCount - node->ChildCount);
    if (updateCount == 0 && options.autoOptions.Contains(toAutoSort) && HeaderSortColumn() > InvalidColumn) {
      Sort(node, HeaderSortColumn(), HeaderSortDirection(), true);
      if (scope.TreeGone()) return;
    }
    InvalidateCache();
  } else {
    // Bracketed as AddChild brackets growth: the scroll range, the cache and
    // the listeners hear of the shrink once, not once per deleted node.
    ++updateCount;
    bool kept;
    try {
      kept = DeleteLastChildren(node, node->ChildCount - newCount);
    } catch (...) {
      if (!scope.TreeGone()) --updateCount;
      throw;
    }
    if (scope.TreeGone()) return;
    --updateCount;
    if (!kept) {
      SettleAfterNodeLeft();
      return;
    }
    if (updateCount == 0) CompactSelection();
  }
  if (updateCount == 0) {
    ValidateCache();
    UpdateScrollBars(true);
    InvalidateWhole();
  }
  StructureChange(node == root ? nullptr : node, crChildAdded);
}

uint32_t TVirtualTreeCore::GetChildCount(PVirtualNode node) const {
  if (node == nullptr || node == root) return GetRootNodeCount();
  return node->ChildCount;
}

uint32_t TVirtualTreeCore::GetRootNodeCount() const {
  if (states.Contains(tsNeedRootCountUpdate)) return pendingRootCount;
  return root != nullptr ? root->ChildCount : 0;
}

void TVirtualTreeCore::SetRootNodeCount(uint32_t value) {
  if (IsTreeLoading()) {
    pendingRootCount = value;
    DoStateChange({tsNeedRootCountUpdate});
    return;
  }
  if (value == root->ChildCount) return;
  // The handlers of the update and of the deletions may free the whole tree.
  TCallOutScope scope(*this);
  BeginUpdate();
  if (scope.TreeGone()) return;
  try {
    StopCacheValidation();
    SetChildCount(root, value);
  } catch (...) {
    if (!scope.TreeGone()) EndUpdate();
    throw;
  }
  if (scope.TreeGone()) return;
  EndUpdate();
}

void TVirtualTreeCore::ApplyPendingRootCount() {
  if (!states.Contains(tsNeedRootCountUpdate)) return;
  // The state, update and node handlers may free the tree: a going tree stays read-only.
  TCallOutScope scope(*this);
  DoStateChange({}, {tsNeedRootCountUpdate});
  if (pendingRootCount == 0 || scope.TreeGone()) return;
  // A read-only tree still gets the nodes its form definition asks for.
  bool readOnly = options.misc.Contains(toReadOnly);
  options.misc.Exclude(toReadOnly);
  try {
    BeginUpdate();
    if (!scope.TreeGone()) SetRootNodeCount(pendingRootCount);
    if (!scope.TreeGone()) EndUpdate();
  } catch (...) {
    if (scope.TreeGone()) throw;
    if (updateCount > 0) EndUpdate();
    if (readOnly) options.misc.Include(toReadOnly);
    throw;
  }
  if (readOnly && !scope.TreeGone()) options.misc.Include(toReadOnly);
}

PVirtualNode TVirtualTreeCore::AddChild(PVirtualNode parent, void* userData) {
  if (options.misc.Contains(toReadOnly)) return nullptr;
  if (parent == nullptr) parent = root;
  // A node on its way out (a free handler asks), or one whose children are
  // being deleted, takes no children.
  if (InDeletion(parent)) return nullptr;
  TCallOutScope scope(*this);
  CancelEditNode();
  if (!(parent->States & vsInitialized)) InitNode(parent);
  // The handlers may have freed the parent (or the whole tree) or sent it into a deletion.
  if (scope.Lost(parent) || InDeletion(parent)) return nullptr;
  // The data size is known (asked) and checked before the node is linked.
  if (userData != nullptr) {
    if (nodeDataSize == -1) DoGetNodeDataSize(nodeDataSize);
    if (nodeDataSize < static_cast<int>(sizeof(void*))) RaiseTreeError(SCannotSetUserData, hcTFCannotSetUserData);
  }
  PVirtualNode last = parent->LastChild;
  ++updateCount;
  try {
    SetChildCount(parent, parent->ChildCount + 1);
  } catch (...) {
    if (!scope.TreeGone()) --updateCount;
    throw;
  }
  if (scope.TreeGone()) return nullptr;
  --updateCount;
  // A handler that freed the parent (or sent it into a deletion) left no new node.
  PVirtualNode result = parent->LastChild;
  if (scope.Lost(parent) || InDeletion(parent) || result == last || scope.Lost(result)) return nullptr;
  parent->States &= ~vsAllChildrenHidden;
  if (userData != nullptr && result != nullptr) {
    *static_cast<void**>(GetNodeData(result)) = userData;
    result->States |= vsInitialUserData;
  }
  InvalidateCache();
  if (updateCount == 0) {
    ValidateCache();
    if (states.Contains(tsStructureChangePending)) StructureChange(parent == root ? nullptr : parent, crChildAdded);
    if (scope.TreeGone()) return nullptr;
    if (options.autoOptions.Contains(toAutoSort) && HeaderSortColumn() > InvalidColumn)
      Sort(parent, HeaderSortColumn(), HeaderSortDirection(), true);
    if (scope.TreeGone()) return nullptr;
    InvalidateBelowNode(parent);
    UpdateScrollBars(true);
  }
  // The handlers of the cache, the structure or the sort may have freed the new node.
  return scope.Lost(result) ? nullptr : result;
}

void TVirtualTreeCore::DeleteChildren(PVirtualNode node, bool resetHasChildren) {
  if (node == nullptr) node = root;
  if (node->FirstChild == nullptr || options.misc.Contains(toReadOnly) || (node->States & vsDead)) return;
  // Children being deleted already (a handler asks again) go with that deletion;
  // a shrink asked to empty its node deletes the children it keeps as well.
  if (node->States & vsClearing) {
    if (node == shrinkingNode) shrinkToEmpty = true;
    return;
  }
  // Below a node taken out by a deletion, everything goes with that deletion.
  if (node != root && BelowDeletion(node)) return;
  VT_ASSERT(!states.Contains(tsIterating), "Deleting nodes during tree iteration leads to invalid pointers.");
  VT_ASSERT(streamDepth == 0, "Deleting nodes while a stream is read leads to invalid pointers.");
  ++updateCount;
  StopCacheValidation();
  int oldX = offsetX;
  int64_t oldY = offsetY;
  bool shown = node == root || ((node->States & vsExpanded) && IsFullyVisible(node));
  node->States |= vsClearing;
  TCallOutScope scope(*this);
  try {
    DeleteDescendants(node, shown);
  } catch (...) {
    if (!scope.TreeGone()) --updateCount;
    throw;
  }
  if (scope.TreeGone()) return;
  if (Gone(node)) {
    // A handler deleted the node itself, with what was left below it.
    --updateCount;
    SettleAfterNodeLeft();
    return;
  }
  node->States &= ~vsClearing;
  if (resetHasChildren) node->States &= ~vsHasChildren;
  if (node != root) node->States &= ~vsExpanded;
  node->ChildCount = 0;
  if (node == root || (node->States & vsDeleting)) {
    node->TotalHeight = node->NodeHeight;
    node->TotalCount = 1;
  } else {
    PropagateTotalHeight(node, GetNodeHeight(node), false);
    PropagateTotalCount(node, 1, false);
  }
  node->FirstChild = nullptr;
  node->LastChild = nullptr;
  --updateCount;
  InvalidateCache();
  if (updateCount == 0) {
    CompactSelection();
    ValidateCache();
    UpdateScrollBars(true);
    if (oldX == offsetX && oldY == offsetY)
      InvalidateBelowNode(node);
    else
      InvalidateWhole();
  }
  StructureChange(node == root ? nullptr : node, crChildDeleted);
}

void TVirtualTreeCore::FreeDetachedSubtree(PVirtualNode node) {
  // Post-order, last child first, as DeleteDescendants goes. A free handler
  // that frees the whole tree stops no node from going: reached from nowhere
  // else, each still gets its DoFreeNode (the handlers of a going tree are
  // not called, its own override frees what the node holds).
  TCallOutScope scope(*this);
  PVirtualNode run = node;
  for (;;) {
    while (run->LastChild != nullptr) run = run->LastChild;
    PVirtualNode up = run == node ? nullptr : run->Parent;
    if (up != nullptr) {
      up->LastChild = run->PrevSibling;
      if (up->LastChild != nullptr)
        up->LastChild->NextSibling = nullptr;
      else
        up->FirstChild = nullptr;
    }
    if (run->States & vsSelected) InternalRemoveFromSelection(run);
    run->States |= vsDeleting;
    DoFreeNode(run);
    if (up == nullptr) return;
    run = up;
  }
}

void TVirtualTreeCore::DeleteDescendants(PVirtualNode node, bool shown) {
  // Last child first, and a child's own children before it, without
  // recursion: one level per entry, so a chain of any depth goes. A node
  // whose children are gone is deleted as DeleteNode deletes a leaf.
  struct Level {
    PVirtualNode parent;
    bool shown;  // its children are in the visible count
  };
  std::vector<Level> levels{{node, shown}};
  TCallOutScope scope(*this);
  TDeletionRun running(*this);
  // The records stay until the outermost operation returns: room for all of them at once.
  ReserveDeadRecords(node->TotalCount);
  try {
    while (!levels.empty()) {
      // A handler freed the tree (whose teardown freed what is still linked),
      // or deleted an ancestor and with it the node being cleared: the levels
      // taken out already are reached from nowhere else and go here.
      if (scope.TreeGone() || Gone(node)) {
        for (size_t i = levels.size(); i-- > 1;) {
          if (levels[i].shown && !scope.TreeGone())
            visibleCount = CheckedU32(visibleCount, -int64_t(CountVisibleChildren(levels[i].parent)));
          FreeDetachedSubtree(levels[i].parent);
        }
        return;
      }
      // The node's own children are shown as the tree stands now: a handler
      // may have collapsed, hidden or moved one of its ancestors meanwhile.
      if (levels.size() == 1) levels[0].shown = node == root || ((node->States & vsExpanded) && IsFullyVisible(node));
      Level level = levels.back();
      PVirtualNode run = level.parent->LastChild;
      if (run == nullptr) {
        levels.pop_back();
        if (level.parent == node) break;
        PVirtualNode emptied = level.parent;
        emptied->States &= ~vsClearing;
        emptied->ChildCount = 0;
        StructureChange(emptied, crChildDeleted);
        if (Gone(emptied)) continue;
        deletionStep = emptied;
        DeleteNode(emptied, true);
        continue;
      }
      if (level.shown && (run->States & vsVisible)) visibleCount = CheckedU32(visibleCount, -1);
      run->States |= vsDeleting;
      PVirtualNode previous = run->PrevSibling;
      if (previous != nullptr) previous->NextSibling = nullptr;
      level.parent->LastChild = previous;
      if (previous == nullptr) level.parent->FirstChild = nullptr;
      if (run->FirstChild != nullptr) {
        run->States |= vsClearing;
        bool childrenShown = level.shown && (run->States & vsVisible) && (run->States & vsExpanded);
        levels.push_back({run, childrenShown});
        continue;
      }
      deletionStep = run;
      DeleteNode(run, true);
    }
  } catch (...) {
    if (scope.TreeGone()) throw;
    // Keep what is left consistent: the remaining children stay linked.
    for (const Level& level : levels) {
      if (Gone(level.parent)) continue;
      level.parent->States &= ~vsClearing;
      level.parent->ChildCount = 0;
      for (PVirtualNode c = level.parent->FirstChild; c != nullptr; c = c->NextSibling) level.parent->ChildCount++;
    }
    throw;
  }
}

void TVirtualTreeCore::SettleAfterNodeLeft() {
  InvalidateCache();
  if (updateCount != 0) return;
  CompactSelection();
  ValidateCache();
  UpdateScrollBars(true);
  InvalidateWhole();
}

bool TVirtualTreeCore::DeleteLastChildren(PVirtualNode node, uint32_t count) {
  VT_ASSERT(!states.Contains(tsIterating), "Deleting nodes during tree iteration leads to invalid pointers.");
  StructureChange(node == root ? nullptr : node, crChildDeleted);
  // Each child goes as DeleteNode deletes it, last first, but unlinked and
  // accounted here as DeleteChildren unlinks its children. The handlers of a
  // deletion may collapse, hide or move node or an ancestor, so each child is
  // taken off the counts as the tree stands when it goes.
  struct TShrink {
    TVirtualTreeCore& tree;
    PVirtualNode outerNode;
    bool outerEmpty;
    ~TShrink() {
      tree.shrinkingNode = outerNode;
      tree.shrinkToEmpty = outerEmpty;
    }
  } shrink{*this, shrinkingNode, shrinkToEmpty};
  shrinkingNode = node;
  shrinkToEmpty = false;
  uint32_t removed = 0;
  auto settle = [&] {
    node->States &= ~vsClearing;
    DetermineHiddenChildrenFlag(node);
    InvalidateCache();
  };
  node->States |= vsClearing;
  // The handlers of each deletion may free node with an ancestor.
  TCallOutScope scope(*this);
  TDeletionRun running(*this);
  auto nodeGone = [&] { return scope.TreeGone() || (node != root && Gone(node)); };
  try {
    while ((removed < count || shrinkToEmpty) && node->LastChild != nullptr) {
      PVirtualNode run = node->LastChild;
      bool visible = (run->States & vsVisible) != 0;
      bool expanded = (node->States & vsExpanded) != 0;
      bool shown = node == root || (expanded && IsFullyVisible(node));
      // The child's shown subtree leaves the count with it: taken out, it is shown nowhere.
      if (shown && visible) visibleCount = CheckedU32(visibleCount, -(1 + int64_t(CountVisibleChildren(run))));
      PVirtualNode previous = run->PrevSibling;
      if (previous != nullptr) previous->NextSibling = nullptr;
      node->LastChild = previous;
      if (previous == nullptr) node->FirstChild = nullptr;
      node->ChildCount = CheckedU32(node->ChildCount, -1);
      PropagateTotalCount(node, -int64_t(run->TotalCount), true);
      if (expanded && visible) PropagateTotalHeight(node, -int64_t(run->TotalHeight), true);
      run->States |= vsDeleting;
      ++removed;
      deletionStep = run;
      DeleteNode(run, true);
      if (nodeGone()) return false;
    }
  } catch (...) {
    if (!nodeGone()) settle();
    throw;
  }
  settle();
  return true;
}

void TVirtualTreeCore::DeleteNode(PVirtualNode node, bool reindex) {
  if (node == nullptr || node == root || options.misc.Contains(toReadOnly)) return;
  // A node whose deletion is under way already (a handler asks again) goes with it.
  bool ownStep = node == deletionStep;
  deletionStep = nullptr;
  if (!ownStep && InDeletion(node)) return;
  VT_ASSERT(!states.Contains(tsIterating), "Deleting nodes during tree iteration leads to invalid pointers.");
  VT_ASSERT(streamDepth == 0, "Deleting nodes while a stream is read leads to invalid pointers.");
  StopCacheValidation();
  // The handlers on the way (the selection's change, freeing the children,
  // moving the focus) may free the node or its parent themselves.
  TCallOutScope scope(*this);
  // When the tree goes meanwhile, its teardown frees what is linked; a node
  // taken out already (vsDeleting) is linked nowhere and goes here, with
  // anything left below it.
  auto lost = [&] {
    if (Gone(node)) return true;
    if (!scope.TreeGone()) return false;
    if (node->States & vsDeleting) FreeDetachedSubtree(node);
    return true;
  };
  // An editor open on the node or below it would go on with a freed node.
  if (states.Contains(tsEditing) && editNode != nullptr && (editNode == node || HasAsParent(editNode, node))) {
    CancelEditNode();
    if (lost()) return;
  }
  PVirtualNode parent = node->Parent;
  bool parentClearing = (parent->States & vsClearing) != 0;
  bool wasVisible = (node->States & vsVisible) != 0;
  if (!parentClearing) StructureChange(parent == root ? nullptr : parent, crChildDeleted);
  if (lost()) return;
  int oldX = offsetX;
  int64_t oldY = offsetY;
  if (!(node->States & vsSelected)) {
    InvalidateBelowNode(parent);
  } else if (updateCount == 0) {
    bool wasSynch = states.Contains(tsSynchMode);
    DoStateChange({tsSynchMode});
    RemoveFromSelection(node);
    if (!wasSynch) DoStateChange({}, {tsSynchMode});
    if (lost()) return;
    InvalidateBelowNode(parent);
  } else {
    InternalRemoveFromSelection(node);
  }
  if (states.Contains(tsHint)) {
    CancelHint();
    DoStateChange({}, {tsHint});
  }
  if (!Gone(node)) DeleteChildren(node, false);
  if (lost()) return;
  InternalDisconnectNode(node, false, reindex);
  if (!Gone(node)) {
    // Unlinked now: a free handler that deletes or resets it again is told it is going.
    node->States |= vsDeleting;
    if (lost()) return;
    // The focus handlers of the unlinking may have given it children: they go with it.
    if (node->FirstChild != nullptr) DeleteChildren(node, false);
    if (!lost()) DoFreeNode(node);
  }
  if (scope.TreeGone() || (parent != root && Gone(parent))) return;
  if (!parentClearing) {
    // A hidden child's going shows or hides none of the others. A visible
    // one's may leave only hidden ones: inside an update that is decided once
    // at its end, so deleting many siblings does not look at the rest each time.
    bool deferred = updateCount > 0 && states.Contains(tsUpdating);
    if (parent->FirstChild == nullptr || (wasVisible && !deferred))
      DetermineHiddenChildrenFlag(parent);
    else if (wasVisible)
      DoStateChange({tsUpdateHiddenChildrenNeeded});
    InvalidateCache();
    if (updateCount == 0) {
      CompactSelection();
      ValidateCache();
      UpdateScrollBars(true);
      if (oldX != offsetX || oldY != offsetY) InvalidateWhole();
    }
  }
}

void TVirtualTreeCore::ForgetNode(PVirtualNode node) {
  // A node read in a selection batch (flagged, not yet in the array) leaves the waiting list.
  // (Its flag may be gone already: deleting a node takes it out of the selection first.)
  if (!batchedSelection.empty())
    batchedSelection.erase(std::remove(batchedSelection.begin(), batchedSelection.end(), node),
                           batchedSelection.end());
  if (focusedNode == node) focusedNode = nullptr;
  if (hotNode == node) hotNode = nullptr;
  if (rangeAnchor == node) rangeAnchor = nullptr;
  if (lastChangedNode == node) lastChangedNode = nullptr;
  if (lastStructureChangeNode == node) lastStructureChangeNode = nullptr;
  if (checkNode == node) {
    checkNode = nullptr;
    DoStateChange({}, {tsMouseCheckPending, tsKeyCheckPending});
  }
  if (dropTargetNode == node) dropTargetNode = nullptr;
  if (lastDropTarget == node) lastDropTarget = nullptr;
  if (lastSearchNode == node) lastSearchNode = nullptr;
  if (editNode == node) editNode = nullptr;
  if (validationNode == node) {
    validationNode = nullptr;
    validationRunning = false;
  }
  for (PVirtualNode& cached : tempNodeCache)
    if (cached == node) cached = nullptr;
  NodeForgotten(node);
}

void TVirtualTreeCore::Clear() {
  if (options.misc.Contains(toReadOnly) && !IsTreeDestroying()) return;
  // The update, change and free handlers may free the whole tree: then it ends there.
  TCallOutScope scope(*this);
  BeginUpdate();
  if (scope.TreeGone()) return;
  try {
    StopCacheValidation();
    if (states.Contains(tsEditing)) CancelEditNode();
    if (states.Contains(tsCutPending) || states.Contains(tsCopyPending)) {
      EmptyClipboardMark();
      DoStateChange({}, {tsCutPending, tsCopyPending});
    }
    ClearSelection();
    if (scope.TreeGone()) return;
    focusedNode = nullptr;
    hotNode = nullptr;
    lastChangedNode = nullptr;
    lastStructureChangeNode = nullptr;
    rangeAnchor = nullptr;
    checkNode = nullptr;
    dropTargetNode = nullptr;
    lastDropTarget = nullptr;
    lastSearchNode = nullptr;
    editNode = nullptr;
    ClearTempCache();
    bool wasReadOnly = options.misc.Contains(toReadOnly);
    options.misc.Exclude(toReadOnly);  // a destroying read-only tree is still emptied
    try {
      DeleteChildren(root, true);
    } catch (...) {
      if (!scope.TreeGone() && wasReadOnly) options.misc.Include(toReadOnly);
      throw;
    }
    if (scope.TreeGone()) return;
    if (wasReadOnly) options.misc.Include(toReadOnly);
    // A Clear asked for while a deletion is under way leaves the counting to
    // that deletion: the nodes it has taken out are still counted.
    if (deletionsRunning == 0) visibleCount = 0;
    offsetX = 0;
    offsetY = 0;
  } catch (...) {
    if (!scope.TreeGone()) EndUpdate();
    throw;
  }
  EndUpdate();
}

void TVirtualTreeCore::DeleteSelectedNodes() {
  if (selectionCount == 0 || options.misc.Contains(toReadOnly)) return;
  // The free handlers may delete other selected nodes: a node gone meanwhile
  // is passed over (its own deletion numbered its siblings). One that frees
  // the whole tree ends it all.
  TCallOutScope scope(*this);
  BeginUpdate();
  if (scope.TreeGone()) return;
  try {
    std::vector<PVirtualNode> nodes = GetSelectionInOrder(true);
    for (size_t i = nodes.size(); i-- > 0 && !scope.TreeGone();) {
      if (Gone(nodes[i])) continue;
      bool reindex = i == 0 || Gone(nodes[i - 1]) || nodes[i]->Parent != nodes[i - 1]->Parent;
      DeleteNode(nodes[i], reindex);
    }
  } catch (...) {
    if (!scope.TreeGone()) EndUpdate();
    throw;
  }
  if (scope.TreeGone()) return;
  EndUpdate();
}

void TVirtualTreeCore::SetHasChildren(PVirtualNode node, bool value) {
  if (node == nullptr || node == root || options.misc.Contains(toReadOnly)) return;
  if (value) {
    node->States |= vsHasChildren;
    if (node->FirstChild == nullptr) node->States &= ~vsAllChildrenHidden;
    return;
  }
  node->States &= ~vsHasChildren;
  DeleteChildren(node, false);
}

void* TVirtualTreeCore::GetNodeData(PVirtualNode node) const {
  VT_ASSERT(nodeDataSize > 0, "NodeDataSize not initialized.");
  if (node == nullptr || node == root) return nullptr;
  return reinterpret_cast<char*>(node) + kNodeHeaderSize + totalInternalDataSize;
}

void TVirtualTreeCore::SetNodeDataSize(int value) {
  if (value < -1) value = -1;
  if (value == nodeDataSize) return;
  bool hasNodes = root != nullptr && root->FirstChild != nullptr;
  // Records of the old size cannot be kept, and a read-only tree cannot be rebuilt.
  if (hasNodes && options.misc.Contains(toReadOnly)) return;
  if (IsTreeLoading() || IsTreeDesigning() || root == nullptr) {
    nodeDataSize = value;
    return;
  }
  uint32_t count = root->ChildCount;
  // The free handlers of the clear may free the tree.
  TCallOutScope scope(*this);
  Clear();
  if (scope.TreeGone()) return;
  nodeDataSize = value;
  SetRootNodeCount(count);
}

uint32_t TVirtualTreeCore::AllocateInternalDataArea(uint32_t size) {
  VT_ASSERT(root == nullptr || root->FirstChild == nullptr,
            "Internal data allocation must be done before any node is created.");
  uint32_t offset = kNodeHeaderSize + totalInternalDataSize;
  totalInternalDataSize += (size + 3) & ~3u;
  if (root != nullptr) {
    ReleaseNodeRecord(root);
    root = nullptr;
    CreateRootNode();
  }
  return offset;
}

void TVirtualTreeCore::SetDefaultNodeHeight(uint32_t value) {
  if (value == 0) value = 18;
  if (value > 0xFFFF) value = 0xFFFF;
  if (value == defaultNodeHeight) return;
  DoStateChange({tsNeedScale});
  int64_t difference = static_cast<int64_t>(value) - static_cast<int64_t>(defaultNodeHeight);
  if (root != nullptr) {
    root->TotalHeight = CheckedU32(root->TotalHeight, difference);
    root->NodeHeight = static_cast<uint16_t>(value);
  }
  defaultNodeHeight = value;
  InvalidateCache();
  if (updateCount == 0 && HasWindowHandle() && !IsTreeLoading()) {
    ValidateCache();
    UpdateScrollBars(true);
    ScrollIntoView(focusedNode, options.selection.Contains(toCenterScrollIntoView), true);
    InvalidateWhole();
  }
}
