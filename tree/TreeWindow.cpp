// The tree's window: repaint requests, scroll bars and offsets, scrolling a
// node into view, the window's timers (delayed notifications, cache
// rebuilding in steps) and its window class.
#include "tree/VirtualTrees.h"

#include <algorithm>
#include <cstdlib>

#include "win/graphics/Themes.h"

namespace {
// Window timers by number: 1 drop-target expand, 2 edit, 4 scroll, 5 change, 6 structure change,
// 7 search; 8 rebuilds the position cache in steps on the window's own thread.
constexpr UINT_PTR kExpandTimer = 1;
constexpr UINT_PTR kEditTimer = 2;
constexpr UINT_PTR kScrollTimer = 4;
constexpr UINT_PTR kChangeTimer = 5;
constexpr UINT_PTR kSearchTimer = 7;
constexpr UINT_PTR kStructureChangeTimer = 6;
constexpr UINT_PTR kCacheTimer = 8;
// Nodes walked per cache step: about a millisecond of work.
constexpr uint32_t kCacheStepBudget = 50000;

// A bar that showing makes appear is drawn with the frame, which showing it
// invalidates: drawing it at once as well only paints it twice (a bar is
// costly to draw under visual styles).
bool BarAppears(HWND window, int bar, bool shown) {
  LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
  return shown && (style & (bar == SB_VERT ? WS_VSCROLL : WS_HSCROLL)) == 0;
}

// Counts the showing of an appearing bar: what the size change updates
// meanwhile (the bars again) is drawn with the frame as well.
class TAppearingScope {
public:
  TAppearingScope(int& count, bool appears) : count(count), on(appears) {
    if (on) ++count;
  }
  ~TAppearingScope() {
    if (on) --count;
  }

private:
  int& count;
  bool on;
};
}  // namespace

