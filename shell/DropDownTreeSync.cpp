// What both drop-downs do with their hosted tree: the owner-drawn bar
// follows the tree's range and offset, the bar's moves scroll the tree, and
// a mouse held above or below the list scrolls it on a timer.
#include "shell/PopupDropDowns.h"

#include <algorithm>

// The tree's content on the bar: pixel for pixel, or divided down when it is
// taller than a bar holds (the bar's page is the client, one less than the
// tree's own bar counts).
static TScrollBarMapping BarMapping(TBaseVirtualTree* tree) {
  int client = tree->ClientHeight();
  return MapScrollBar(std::max<int64_t>(client, tree->RangeY()), client);
}

void dropdown_detail::SyncScrollBar(TDropDownWnd* dropDown, TBaseVirtualTree* tree) {
  if (tree == nullptr || tree->Height() <= 0) return;
  TOwnerDrawScrollbar* bar = dropDown->ScrollBar();
  TScrollBarMapping mapping = BarMapping(tree);
  bar->SetMin(0);
  bar->SetMax(mapping.max);
  bar->SetPageSize(std::max(mapping.page - 1, 0));
  bar->SetPosition(mapping.Position(tree->OffsetY()));
  bool show = int64_t(tree->RangeY()) > tree->ClientHeight();
  if (show != bar->Visible()) {
    bar->SetVisible(show);
    dropDown->Relayout();  // the list takes the bar's room or gives it back
  }
  if (bar->HandleAllocated()) bar->Invalidate();
}

void dropdown_detail::ScrollTreeFromBar(TDropDownWnd* dropDown, TBaseVirtualTree* tree, TMessage& m) {
  int code = LOWORD(m.WParam);
  if (code == SB_THUMBTRACK || code == SB_THUMBPOSITION) {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL | SIF_TRACKPOS;
    GetScrollInfo(reinterpret_cast<HWND>(m.LParam), SB_CTL, &info);
    tree->SetOffsetY(BarMapping(tree).Offset(info.nTrackPos));
  } else if (code != SB_ENDSCROLL) {
    tree->Perform(WM_VSCROLL, code, 0);
  }
  SyncScrollBar(dropDown, tree);
}

bool dropdown_detail::DriveAutoScroll(TDropDownWnd* dropDown, TWinControl* tree, int y) {
  if (dropDown == nullptr || GetCapture() != tree->Handle()) return false;
  int height = tree->ClientHeight();
  if (y < 0) {
    if (y >= -20)
      dropDown->StartSlowScroll(/*up=*/true);
    else
      dropDown->StartFastScroll(/*up=*/true);
    return true;
  }
  if (y > height) {
    if (y <= height + 20)
      dropDown->StartSlowScroll(/*up=*/false);
    else
      dropDown->StartFastScroll(/*up=*/false);
    return true;
  }
  dropDown->StopAutoScroll();
  return false;
}
