// The event-firing operations of the node model: one per event, each with
// the result it gives when no handler is assigned.
#include "tree/VirtualTreeCore.h"

bool TVirtualTreeCore::DoGetCellIsEmpty(PVirtualNode node, TColumnIndex column) {
  bool isEmpty = true;
  if (OnGetCellIsEmpty) OnGetCellIsEmpty(senderTree, node, column, isEmpty);
  return isEmpty;
}

bool TVirtualTreeCore::DoDragAllowed(PVirtualNode node, TColumnIndex column) {
  bool allowed = false;
  if (OnDragAllowed) OnDragAllowed(senderTree, node, column, allowed);
  return allowed;
}

void TVirtualTreeCore::DoEditing(PVirtualNode node, TColumnIndex column, bool& allowed) {
  if (OnEditing) OnEditing(senderTree, node, column, allowed);
}

void TVirtualTreeCore::DoChange(PVirtualNode node) {
  StopTreeTimer(5);
  if (OnChange) {
    // The program's handler may free the whole tree: then nothing of it is touched.
    std::shared_ptr<const bool> alive = TreeAliveToken();
    OnChange(senderTree, node);
    if (alive != nullptr && !*alive) return;
  }
  DoStateChange({}, {tsChangePending});
  lastChangedNode = nullptr;
}

void TVirtualTreeCore::DoChecked(PVirtualNode node) {
  if (OnChecked) OnChecked(senderTree, node);
}

bool TVirtualTreeCore::DoChecking(PVirtualNode node, TCheckState& newCheckState) {
  if (options.misc.Contains(toReadOnly)) return false;
  bool allowed = true;
  if (OnChecking) OnChecking(senderTree, node, newCheckState, allowed);
  return allowed;
}

void TVirtualTreeCore::DoCollapsed(PVirtualNode node) {
  if (OnCollapsed) OnCollapsed(senderTree, node);
}

bool TVirtualTreeCore::DoCollapsing(PVirtualNode node) {
  bool allowed = true;
  if (OnCollapsing) OnCollapsing(senderTree, node, allowed);
  return allowed;
}

int TVirtualTreeCore::DoCompareNodes(PVirtualNode node1, PVirtualNode node2, TColumnIndex column) {
  int result = 0;
  if (OnCompareNodes) OnCompareNodes(senderTree, node1, node2, column, result);
  return result;
}

TEditLinkPtr TVirtualTreeCore::DoCreateEditor(PVirtualNode node, TColumnIndex column) {
  TEditLinkPtr link;
  if (!OnCreateEditor) return link;
  OnCreateEditor(senderTree, node, column, link);
  if (!link) RaiseTreeError(SEditLinkIsNil, hcTFEditLinkIsNil);
  return link;
}

void TVirtualTreeCore::DoExpanded(PVirtualNode node) {
  if (OnExpanded) OnExpanded(senderTree, node);
}

bool TVirtualTreeCore::DoExpanding(PVirtualNode node) {
  bool allowed = true;
  if (OnExpanding) OnExpanding(senderTree, node, allowed);
  return allowed;
}

void TVirtualTreeCore::DoFocusChanged(PVirtualNode node, TColumnIndex column) {
  if (OnFocusChanged) OnFocusChanged(senderTree, node, column);
}

bool TVirtualTreeCore::DoFocusChanging(PVirtualNode oldNode, PVirtualNode newNode, TColumnIndex oldColumn,
                                       TColumnIndex newColumn) {
  bool allowed = true;
  if (OnFocusChanging) OnFocusChanging(senderTree, oldNode, newNode, oldColumn, newColumn, allowed);
  return allowed;
}

void TVirtualTreeCore::DoFreeNode(PVirtualNode node) {
  ForgetNode(node);
  // A node never initialised and given no user data has nothing to free.
  if ((node->States & (vsInitialized | vsInitialUserData)) && OnFreeNode) {
    // The handler may free the whole tree: the record then stays dead to the
    // operation that called, which returns.
    TCallOutScope scope(*this);
    OnFreeNode(senderTree, node);
    if (scope.TreeGone()) {
      scope.KeepOrphan(node);
      return;
    }
  }
  FreeNodeRecord(node);
}

void TVirtualTreeCore::DoHotChange(PVirtualNode oldNode, PVirtualNode newNode) {
  if (OnHotChange) OnHotChange(senderTree, oldNode, newNode);
}

int TVirtualTreeCore::DoIncrementalSearch(PVirtualNode node, const std::u16string& text) {
  int result = 0;
  if (OnIncrementalSearch) OnIncrementalSearch(senderTree, node, text, result);
  return result;
}

void TVirtualTreeCore::DoInitChildren(PVirtualNode node, uint32_t& childCount) {
  if (OnInitChildren) OnInitChildren(senderTree, node, childCount);
}

void TVirtualTreeCore::DoInitNode(PVirtualNode parent, PVirtualNode node, TVirtualNodeInitStates& initStates) {
  if (OnInitNode) OnInitNode(senderTree, parent, node, initStates);
}

void TVirtualTreeCore::DoLoadNode(PVirtualNode node, TStream* stream) {
  if (OnLoadNode) OnLoadNode(senderTree, node, stream);
}

