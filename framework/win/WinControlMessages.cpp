// Message handlers of TWinControl: painting, reflection of notifications to
// the child they concern, mouse routing to windowless children, keyboard,
// focus, help, sizing.
#include <windowsx.h>

#include <algorithm>

#include "win/Controls.h"
#include "win/Forms.h"
#include "win/graphics/Graphics.h"

void TWinControl::WndProc(TMessage& message) {
  if (DragSessionTakes(this, message)) return;
  UINT msg = message.Msg;
  if (IsMouseMessageForChildren(msg)) {
    TAliveToken token = Alive();
    if (RouteMouse(message)) return;
    if (!*token) return;
  }
  if (msg == WM_MOUSELEAVE) {
    mouseInside = false;
    if (mouseControl != nullptr) {
      TControl* left = mouseControl;
      mouseControl = nullptr;
      left->Perform(CM_MOUSELEAVE);
      Perform(CM_MOUSELEAVE, 0, reinterpret_cast<LPARAM>(left));
    }
    // The mouse left this window: a hint of it or of a windowless child goes.
    if (Application != nullptr && Application->HintControl() != nullptr) {
      TControl* hinted = Application->HintControl();
      if (hinted == this || (hinted->Parent() == this && dynamic_cast<TWinControl*>(hinted) == nullptr))
        Application->CancelHint();
    }
    Perform(CM_MOUSELEAVE);
    if (parent != nullptr) parent->Perform(CM_MOUSELEAVE, 0, reinterpret_cast<LPARAM>(this));
    DefaultHandler(message);
    return;
  }
  TControl::WndProc(message);
}

bool TWinControl::IsMouseMessageForChildren(UINT msg) {
  return msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST && msg != WM_MOUSEWHEEL && msg != WM_MOUSEHWHEEL;
}

// Mouse messages over a windowless child go to that child (in its coordinates);
// a button press over one captures the mouse until the buttons are up. Returns
// true when a child took the message.
bool TWinControl::RouteMouse(TMessage& m) {
  TAliveToken token = Alive();
  if (m.Msg == WM_MOUSEMOVE && !mouseInside) {
    mouseInside = true;
    TRACKMOUSEEVENT tme{sizeof(tme), TME_LEAVE, handle, 0};
    if (handle != nullptr) TrackMouseEvent(&tme);
    Perform(CM_MOUSEENTER);
    if (!*token) return true;
    if (parent != nullptr) parent->Perform(CM_MOUSEENTER, 0, reinterpret_cast<LPARAM>(this));
    if (!*token) return true;
  }
  TPoint p = Point(GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam));
  TControl* target = captureControl != nullptr ? captureControl : ControlAtPos(p);
  if (m.Msg == WM_MOUSEMOVE && target != mouseControl) {
    TControl* old = mouseControl;
    mouseControl = target;
    if (old != nullptr) old->Perform(CM_MOUSELEAVE);
    if (!*token) return true;
    if (target != nullptr) target->Perform(CM_MOUSEENTER);
    if (!*token) return true;
  }
  if (m.Msg == WM_MOUSEMOVE && Application != nullptr) Application->HintMouseMessage(target ? target : this, p);
  if (target == nullptr) return false;
  bool down = m.Msg == WM_LBUTTONDOWN || m.Msg == WM_RBUTTONDOWN || m.Msg == WM_MBUTTONDOWN ||
              m.Msg == WM_LBUTTONDBLCLK;
  bool up = m.Msg == WM_LBUTTONUP || m.Msg == WM_RBUTTONUP || m.Msg == WM_MBUTTONUP;
  if (down && target->ControlStyle().Contains(csCaptureMouse)) {
    captureControl = target;
    SetCapture(handle);
  }
  if (down && Application != nullptr) Application->CancelHint();
  TAliveToken targetToken = target->Alive();
  m.Result = target->Perform(m.Msg, m.WParam, MAKELPARAM(p.X - target->Left(), p.Y - target->Top()));
  if (!*token) return true;
  if (up && !(m.WParam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON))) {
    captureControl = nullptr;
    if (GetCapture() == handle) ReleaseCapture();
  }
  if (!*targetToken && captureControl == target) captureControl = nullptr;
  return true;
}

