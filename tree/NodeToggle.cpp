// Expanding and collapsing, node heights and visibility: everything that
// changes the room a node takes, with the totals and the visible count.
#include "tree/TreeMath.h"
#include "tree/VirtualTreeCore.h"

void TVirtualTreeCore::SetExpanded(PVirtualNode node, bool value) {
  if (node == nullptr || node == root) return;
  if (value != ((node->States & vsExpanded) != 0)) ToggleNode(node);
}

void TVirtualTreeCore::ToggleNode(PVirtualNode node) {
  VT_ASSERT(node != nullptr, "Node must not be nil.");
  // A node taken out by a deletion under way (or below one) keeps its state:
  // that deletion counts it as it was.
  if (node == root || (node->States & (vsDeleting | vsToggling | vsDead)) || BelowDeletion(node)) return;
  node->States |= vsToggling;
  // The rows above a toggled node stay where they are unless the view
  // scrolls: comparing the offset avoids asking for the top node (which may
  // rebuild the whole position cache) before and after.
  int64_t lastOffsetY = offsetY;
  bool changed = false;
  bool animate = options.animation.Contains(toAnimatedToggle) && updateCount == 0;
  // Every handler on the way may free the node: then the toggle ends there
  // (the deletion has brought the cache and the scroll bars up to date).
  TCallOutScope scope(*this);
  auto gone = [&]() { return Gone(node); };
  try {
    if (node->States & vsExpanded) {
      bool allowed = DoCollapsing(node);
      if (gone()) return;
      // The handler may have collapsed the node itself.
      allowed = allowed && (node->States & vsExpanded);
      if (allowed) {
        changed = true;
        if (animate && !states.Contains(tsCollapsing)) {
          CancelHint();
          AnimateToggle(node, false);
          if (gone()) return;
        }
        // Measuring calls out: a handler that deletes the node ends the toggle
        // before any total is touched.
        uint32_t ownHeight = GetNodeHeight(node);
        if (gone()) return;
        if (IsFullyVisible(node)) visibleCount = CheckedU32(visibleCount, -int64_t(CountVisibleChildren(node)));
        PropagateTotalHeight(node, ownHeight, false);
        node->States &= ~vsExpanded;
        // The handler sees the new structure: positions come from it, not
        // from a cache of the old one.
        InvalidateCache();
        DoCollapsed(node);
        if (gone()) return;
        if (options.autoOptions.Contains(toAutoFreeOnCollapse) && node->FirstChild != nullptr) {
          DeleteChildren(node, false);
          if (gone()) return;
          node->States |= vsHasChildren;
        }
      }
    } else {
      bool allowed = DoExpanding(node);
      if (gone()) return;
      if (allowed) {
        changed = true;
        if (!(node->States & vsInitialized)) InitNode(node);
        if (gone()) return;
        if ((node->States & vsHasChildren) && node->ChildCount == 0) InitChildren(node);
        if (gone()) return;
        if (node->FirstChild != nullptr && !(node->States & vsExpanded)) {
          if (animate && !states.Contains(tsExpanding) && !states.Contains(tsPainting)) {
            AnimateToggle(node, true);
            if (gone()) return;
          }
          int64_t heightSum = 0;
          for (PVirtualNode child = node->FirstChild; child != nullptr; child = child->NextSibling)
            if (child->States & vsVisible) heightSum += child->TotalHeight;
          node->States |= vsExpanded;
          PropagateTotalHeight(node, heightSum, true);
          if (IsFullyVisible(node)) visibleCount = CheckedU32(visibleCount, CountVisibleChildren(node));
          InvalidateCache();
          DoExpanded(node);
          if (gone()) return;
        }
      }
    }
  } catch (...) {
    if (!gone()) node->States &= ~vsToggling;
    throw;
  }
  if (changed) {
    InvalidateCache();
    if (updateCount == 0) {
      ValidateCache();
      if (gone()) return;
      if (node->FirstChild != nullptr) {
        UpdateScrollBars(true);
        if (gone()) return;
        if (options.autoOptions.Contains(toAutoScrollOnExpand) && (node->States & vsExpanded)) {
          if (static_cast<int64_t>(node->TotalHeight) > TreeClientHeight())
            SetTopNode(node);
          else
            ScrollIntoView(node->LastChild, options.selection.Contains(toCenterScrollIntoView), false);
          if (gone()) return;
        }
        if (lastOffsetY != offsetY || (IsFullyVisible(node) && int64_t(GetNodeTop(node)) + offsetY < 0))
          InvalidateWhole();
        else
          InvalidateBelowNode(node);
      } else {
        InvalidateNodeArea(node);
      }
    }
  }
  node->States &= ~vsToggling;
}

