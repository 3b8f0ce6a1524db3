// The explorer's list pane (browsing into folders in place) and the links
// between a tree pane and a list pane.
#include "shell/ExplorerListview.h"

#include "shell/ShellUtilities.h"
#include "shell/VirtualWideStrings.h"

// ---- Links between the panes ----------------------------------------------------------------

namespace {

// Moves client's link from the view it followed (old) to value: value becomes
// the server whose changes client follows.
void Relink(TCustomVirtualExplorerTree* client, TCustomVirtualExplorerTree* old, TCustomVirtualExplorerTree* value) {
  if (VETChangeDispatch == nullptr) return;
  if (old != nullptr) VETChangeDispatch->UnRegisterChangeLink(old, client, ulkServerAndClient);
  if (value != nullptr)
    VETChangeDispatch->RegisterChangeLink(value, client,
                                          MakeEvent<&TCustomVirtualExplorerTree::ChangeLinkDispatch>(client),
                                          MakeEvent<&TCustomVirtualExplorerTree::ChangeLinkFreeing>(client));
}

}  // namespace

void TVirtualExplorerTreeview::SetVirtualExplorerListview(TVirtualExplorerListview* value) {
  if (value == listview) return;
  TVirtualExplorerListview* old = listview;
  listview = value;
  Relink(this, old, value);
}

void TVirtualExplorerTreeview::ChangeLinkFreeing(IVETChangeLink* link) {
  TVirtualExplorerViews::ChangeLinkFreeing(link);
  if (link->GetChangeLinkClient() == this && link->GetChangeLinkServer() == listview) listview = nullptr;
}

void TVirtualExplorerListview::SetVirtualExplorerTreeview(TVirtualExplorerTreeview* value) {
  if (value == treeview) return;
  TVirtualExplorerTreeview* old = treeview;
  treeview = value;
  Relink(this, old, value);
}

void TVirtualExplorerListview::ChangeLinkFreeing(IVETChangeLink* link) {
  TVirtualExplorerViews::ChangeLinkFreeing(link);
  if (link->GetChangeLinkClient() == this && link->GetChangeLinkServer() == treeview) treeview = nullptr;
}

// The list tells linked views which folder it shows, not what is selected in it.
void TVirtualExplorerListview::NotifyViewsOfFocus() {
  if (viewNotifySuppressed > 0 || constructing || ComponentState().Contains(csLoading)) {
    ++viewNotifyPending;
    return;
  }
  if (VETChangeDispatch == nullptr || ComponentState().Contains(csDestroying)) return;
  if (TNamespace* folder = NodeNamespace(RootNode())) VETChangeDispatch->DispatchChange(this, folder->AbsolutePIDL());
}

// ---- Life ---------------------------------------------------------------------------------

TVirtualExplorerListview::~TVirtualExplorerListview() {
  if (rootCopy != nullptr) rootCopy->Free();
}

void TVirtualExplorerListview::SetDefaultOptions() {
  TVirtualExplorerViews::SetDefaultOptions();
  TVTHeader* header = Header();
  header->SetHeight(17);
  header->SetOptions({hoColumnResize, hoDblClickResize, hoDrag, hoShowSortGlyphs});
  SetIndent(0);
  SetMargin(4);
  TCustomVirtualExplorerTreeOptions* o = TreeOptions();
  o->SetAutoOptions({toAutoScroll});
  o->SetMiscOptions({toAcceptOLEDrop, toEditable, toReportMode, toToggleOnDblClick});
  o->SetPaintOptions({toShowTreeLines, toUseBlendedImages, toGhostedIfUnfocused});
  o->SetSelectionOptions({toLevelSelectConstraint, toMultiSelect, toRightClickSelect});
  o->SetVETFolderOptions({toHideRootFolder});
  o->SetVETImageOptions({toImages, toThreadedImages, toMarkCutAndCopy});
  o->SetVETShellOptions({toRightAlignSizeColumn, toContextMenus, toShellColumnMenu});
  o->SetVETMiscOptions({toBrowseExecuteFolder, toBrowseExecuteFolderShortcut, toBrowseExecuteZipFolder,
                        toChangeNotifierThread, toExecuteOnDblClk});
  o->SetVETSyncOptions({toCollapseTargetFirst, toExpandTarget, toSelectTarget});
  fileObjects = {foFolders, foNonFolders, foHidden};
  // The header shows once the columns are made, with the window (the tree has no nodes yet).
  columnDetails = cdShellColumns;
}