namespace {

// True when the window has something outside its client area: a frame, an
// edge, a caption, a menu or a scroll bar.
bool HasNonClientArea(HWND window) {
  RECT outer, inner;
  if (!GetWindowRect(window, &outer) || !GetClientRect(window, &inner)) return true;
  return outer.right - outer.left != inner.right || outer.bottom - outer.top != inner.bottom;
}

}  // namespace

void TWinControl::DefaultHandler(TMessage& message) {
  if (handle == nullptr) return;
  // The layer's own messages and reflected notifications mean nothing to Windows.
  if (message.Msg >= CM_BASE && message.Msg < 0xC000) return;
  // Painting the frame of a window that has none would fetch a window DC and
  // draw nothing: several round trips to the window server under Wine, for
  // every window as it shows.
  if (message.Msg == WM_NCPAINT && !HasNonClientArea(handle)) {
    message.Result = 0;
    return;
  }
  message.Result = CallWindowProcW(defWndProc, handle, message.Msg, message.WParam, message.LParam);
}

// ---------------------------------------------------------------------------
// Painting

bool TWinControl::PaintsItself() const {
  if (dynamic_cast<const TCustomControl*>(this) != nullptr) return true;
  for (TControl* c : controls)
    if (dynamic_cast<TWinControl*>(c) == nullptr) return true;
  return false;
}

void TWinControl::WMPaint(TMessage& m) {
  if (!PaintsItself()) {
    DefaultHandler(m);
    return;
  }
  PaintHandler(m);
}

void TWinControl::PaintHandler(TMessage& m) {
  HDC dc = reinterpret_cast<HDC>(m.WParam);
  PAINTSTRUCT ps{};
  // A paint handler may free the control, even one of the frame, which
  // BeginPaint may send: the paint is ended with what is left.
  HWND window = handle;
  TAliveToken token = Alive();
  if (dc == nullptr) dc = BeginPaint(handle, &ps);
  if (!*token) {
    if (m.WParam == 0) EndPaint(window, &ps);
    return;
  }
  int saved = SaveDC(dc);
  // Paint our own content with the windowless children's areas excluded, then them.
  for (TControl* c : controls) {
    if (dynamic_cast<TWinControl*>(c) != nullptr || !c->Visible()) continue;
    if (c->ControlStyle().Contains(csOpaque))
      ExcludeClipRect(dc, c->Left(), c->Top(), c->Left() + c->Width(), c->Top() + c->Height());
  }
  PaintWindow(dc);
  RestoreDC(dc, saved);
  if (*token) PaintControls(dc, nullptr);
  if (m.WParam == 0) EndPaint(window, &ps);
}

void TWinControl::PaintWindow(HDC dc) {
  TMessage m{WM_PAINT, reinterpret_cast<WPARAM>(dc), 0, 0};
  if (defWndProc == DefWindowProcW) return;  // nothing of our own to paint
  DefaultHandler(m);
}

void TWinControl::PaintControls(HDC dc, TControl* first) {
  auto it = controls.begin();
  if (first != nullptr) it = std::find(controls.begin(), controls.end(), first);
  for (; it != controls.end(); ++it) {
    TControl* c = *it;
    if (dynamic_cast<TWinControl*>(c) != nullptr || !c->Visible()) continue;
    RECT r = c->BoundsRect().ToRECT();
    if (!RectVisible(dc, &r)) continue;
    int saved = SaveDC(dc);
    POINT org;
    GetViewportOrgEx(dc, &org);
    SetViewportOrgEx(dc, org.x + c->Left(), org.y + c->Top(), nullptr);
    IntersectClipRect(dc, 0, 0, c->Width(), c->Height());
    c->Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
    RestoreDC(dc, saved);
  }
}

