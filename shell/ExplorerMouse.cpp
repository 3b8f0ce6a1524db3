// The explorer tree's left-button clicks: expand buttons and double clicks
// that run an item or browse into a folder; Alt+Enter and Alt+double click
// show the selection's property sheet.
#include "shell/ExplorerContextMenu.h"
#include "shell/ExplorerTree.h"

namespace {
TPoint ClientPoint(const TMessage& m) {
  return TPoint{static_cast<int16_t>(LOWORD(m.LParam)), static_cast<int16_t>(HIWORD(m.LParam))};
}
}  // namespace

void TCustomVirtualExplorerTree::DoTreeDblClick(TMouseButton button, TPoint point) {
  if (OnTreeDblClick) FireHandler(OnTreeDblClick, this, GetNodeAt(point.X, point.Y), button, point);
}

void TCustomVirtualExplorerTree::WMLButtonDown(TMessage& m) {
  TPoint p = ClientPoint(m);
  THitInfo hit;
  GetHitTestInfoAt(p.X, p.Y, /*relative=*/true, hit);
  // A folder may be expanded by its button even where DoExpanding refuses other ways.
  expandButtonClick = hit.HitPositions.Contains(hiOnItemButton);
  // A right click whose release never came (the button is up) is over.
  if (contextMenuManager != nullptr && contextMenuManager->RightClickPending && !contextMenuManager->MenuShowing &&
      GetKeyState(VK_RBUTTON) >= 0)
    contextMenuManager->ResetState();
  Inherited(ClassMessageMap(), m);
  expandButtonClick = false;
}

void TCustomVirtualExplorerTree::WMSysKey(TMessage& m) {
  altKeyDown = m.Msg == WM_SYSKEYDOWN && (m.LParam & (1 << 29)) != 0;
  Inherited(ClassMessageMap(), m);
}

void TCustomVirtualExplorerTree::WMSysChar(TMessage& m) {
  if (m.WParam == VK_RETURN && altKeyDown) {
    SelectedFilesShowProperties();
    m.WParam = 0;
    return;
  }
  Inherited(ClassMessageMap(), m);
}

void TCustomVirtualExplorerTree::WMKillFocus(TMessage& m) {
  altKeyDown = false;
  // While the tree's own drag runs, the base handling would forget the held
  // buttons and stop the drop target's expand and scroll timers.
  if (TreeStates().Contains(tsOLEDragging)) {
    DefaultHandler(m);
    return;
  }
  Inherited(ClassMessageMap(), m);
}

void TCustomVirtualExplorerTree::WMLButtonDblClk(TMessage& m) {
  if (altKeyDown) {
    SelectedFilesShowProperties();
    return;
  }
  TPoint p = ClientPoint(m);
  THitInfo hit;
  GetHitTestInfoAt(p.X, p.Y, /*relative=*/true, hit);
  DoTreeDblClick(mbLeft, p);
  // Its handler freed the tree: the click ends there.
  if (Going()) return;
  expandButtonClick = hit.HitPositions.Contains(hiOnItemButton);
  Inherited(ClassMessageMap(), m);
  if (Going()) return;
  expandButtonClick = false;
  PVirtualNode node = GetFirstSelected();
  if (node == nullptr || node != hit.HitNode) return;
  TVETMiscOptions misc = TreeOptions()->VETMiscOptions();
  bool onItem = hit.HitPositions.Contains(hiOnItemLabel) || hit.HitPositions.Contains(hiOnNormalIcon);
  bool fullRow = misc.Contains(toExecuteOnDblClkFullRow) &&
                 TreeOptions()->SelectionOptions().Contains(toFullRowSelect) && hit.HitPositions.Contains(hiOnItem);
  if (onItem || fullRow) DoShellExecute(node);
}

void TCustomVirtualExplorerTree::WMRButtonDblClk(TMessage& m) {
  DoTreeDblClick(mbRight, ClientPoint(m));
  if (!Going()) Inherited(ClassMessageMap(), m);
}
