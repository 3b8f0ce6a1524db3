// The drop-down base: creation, placement, roll animation, closing, child
// layout, auto-scroll timers and its window messages. The modal loop lives in
// DropDownModalLoop.cpp, the grip in SizeGrabber.cpp.
#include "shell/DropDownWnd.h"

#include <algorithm>

#include "shell/ViewHold.h"
#include "win/Forms.h"

const TMessageMap* TDropDownWnd::ClassMessageMap() {
  static const TMessageMap map(TCustomControl::ClassMessageMap(), {
      OnMessage(WM_ACTIVATE, &TDropDownWnd::WMActivate),
      OnMessage(WM_ACTIVATEAPP, &TDropDownWnd::WMActivateApp),
      OnMessage(WM_ERASEBKGND, &TDropDownWnd::WMEraseBkgnd),
      OnMessage(WM_MOUSEACTIVATE, &TDropDownWnd::WMMouseActivate),
      OnMessage(WM_WINDOWPOSCHANGING, &TDropDownWnd::WMWindowPosChanging),
      OnMessage(WM_PRINT, &TDropDownWnd::WMPrint),
      OnMessage(WM_TIMER, &TDropDownWnd::WMTimer),
      OnMessage(kWMLayout, &TDropDownWnd::WMLayout),
  });
  return &map;
}

void TDropDownWnd::Create(TComponent* owner) {
  TCustomControl::Create(owner);
  TControl::SetVisible(false);
  scrollBar = New<TOwnerDrawScrollbar>(this);
  scrollBar->SetParent(this);
  scrollBar->SetWidth(GetSystemMetrics(SM_CYVSCROLL));
  grabber = New<TSizeGrabber>(this);
  grabber->SetDropDown(this);
  grabber->SetParent(this);
  int g = GetSystemMetrics(SM_CYVSCROLL);
  grabber->SetBounds(0, 0, g, g);
  options = TPopupOptions{poEnabled, poRespectSysAnimationFlag, poThemeAware};
}

void TDropDownWnd::CreateParams(TCreateParams& params) {
  TCustomControl::CreateParams(params);
  params.Style = WS_POPUP | WS_BORDER;
  params.ExStyle = WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_NOPARENTNOTIFY;
  if (BiDiMode() != bdLeftToRight) params.ExStyle |= WS_EX_LEFTSCROLLBAR;
  params.WndParent = nullptr;
  params.WindowClass.style |= CS_SAVEBITS;
}

void TDropDownWnd::CreateWnd() {
  TCustomControl::CreateWnd();
  PlaceChildren(Width(), Height());
}

void TDropDownWnd::SetDropDownCount(int value) {
  if (value == dropDownCount) return;
  dropDownCount = value;
  LayoutStep();
}

int TDropDownWnd::MinWidth() const { return 3 * GetSystemMetrics(SM_CXVSCROLL) + 2; }

int TDropDownWnd::MinHeight() const {
  // One row and the grip, or the bar's two arrows, whichever is taller.
  return std::max(RowHeight(), 2 * GetSystemMetrics(SM_CYVSCROLL)) + GetSystemMetrics(SM_CYVSCROLL) + 2;
}

void TDropDownWnd::DoRollDown(bool& allow) { FireViewHandler(this, OnRollDown, this, allow); }

void TDropDownWnd::DoRollUp(bool selected) { FireViewHandler(this, OnRollUp, this, selected); }

void TDropDownWnd::RollDown(TWinControl* source_, TControl* placementControl, const TPoint* size) {
  if (source_ == nullptr || DroppedDown() || !options.Contains(poEnabled)) return;
  // OnRollDown, and every handler the modal loop reaches, may free this window.
  TViewHold hold(this);
  bool allow = true;
  DoRollDown(allow);
  if (!allow || Going()) return;
  source = source_;
  state |= kDroppedDown;
  if (ComponentState().Contains(csDesigning)) return;
  TCursor oldCursor = Screen != nullptr ? Screen->Cursor() : crDefault;
  if (Screen != nullptr) Screen->SetCursor(crHourGlass);
  try {
    Place(placementControl != nullptr ? placementControl : source_, size);
    DoRollDownInit();
    Animate();
  } catch (...) {
    if (Screen != nullptr) Screen->SetCursor(oldCursor);
    RollUp(false);
    throw;
  }
  if (Screen != nullptr) Screen->SetCursor(oldCursor);
  RunModalLoop();
}