void TVirtualExplorerListview::CreateWnd() {
  TVirtualExplorerViews::CreateWnd();
  if (rootCopy != nullptr) rootCopy->Free();
  rootCopy = RootNamespace() != nullptr ? RootNamespace()->Clone(/*freePIDLOnDestroy=*/true) : nullptr;
}

void TVirtualExplorerListview::Assign(TPersistent* source) {
  TVirtualExplorerViews::Assign(source);
  auto* other = dynamic_cast<TVirtualExplorerListview*>(source);
  if (other == nullptr || other == this) return;
  if (rootCopy != nullptr) rootCopy->Free();
  rootCopy = other->RootCopy() != nullptr ? other->RootCopy()->Clone(/*freePIDLOnDestroy=*/true) : nullptr;
}

void TVirtualExplorerListview::AssignTo(TPersistent* dest) {
  auto* other = dynamic_cast<TVirtualExplorerListview*>(dest);
  if (other != nullptr) {
    other->Assign(this);
    return;
  }
  TVirtualExplorerViews::AssignTo(dest);
}

// ---- Browsing -------------------------------------------------------------------------------

bool TVirtualExplorerListview::OkToBrowseTo(LPCITEMIDLIST pidl) {
  if (rootCopy == nullptr || !TreeOptions()->VETMiscOptions().Contains(toListviewLimitBrowseToRoot)) return true;
  if (pidl == nullptr) return false;
  TNamespace* limit = rootCopy;
  if (treeview != nullptr) {
    limit = treeview->RootNamespace();
    if (limit == nullptr) return true;
  }
  return vst::ILIsParent(limit->AbsolutePIDL(), pidl, /*immediate=*/false);
}

bool TVirtualExplorerListview::BrowseTo(LPCITEMIDLIST pidl, bool, bool expandPath, bool, bool, bool selectTarget) {
  if (pidl == nullptr || !OkToBrowseTo(pidl)) return false;
  // The item decides only which folder to show; its PIDL stays the caller's.
  TNamespace* item = New<TNamespace>(NamespacePIDLManager->CopyPIDL(pidl), nullptr);
  bool folder = item->Folder();
  item->Free();
  LPITEMIDLIST target = NamespacePIDLManager->CopyPIDL(pidl);
  if (!folder) NamespacePIDLManager->StripLastID(target);
  if (!TPIDLManager::EqualPIDL(target, rootFolderCustomPIDL)) SetRootFolderCustomPIDL(target);
  NamespacePIDLManager->FreePIDL(target);
  if (!folder && expandPath) WalkPIDLToNode(pidl, selectTarget, expandPath, /*reinit=*/false, /*init=*/true);
  return rootFolderCustomPIDL != nullptr;
}

bool TVirtualExplorerListview::BrowseToSelectedFolder() {
  TNamespace* ns = NodeNamespace(GetFirstSelected());
  if (ns == nullptr || !ns->Folder()) return false;
  LPITEMIDLIST pidl = NamespacePIDLManager->CopyPIDL(ns->AbsolutePIDL());
  bool result = BrowseTo(pidl, false, true, false, false, false);
  NamespacePIDLManager->FreePIDL(pidl);
  return result;
}

bool TVirtualExplorerListview::BrowseToParent() {
  if (RootNamespace() == nullptr || RootNamespace()->IsDesktop()) return false;
  LPITEMIDLIST pidl = NamespacePIDLManager->CopyPIDL(RootNamespace()->AbsolutePIDL());
  NamespacePIDLManager->StripLastID(pidl);
  bool result = BrowseTo(pidl, false, true, false, false, false);
  NamespacePIDLManager->FreePIDL(pidl);
  return result;
}