void TVirtualTreeCore::FullExpand(PVirtualNode node) {
  if (root->FirstChild == nullptr && root->ChildCount == 0) return;
  if (node == root) node = nullptr;
  // A handler that frees the node in turn (or the end mark) ends the walk;
  // one that frees the whole tree ends it all.
  TCallOutScope scope(*this);
  DoStateChange({tsExpanding});
  if (scope.TreeGone()) return;
  if (node != nullptr && Gone(node)) {
    DoStateChange({}, {tsExpanding});
    return;
  }
  BeginUpdate();
  if (scope.TreeGone()) return;
  try {
    PVirtualNode stop = nullptr;
    PVirtualNode run = node;
    if (node != nullptr) {
      for (PVirtualNode up = node; up != root && stop == nullptr; up = up->Parent) stop = up->NextSibling;
    } else {
      run = GetFirst();
    }
    while (run != nullptr && run != stop) {
      if (!(run->States & vsInitialized)) InitNode(run);
      if (!Gone(run) && !(run->States & vsExpanded)) ToggleNode(run);
      if (Gone(run) || (stop != nullptr && Gone(stop))) break;
      run = GetNext(run);
    }
  } catch (...) {
    if (scope.TreeGone()) throw;
    EndUpdate();
    DoStateChange({}, {tsExpanding});
    throw;
  }
  if (scope.TreeGone()) return;
  EndUpdate();
  DoStateChange({}, {tsExpanding});
}

void TVirtualTreeCore::FullCollapse(PVirtualNode node) {
  if (root->FirstChild == nullptr) return;
  if (node == root) node = nullptr;
  // A handler that frees the node next in turn (or the top) ends the walk;
  // one that frees the whole tree ends it all.
  TCallOutScope scope(*this);
  DoStateChange({tsCollapsing});
  if (scope.TreeGone()) return;
  if ((node != nullptr && Gone(node)) || root->FirstChild == nullptr) {
    DoStateChange({}, {tsCollapsing});
    return;
  }
  BeginUpdate();
  if (scope.TreeGone()) return;
  try {
    // From the last node shown in the subtree backwards, so that a collapse
    // that frees children never frees a node still to be visited; a
    // collapsed branch at the end keeps what is expanded inside it.
    PVirtualNode run = GetLastVisibleNoInit(node);
    while (run != nullptr && run != node) {
      PVirtualNode previous = GetPreviousNoInit(run);
      if ((run->States & vsExpanded) && (run->States & vsHasChildren)) ToggleNode(run);
      if ((previous != nullptr && Gone(previous)) || (node != nullptr && Gone(node))) break;
      run = previous;
    }
    if (node != nullptr && !Gone(node) && (node->States & vsExpanded) && (node->States & vsHasChildren))
      ToggleNode(node);
  } catch (...) {
    if (scope.TreeGone()) throw;
    EndUpdate();
    DoStateChange({}, {tsCollapsing});
    throw;
  }
  if (scope.TreeGone()) return;
  EndUpdate();
  DoStateChange({}, {tsCollapsing});
}

uint32_t TVirtualTreeCore::GetNodeHeight(PVirtualNode node) {
  if (node == nullptr || node == root) return 0;
  // A measuring handler may delete the node, or clear or free the tree: its
  // record is kept until this returns, and it has no height.
  TCallOutScope scope(*this);
  if (options.misc.Contains(toVariableNodeHeight)) MeasureNodeHeight(MeasureCanvas(), node);
  return scope.Lost(node) ? 0 : node->NodeHeight;
}