void TWinControl::WMEraseBkgnd(TMessage& m) {
  if (defWndProc != DefWindowProcW) {
    DefaultHandler(m);
    return;
  }
  if (!controlStyle.Contains(csOpaque)) {
    RECT r;
    GetClientRect(handle, &r);
    FillRect(reinterpret_cast<HDC>(m.WParam), &r, BackgroundBrush());
  }
  m.Result = 1;
}

// Themed controls ask their parent to paint its background into their DC.
void TWinControl::WMPrintClient(TMessage& m) {
  if (defWndProc != DefWindowProcW) {
    DefaultHandler(m);
    return;
  }
  HDC dc = reinterpret_cast<HDC>(m.WParam);
  TMessage erase{WM_ERASEBKGND, m.WParam, 0, 0};
  WMEraseBkgnd(erase);
  if (PaintsItself()) {
    TMessage paint{WM_PAINT, reinterpret_cast<WPARAM>(dc), 0, 0};
    PaintHandler(paint);
  }
}

// ---------------------------------------------------------------------------
// Reflection: the child that sent a notification handles it as CN_xxx.

void TWinControl::WMCommand(TMessage& m) {
  if (m.LParam != 0) {
    if (TWinControl* child = FindControl(reinterpret_cast<HWND>(m.LParam))) {
      m.Result = child->Perform(CN_COMMAND, m.WParam, m.LParam);
      return;
    }
  } else if (HIWORD(m.WParam) == 0 && MenuCommandDispatcher != nullptr && MenuCommandDispatcher(LOWORD(m.WParam))) {
    return;
  }
  DefaultHandler(m);
}

void TWinControl::WMNotify(TMessage& m) {
  auto* hdr = reinterpret_cast<NMHDR*>(m.LParam);
  if (hdr != nullptr) {
    if (TWinControl* child = FindControl(hdr->hwndFrom); child != nullptr && child != this) {
      m.Result = child->Perform(CN_NOTIFY, m.WParam, m.LParam);
      return;
    }
  }
  DefaultHandler(m);
}

void TWinControl::WMCtlColor(TMessage& m) {
  if (TWinControl* child = FindControl(reinterpret_cast<HWND>(m.LParam)); child != nullptr && child != this) {
    m.Result = child->Perform(CN_BASE + m.Msg, m.WParam, m.LParam);
    return;
  }
  DefaultHandler(m);
}

void TWinControl::CNCtlColor(TMessage& m) {
  HDC dc = reinterpret_cast<HDC>(m.WParam);
  SetTextColor(dc, ColorToRGB(Font()->Color()));
  SetBkColor(dc, ColorToRGB(Color()));
  m.Result = reinterpret_cast<LRESULT>(BackgroundBrush());
}

void TWinControl::WMDrawItem(TMessage& m) {
  auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(m.LParam);
  if (dis != nullptr && dis->CtlType != ODT_MENU) {
    if (TWinControl* child = FindControl(dis->hwndItem); child != nullptr && child != this) {
      m.Result = child->Perform(CN_DRAWITEM, m.WParam, m.LParam);
      return;
    }
  }
  DefaultHandler(m);
}

void TWinControl::WMMeasureItem(TMessage& m) {
  auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(m.LParam);
  if (mis != nullptr && mis->CtlType != ODT_MENU && handle != nullptr) {
    if (TWinControl* child = FindControl(GetDlgItem(handle, static_cast<int>(mis->CtlID)))) {
      m.Result = child->Perform(CN_MEASUREITEM, m.WParam, m.LParam);
      return;
    }
  }
  DefaultHandler(m);
}

void TWinControl::WMDeleteItem(TMessage& m) {
  auto* dis = reinterpret_cast<DELETEITEMSTRUCT*>(m.LParam);
  if (dis != nullptr) {
    if (TWinControl* child = FindControl(dis->hwndItem); child != nullptr && child != this) {
      m.Result = child->Perform(CN_DELETEITEM, m.WParam, m.LParam);
      return;
    }
  }
  DefaultHandler(m);
}