void TDropDownWnd::Place(TControl* placement, const TPoint* size) {
  int width = Width(), height = Height();
  if (!options.Contains(poPersistentSizing) || (state & kHasBeenSized) == 0) {
    width = placement->Width();
    height = RowHeight() * dropDownCount + GetSystemMetrics(SM_CYFRAME);
  }
  if (size != nullptr && size->X >= 1) width = size->X;
  if (size != nullptr && size->Y >= 1) height = size->Y;
  TPoint topLeft = placement->Parent() != nullptr ? placement->Parent()->ClientToScreen(placement->BoundsRect().TopLeft())
                                                  : placement->BoundsRect().TopLeft();
  TRect control{topLeft.X, topLeft.Y, topLeft.X + placement->Width(), topLeft.Y + placement->Height()};
  // The work area of the monitor the control stands on (not the primary screen's).
  RECT cr = control.ToRECT();
  MONITORINFO info{};
  info.cbSize = sizeof info;
  TRect work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  if (GetMonitorInfoW(MonitorFromRect(&cr, MONITOR_DEFAULTTONEAREST), &info)) work = TRect::FromRECT(info.rcWork);
  TDropDownPlacement p = PlaceDropDown(control, work, width, height);
  state &= ~(kShownAbove | kShownBelow);
  state |= p.Above ? kShownAbove : kShownBelow;
  HWND hwnd = Handle();
  SetWindowPos(hwnd, HWND_TOPMOST, p.Bounds.Left, p.Bounds.Top, p.Bounds.Width(), p.Bounds.Height(),
               SWP_NOACTIVATE | SWP_HIDEWINDOW);
  UpdateBoundsRect(p.Bounds);
  PlaceChildren(p.Bounds.Width(), p.Bounds.Height());
  LayoutStep();
}

bool TDropDownWnd::AnimationAllowed() const {
  if (!options.Contains(poRespectSysAnimationFlag)) return true;
  BOOL on = FALSE;
  SystemParametersInfoW(SPI_GETCOMBOBOXANIMATION, 0, &on, 0);
  return on != FALSE;
}

void TDropDownWnd::Animate() {
  HWND hwnd = Handle();
  if (options.Contains(poAnimated) && animationSpeed > 0 && AnimationAllowed()) {
    DWORD flags = AW_SLIDE | ((state & kShownAbove) ? AW_VER_NEGATIVE : AW_VER_POSITIVE);
    AnimateWindow(hwnd, animationSpeed, flags);
  }
  SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  TControl::SetVisible(true);
  state |= kDroppedDown;
  UpdateWindow(hwnd);
}

void TDropDownWnd::RollUp(bool accept) {
  if (!DroppedDown()) return;
  if (GetCapture() != nullptr && HandleAllocated() &&
      (GetCapture() == Handle() || IsChild(Handle(), GetCapture())))
    ReleaseCapture();
  state &= ~kDroppedDown;
  if (HandleAllocated()) ShowWindow(Handle(), SW_HIDE);
  TControl::SetVisible(false);
  if (source != nullptr) {
    if (TCustomForm* form = source->ParentForm(); form != nullptr && form->HandleAllocated())
      UpdateWindow(form->Handle());
    if (source->HandleAllocated() && source->CanFocus()) source->SetFocus();
  }
  StopAutoScroll();
  DoRollUp(accept);
}

