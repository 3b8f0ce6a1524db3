// The owner-drawn scroll bar: range setters, mouse, auto-repeat and hover
// timers, the attached control's notifications, and the scroll information
// it answers. Painting is in OwnerDrawScrollbarPaint.cpp.
#include "shell/OwnerDrawScrollbar.h"

#include "win/ClassInfo.h"
#include "win/graphics/Graphics.h"

namespace {

const TEnumNames kScrollOptionNames = {"soThemeAware"};

const TClassRegistrar<TScrollBarColors, void> kColorsRegistrar("TScrollBarColors", {
    ColorProp("ThumbButton", &TScrollBarColors::ThumbButton, &TScrollBarColors::SetThumbButton),
    ColorProp("Background", &TScrollBarColors::Background, &TScrollBarColors::SetBackground),
    ColorProp("PageScrollHot", &TScrollBarColors::PageScrollHot, &TScrollBarColors::SetPageScrollHot),
    ColorProp("BackgroundBlend", &TScrollBarColors::BackgroundBlend, &TScrollBarColors::SetBackgroundBlend),
});

const TClassRegistrar<TOwnerDrawScrollbar, TWinControl> kScrollbarRegistrar("TOwnerDrawScrollbar", {
    ObjectProp("Colors", &TOwnerDrawScrollbar::Colors),
    Prop("Flat", &TOwnerDrawScrollbar::Flat, &TOwnerDrawScrollbar::SetFlat),
    Prop("LargeChange", &TOwnerDrawScrollbar::LargeChange, &TOwnerDrawScrollbar::SetLargeChange),
    Prop("Max", &TOwnerDrawScrollbar::Max, &TOwnerDrawScrollbar::SetMax),
    Prop("Min", &TOwnerDrawScrollbar::Min, &TOwnerDrawScrollbar::SetMin),
    EventProp("OnScrollCustomPaint", &TOwnerDrawScrollbar::OnScrollCustomPaint),
    SetOfProp("Options", &TOwnerDrawScrollbar::Options, &TOwnerDrawScrollbar::SetOptions, kScrollOptionNames),
    Prop("PageSize", &TOwnerDrawScrollbar::PageSize, &TOwnerDrawScrollbar::SetPageSize),
    Prop("Position", &TOwnerDrawScrollbar::Position, &TOwnerDrawScrollbar::SetPosition),
    Prop("SmallChange", &TOwnerDrawScrollbar::SmallChange, &TOwnerDrawScrollbar::SetSmallChange),
});

constexpr uint16_t kHotBits = TCustomOwnerDrawScrollbar::kUpArrowHot | TCustomOwnerDrawScrollbar::kDownArrowHot |
                              TCustomOwnerDrawScrollbar::kThumbHot;
constexpr uint16_t kPressedBits =
    TCustomOwnerDrawScrollbar::kThumbPressed | TCustomOwnerDrawScrollbar::kDownArrowPressed |
    TCustomOwnerDrawScrollbar::kLButtonDown | TCustomOwnerDrawScrollbar::kPageDownPressed |
    TCustomOwnerDrawScrollbar::kPageUpPressed | TCustomOwnerDrawScrollbar::kUpArrowPressed;

TPoint MousePoint(LPARAM lParam) {
  return TPoint{static_cast<int16_t>(LOWORD(lParam)), static_cast<int16_t>(HIWORD(lParam))};
}

}  // namespace

// ---------------------------------------------------------------------------
// TScrollBarColors

void TScrollBarColors::Create(TCustomOwnerDrawScrollbar* owner_) { owner = owner_; }