const TMessageMap* TBaseVirtualTree::ClassMessageMap() {
  static const TMessageMap map(TCustomControl::ClassMessageMap(), {
                                                                      OnMessage(WM_TIMER, &TBaseVirtualTree::WMTimer),
                                                                      OnMessage(WM_VSCROLL, &TBaseVirtualTree::WMVScroll),
                                                                      OnMessage(WM_HSCROLL, &TBaseVirtualTree::WMHScroll),
                                                                      OnMessage(WM_SIZE, &TBaseVirtualTree::WMSize),
                                                                      OnMessage(WM_NCCALCSIZE, &TBaseVirtualTree::WMNCCalcSize),
                                                                      OnMessage(WM_NCHITTEST, &TBaseVirtualTree::WMNCHitTest),
                                                                      OnMessage(WM_NCPAINT, &TBaseVirtualTree::WMNCPaint),
                                                                      OnMessage(WM_LBUTTONDOWN, &TBaseVirtualTree::WMLButtonDown),
                                                                      OnMessage(WM_LBUTTONUP, &TBaseVirtualTree::WMLButtonUp),
                                                                      OnMessage(WM_LBUTTONDBLCLK, &TBaseVirtualTree::WMLButtonDblClk),
                                                                      OnMessage(WM_RBUTTONDOWN, &TBaseVirtualTree::WMRButtonDown),
                                                                      OnMessage(WM_RBUTTONUP, &TBaseVirtualTree::WMRButtonUp),
                                                                      OnMessage(WM_RBUTTONDBLCLK, &TBaseVirtualTree::WMRButtonDblClk),
                                                                      OnMessage(WM_MBUTTONDOWN, &TBaseVirtualTree::WMMButtonDown),
                                                                      OnMessage(WM_MBUTTONUP, &TBaseVirtualTree::WMMButtonUp),
                                                                      OnMessage(WM_MBUTTONDBLCLK, &TBaseVirtualTree::WMMButtonDblClk),
                                                                      OnMessage(CM_HINTSHOW, &TBaseVirtualTree::CMHintShow),
                                                                      OnMessage(CM_COLORCHANGED, &TBaseVirtualTree::CMColorChanged),
                                                                      OnMessage(CM_FONTCHANGED, &TBaseVirtualTree::CMFontChanged),
                                                                      OnMessage(WM_PRINTCLIENT, &TBaseVirtualTree::WMPrintClient),
                                                                      OnMessage(WM_PRINT, &TBaseVirtualTree::WMPrint),
                                                                      OnMessage(CM_SYSCOLORCHANGE, &TBaseVirtualTree::CMSysColorChange),
                                                                      OnMessage(CM_HINTSHOWPAUSE, &TBaseVirtualTree::CMHintShowPause),
                                                                      OnMessage(WM_NCDESTROY, &TBaseVirtualTree::WMNCDestroy),
                                                                      OnMessage(WM_DESTROY, &TBaseVirtualTree::WMDestroy),
                                                                      OnMessage(CM_DRAG, &TBaseVirtualTree::CMDrag),
                                                                      OnMessage(WM_KEYDOWN, &TBaseVirtualTree::WMKeyDown),
                                                                      OnMessage(WM_KEYUP, &TBaseVirtualTree::WMKeyUp),
                                                                      OnMessage(WM_CHAR, &TBaseVirtualTree::WMChar),
                                                                      OnMessage(WM_GETDLGCODE, &TBaseVirtualTree::WMGetDlgCode),
                                                                      OnMessage(WM_SETFOCUS, &TBaseVirtualTree::WMSetFocus),
                                                                      OnMessage(WM_KILLFOCUS, &TBaseVirtualTree::WMKillFocus),
                                                                      OnMessage(WM_CANCELMODE, &TBaseVirtualTree::WMCancelMode),
                                                                      OnMessage(WM_CONTEXTMENU, &TBaseVirtualTree::WMContextMenu),
                                                                      OnMessage(WM_SETCURSOR, &TBaseVirtualTree::WMSetCursor),
                                                                      OnMessage(WM_ENABLE, &TBaseVirtualTree::WMEnable),
                                                                      OnMessage(WM_THEMECHANGED, &TBaseVirtualTree::WMThemeChanged),
                                                                      OnMessage(WM_COPY, &TBaseVirtualTree::WMClipboardCommand),
                                                                      OnMessage(WM_CUT, &TBaseVirtualTree::WMClipboardCommand),
                                                                      OnMessage(WM_PASTE, &TBaseVirtualTree::WMClipboardCommand),
                                                                      OnMessage(WM_APP + 32, &TBaseVirtualTree::WMChangeState),
                                                                      OnMessage(CM_MOUSEWHEEL, &TBaseVirtualTree::CMMouseWheel),
                                                                      OnMessage(CM_MOUSELEAVE, &TBaseVirtualTree::CMMouseLeave),
                                                                      OnMessage(CM_DENYSUBCLASSING, &TBaseVirtualTree::CMDenySubclassing),
                                                                      OnMessage(0x1104 /* TVM_GETITEMRECT */, &TBaseVirtualTree::TVMGetItemRect),
                                                                      OnMessage(0x110A /* TVM_GETNEXTITEM */, &TBaseVirtualTree::TVMGetNextItem),
                                                                      OnMessage(0x110C /* TVM_GETITEMA */, &TBaseVirtualTree::TVMGetItem),
                                                                  });
  return &map;
}

void TBaseVirtualTree::CreateWnd() {
  DoStateChange({tsWindowCreating});
  // Its state handler may free the tree: a freed tree gets no window.
  if (Going()) return;
  cacheTimerRunning = false;  // a new window has no timers
  TCustomControl::CreateWnd();
  DoStateChange({}, {tsWindowCreating});
  if (Going()) return;
  if (options.paint.Contains(toThemeAware) && ThemeServices()->ThemesEnabled())
    DoStateChange({tsUseThemes});
  else
    DoStateChange({}, {tsUseThemes});
  if (header != nullptr && header->Options().Contains(hoAutoResize)) header->Columns()->AdjustAutoSize(InvalidColumn);
  PrepareBitmaps(/*needButtons=*/true, /*needLines=*/true);
  // A rebuild whose timer went with an old window starts again on the new one.
  if (states.Contains(tsValidationNeeded) || states.Contains(tsValidating)) {
    if (states.Contains(tsValidating)) InvalidateCache();
    ValidateCache();
  }
  UpdateScrollBars(true);
  UpdateHeaderRect();
  UpdateDropTarget(options.misc.Contains(toAcceptOLEDrop));
}