void TVirtualTreeCore::DoMeasureItem(TCanvas* targetCanvas, PVirtualNode node, int& nodeHeight) {
  if (OnMeasureItem) OnMeasureItem(senderTree, targetCanvas, node, nodeHeight);
}

void TVirtualTreeCore::DoNodeCopied(PVirtualNode node) {
  if (OnNodeCopied) OnNodeCopied(senderTree, node);
}

bool TVirtualTreeCore::DoNodeCopying(PVirtualNode node, PVirtualNode newParent) {
  bool allowed = true;
  if (OnNodeCopying) OnNodeCopying(senderTree, node, newParent, allowed);
  return allowed;
}

void TVirtualTreeCore::DoNodeMoved(PVirtualNode node) {
  if (OnNodeMoved) OnNodeMoved(senderTree, node);
}

bool TVirtualTreeCore::DoNodeMoving(PVirtualNode node, PVirtualNode newParent) {
  bool allowed = true;
  if (OnNodeMoving) OnNodeMoving(senderTree, node, newParent, allowed);
  return allowed;
}

void TVirtualTreeCore::DoResetNode(PVirtualNode node) {
  if (OnResetNode) OnResetNode(senderTree, node);
}

void TVirtualTreeCore::DoSaveNode(PVirtualNode node, TStream* stream) {
  if (OnSaveNode) OnSaveNode(senderTree, node, stream);
}

void TVirtualTreeCore::DoScroll(int deltaX, int deltaY) {
  if (OnScroll) OnScroll(senderTree, deltaX, deltaY);
}

void TVirtualTreeCore::DoStateChange(TVirtualTreeStates enter, TVirtualTreeStates leave) {
  if (OnStateChange && !((enter - states) + (states * leave)).Empty()) OnStateChange(senderTree, enter, leave);
  states = (states + enter) - leave;
}

void TVirtualTreeCore::DoStructureChange(PVirtualNode node, TChangeReason reason) {
  StopTreeTimer(6);
  if (OnStructureChange) {
    // The program's handler may free the whole tree: then nothing of it is touched.
    std::shared_ptr<const bool> alive = TreeAliveToken();
    OnStructureChange(senderTree, node, reason);
    if (alive != nullptr && !*alive) return;
  }
  DoStateChange({}, {tsStructureChangePending});
  lastStructureChangeNode = nullptr;
  lastStructureChangeReason = crIgnore;
}

void TVirtualTreeCore::DoUpdating(TVTUpdateState state) {
  if (OnUpdating) OnUpdating(senderTree, state);
}

void TVirtualTreeCore::DoGetNodeDataSize(int& size) {
  size = 0;
  if (OnGetNodeDataSize) OnGetNodeDataSize(senderTree, size);
}

bool TVirtualTreeCore::DoEndEdit() {
  StopTreeTimer(2);
  bool result = false;
  if (states.Contains(tsEditing) && editLink) {
    // The new text's and the end's handlers may free the whole tree: the
    // caller is then told that the edit did not end, and stops there.
    TCallOutScope scope(*this);
    {
      TEditLinkPtr link = editLink;  // kept while it runs, also when the tree goes
      result = link->EndEdit();
    }
    if (scope.TreeGone()) return false;
    if (result) {
      DoStateChange({}, {tsEditing});
      editLink.reset();
      if (OnEdited) OnEdited(senderTree, focusedNode, editColumn);
      if (scope.TreeGone()) return false;
    }
  }
  DoStateChange({}, {tsEditPending});
  return result;
}

bool TVirtualTreeCore::DoCancelEdit() {
  StopTreeTimer(2);
  DoStateChange({}, {tsEditPending});
  if (!states.Contains(tsEditing) || !editLink) return false;
  bool result = editLink->CancelEdit();
  if (result) {
    DoStateChange({}, {tsEditing});
    if (OnEditCancelled) OnEditCancelled(senderTree, editColumn);
    if (!IsTreeDestroying()) editLink.reset();
  }
  return result;
}

bool TVirtualTreeCore::CancelEditNode() {
  if ((states.Contains(tsEditing) || states.Contains(tsEditPending)) && HasWindowHandle()) return DoCancelEdit();
  return true;
}

void TVirtualTreeCore::StructureChange(PVirtualNode node, TChangeReason reason) {
  if (updateCount == 0 && changeDelay == 0) {
    DoStructureChange(node, reason);
    return;
  }
  // Several changes before the notification are reported as one, accumulated.
  if (states.Contains(tsStructureChangePending) &&
      (lastStructureChangeNode != node || lastStructureChangeReason != reason)) {
    node = nullptr;
    reason = crAccumulated;
  }
  lastStructureChangeNode = node;
  lastStructureChangeReason = reason;
  DoStateChange({tsStructureChangePending});
}

void TVirtualTreeCore::Change(PVirtualNode node) {
  if (updateCount == 0 && changeDelay == 0) {
    DoChange(node);
    return;
  }
  if (states.Contains(tsChangePending) && lastChangedNode != node) node = nullptr;
  lastChangedNode = node;
  DoStateChange({tsChangePending});
}