void TScrollBarColors::Assign(TPersistent* source) {
  auto* other = dynamic_cast<TScrollBarColors*>(source);
  if (other == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  thumbButton = other->thumbButton;
  background = other->background;
  pageScrollHot = other->pageScrollHot;
  backgroundBlend = other->backgroundBlend;
  if (owner != nullptr) owner->ColorsChanged();
}

void TScrollBarColors::Change(TColor& field, TColor value) {
  if (field == value) return;
  field = value;
  if (owner != nullptr) owner->ColorsChanged();
}

// ---------------------------------------------------------------------------
// Creation and properties

void TCustomOwnerDrawScrollbar::Create(TComponent* owner) {
  TCustomControl::Create(owner);
  colors = New<TScrollBarColors>(this);
  SetBounds(Left(), Top(), GetSystemMetrics(SM_CXVSCROLL), 200);
  SetColor(clScrollBar);
  SetTabStop(false);
}

TCustomOwnerDrawScrollbar::~TCustomOwnerDrawScrollbar() {
  if (theme != nullptr) CloseThemeData(theme);
  theme = nullptr;
  FreeBrush();
  FreeAndNil(colors);
}

void TCustomOwnerDrawScrollbar::CreateWnd() {
  TCustomControl::CreateWnd();
  ColorsChanged();
  Perform(WM_THEMECHANGED);
}

void TCustomOwnerDrawScrollbar::Notification(TComponent* component, TOperation operation) {
  TCustomControl::Notification(component, operation);
  if (operation == opRemove && component == attachedControl) attachedControl = nullptr;
}

void TCustomOwnerDrawScrollbar::SetMin(int32_t value) {
  SetRangeMin(range, value);
  Invalidate();
}

void TCustomOwnerDrawScrollbar::SetMax(int32_t value) {
  SetRangeMax(range, value);
  Invalidate();
}

void TCustomOwnerDrawScrollbar::SetPageSize(int32_t value) {
  SetRangePageSize(range, value);
  Invalidate();
}

void TCustomOwnerDrawScrollbar::SetPosition(int32_t value) {
  int32_t old = range.Position;
  SetRangePosition(range, value);
  if (range.Position == old) return;
  Invalidate();
  Update();
}

void TCustomOwnerDrawScrollbar::SetFlat(bool value) {
  if (flat == value) return;
  flat = value;
  Invalidate();
}

void TCustomOwnerDrawScrollbar::SetOptions(TScrollOptions value) {
  if (options == value) return;
  options = value;
  Invalidate();
}

void TCustomOwnerDrawScrollbar::SetAttachedControl(TWinControl* value) {
  if (attachedControl == value) return;
  if (attachedControl != nullptr) attachedControl->RemoveFreeNotification(this);
  attachedControl = value;
  if (attachedControl != nullptr) attachedControl->FreeNotification(this);
}

TScrollMetrics TCustomOwnerDrawScrollbar::Metrics() const {
  TScrollMetrics metrics;
  metrics.ArrowHeight = GetSystemMetrics(SM_CYVSCROLL);
  metrics.MinThumb = GetSystemMetrics(SM_CYVTHUMB) / 2;
  return metrics;
}

TScrollLayout TCustomOwnerDrawScrollbar::Layout() const {
  TRect client = const_cast<TCustomOwnerDrawScrollbar*>(this)->ClientRect();
  return LayoutScrollBar(client.Width(), client.Height(), Metrics(), range);
}

// ---------------------------------------------------------------------------
// Messages

const TMessageMap* TCustomOwnerDrawScrollbar::ClassMessageMap() {
  static const TMessageMap map(TCustomControl::ClassMessageMap(), {
      OnMessage(WM_ERASEBKGND, &TCustomOwnerDrawScrollbar::WMEraseBkgnd),
      OnMessage(WM_LBUTTONDOWN, &TCustomOwnerDrawScrollbar::WMLButtonDown),
      OnMessage(WM_LBUTTONDBLCLK, &TCustomOwnerDrawScrollbar::WMLButtonDown),
      OnMessage(WM_LBUTTONUP, &TCustomOwnerDrawScrollbar::WMLButtonUp),
      OnMessage(WM_CANCELMODE, &TCustomOwnerDrawScrollbar::WMCancelMode),
      OnMessage(WM_CAPTURECHANGED, &TCustomOwnerDrawScrollbar::WMCaptureChanged),
      OnMessage(WM_MOUSEMOVE, &TCustomOwnerDrawScrollbar::WMMouseMove),
      OnMessage(WM_MOUSEACTIVATE, &TCustomOwnerDrawScrollbar::WMMouseActivate),
      OnMessage(WM_PRINTCLIENT, &TCustomOwnerDrawScrollbar::WMPrintClient),
      OnMessage(WM_SYSCOLORCHANGE, &TCustomOwnerDrawScrollbar::WMSysColorChange),
      OnMessage(WM_THEMECHANGED, &TCustomOwnerDrawScrollbar::WMThemeChanged),
      OnMessage(WM_TIMER, &TCustomOwnerDrawScrollbar::WMTimer),
      OnMessage(SBM_GETSCROLLINFO, &TCustomOwnerDrawScrollbar::SBMGetScrollInfo),
  });
  return &map;
}

void TCustomOwnerDrawScrollbar::WMMouseActivate(TMessage& m) {
  // The bar never takes the focus from the control it scrolls.
  m.Result = MA_NOACTIVATE;
}

void TCustomOwnerDrawScrollbar::WMSysColorChange(TMessage& m) {
  Inherited(ClassMessageMap(), m);
  ColorsChanged();
}

void TCustomOwnerDrawScrollbar::WMThemeChanged(TMessage& m) {
  if (theme != nullptr) CloseThemeData(theme);
  theme = nullptr;
  if (IsThemeActive() && HandleAllocated()) theme = OpenThemeData(Handle(), L"scrollbar");
  if (theme != nullptr) {
    state |= kThemesAvailable;
  } else {
    state &= ~kThemesAvailable;
  }
  m.Result = 0;
  Invalidate();
}

void TCustomOwnerDrawScrollbar::SBMGetScrollInfo(TMessage& m) {
  auto* info = reinterpret_cast<SCROLLINFO*>(m.LParam);
  if (info == nullptr || info->cbSize < sizeof(SCROLLINFO)) {
    m.Result = FALSE;
    return;
  }
  if (info->fMask & SIF_RANGE) {
    info->nMin = range.Min;
    info->nMax = range.Max;
  }
  if (info->fMask & SIF_PAGE) info->nPage = static_cast<UINT>(range.PageSize);
  if (info->fMask & SIF_POS) info->nPos = range.Position;
  if (info->fMask & SIF_TRACKPOS) info->nTrackPos = (state & kThumbPressed) != 0 ? trackPosition : range.Position;
  m.Result = TRUE;
}

void TCustomOwnerDrawScrollbar::Notify(int code, int32_t position) {
  if (attachedControl == nullptr || !attachedControl->HandleAllocated()) return;
  HWND target = attachedControl->Handle();
  HWND self = HandleAllocated() ? Handle() : nullptr;
  SendMessageW(target, WM_VSCROLL, MAKEWPARAM(code, static_cast<WORD>(position)), reinterpret_cast<LPARAM>(self));
  if (code != SB_THUMBTRACK && code != SB_ENDSCROLL)
    SendMessageW(target, WM_VSCROLL, MAKEWPARAM(SB_ENDSCROLL, 0), reinterpret_cast<LPARAM>(self));
}

void TCustomOwnerDrawScrollbar::Scroll(int code, int64_t delta) {
  if (attachedControl != nullptr) {
    Notify(code, range.Position);
    return;
  }
  TScrollRange moved = range;
  MoveRangePosition(moved, delta);
  SetPosition(moved.Position);
}

void TCustomOwnerDrawScrollbar::Step() {
  if (state & kUpArrowPressed) {
    Scroll(SB_LINEUP, -int64_t{smallChange});
  } else if (state & kDownArrowPressed) {
    Scroll(SB_LINEDOWN, smallChange);
  } else if ((state & kPageUpPressed) && (state & kOverPressedPage)) {
    Scroll(SB_PAGEUP, -int64_t{largeChange});
  } else if ((state & kPageDownPressed) && (state & kOverPressedPage)) {
    Scroll(SB_PAGEDOWN, largeChange);
  }
}

bool TCustomOwnerDrawScrollbar::UpdateOverPressedPage() {
  TScrollBarPart part = HitTestScrollBar(Layout(), lastMouse.X, lastMouse.Y);
  bool over = ((state & kPageUpPressed) && part == sbpPageUp) || ((state & kPageDownPressed) && part == sbpPageDown);
  uint16_t old = state;
  if (over) {
    state |= kOverPressedPage;
  } else {
    state &= ~kOverPressedPage;
  }
  if (state != old) Invalidate();
  return over;
}

void TCustomOwnerDrawScrollbar::Press(int x, int y) {
  lastMouse = TPoint{x, y};
  state |= kLButtonDown;
  TScrollLayout layout = Layout();
  switch (HitTestScrollBar(layout, x, y)) {
    case sbpUpArrow: state |= kUpArrowPressed; break;
    case sbpDownArrow: state |= kDownArrowPressed; break;
    case sbpThumb:
      state |= kThumbPressed;
      trackPosition = range.Position;
      grabOffset = y - layout.Thumb.Top;
      Invalidate();
      return;
    case sbpPageDown: state |= kPageDownPressed; break;
    case sbpPageUp: state |= kPageUpPressed; break;
    case sbpNone: return;
  }
  UpdateOverPressedPage();
  Invalidate();
  // The control told of the step may free this bar.
  THold hold(this);
  Step();
  if (Going()) return;
  Timers()->StartTimer(kDelayTimer, kInitialDelay);
}

void TCustomOwnerDrawScrollbar::WMLButtonDown(TMessage& m) {
  Inherited(ClassMessageMap(), m);
  TPoint p = MousePoint(m.LParam);
  // Held until the release, which then arrives wherever it happens, and so
  // that whatever takes the mouse first ends the press.
  if (HandleAllocated() && GetCapture() != Handle()) SetCapture(Handle());
  Press(p.X, p.Y);
}

void TCustomOwnerDrawScrollbar::StopRepeat() {
  Timers()->StopTimer(kDelayTimer);
  Timers()->StopTimer(kRepeatTimer);
}

bool TCustomOwnerDrawScrollbar::Release() {
  StopRepeat();
  if (state & kThumbPressed) {
    // The control told of the end may free this bar.
    THold hold(this);
    Notify(SB_ENDSCROLL, range.Position);
    if (Going()) return false;
  }
  state &= ~(kPressedBits | kOverPressedPage);
  Invalidate();
  return true;
}

void TCustomOwnerDrawScrollbar::WMLButtonUp(TMessage& m) {
  Inherited(ClassMessageMap(), m);
  if (!Release()) return;
  // After the release: losing the capture here ends nothing more.
  if (HandleAllocated() && GetCapture() == Handle()) ReleaseCapture();
}

void TCustomOwnerDrawScrollbar::WMCancelMode(TMessage& m) {
  if ((state & kPressedBits) != 0 && !Release()) return;
  Inherited(ClassMessageMap(), m);
}

void TCustomOwnerDrawScrollbar::WMCaptureChanged(TMessage& m) {
  if (reinterpret_cast<HWND>(m.LParam) != Handle() && (state & kPressedBits) != 0 && !Release()) return;
  Inherited(ClassMessageMap(), m);
}

void TCustomOwnerDrawScrollbar::SetHotBits(TScrollBarPart part) {
  uint16_t old = state;
  state &= ~kHotBits;
  if (part == sbpUpArrow) state |= kUpArrowHot;
  if (part == sbpDownArrow) state |= kDownArrowHot;
  if (part == sbpThumb) state |= kThumbHot;
  if (state != old) Invalidate();
}

void TCustomOwnerDrawScrollbar::WMMouseMove(TMessage& m) {
  Inherited(ClassMessageMap(), m);
  lastMouse = MousePoint(m.LParam);
  if (!hoverTimerRunning) {
    Timers()->StartTimer(kHoverTimer, kHoverInterval);
    hoverTimerRunning = true;
  }
  TScrollLayout layout = Layout();
  SetHotBits(HitTestScrollBar(layout, lastMouse.X, lastMouse.Y));
  if ((state & kThumbPressed) && (state & kLButtonDown)) {
    // The thumb follows the cursor where it was grabbed.
    int32_t position = PositionFromY(layout, range, lastMouse.Y - grabOffset);
    trackPosition = position;
    if (attachedControl != nullptr) {
      Notify(SB_THUMBTRACK, position);
    } else {
      SetPosition(position);
    }
  }
}

void TCustomOwnerDrawScrollbar::WMTimer(TMessage& m) {
  switch (static_cast<UINT>(m.WParam)) {
    case kDelayTimer:
      Timers()->StopTimer(kDelayTimer);
      Timers()->StartTimer(kRepeatTimer, repeatInterval);
      UpdateOverPressedPage();
      Step();
      break;
    case kRepeatTimer:
      UpdateOverPressedPage();
      Step();
      break;
    case kHoverTimer: {
      POINT cursor{};
      GetCursorPos(&cursor);
      bool inside = HandleAllocated() && WindowFromPoint(cursor) == Handle();
      if (!inside) {
        Timers()->StopTimer(kHoverTimer);
        hoverTimerRunning = false;
        SetHotBits(sbpNone);
      }
      break;
    }
    default:
      Inherited(ClassMessageMap(), m);
      return;
  }
  m.Result = 0;
}

void TCustomOwnerDrawScrollbar::StartTimer(UINT id, UINT milliseconds) {
  if (HandleAllocated()) SetTimer(Handle(), id, milliseconds, nullptr);
}

void TCustomOwnerDrawScrollbar::StopTimer(UINT id) {
  if (HandleAllocated()) KillTimer(Handle(), id);
}