void TWinControl::WMCompareItem(TMessage& m) {
  auto* cis = reinterpret_cast<COMPAREITEMSTRUCT*>(m.LParam);
  if (cis != nullptr) {
    if (TWinControl* child = FindControl(cis->hwndItem); child != nullptr && child != this) {
      m.Result = child->Perform(CN_COMPAREITEM, m.WParam, m.LParam);
      return;
    }
  }
  DefaultHandler(m);
}

void TWinControl::WMScroll(TMessage& m) {
  if (m.LParam != 0) {
    if (TWinControl* child = FindControl(reinterpret_cast<HWND>(m.LParam)); child != nullptr && child != this) {
      m.Result = child->Perform(m.Msg == WM_HSCROLL ? CN_HSCROLL : CN_VSCROLL, m.WParam, m.LParam);
      return;
    }
  }
  DefaultHandler(m);
}

// ---------------------------------------------------------------------------
// Cursor, focus, keys, help

void TWinControl::WMSetCursor(TMessage& m) {
  if (reinterpret_cast<HWND>(m.WParam) == handle && LOWORD(m.LParam) == HTCLIENT) {
    TCursor cursor = Screen != nullptr ? Screen->Cursor() : crDefault;
    if (cursor == crDefault) {
      POINT pt;
      GetCursorPos(&pt);
      ScreenToClientPoint(pt);
      TControl* over = ControlAtPos(Point(pt.x, pt.y), true);
      cursor = over != nullptr ? over->Cursor() : Cursor();
    }
    if (cursor != crDefault && Screen != nullptr) {
      ::SetCursor(Screen->Cursors(cursor));
      m.Result = 1;
      return;
    }
  }
  DefaultHandler(m);
}

void TWinControl::ScreenToClientPoint(POINT& pt) const {
  if (handle != nullptr) ::ScreenToClient(handle, &pt);
}

void TWinControl::WMSetFocus(TMessage& m) {
  TAliveToken token = Alive();
  DefaultHandler(m);
  if (!*token) return;
  if (TCustomForm* form = ParentForm(); form != nullptr && form != this) form->FocusChanged(this);
}

void TWinControl::WMKillFocus(TMessage& m) { DefaultHandler(m); }

void TWinControl::CNKeyDown(TMessage& m) {
  // Key preview by the form, then menu shortcuts, then dialog keys the control does not want.
  TCustomForm* form = ParentForm();
  uint16_t key = static_cast<uint16_t>(m.WParam);
  if (form != nullptr && form != this && form->KeyPreview() && form->OnKeyDown) {
    TAliveToken token = Alive();
    form->OnKeyDown(form, key, KeyDataToShiftState(m.LParam));
    if (!*token || key == 0) {
      m.Result = 1;
      return;
    }
  }
  // Shortcuts of the pop-up menus up the parents, then of the form's menu bar.
  if (form != nullptr && form->IsShortCut(this, key, KeyDataToShiftState(m.LParam))) {
    m.Result = 1;
    return;
  }
  bool dialogKey = key == VK_TAB || key == VK_RETURN || key == VK_ESCAPE || key == VK_LEFT || key == VK_RIGHT ||
                   key == VK_UP || key == VK_DOWN || key == VK_CANCEL;
  if (!dialogKey || form == nullptr) return;
  MSG msg{handle, WM_KEYDOWN, m.WParam, m.LParam, 0, {}};
  LRESULT code = handle != nullptr ? SendMessageW(handle, WM_GETDLGCODE, m.WParam, reinterpret_cast<LPARAM>(&msg)) : 0;
  if (code & DLGC_WANTALLKEYS) return;
  if (key == VK_TAB && (code & DLGC_WANTTAB)) return;
  if ((key == VK_LEFT || key == VK_RIGHT || key == VK_UP || key == VK_DOWN) && (code & DLGC_WANTARROWS)) return;
  if (form->Perform(CM_DIALOGKEY, key, m.LParam) != 0) m.Result = 1;
}

