// Update brackets, the position cache of visible nodes and GetNodeAt.
//
// The cache is rebuilt on the tree's own thread (in steps when the window
// schedules it, at once otherwise), so a rebuild never overlaps a structural
// change: every change first stops it, and a stopped rebuild is never marked
// valid.
#include "tree/VirtualTreeCore.h"
#include "tree/ScrollMath.h"

void TVirtualTreeCore::BeginUpdate() {
  if (!IsTreeDestroying()) {
    // The handler may free the whole tree: the caller asks its own scope.
    TCallOutScope scope(*this);
    DoUpdating(updateCount == 0 ? usBegin : usUpdate);
    if (scope.TreeGone()) return;
    if (updateCount == 0) SetRedraw(false);
  }
  ++updateCount;
  DoStateChange({tsUpdating});
}

void TVirtualTreeCore::EndUpdate() {
  if (updateCount > 0) --updateCount;
  if (IsTreeDestroying()) return;
  // The state, change, sort and updating handlers may free the whole tree.
  TCallOutScope scope(*this);
  if (updateCount == 0 && states.Contains(tsUpdating)) {
    if (states.Contains(tsUpdateHiddenChildrenNeeded)) {
      DetermineHiddenChildrenFlagAllNodes();
      DoStateChange({}, {tsUpdateHiddenChildrenNeeded});
      if (scope.TreeGone()) return;
    }
    DoStateChange({}, {tsUpdating});
    if (scope.TreeGone()) return;
    CompactSelection();
    ValidateCache();
    if (HasWindowHandle()) UpdateScrollBars(false);
    if (scope.TreeGone()) return;
    if (states.Contains(tsStructureChangePending)) {
      DoStructureChange(lastStructureChangeNode, lastStructureChangeReason);
      if (scope.TreeGone()) return;
    }
    if (states.Contains(tsChangePending)) {
      DoChange(lastChangedNode);
      if (scope.TreeGone()) return;
    }
    if (options.autoOptions.Contains(toAutoSort)) {
      SortTree(HeaderSortColumn(), HeaderSortDirection(), true);
      if (scope.TreeGone()) return;
    }
    SetRedraw(true);
    if (HasWindowHandle()) InvalidateWhole();
    UpdateDesigner();
  }
  DoUpdating(updateCount == 0 ? usEnd : usUpdate);
}

void TVirtualTreeCore::SetCacheSpacing(uint32_t value) {
  cacheSpacing = value < 1 ? 1 : value;
  InvalidateCache();
}

void TVirtualTreeCore::InvalidateCache() {
  if (validationRunning) {
    validationRunning = false;
    validationNode = nullptr;
    CancelCacheValidation();
    DoStateChange({}, {tsValidating});
  }
  // Entries built before a change may point at nodes it moved or freed.
  startIndex = 0;
  DoStateChange({tsValidationNeeded}, {tsUseCache});
}

void TVirtualTreeCore::ValidateCache() {
  // A rebuild stopped without a change resumes from its last complete entry
  // (InvalidateCache starts it again from the top).
  StopCacheValidation();
  if (states.Contains(tsValidationNeeded)) {
    ScheduleCacheValidation();
    return;
  }
  // Stopped only (nothing changed since the last complete build): use it again.
  if (!positionCache.empty()) DoStateChange({tsUseCache}, {tsStopValidation});
}

void TVirtualTreeCore::StopCacheValidation() {
  DoStateChange({tsStopValidation}, {tsUseCache});
  if (validationRunning || states.Contains(tsValidating)) {
    CancelCacheValidation();
    validationRunning = false;
    validationNode = nullptr;
    // What was built is incomplete.
    DoStateChange({tsValidationNeeded}, {tsValidating});
  }
}

void TVirtualTreeCore::CompleteCacheValidation() {
  if (states.Contains(tsUseCache) || updateCount > 0 || inValidationStep || IsTreeDestroying()) return;
  if (!states.Contains(tsValidating) && !states.Contains(tsValidationNeeded)) return;
  if (visibleCount <= cacheSpacing) return;
  // Scheduled steps, if any, are not needed any more; a half-built cache is
  // finished from where it stands.
  if (states.Contains(tsValidating)) CancelCacheValidation();
  DoStateChange({tsValidating}, {tsStopValidation});
  FinishCacheValidation(ValidateCacheSteps(UINT32_MAX) == 1);
}

void TVirtualTreeCore::ScheduleCacheValidation() {
  // Without a window the cache is built when a position far down is first
  // asked for (GetNodeAt): changes made one at a time then cost nothing each.
  DoStateChange({}, {tsUseCache, tsStopValidation});
}