void TBaseVirtualTree::InvalidateWhole() {
  if (HandleAllocated() && updateCount == 0) Invalidate();
}

int TBaseVirtualTree::TreeClientHeight() const { return ClientHeight(); }

void TBaseVirtualTree::CancelHint() { Application->CancelHint(); }

void TBaseVirtualTree::StopTreeTimer(int id) {
  if (!HandleAllocated()) return;
  // The change timers run only after a delayed change: not asking the window
  // server to stop one that is not running saves a round trip per focus move.
  if (id == kChangeTimer || id == kStructureChangeTimer) {
    const uint8_t bit = id == kChangeTimer ? 1 : 2;
    if (!(changeTimersRunning & bit)) return;
    changeTimersRunning &= ~bit;
  }
  KillTimer(handle, static_cast<UINT_PTR>(id));
}

void TBaseVirtualTree::SetRedraw(bool on) {
  if (HandleAllocated() && Visible()) SendMessageW(handle, WM_SETREDRAW, on ? 1 : 0, 0);
}

namespace {
std::vector<TBaseVirtualTree*> gWaitingTrees;
}  // namespace

const std::vector<TBaseVirtualTree*>& WaitingTrees() { return gWaitingTrees; }

void QueueTree(TBaseVirtualTree* tree) {
  VT_ASSERT(tree != nullptr, "Tree must not be nil.");
  tree->DoStateChange({}, {tsStopValidation});
  if (std::find(gWaitingTrees.begin(), gWaitingTrees.end(), tree) == gWaitingTrees.end())
    gWaitingTrees.push_back(tree);
  if (tree->HandleAllocated() && !tree->cacheTimerRunning) {
    SetTimer(tree->Handle(), kCacheTimer, USER_TIMER_MINIMUM, nullptr);
    tree->cacheTimerRunning = true;
  }
}

void UnqueueTree(TBaseVirtualTree* tree) {
  VT_ASSERT(tree != nullptr, "Tree must not be nil.");
  gWaitingTrees.erase(std::remove(gWaitingTrees.begin(), gWaitingTrees.end(), tree), gWaitingTrees.end());
  // The timer is left running: its next tick finds nothing to build and stops it.
}

void TBaseVirtualTree::ScheduleCacheValidation() {
  // Without a window (or once the tree is going) the cache is built at once.
  if (!HandleAllocated() || IsTreeDestroying() || !workerAcquired) {
    TVirtualTreeCore::ScheduleCacheValidation();
    return;
  }
  DoStateChange({tsValidating}, {tsUseCache});
  QueueTree(this);
}

void TBaseVirtualTree::CancelCacheValidation() { UnqueueTree(this); }

void TBaseVirtualTree::WMTimer(TMessage& m) {
  switch (m.WParam) {
    case kCacheTimer: {
      bool waiting = std::find(gWaitingTrees.begin(), gWaitingTrees.end(), this) != gWaitingTrees.end();
      if (!waiting || !states.Contains(tsValidating)) {
        UnqueueTree(this);
        KillTimer(handle, kCacheTimer);
        cacheTimerRunning = false;
        break;
      }
      int result = ValidateCacheSteps(kCacheStepBudget);
      if (result == 2) break;
      UnqueueTree(this);
      KillTimer(handle, kCacheTimer);
      cacheTimerRunning = false;
      FinishCacheValidation(result == 1);
      break;
    }
    case kScrollTimer:
      ScrollTimerFired();
      break;
    case kExpandTimer:
      DoDragExpand();
      break;
    case kChangeTimer:
      StopTreeTimer(kChangeTimer);
      if (states.Contains(tsChangePending)) DoChange(lastChangedNode);
      break;
    case kEditTimer:
      KillTimer(handle, kEditTimer);
      DoEdit();
      break;
    case kSearchTimer:
      StopIncrementalSearch();
      break;
    case kStructureChangeTimer:
      StopTreeTimer(kStructureChangeTimer);
      if (states.Contains(tsStructureChangePending)) DoStructureChange(lastStructureChangeNode, lastStructureChangeReason);
      break;
    default:
      Inherited(ClassMessageMap(), m);
  }
}