void TWinControl::CNChar(TMessage& m) {
  if (handle == nullptr) return;
  MSG msg{handle, WM_CHAR, m.WParam, m.LParam, 0, {}};
  LRESULT code = SendMessageW(handle, WM_GETDLGCODE, m.WParam, reinterpret_cast<LPARAM>(&msg));
  if (code & (DLGC_WANTCHARS | DLGC_WANTALLKEYS)) return;
  if (TCustomForm* form = ParentForm(); form != nullptr && form->Perform(CM_DIALOGCHAR, m.WParam, m.LParam) != 0)
    m.Result = 1;
}

// Alt+letter: the form's controls look for their accelerator.
void TWinControl::CNSysChar(TMessage& m) {
  if (TCustomForm* form = ParentForm(); form != nullptr && form->Perform(CM_DIALOGCHAR, m.WParam, m.LParam) != 0)
    m.Result = 1;
}

bool TWinControl::DoKeyDown(TMessage& m) {
  if (!OnKeyDown || controlStyle.Contains(csNoStdEvents)) return false;
  uint16_t key = static_cast<uint16_t>(m.WParam);
  if (!FireControlEvent(OnKeyDown, this, key, KeyDataToShiftState(m.LParam))) return true;
  m.WParam = key;
  return key == 0;
}

bool TWinControl::DoKeyUp(TMessage& m) {
  uint16_t key = static_cast<uint16_t>(m.WParam);
  TAliveToken token = Alive();
  if (TCustomForm* form = ParentForm(); form != nullptr && form != this && form->KeyPreview() && form->OnKeyUp) {
    form->OnKeyUp(form, key, KeyDataToShiftState(m.LParam));
    if (!*token || key == 0) return true;
    m.WParam = key;
  }
  if (!OnKeyUp || controlStyle.Contains(csNoStdEvents)) return false;
  if (!FireControlEvent(OnKeyUp, this, key, KeyDataToShiftState(m.LParam))) return true;
  m.WParam = key;
  return key == 0;
}

bool TWinControl::DoKeyPress(TMessage& m) {
  TAliveToken token = Alive();
  char ch = static_cast<char>(m.WParam);
  if (TCustomForm* form = ParentForm(); form != nullptr && form != this && form->KeyPreview() && form->OnKeyPress) {
    form->OnKeyPress(form, ch);
    if (!*token || ch == 0) return true;
  }
  if (OnKeyPress && !controlStyle.Contains(csNoStdEvents)) {
    if (!FireControlEvent(OnKeyPress, this, ch) || ch == 0) return true;
  }
  m.WParam = static_cast<unsigned char>(ch);
  return false;
}

void TWinControl::WMKeyDown(TMessage& m) {
  TAliveToken token = Alive();
  if (DoKeyDown(m)) return;
  if (!*token) return;
  if (m.Msg == WM_KEYDOWN && m.WParam == VK_F1 && KeyboardShiftState().Empty()) {
    // F1 opens help for the focused control, exactly as WM_HELP would.
    if (Application != nullptr) Application->HelpForControl(this);
    return;
  }
  DefaultHandler(m);
}

void TWinControl::WMKeyUp(TMessage& m) {
  TAliveToken token = Alive();
  if (DoKeyUp(m)) return;
  if (!*token) return;
  DefaultHandler(m);
}

void TWinControl::WMChar(TMessage& m) {
  TAliveToken token = Alive();
  if (DoKeyPress(m)) return;
  if (!*token) return;
  DefaultHandler(m);
}

void TWinControl::WMHelp(TMessage& m) {
  TControl* target = this;
  if (TWinControl* focused = FindControl(GetFocus()); focused != nullptr && ContainsControl(focused)) target = focused;
  if (Application != nullptr) Application->HelpForControl(target);
  m.Result = 1;
}

// F1 was handled as a key already (WMKeyDown); WM_HELP from it would ask twice.
void TWinControl::WMKeyF1(TMessage& m) { m.Result = 0; }

