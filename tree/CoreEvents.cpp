// The event-firing operations of the node model: one per event, each with
// the result it gives when no handler is assigned.
#include "tree/VirtualTreeCore.h"

bool TVirtualTreeCore::DoGetCellIsEmpty(PVirtualNode node, TColumnIndex column) {
  bool isEmpty = true;
  Fire(OnGetCellIsEmpty, senderTree, node, column, isEmpty);
  return isEmpty;
}

bool TVirtualTreeCore::DoDragAllowed(PVirtualNode node, TColumnIndex column) {
  bool allowed = false;
  // A tree freed meanwhile refuses.
  return Fire(OnDragAllowed, senderTree, node, column, allowed) && allowed;
}

void TVirtualTreeCore::DoEditing(PVirtualNode node, TColumnIndex column, bool& allowed) {
  if (!Fire(OnEditing, senderTree, node, column, allowed)) allowed = false;
}

void TVirtualTreeCore::DoChange(PVirtualNode node) {
  StopTreeTimer(5);
  if (!Fire(OnChange, senderTree, node)) return;
  DoStateChange({}, {tsChangePending});
  lastChangedNode = nullptr;
}

void TVirtualTreeCore::DoChecked(PVirtualNode node) {
  Fire(OnChecked, senderTree, node);
}

bool TVirtualTreeCore::DoChecking(PVirtualNode node, TCheckState& newCheckState) {
  if (options.misc.Contains(toReadOnly)) return false;
  bool allowed = true;
  // A tree freed meanwhile refuses.
  return Fire(OnChecking, senderTree, node, newCheckState, allowed) && allowed;
}

void TVirtualTreeCore::DoCollapsed(PVirtualNode node) {
  Fire(OnCollapsed, senderTree, node);
}

bool TVirtualTreeCore::DoCollapsing(PVirtualNode node) {
  bool allowed = true;
  // A tree freed meanwhile refuses.
  return Fire(OnCollapsing, senderTree, node, allowed) && allowed;
}

int TVirtualTreeCore::DoCompareNodes(PVirtualNode node1, PVirtualNode node2, TColumnIndex column) {
  int result = 0;
  Fire(OnCompareNodes, senderTree, node1, node2, column, result);
  return result;
}

TEditLinkPtr TVirtualTreeCore::DoCreateEditor(PVirtualNode node, TColumnIndex column) {
  TEditLinkPtr link;
  if (!OnCreateEditor) return link;
  // A tree freed by the handler makes no editor.
  if (!Fire(OnCreateEditor, senderTree, node, column, link)) return nullptr;
  if (!link) RaiseTreeError(SEditLinkIsNil, hcTFEditLinkIsNil);
  return link;
}

void TVirtualTreeCore::DoExpanded(PVirtualNode node) {
  Fire(OnExpanded, senderTree, node);
}

bool TVirtualTreeCore::DoExpanding(PVirtualNode node) {
  bool allowed = true;
  // A tree freed meanwhile refuses.
  return Fire(OnExpanding, senderTree, node, allowed) && allowed;
}

void TVirtualTreeCore::DoFocusChanged(PVirtualNode node, TColumnIndex column) {
  Fire(OnFocusChanged, senderTree, node, column);
}

bool TVirtualTreeCore::DoFocusChanging(PVirtualNode oldNode, PVirtualNode newNode, TColumnIndex oldColumn,
                                       TColumnIndex newColumn) {
  bool allowed = true;
  // A tree freed meanwhile refuses.
  return Fire(OnFocusChanging, senderTree, oldNode, newNode, oldColumn, newColumn, allowed) && allowed;
}

void TVirtualTreeCore::DoFreeNode(PVirtualNode node) {
  ForgetNode(node);
  // A node never initialised and given no user data has nothing to free.
  if ((node->States & (vsInitialized | vsInitialUserData)) && OnFreeNode) {
    // The handler may free the whole tree: the record then stays dead to the
    // operation that called, which returns.
    TCallOutScope scope(*this);
    Fire(OnFreeNode, senderTree, node);
    if (scope.Destroyed()) {
      scope.KeepOrphan(node);
      return;
    }
  }
  FreeNodeRecord(node);
}

void TVirtualTreeCore::DoHotChange(PVirtualNode oldNode, PVirtualNode newNode) {
  Fire(OnHotChange, senderTree, oldNode, newNode);
}