void TVirtualTreeCore::FinishCacheValidation(bool success) {
  if (success)
    DoStateChange({tsUseCache}, {tsStopValidation, tsValidating, tsValidationNeeded});
  else
    DoStateChange({}, {tsStopValidation, tsValidating});
  // The rebuild measured the rows: the range follows. Only now, with the
  // cache in use: the scroll bars ask where rows are, and before, a row far
  // down would have started the same rebuild again, and again.
  if (success && options.misc.Contains(toVariableNodeHeight)) UpdateScrollBars(true);
}

bool TVirtualTreeCore::DoValidateCache() {
  validationRunning = false;
  return ValidateCacheSteps(UINT32_MAX) == 1;
}

int TVirtualTreeCore::ValidateCacheSteps(uint32_t budget) {
  if (!validationRunning) {
    if (states.Contains(tsStopValidation)) return 0;
    if (startIndex == 0) positionCache.clear();
    if (visibleCount <= cacheSpacing) {
      positionCache.clear();
      startIndex = 0;
      return 0;
    }
    size_t entries = (static_cast<size_t>(visibleCount) + cacheSpacing - 1) / cacheSpacing;
    if (startIndex > entries) startIndex = static_cast<uint32_t>(entries);
    // Entries up to the start index were complete when the last rebuild
    // stopped: the walk goes on from the last of them.
    bool resume = startIndex > 0 && startIndex <= positionCache.size() && positionCache[startIndex - 1].Node != nullptr;
    positionCache.resize(resume ? startIndex : 0);
    positionCache.resize(entries, TCacheEntry{nullptr, 0});
    if (resume) {
      validationEntry = startIndex - 1;
      validationNode = positionCache[validationEntry].Node;
      validationTop = positionCache[validationEntry].AbsoluteTop;
    } else {
      startIndex = 0;
      validationEntry = 0;
      validationNode = GetFirstVisibleNoInit();
      validationTop = 0;
    }
    validationCounter = 0;
    validationRunning = true;
  }
  // Measuring calls out: the nodes measured are kept (dead when deleted)
  // until the steps end, and a freed tree ends them.
  TCallOutScope scope(*this);
  bool full = false;
  inValidationStep = true;
  try {
    for (uint32_t steps = 0; validationNode != nullptr && steps < budget; ++steps) {
      if (validationCounter % cacheSpacing == 0) {
        if (validationEntry >= positionCache.size()) {
          full = true;
          break;
        }
        positionCache[validationEntry++] = TCacheEntry{validationNode, validationTop};
        startIndex = validationEntry;
      }
      ++validationCounter;
      PVirtualNode measured = validationNode;
      validationTop += GetNodeHeight(measured);
      // A measuring handler that deleted the node (which stops the rebuild)
      // or freed the tree ends the step.
      if (Gone(measured) || !validationRunning) break;
      validationNode = GetNextVisibleNoInit(measured);
    }
  } catch (...) {
    inValidationStep = false;
    validationRunning = false;
    positionCache.clear();
    startIndex = 0;
    throw;
  }
  inValidationStep = false;
  if (scope.TreeGone()) return 0;
  if (!validationRunning) {
    // A measured height invalidated what was built meanwhile.
    positionCache.clear();
    startIndex = 0;
    return 0;
  }
  if (validationNode != nullptr && !full) return 2;
  validationRunning = false;
  if (validationEntry < positionCache.size()) {
    positionCache.resize(validationEntry + 1);
    positionCache[validationEntry] = TCacheEntry{validationNode, validationTop};
  }
  validationNode = nullptr;
  if (validationCounter == 0) return 0;
  return 1;
}

PVirtualNode TVirtualTreeCore::GetNodeAt(int x, int y) {
  int top = 0;
  return GetNodeAt(x, y, true, top);
}

PVirtualNode TVirtualTreeCore::GetNodeAt(int, int y, bool relative, int& nodeTop) {
  if (y < 0) y = 0;
  int64_t top = 0;
  PVirtualNode result = GetNodeAtPosition(relative ? int64_t(y) - offsetY : y, top);
  nodeTop = SaturateToInt(relative ? top + offsetY : top);
  return result;
}