// ---------------------------------------------------------------------------
// Size, wheel, destruction, colours and fonts

void TWinControl::UpdateBoundsFromWindow() {
  if (handle == nullptr) return;
  RECT r;
  GetWindowRect(handle, &r);
  HWND owner = GetParent(handle);
  if ((GetWindowLongPtrW(handle, GWL_STYLE) & WS_CHILD) && owner != nullptr)
    MapWindowPoints(nullptr, owner, reinterpret_cast<POINT*>(&r), 2);
  TRect now = TRect::FromRECT(r);
  if (now == BoundsRect()) return;
  UpdateBoundsRect(now);
  BoundsChanged();
}

void TWinControl::WMSize(TMessage& m) {
  TAliveToken token = Alive();
  DefaultHandler(m);
  if (!*token) return;
  UpdateBoundsFromWindow();
  Realign();
}

void TWinControl::WMMove(TMessage& m) {
  DefaultHandler(m);
  UpdateBoundsFromWindow();
}

void TWinControl::WMMouseWheel(TMessage& m) {
  if (Perform(CM_MOUSEWHEEL, m.WParam, m.LParam) != 0) {
    m.Result = 0;
    return;
  }
  DefaultHandler(m);
}

void TWinControl::WMNCDestroy(TMessage& m) {
  DefaultHandler(m);
  DetachHandle();
  mouseInside = false;
  captureControl = mouseControl = nullptr;
}

void TWinControl::WMSysColorChange(TMessage& m) {
  Perform(CM_SYSCOLORCHANGE);
  DefaultHandler(m);
}

void TWinControl::CMSysColorChange(TMessage& m) {
  FreeBackgroundBrush();
  Broadcast(m);
}

void TWinControl::CMColorChanged(TMessage& m) {
  FreeBackgroundBrush();
  Invalidate();
  TMessage note{CM_PARENTCOLORCHANGED, 0, 0, 0};
  Broadcast(note);
}

void TWinControl::CMFontChanged(TMessage& m) {
  UpdateWindowFont();
  FontChanged();
  Invalidate();
  TMessage note{CM_PARENTFONTCHANGED, 0, 0, 0};
  Broadcast(note);
}

void TWinControl::FontChanged() {}

void TWinControl::CMEnabledChanged(TMessage& m) { Invalidate(); }

void TWinControl::CMBiDiModeChanged(TMessage& m) {
  TMessage note{CM_PARENTBIDIMODECHANGED, 0, 0, 0};
  Broadcast(note);
  Invalidate();
}

void TWinControl::CMDialogKey(TMessage& m) { Broadcast(m, /*stopOnResult=*/true); }

void TWinControl::CMDialogChar(TMessage& m) { Broadcast(m, /*stopOnResult=*/true); }

void TWinControl::CMRecreateWnd(TMessage& m) { RecreateWnd(); }

void TWinControl::CMFocusChanged(TMessage& m) { Broadcast(m); }

void TWinControl::CMEnter(TMessage& m) { DoEnter(); }

void TWinControl::CMExit(TMessage& m) { DoExit(); }

void TWinControl::DoEnter() {
  FireControlEvent(OnEnter, this);
}

void TWinControl::DoExit() {
  FireControlEvent(OnExit, this);
}

void TWinControl::CMInvalidate(TMessage& m) { Invalidate(); }

// A right click over a windowless child opens the child's pop-up menu.
void TWinControl::WMContextMenuRoute(TMessage& m) {
  if (m.LParam != -1 && handle != nullptr) {
    TPoint p = ScreenToClient(Point(m.XPos(), m.YPos()));
    if (TControl* child = ControlAtPos(p, false, false)) {
      TAliveToken token = Alive();
      m.Result = child->Perform(WM_CONTEXTMENU, m.WParam, m.LParam);
      if (!*token || m.Result != 0) return;
    }
  }
  TControl::WMContextMenu(m);
}

// ---------------------------------------------------------------------------

bool (*MenuCommandDispatcher)(UINT id) = nullptr;