void TBaseVirtualTree::InvalidateNodeArea(PVirtualNode node) {
  // Checking a folder changes all its children: finding each child's row
  // walks its earlier siblings, so beyond a screenful of rows the window is
  // invalidated whole, once per propagation.
  if (states.Contains(tsCheckPropagation)) {
    if (propagationSerialSeen != checkPropagationSerial) {
      propagationSerialSeen = checkPropagationSerial;
      propagationRowsInvalidated = 0;
    }
    const uint32_t screenful = std::max<uint32_t>(1, static_cast<uint32_t>(ClientHeight()) / std::max<uint32_t>(1, defaultNodeHeight)) + 1;
    if (propagationRowsInvalidated > screenful) return;
    if (++propagationRowsInvalidated > screenful) {
      InvalidateWhole();
      return;
    }
  }
  InvalidateNode(node);
}

TRect TBaseVirtualTree::InvalidateNode(PVirtualNode node) {
  TRect r;
  // A node freed by a handler of the operation that asks has no row to repaint.
  if (node == nullptr || node == root || (node->States & vsDead) || !HandleAllocated() || updateCount > 0) return r;
  r = GetDisplayRect(node, NoColumn, false);
  InvalidateRowRect(r);
  return r;
}

void TBaseVirtualTree::InvalidateRowRect(const TRect& r) {
  if (r.IsEmpty() || !HandleAllocated()) return;
  if (invalidationBatch > 0) {
    if (pendingInvalid.IsEmpty())
      pendingInvalid = r;
    else
      pendingInvalid = TRect{std::min(pendingInvalid.Left, r.Left), std::min(pendingInvalid.Top, r.Top),
                             std::max(pendingInvalid.Right, r.Right), std::max(pendingInvalid.Bottom, r.Bottom)};
    return;
  }
  RECT rect = r.ToRECT();
  InvalidateRect(handle, &rect, FALSE);
}

void TBaseVirtualTree::Invalidate() {
  if (invalidationBatch > 0) {
    pendingWholeInvalid = true;
    return;
  }
  TCustomControl::Invalidate();
}

void TBaseVirtualTree::BeginInvalidationBatch() { ++invalidationBatch; }

void TBaseVirtualTree::EndInvalidationBatch() {
  if (invalidationBatch == 0 || --invalidationBatch > 0) return;
  if (scrollBarsPending) {
    scrollBarsPending = false;
    UpdateScrollBars(scrollBarsRepaint);
    scrollBarsRepaint = false;
  }
  if (pendingWholeInvalid)
    Invalidate();
  else
    InvalidateRowRect(pendingInvalid);
  pendingWholeInvalid = false;
  pendingInvalid = TRect();
}

void TBaseVirtualTree::DoScroll(int deltaX, int deltaY) {
  // Rows collected for a repaint moved with the scrolled content.
  if (invalidationBatch > 0 && !pendingInvalid.IsEmpty()) pendingInvalid.Offset(deltaX, deltaY);
  TVirtualTreeCore::DoScroll(deltaX, deltaY);
}

void TBaseVirtualTree::InvalidateBelow(PVirtualNode node) {
  if (updateCount > 0 || !HandleAllocated()) return;
  if (node == nullptr || node == root) {
    Invalidate();
    return;
  }
  if ((node->States & vsInitialized) && (node->States & vsVisible) && !(node->States & vsDead) &&
      IsFullyVisible(node)) {
    TRect client = ClientRect();
    int64_t top = int64_t(GetNodeTop(node)) + offsetY;
    if (top < client.Top || top >= client.Bottom) return;
    InvalidateRowRect(TRect{client.Left, static_cast<int>(top), client.Right, client.Bottom});
  }
}

void TBaseVirtualTree::InvalidateColumn(TColumnIndex column) {
  if (updateCount > 0 || !HandleAllocated() || column < 0 || column >= HeaderColumnCount()) return;
  int left = 0, right = 0;
  header->Columns()->GetColumnBounds(column, left, right);
  RECT rect{left, 0, right, ClientHeight()};
  InvalidateRect(handle, &rect, FALSE);
}