void TVirtualExplorerListview::DoShellExecute(PVirtualNode node) {
  TNamespace* ns = NodeNamespace(node);
  TVETMiscOptions misc = TreeOptions()->VETMiscOptions();
  bool browsed = false;
  if (ns != nullptr && misc.Contains(toBrowseExecuteFolder) && ns->Folder()) {
    bool zip = vws::WideStrICompOS(ns->Extension().c_str(), u".zip") == 0;
    if (!zip || misc.Contains(toBrowseExecuteZipFolder)) browsed = BrowseToSelectedFolder();
  }
  if (!browsed) TVirtualExplorerViews::DoShellExecute(node);
}

// ---- Keys, icons, the clipboard ----------------------------------------------------------------

bool TVirtualExplorerListview::DoKeyAction(uint16_t& charCode, TShiftState& shift) {
  switch (charCode) {
    case VK_BACK:
      BrowseToParent();
      charCode = 0;
      return false;
    case VK_RETURN:
      if (SelectedCount() == 1) {
        if (treeview != nullptr && treeview->FocusedNode() != nullptr) treeview->RefreshNode(treeview->FocusedNode());
        if (Going()) return false;
        DoShellExecute(GetFirstSelected());
      }
      break;
    case 'V':
      // Only the virtual key of V: Ctrl with key code 118 is Ctrl+F7.
      if (!shift.Contains(ssCtrl)) break;
      WaitCursor(true);
      if (!TreeOptions()->VETMiscOptions().Contains(toVETReadOnly)) {
        bool handled = false;
        if (FireHandler(OnClipboardPaste, this, handled) && !handled) PasteFromClipboard();
      }
      WaitCursor(false);
      charCode = 0;
      return false;
    default:
      break;
  }
  return TVirtualExplorerViews::DoKeyAction(charCode, shift);
}

TCustomImageList* TVirtualExplorerListview::DoGetImageIndex(PVirtualNode node, TVTImageKind kind,
                                                            TColumnIndex column, bool& ghosted, int& index) {
  return TVirtualExplorerViews::DoGetImageIndex(node, kind == ikSelected ? ikNormal : kind, column, ghosted, index);
}

bool TVirtualExplorerListview::PasteFromClipboard() {
  if (TreeOptions()->VETMiscOptions().Contains(toVETReadOnly)) return false;
  TNamespace* folder = NodeNamespace(RootNode());
  if (folder == nullptr) return false;
  // Into the shown folder itself, a plain paste as the tree's (pasting links would leave shortcuts).
  folder->Paste({folder}, /*plainPaste=*/true);
  return true;
}

void TVirtualExplorerListview::SelectedFilesPaste(bool allSelected) {
  if (TreeOptions()->VETMiscOptions().Contains(toVETReadOnly)) return;
  if (!allSelected && SelectedCount() != 1) return;
  if (SelectedCount() == 0) {
    if (TNamespace* folder = NodeNamespace(RootNode())) folder->Paste({folder}, /*plainPaste=*/true);
    return;
  }
  for (PVirtualNode node = GetFirstSelected(); node != nullptr; node = GetNextSelected(node)) {
    TNamespace* ns = NodeNamespace(node);
    if (ns != nullptr && ns->IsValid()) ns->Paste({ns}, /*plainPaste=*/true);
    if (!allSelected) break;
  }
}

// ---- Rebuilding -----------------------------------------------------------------------------

void TVirtualExplorerListview::RebuildRootNamespace() {
  if (rebuildLock > 0) return;
  TVirtualExplorerViews::RebuildRootNamespace();
  if (columnDetails == cdShellColumns) RebuildColumns(RootNamespace());
}

void TVirtualExplorerListview::ReReadAndRefreshNode(PVirtualNode node, bool sortNode) {
  if (node == RootNode()) TVirtualExplorerViews::ReReadAndRefreshNode(node, sortNode);
}