int TVirtualTreeCore::DoIncrementalSearch(PVirtualNode node, const std::u16string& text) {
  int result = 0;
  Fire(OnIncrementalSearch, senderTree, node, text, result);
  return result;
}

void TVirtualTreeCore::DoInitChildren(PVirtualNode node, uint32_t& childCount) {
  Fire(OnInitChildren, senderTree, node, childCount);
}

void TVirtualTreeCore::DoInitNode(PVirtualNode parent, PVirtualNode node, TVirtualNodeInitStates& initStates) {
  Fire(OnInitNode, senderTree, parent, node, initStates);
}

void TVirtualTreeCore::DoLoadNode(PVirtualNode node, TStream* stream) {
  Fire(OnLoadNode, senderTree, node, stream);
}

void TVirtualTreeCore::DoMeasureItem(TCanvas* targetCanvas, PVirtualNode node, int& nodeHeight) {
  Fire(OnMeasureItem, senderTree, targetCanvas, node, nodeHeight);
}

void TVirtualTreeCore::DoNodeCopied(PVirtualNode node) {
  Fire(OnNodeCopied, senderTree, node);
}

bool TVirtualTreeCore::DoNodeCopying(PVirtualNode node, PVirtualNode newParent) {
  bool allowed = true;
  // A tree freed meanwhile refuses.
  return Fire(OnNodeCopying, senderTree, node, newParent, allowed) && allowed;
}

void TVirtualTreeCore::DoNodeMoved(PVirtualNode node) {
  Fire(OnNodeMoved, senderTree, node);
}

bool TVirtualTreeCore::DoNodeMoving(PVirtualNode node, PVirtualNode newParent) {
  bool allowed = true;
  // A tree freed meanwhile refuses.
  return Fire(OnNodeMoving, senderTree, node, newParent, allowed) && allowed;
}

void TVirtualTreeCore::DoResetNode(PVirtualNode node) {
  Fire(OnResetNode, senderTree, node);
}

void TVirtualTreeCore::DoSaveNode(PVirtualNode node, TStream* stream) {
  Fire(OnSaveNode, senderTree, node, stream);
}

void TVirtualTreeCore::DoScroll(int deltaX, int deltaY) {
  Fire(OnScroll, senderTree, deltaX, deltaY);
}

void TVirtualTreeCore::DoStateChange(TVirtualTreeStates enter, TVirtualTreeStates leave) {
  // A tree freed by the handler is left as it is; a going tree only keeps its states.
  if (OnStateChange && !treeGoing && !((enter - states) + (states * leave)).Empty() &&
      !Fire(OnStateChange, senderTree, enter, leave))
    return;
  states = (states + enter) - leave;
}

void TVirtualTreeCore::DoStructureChange(PVirtualNode node, TChangeReason reason) {
  StopTreeTimer(6);
  if (!Fire(OnStructureChange, senderTree, node, reason)) return;
  DoStateChange({}, {tsStructureChangePending});
  lastStructureChangeNode = nullptr;
  lastStructureChangeReason = crIgnore;
}

void TVirtualTreeCore::DoUpdating(TVTUpdateState state) {
  Fire(OnUpdating, senderTree, state);
}

void TVirtualTreeCore::DoGetNodeDataSize(int& size) {
  size = 0;
  Fire(OnGetNodeDataSize, senderTree, size);
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
      if (!Fire(OnEdited, senderTree, focusedNode, editColumn)) return false;
    }
  }
  DoStateChange({}, {tsEditPending});
  return result;
}

bool TVirtualTreeCore::DoCancelEdit() {
  StopTreeTimer(2);
  // The link's and the handlers' call outs may free the whole tree: the
  // caller is then told that nothing was cancelled, and stops there.
  TCallOutScope scope(*this);
  DoStateChange({}, {tsEditPending});
  if (scope.TreeGone() || !states.Contains(tsEditing) || !editLink) return false;
  bool result;
  {
    TEditLinkPtr link = editLink;  // kept while it runs, also when the tree goes
    result = link->CancelEdit();
  }
  if (scope.TreeGone()) return false;
  if (result) {
    DoStateChange({}, {tsEditing});
    if (!Fire(OnEditCancelled, senderTree, editColumn)) return false;
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