bool TBaseVirtualTree::ExpandAncestors(PVirtualNode node) {
  // From the top down, so that each expansion finds its parent open already.
  std::vector<PVirtualNode> closed;
  for (PVirtualNode run = node->Parent; run != root; run = run->Parent)
    if (!(run->States & vsExpanded)) closed.push_back(run);
  TCallOutScope scope(*this);
  for (auto it = closed.rbegin(); it != closed.rend(); ++it) {
    if (Gone(node)) return false;
    if (Gone(*it)) break;  // the node was moved away from under it meanwhile
    ToggleNode(*it);
  }
  return !Gone(node);
}

PVirtualNode TBaseVirtualTree::GetTopNode() {
  int top = 0;
  return GetNodeAt(0, 0, true, top);
}

void TBaseVirtualTree::SetTopNode(PVirtualNode node) {
  if (node == nullptr || node == root) return;
  if (!ExpandAncestors(node) || !IsFullyVisible(node)) return;
  SetOffsetY(-int64_t(GetNodeTop(node)));
}

bool TBaseVirtualTree::ScrollIntoView(PVirtualNode node, bool center, bool horizontally) {
  if (node == nullptr || node == root || (node->States & vsDead) || !ExpandAncestors(node)) return false;
  TRect r = GetDisplayRect(node, focusedColumn, false, !options.misc.Contains(toGridExtensions));
  if ((r.IsEmpty() && r.Top == 0 && r.Bottom == 0) || Gone(node) || TreeGoing()) return false;
  // The rectangle's top and bottom stop at the ends of an int: the true ones
  // (a node may be farther than that from the client).
  int64_t top = DisplayTop(node), bottom = top + node->NodeHeight;
  int clientHeight = ClientHeight();
  bool scrolled = false;
  // The scroll and hot-node handlers may free the whole tree.
  TCallOutScope scope(*this);
  if (top < 0) {
    SetOffsetY(offsetY - top + (center ? clientHeight / 2 : 0));
    scrolled = true;
  } else if (bottom > clientHeight || center) {
    int64_t delta = center ? bottom - clientHeight / 2 : bottom - clientHeight;
    // A horizontal bar about to appear takes room at the bottom.
    bool horizontalShown = (GetWindowLongW(handle, GWL_STYLE) & WS_HSCROLL) != 0;
    if (HeaderColumnCount() == 0 && !horizontalShown && int64_t(rangeX) > ClientWidth())
      delta += GetSystemMetrics(SM_CYHSCROLL);
    SetOffsetY(offsetY - delta);
    scrolled = true;
  }
  if (scope.TreeGone()) return scrolled;
  if (horizontally) {
    int fixedWidth = 0;
    TColumnAttributes attributes;
    for (TColumnIndex column = FirstVisibleColumn(); column >= 0; column = NextVisibleColumn(column))
      if (HeaderColumnAttributes(column, attributes) && attributes.Fixed) fixedWidth += attributes.Width;
    int clientWidth = ClientWidth();
    if (fixedWidth == 0) {
      if (r.Left < 0 || r.Right > clientWidth) {
        SetOffsetX(clientWidth / 2 - ((r.Left + r.Right) / 2 - offsetX));
        scrolled = true;
      }
    } else if (std::abs(r.Left - fixedWidth) >= 2) {
      // The cell's left edge meets the fixed columns, which do not scroll.
      SetOffsetX(offsetX - (r.Left - fixedWidth));
      scrolled = true;
    }
  }
  return scrolled;
}

void TBaseVirtualTree::UpdateScrollBars(bool doRepaint) {
  if (!HandleAllocated()) return;
  // While a check change propagates, what its handlers change sets the bars
  // once, when it ends (with its batch of repaints).
  if (checkRunDepth > 0 && invalidationBatch > 0) {
    scrollBarsPending = true;
    scrollBarsRepaint = scrollBarsRepaint || doRepaint;
    return;
  }
  UpdateVerticalScrollBar(doRepaint);
  UpdateHorizontalScrollBar(doRepaint);
}