void TVirtualTreeCore::MeasureNodeHeight(TCanvas* canvas, PVirtualNode node) {
  if (node == nullptr || node == root || (node->States & vsHeightMeasured)) return;
  node->States |= vsHeightMeasured;
  int height = node->NodeHeight;
  // A handler that deletes the node (or frees the tree) leaves no height to apply.
  TCallOutScope scope(*this);
  DoMeasureItem(canvas, node, height);
  if (scope.Lost(node)) return;
  if (height < 0) height = 0;
  if (height > 0xFFFF) height = 0xFFFF;
  if (height != node->NodeHeight) SetNodeHeight(node, static_cast<uint32_t>(height));
}

void TVirtualTreeCore::SetNodeHeight(PVirtualNode node, uint32_t value) {
  if (value > 0xFFFF) value = 0xFFFF;
  if (node == nullptr || node == root || value == node->NodeHeight || options.misc.Contains(toReadOnly)) return;
  int64_t difference = static_cast<int64_t>(value) - node->NodeHeight;
  node->NodeHeight = static_cast<uint16_t>(value);
  PropagateTotalHeight(node, difference, true);
  // The height of the node the cache rebuild measures right now is part of
  // that rebuild; any other (a measuring handler may set one it walked
  // already) moved the rows below it, and the cache no longer tells where
  // they are (not even to the editor, placed next).
  bool moved = !(inValidationStep && node == validationNode) && IsFullyVisible(node);
  // Entries after the node move with it: one row's change, not a rebuild.
  bool shifted = moved && ShiftCacheBelow(node, difference);
  if (moved && !shifted) InvalidateCache();
  UpdateEditBounds();
  if (!moved) return;
  if (updateCount == 0) {
    if (!shifted) ValidateCache();
    InvalidateBelowNode(node);
    UpdateScrollRange();
  }
}

void TVirtualTreeCore::SetIsVisible(PVirtualNode node, bool value) {
  if (node == nullptr || node == root || value == ((node->States & vsVisible) != 0)) return;
  if ((node->States & (vsDeleting | vsDead)) || BelowDeletion(node)) return;
  PVirtualNode parent = node->Parent;
  bool shown = AncestorsShown(node) && (parent == root || (parent->States & vsExpanded));
  bool counts = (parent->States & vsExpanded) != 0;
  if (value) {
    node->States |= vsVisible;
    if (counts) PropagateTotalHeight(parent, node->TotalHeight, true);
    if (shown) visibleCount = CheckedU32(visibleCount, int64_t(CountVisibleChildren(node)) + 1);
    if (parent != root) parent->States &= ~vsAllChildrenHidden;
  } else {
    if (shown) visibleCount = CheckedU32(visibleCount, -(int64_t(CountVisibleChildren(node)) + 1));
    if (counts) PropagateTotalHeight(parent, -static_cast<int64_t>(node->TotalHeight), true);
    node->States &= ~vsVisible;
    if (parent != root) {
      if (updateCount == 0)
        DetermineHiddenChildrenFlag(parent);
      else
        DoStateChange({tsUpdateHiddenChildrenNeeded});
    }
  }
  InvalidateCache();
  if (updateCount == 0) {
    ValidateCache();
    UpdateScrollBars(true);
    InvalidateWhole();
  }
}

void TVirtualTreeCore::SetDisabled(PVirtualNode node, bool value) {
  if (node == nullptr || node == root || value == ((node->States & vsDisabled) != 0)) return;
  if (value)
    node->States |= vsDisabled;
  else
    node->States &= ~vsDisabled;
  InvalidateNodeArea(node);
}

void TVirtualTreeCore::SetMultiline(PVirtualNode node, bool value) {
  if (node == nullptr || node == root || value == ((node->States & vsMultiline) != 0)) return;
  if (value)
    node->States |= vsMultiline;
  else
    node->States &= ~vsMultiline;
  node->States &= ~vsHeightMeasured;
  InvalidateNodeArea(node);
}