void TDropDownWnd::PlaceChildren(int width, int height) {
  int v = GetSystemMetrics(SM_CXVSCROLL);
  int g = options.Contains(poSizeable) ? GetSystemMetrics(SM_CYVSCROLL) : 0;
  TDropDownChildLayout l =
      LayoutDropDownChildren(width, height, v, g, (state & kShownAbove) != 0, ScrollBarLeft());
  grabber->SetBoundsRect(l.Grabber);
  grabber->SetVisible(g > 0);
  scrollBar->SetBoundsRect(l.ScrollBar);
  if (TWinControl* list = ScrolledControl()) {
    list->SetBoundsRect(scrollBar->Visible() ? l.List : l.ListNoBar);
    if (!scrollBar->Visible() && grabber->HandleAllocated())
      SetWindowPos(grabber->Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  if (grabber->HandleAllocated()) InvalidateRect(grabber->Handle(), nullptr, FALSE);
}

// ---- Auto-scroll --------------------------------------------------------------------

void TDropDownWnd::SetTimerKind(uint16_t kind, bool up) {
  uint16_t dir = up ? kScrollUp : kScrollDown;
  if ((state & kind) && (state & dir)) return;
  StopAutoScroll();
  state |= kind | dir;
  if (!HandleAllocated()) return;
  if (kind == kSlowScrolling)
    SetTimer(Handle(), kSlowTimer, autoScrollTimeSlow, nullptr);
  else
    SetTimer(Handle(), kFastTimer, autoScrollTimeFast, nullptr);
}

void TDropDownWnd::StartSlowScroll(bool up) { SetTimerKind(kSlowScrolling, up); }
void TDropDownWnd::StartFastScroll(bool up) { SetTimerKind(kFastScrolling, up); }

void TDropDownWnd::StopAutoScroll() {
  if (HandleAllocated()) {
    KillTimer(Handle(), kSlowTimer);
    KillTimer(Handle(), kFastTimer);
  }
  state &= ~kScrollBits;
}

void TDropDownWnd::WMTimer(TMessage& m) {
  if (m.WParam != kSlowTimer && m.WParam != kFastTimer) {
    Inherited(ClassMessageMap(), m);
    return;
  }
  TWinControl* list = ScrolledControl();
  if (list == nullptr || (state & (kScrollUp | kScrollDown)) == 0) return;
  list->Perform(WM_VSCROLL, (state & kScrollUp) ? SB_LINEUP : SB_LINEDOWN, 0);
  ScrollStep();
}

// ---- Messages -------------------------------------------------------------------------

void TDropDownWnd::WMActivate(TMessage& m) {
  Inherited(ClassMessageMap(), m);
  // Keep the owner's caption drawn active while the drop-down is.
  if (LOWORD(m.WParam) != WA_INACTIVE && m.LParam != 0)
    SendMessageW(reinterpret_cast<HWND>(m.LParam), WM_NCACTIVATE, 1, 0);
}

void TDropDownWnd::WMActivateApp(TMessage& m) {
  Inherited(ClassMessageMap(), m);
  if (m.WParam == 0) RollUp(false);
}

void TDropDownWnd::WMEraseBkgnd(TMessage& m) { m.Result = 1; }

void TDropDownWnd::WMMouseActivate(TMessage& m) { m.Result = MA_NOACTIVATE; }

void TDropDownWnd::WMWindowPosChanging(TMessage& m) {
  Inherited(ClassMessageMap(), m);
  auto* pos = reinterpret_cast<WINDOWPOS*>(m.LParam);
  if ((pos->flags & SWP_NOSIZE) != 0) return;
  PlaceChildren(pos->cx, pos->cy);
  LayoutStep();
}

void TDropDownWnd::WMLayout(TMessage& m) { LayoutStep(); }

void TDropDownWnd::WMPrint(TMessage& m) {
  if ((m.LParam & PRF_CHILDREN) == 0) return;
  HDC dc = reinterpret_cast<HDC>(m.WParam);
  for (int i = 0; i < ControlCount(); ++i) {
    auto* child = dynamic_cast<TWinControl*>(Controls(i));
    if (child == nullptr || !child->Visible() || !child->HandleAllocated()) continue;
    POINT old;
    SetViewportOrgEx(dc, child->Left() + 1, child->Top() + 1, &old);
    SendMessageW(child->Handle(), WM_PRINT, m.WParam, m.LParam);
    SetViewportOrgEx(dc, old.x, old.y, nullptr);
  }
}
