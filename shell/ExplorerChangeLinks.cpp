// The explorer tree's side of the change links: telling linked views which
// item it shows, following the views it is linked to, and forgetting a view
// whose link goes.
#include <utility>

#include "shell/ExplorerCombobox.h"
#include "shell/ExplorerContextMenu.h"
#include "shell/ExplorerTree.h"

void TCustomVirtualExplorerTree::NotifyViewsOfFocus() {
  if (viewNotifySuppressed > 0 || constructing || ComponentState().Contains(csLoading)) {
    ++viewNotifyPending;
    return;
  }
  if (VETChangeDispatch == nullptr || ComponentState().Contains(csDestroying)) return;
  PVirtualNode node = GetFirstSelected();
  if (node == nullptr) node = FocusedNode();
  TNamespace* ns = NodeNamespace(node);
  if (ns == nullptr) return;
  VETChangeDispatch->DispatchChange(this, ns->AbsolutePIDL());
}

void TCustomVirtualExplorerTree::DoChange(PVirtualNode node) {
  if (Going()) return;  // also while its teardown clears the nodes
  if (contextMenuManager != nullptr && (contextMenuManager->MenuShowing || contextMenuManager->RightClickPending))
    return;
  TViewHold hold(this);
  TCustomVirtualStringTree::DoChange(node);
  if (!Going()) NotifyViewsOfFocus();  // unless the program's handler freed the tree
}

void TCustomVirtualExplorerTree::ChangeLinkDispatch(TObject* /*server*/, LPCITEMIDLIST pidl) {
  if (changeLinkDispatching || pidl == nullptr || ComponentState().Contains(csDestroying)) return;
  TNamespace* focused = NodeNamespace(FocusedNode());
  if (focused != nullptr && vst::ILIsEqual(focused->AbsolutePIDL(), pidl)) return;
  // The browse's handlers may free the tree or its form.
  TViewHold hold(this);
  changeLinkDispatching = true;
  try {
    TVETSyncOptions sync = TreeOptions()->VETSyncOptions();
    BrowseTo(pidl, sync.Contains(toExpandTarget), /*expandPath=*/true, sync.Contains(toCollapseTargetFirst),
             /*focusTree=*/false, sync.Contains(toSelectTarget));
  } catch (...) {
    changeLinkDispatching = false;
    throw;
  }
  changeLinkDispatching = false;
}

void TCustomVirtualExplorerTree::ChangeLinkFreeing(IVETChangeLink* link) {
  // Of the views it follows the plain tree knows only its combo box.
  if (explorerComboBox != nullptr && link->GetChangeLinkClient() == this &&
      link->GetChangeLinkServer() == explorerComboBox)
    explorerComboBox = nullptr;
}

void TCustomVirtualExplorerTree::SetExplorerComboBox(TCustomVirtualExplorerCombobox* value) {
  if (value == explorerComboBox) return;
  TCustomVirtualExplorerCombobox* old = std::exchange(explorerComboBox, nullptr);
  if (old != nullptr && old->VirtualExplorerTree() == this) old->SetVirtualExplorerTree(nullptr);
  if (value == nullptr) return;
  // The combo box makes the links both ways (and drops those to a tree it followed before).
  value->SetVirtualExplorerTree(this);
  explorerComboBox = value;
  value->FreeNotification(this);
}

// ---- TVirtualExplorerTree ------------------------------------------------------------

void TVirtualExplorerTree::SetVirtualExplorerTree(TCustomVirtualExplorerTree* value) {
  if (value == linkedTree) return;
  if (linkedTree != nullptr && VETChangeDispatch != nullptr)
    VETChangeDispatch->UnRegisterChangeLink(linkedTree, this, ulkServerAndClient);
  linkedTree = value;
  if (value != nullptr && VETChangeDispatch != nullptr)
    VETChangeDispatch->RegisterChangeLink(value, this, MakeEvent<&TCustomVirtualExplorerTree::ChangeLinkDispatch>(this),
                                          MakeEvent<&TCustomVirtualExplorerTree::ChangeLinkFreeing>(this));
}

void TVirtualExplorerTree::ChangeLinkFreeing(IVETChangeLink* link) {
  TCustomVirtualExplorerTree::ChangeLinkFreeing(link);
  if (link->GetChangeLinkClient() == this && link->GetChangeLinkServer() == linkedTree) linkedTree = nullptr;
}