void TBaseVirtualTree::UpdateScrollRange() {
  // The system draws a bar at once when told its range, which costs
  // milliseconds under visual styles: a run of row changes would draw it as
  // often. The bars' strips of the frame are invalidated instead.
  TCallOutScope gone(*this);
  UpdateScrollBars(false);
  if (gone.TreeGone() || !HandleAllocated()) return;
  LONG_PTR style = GetWindowLongPtrW(handle, GWL_STYLE);
  int width = ClientWidth(), height = ClientHeight();
  int barWidth = GetSystemMetrics(SM_CXVSCROLL), barHeight = GetSystemMetrics(SM_CYHSCROLL);
  // In client coordinates: the bars lie just outside the client area.
  auto redraw = [&](RECT strip) {
    RedrawWindow(handle, &strip, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_NOERASE | RDW_NOCHILDREN);
  };
  if (style & WS_VSCROLL) {
    bool left = (GetWindowLongPtrW(handle, GWL_EXSTYLE) & WS_EX_LEFTSCROLLBAR) != 0;
    redraw(left ? RECT{-barWidth, 0, 0, height} : RECT{width, 0, width + barWidth, height});
  }
  if (style & WS_HSCROLL) redraw(RECT{0, height, width, height + barHeight});
}

void TBaseVirtualTree::UpdateVerticalScrollBar(bool doRepaint) {
  // The bar's handler may free the tree: the update ends there.
  TCallOutScope gone(*this);
  if (root->TotalHeight < defaultNodeHeight) root->TotalHeight = defaultNodeHeight;
  rangeY = root->TotalHeight - root->NodeHeight;
  TScrollStyle bars = scrollBarOptions->ScrollBars();
  if (bars != ssVertical && bars != ssBoth) {
    DoShowScrollbar(SB_VERT, false);
    if (gone.TreeGone()) return;
    SetOffsetY(offsetY);
    return;
  }
  SCROLLINFO info{};
  info.cbSize = sizeof(info);
  info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_TRACKPOS;
  int clientHeight = ClientHeight();
  bool always = scrollBarOptions->AlwaysVisible();
  const bool appears = BarAppears(handle, SB_VERT, clientHeight < static_cast<int64_t>(rangeY) || always);
  if (appears || barsAppearing > 0) doRepaint = false;
  if (clientHeight < static_cast<int64_t>(rangeY) || always) {
    if (always) info.fMask |= SIF_DISABLENOSCROLL;
    // A range taller than the bar holds is divided down onto it.
    TScrollBarMapping mapping = MapScrollBar(rangeY, clientHeight);
    info.nMin = 0;
    info.nMax = mapping.max;
    info.nPos = mapping.Position(offsetY);
    info.nPage = static_cast<UINT>(mapping.page);
    TAppearingScope scope(barsAppearing, appears);
    DoShowScrollbar(SB_VERT, true);
    if (gone.TreeGone()) return;
  }
  SetScrollInfo(handle, SB_VERT, &info, doRepaint);
  if (!(clientHeight < static_cast<int64_t>(rangeY) || always)) DoShowScrollbar(SB_VERT, false);
  if (gone.TreeGone()) return;
  // The offset keeps to the (perhaps new) range; the bar's position is only
  // an image of it, coarser than a pixel on a divided bar.
  SetOffsetY(offsetY);
}