PVirtualNode TVirtualTreeCore::GetNodeAtPosition(int64_t position, int64_t& nodeTop) {
  if (position < 0) position = 0;
  // Without a cache a position far down would be found by walking every node
  // above it: a paint or a hit test after a bulk change builds the cache at
  // once instead (the walk is left for positions within one cache spacing).
  if (!states.Contains(tsUseCache) && position > int64_t(cacheSpacing) * defaultNodeHeight)
    CompleteCacheValidation();
  PVirtualNode node;
  int64_t top;
  if (states.Contains(tsUseCache) && !positionCache.empty()) {
    // The last entry whose top is not below the position.
    size_t low = 0, high = positionCache.size();
    while (high - low > 1) {
      size_t middle = (low + high) / 2;
      if (positionCache[middle].AbsoluteTop <= position)
        low = middle;
      else
        high = middle;
    }
    node = positionCache[low].Node;
    top = positionCache[low].AbsoluteTop;
  } else {
    node = GetFirstVisibleNoInit();
    top = 0;
  }
  PVirtualNode result = nullptr;
  while (node != nullptr) {
    if (node->States & vsVisible) {
      if (top + node->TotalHeight > position) {
        if (top + node->NodeHeight > position || node->FirstChild == nullptr || !(node->States & vsExpanded)) {
          result = node;
          break;
        }
        top += node->NodeHeight;
        node = node->FirstChild;
        continue;
      }
      top += node->TotalHeight;
    }
    while (node != nullptr && node->NextSibling == nullptr) {
      node = node->Parent;
      if (node == root) node = nullptr;
    }
    if (node != nullptr) node = node->NextSibling;
  }
  nodeTop = top;
  return result;
}

namespace {
// -1, 0 or 1 as a comes before, is, or comes after b in tree order; null (the
// cache's closing entry) comes after every node. The walk up stops at the
// hidden root, whose Parent field holds the tree, not a node.
int CompareTreeOrder(PVirtualNode a, PVirtualNode b, PVirtualNode root) {
  if (a == b) return 0;
  if (a == nullptr || b == nullptr) return a == nullptr ? 1 : -1;
  std::vector<PVirtualNode> pathA, pathB;
  for (PVirtualNode run = a; run != nullptr && run != root; run = run->Parent) pathA.push_back(run);
  for (PVirtualNode run = b; run != nullptr && run != root; run = run->Parent) pathB.push_back(run);
  // Walk down from the common root until the paths part.
  auto ia = pathA.rbegin(), ib = pathB.rbegin();
  while (ia != pathA.rend() && ib != pathB.rend() && *ia == *ib) ++ia, ++ib;
  if (ia == pathA.rend()) return -1;  // a is an ancestor of b
  if (ib == pathB.rend()) return 1;
  return (*ia)->Index < (*ib)->Index ? -1 : 1;
}
}  // namespace

size_t TVirtualTreeCore::CacheEntriesUpTo(PVirtualNode node) const {
  size_t low = 0, high = positionCache.size();
  while (low < high) {
    size_t middle = (low + high) / 2;
    if (CompareTreeOrder(positionCache[middle].Node, node, root) <= 0)
      low = middle + 1;
    else
      high = middle;
  }
  return low;
}

bool TVirtualTreeCore::ShiftCacheBelow(PVirtualNode node, int64_t difference) {
  if (!states.Contains(tsUseCache) || validationRunning) return false;
  // A height moves the rows after it, not which rows the entries name.
  for (size_t i = CacheEntriesUpTo(node); i < positionCache.size(); ++i)
    positionCache[i].AbsoluteTop = static_cast<uint32_t>(positionCache[i].AbsoluteTop + difference);
  return true;
}

uint32_t TVirtualTreeCore::GetNodeTop(PVirtualNode node) const {
  // A tree of many siblings would be walked sibling by sibling: the cache
  // leaves at most one spacing of rows to walk.
  if (size_t entries = states.Contains(tsUseCache) ? CacheEntriesUpTo(node) : 0; entries > 0) {
    uint32_t top = positionCache[entries - 1].AbsoluteTop;
    for (PVirtualNode run = positionCache[entries - 1].Node; run != nullptr && run != node;
         run = GetNextVisibleNoInit(run))
      top += run->NodeHeight;
    return top;
  }
  int64_t top = 0;
  for (PVirtualNode run = node; run != nullptr && run != root; run = run->Parent) {
    PVirtualNode parent = run->Parent;
    if (parent != root) top += parent->NodeHeight;
    for (PVirtualNode sibling = parent->FirstChild; sibling != run; sibling = sibling->NextSibling)
      if (sibling->States & vsVisible) top += sibling->TotalHeight;
  }
  return static_cast<uint32_t>(top);
}
