// The explorer drop-down's folder tree: popup defaults, hot-tracking that
// follows the mouse, auto-scrolling while the mouse is held outside, and a
// release over a folder that chooses it.
#include "shell/ExplorerCombobox.h"
#include "shell/ShellUtilities.h"

const TMessageMap* TPopupExplorerTree::ClassMessageMap() {
  static const TMessageMap map(TVirtualExplorerTree::ClassMessageMap(), {
      OnMessage(WM_MOUSEMOVE, &TPopupExplorerTree::WMMouseMove),
      OnMessage(WM_LBUTTONDOWN, &TPopupExplorerTree::WMLButtonDown),
      OnMessage(WM_LBUTTONUP, &TPopupExplorerTree::WMLButtonUp),
      OnMessage(WM_RBUTTONDOWN, &TPopupExplorerTree::WMRButtonDown),
      OnMessage(WM_MOUSEACTIVATE, &TPopupExplorerTree::WMMouseActivate),
  });
  return &map;
}

void TPopupExplorerTree::Create(TComponent* owner) {
  TVirtualExplorerTree::Create(owner);
  ScrollBarOptions()->SetScrollBars(ssNone);
  SetBorderStyle(bsNone);
  SetFileObjects(TFileObjects{foFolders, foHidden});
  SetDefaultNodeHeight(17);
}

void TPopupExplorerTree::SetDefaultOptions() {
  TVirtualExplorerTree::SetDefaultOptions();
  TCustomVirtualExplorerTreeOptions* o = TreeOptions();
  o->SetAutoOptions(TVTAutoOptions{toAutoScroll, toAutoScrollOnExpand});
  o->SetMiscOptions(TVTMiscOptions{});
  o->SetPaintOptions(TVTPaintOptions{toHideFocusRect, toPopupMode, toShowBackground, toUseBlendedImages});
  o->SetSelectionOptions(TVTSelectionOptions{toDisableDrawSelection});
  o->SetVETFolderOptions(TVETFolderOptions{toFoldersExpandable});
  o->SetVETImageOptions(TVETImageOptions{toImages});
  o->SetVETShellOptions(TVETShellOptions{});
  o->SetVETMiscOptions(TVETMiscOptions{toBrowseExecuteFolder, toBrowseExecuteZipFolder});
  o->SetVETSyncOptions(TVETSyncOptions{toCollapseTargetFirst, toSelectTarget});
}

void TPopupExplorerTree::CreateParams(TCreateParams& params) {
  TVirtualExplorerTree::CreateParams(params);
  params.Style &= ~static_cast<DWORD>(WS_CLIPSIBLINGS);
}

bool TPopupExplorerTree::BrowseTo(LPCITEMIDLIST pidl, bool expandTarget, bool expandPath, bool collapseFirst,
                                  bool focusTree, bool selectTarget) {
  BeginUpdate();
  bool found = false;
  try {
    if (DrivesFolder() != nullptr) {
      PVirtualNode drives = WalkPIDLToNode(DrivesFolder()->AbsolutePIDL(), /*select=*/false, /*expandPath=*/true,
                                           /*reinit=*/false, /*init=*/true);
      if (drives != nullptr) SetExpanded(drives, true);
    }
    found = TVirtualExplorerTree::BrowseTo(pidl, expandTarget, expandPath, collapseFirst, focusTree, selectTarget);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
  if (PVirtualNode node = FindLoadedNodeByPIDL(pidl)) ScrollIntoView(node, /*center=*/false);
  return found;
}

void TPopupExplorerTree::DoExpanded(PVirtualNode node) {
  TVirtualExplorerTree::DoExpanded(node);
  // The handler may have freed this tree (its caller holds it) and the drop-down with it.
  if (!Going() && dropDown != nullptr && dropDown->HandleAllocated())
    PostMessageW(dropDown->Handle(), TDropDownWnd::kWMLayout, 0, 0);
}

void TPopupExplorerTree::DoCollapsed(PVirtualNode node) {
  TVirtualExplorerTree::DoCollapsed(node);
  if (!Going() && dropDown != nullptr && dropDown->HandleAllocated())
    PostMessageW(dropDown->Handle(), TDropDownWnd::kWMLayout, 0, 0);
}

void TPopupExplorerTree::PaintWindow(HDC dc) {
  dropdown_detail::PaintAroundGrip(dropDown, this, dc, [this](HDC d) { TVirtualExplorerTree::PaintWindow(d); });
}

void TPopupExplorerTree::WMMouseMove(TMessage& m) {
  Inherited(ClassMessageMap(), m);
  if (Going()) return;  // a mouse handler freed the tree
  TPoint p{static_cast<short>(LOWORD(m.LParam)), static_cast<short>(HIWORD(m.LParam))};
  bool scrolling = dropdown_detail::DriveAutoScroll(dropDown, this, p.Y);
  if (!scrolling && !(p == lastMouse)) {
    PVirtualNode node = GetNodeAt(p.X, p.Y);
    if (node != nullptr && node != GetFirstSelected()) {
      BeginUpdate();
      ClearSelection();
      SetSelected(node, true);
      SetFocusedNode(node);
      EndUpdate();
    }
  }
  lastMouse = p;
}

void TPopupExplorerTree::WMLButtonDown(TMessage& m) {
  THitInfo hit;
  GetHitTestInfoAt(static_cast<short>(LOWORD(m.LParam)), static_cast<short>(HIWORD(m.LParam)), /*relative=*/true,
                   hit);
  if (hit.HitNode != nullptr && hit.HitPositions.Contains(hiOnItemButton)) ToggleNode(hit.HitNode);
  if (!Going()) SetCapture(Handle());
}

void TPopupExplorerTree::WMLButtonUp(TMessage& m) {
  Inherited(ClassMessageMap(), m);
  if (Going()) return;
  if (dropDown != nullptr) dropDown->StopAutoScroll();
  if (GetCapture() == Handle()) ReleaseCapture();
  THitInfo hit;
  GetHitTestInfoAt(static_cast<short>(LOWORD(m.LParam)), static_cast<short>(HIWORD(m.LParam)), /*relative=*/true,
                   hit);
  if (dropDown != nullptr && dropDown->ComboBoxStyle() == cbsVETEnhanced &&
      (hit.HitPositions == THitPositions{hiOnItem} || hit.HitPositions.Contains(hiOnItemButton)))
    return;
  if (hit.HitNode != nullptr && dropDown != nullptr) dropDown->RollUp(/*accept=*/true);
}

void TPopupExplorerTree::WMRButtonDown(TMessage& m) {}

void TPopupExplorerTree::WMMouseActivate(TMessage& m) { m.Result = MA_NOACTIVATE; }