void TBaseVirtualTree::UpdateHorizontalScrollBar(bool doRepaint) {
  // The bar's handler may free the tree: the update ends there.
  TCallOutScope gone(*this);
  rangeX = static_cast<uint32_t>(HeaderColumnCount() > 0 ? HeaderColumnsWidth() : GetMaxRightExtend());
  TScrollStyle bars = scrollBarOptions->ScrollBars();
  if (bars != ssHorizontal && bars != ssBoth) {
    DoShowScrollbar(SB_HORZ, false);
    if (gone.TreeGone()) return;
    SetOffsetX(offsetX);
    return;
  }
  SCROLLINFO info{};
  info.cbSize = sizeof(info);
  info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_TRACKPOS;
  int clientWidth = ClientWidth();
  bool always = scrollBarOptions->AlwaysVisible();
  const bool appears = BarAppears(handle, SB_HORZ, clientWidth < static_cast<int64_t>(rangeX) || always);
  if (appears || barsAppearing > 0) doRepaint = false;
  if (clientWidth < static_cast<int64_t>(rangeX) || always) {
    if (always) info.fMask |= SIF_DISABLENOSCROLL;
    TScrollBarMapping mapping = MapScrollBar(rangeX, clientWidth);
    info.nMax = mapping.max;
    info.nPos = mapping.Position(offsetX);
    info.nPage = static_cast<UINT>(mapping.page);
    TAppearingScope scope(barsAppearing, appears);
    DoShowScrollbar(SB_HORZ, true);
    if (gone.TreeGone()) return;
  }
  SetScrollInfo(handle, SB_HORZ, &info, doRepaint);
  if (!(clientWidth < static_cast<int64_t>(rangeX) || always)) DoShowScrollbar(SB_HORZ, false);
  if (gone.TreeGone()) return;
  SetOffsetX(offsetX);
}

// The new offset for a scroll-bar request on a bar showing range pixels of
// content through page pixels (the thumb's position mapped back to pixels).
static int64_t ScrollRequest(HWND wnd, int bar, WORD code, int64_t current, uint32_t range, int page, int line) {
  TScrollBarMapping mapping = MapScrollBar(range, page);
  switch (code) {
    case SB_LINEUP: return current + line;
    case SB_LINEDOWN: return current - line;
    case SB_PAGEUP: return current + page;
    case SB_PAGEDOWN: return current - page;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {
      SCROLLINFO info{};
      info.cbSize = sizeof(info);
      info.fMask = SIF_TRACKPOS;
      GetScrollInfo(wnd, bar, &info);
      return mapping.Offset(info.nTrackPos);
    }
    case SB_TOP: return 0;
    case SB_BOTTOM: return -mapping.offsetSpan;
    default: return current;
  }
}

void TBaseVirtualTree::WMVScroll(TMessage& m) {
  WORD code = LOWORD(m.WParam);
  m.Result = 0;
  if (code == SB_ENDSCROLL) {
    // The thumb was let go: the bar shows the position it ended at.
    DoStateChange({}, {tsThumbTracking});
    UpdateScrollBars(true);
    RedrawWindow(handle, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_NOERASE | RDW_NOCHILDREN);
    return;
  }
  if (code == SB_THUMBTRACK || code == SB_THUMBPOSITION) DoStateChange({tsThumbTracking});
  SetOffsetY(
      ScrollRequest(handle, SB_VERT, code, offsetY, rangeY, ClientHeight(), scrollBarOptions->VerticalIncrement()));
}

void TBaseVirtualTree::WMHScroll(TMessage& m) {
  WORD code = LOWORD(m.WParam);
  m.Result = 0;
  if (code == SB_ENDSCROLL) {
    DoStateChange({}, {tsThumbTracking});
    UpdateHorizontalScrollBar(false);
    return;
  }
  if (code == SB_THUMBTRACK || code == SB_THUMBPOSITION) DoStateChange({tsThumbTracking});
  SetOffsetX(SaturateToInt(
      ScrollRequest(handle, SB_HORZ, code, offsetX, rangeX, ClientWidth(), scrollBarOptions->HorizontalIncrement())));
}

void TBaseVirtualTree::WMSize(TMessage& m) {
  Inherited(ClassMessageMap(), m);
  // A size change made while sizing (the header's frame change) is not handled twice.
  if (!HandleAllocated() || states.Contains(tsSizing) || states.Contains(tsWindowCreating) || ClientHeight() <= 0)
    return;
  DoStateChange({tsSizing});
  try {
    UpdateHeaderRect();
    if (updateCount == 0) UpdateScrollBars(true);
    if (states.Contains(tsEditing) && HeaderColumnCount() == 0) UpdateEditBounds();
  } catch (...) {
    DoStateChange({}, {tsSizing});
    throw;
  }
  DoStateChange({}, {tsSizing});
}
