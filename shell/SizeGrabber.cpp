// The drop-down's size grip: drawn classic or themed, flipped when the
// drop-down opened above, and dragged to resize the drop-down (never below
// its minimum size).
#include <commctrl.h>
#include <vsstyle.h>

#include "shell/DropDownWnd.h"

const TMessageMap* TSizeGrabber::ClassMessageMap() {
  static const TMessageMap map(TCustomControl::ClassMessageMap(), {
      OnMessage(WM_MOUSEACTIVATE, &TSizeGrabber::WMMouseActivate),
      OnMessage(WM_ERASEBKGND, &TSizeGrabber::WMEraseBkgnd),
      OnMessage(WM_SETCURSOR, &TSizeGrabber::WMSetCursor),
      OnMessage(WM_THEMECHANGED, &TSizeGrabber::WMThemeChanged),
  });
  return &map;
}

void TSizeGrabber::Create(TComponent* owner) {
  TCustomControl::Create(owner);
  SetTabStop(false);
}

TSizeGrabber::~TSizeGrabber() { CloseTheme(); }

void TSizeGrabber::CreateParams(TCreateParams& params) {
  TCustomControl::CreateParams(params);
  params.Style = WS_CHILD;
  params.WindowClass.style |= CS_SAVEBITS;
}

void TSizeGrabber::CreateWnd() {
  TCustomControl::CreateWnd();
  OpenTheme();
}

void TSizeGrabber::OpenTheme() {
  CloseTheme();
  if (dropDown != nullptr && dropDown->Options().Contains(poThemeAware) && IsThemeActive())
    theme = OpenThemeData(Handle(), L"scrollbar");
}

void TSizeGrabber::CloseTheme() {
  if (theme != nullptr) CloseThemeData(theme);
  theme = nullptr;
}

void TSizeGrabber::WMThemeChanged(TMessage& m) {
  Inherited(ClassMessageMap(), m);
  OpenTheme();
  Invalidate();
}

void TSizeGrabber::WMMouseActivate(TMessage& m) { m.Result = MA_NOACTIVATE; }
void TSizeGrabber::WMEraseBkgnd(TMessage& m) { m.Result = 1; }

namespace {
bool Above(TDropDownWnd* d) { return d != nullptr && (d->State() & TDropDownWnd::kShownAbove) != 0; }
}  // namespace

void TSizeGrabber::WMSetCursor(TMessage& m) {
  bool left = dropDown != nullptr && dropDown->ScrollBarLeft();
  // The diagonal runs top-left to bottom-right when below and right, or above and left.
  bool nwse = Above(dropDown) == left;
  ::SetCursor(LoadCursorW(nullptr, nwse ? IDC_SIZENWSE : IDC_SIZENESW));
  m.Result = 1;
}

HRGN TSizeGrabber::CreateTriangleRegion() const {
  int w = Width(), h = Height();
  bool left = dropDown != nullptr && dropDown->ScrollBarLeft();
  bool above = Above(dropDown);
  // The right angle sits in the corner away from the source on the bar's side.
  POINT corner{left ? 0 : w, above ? 0 : h};
  POINT pts[3] = {corner, {left ? w : 0, corner.y}, {corner.x, above ? h : 0}};
  return CreatePolygonRgn(pts, 3, WINDING);
}

void TSizeGrabber::PaintGrip(HDC target, int x, int y) {
  int w = Width(), h = Height();
  if (w <= 0 || h <= 0) return;
  bool left = dropDown != nullptr && dropDown->ScrollBarLeft();
  HDC dc = CreateCompatibleDC(target);
  HBITMAP bitmap = CreateCompatibleBitmap(target, w, h);
  HGDIOBJ old = SelectObject(dc, bitmap);
  RECT r{0, 0, w, h};
  FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
  if (theme != nullptr)
    DrawThemeBackground(theme, dc, SBP_SIZEBOX, left ? 2 : 1, &r, nullptr);
  else
    DrawFrameControl(dc, &r, DFC_SCROLL, left ? DFCS_SCROLLSIZEGRIPRIGHT : DFCS_SCROLLSIZEGRIP);
  if (Above(dropDown)) StretchBlt(dc, 0, h - 1, w, -h, dc, 0, 0, w, h, SRCCOPY);
  bool overList = dropDown != nullptr && !dropDown->ScrollBar()->Visible();
  if (overList) {
    // Only the triangle covers the list: the rest of the square stays transparent.
    HIMAGELIST list = ImageList_Create(w, h, ILC_COLOR24 | ILC_MASK, 1, 0);
    // The face colour of the corner away from the grip, read while the bitmap is still in the DC.
    COLORREF transparent = GetPixel(dc, left ? w - 1 : 0, Above(dropDown) ? h - 1 : 0);
    SelectObject(dc, old);
    ImageList_AddMasked(list, bitmap, transparent);
    ImageList_Draw(list, 0, target, x, y, ILD_TRANSPARENT);
    ImageList_Destroy(list);
    old = SelectObject(dc, bitmap);
  } else {
    StretchBlt(target, x, y, w, h, dc, 0, 0, w, h, SRCCOPY);
  }
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
}

void TSizeGrabber::Paint() {
  HDC dc = GetDC(Handle());
  PaintGrip(dc, 0, 0);
  ReleaseDC(Handle(), dc);
}

void TSizeGrabber::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  TCustomControl::MouseDown(button, shift, x, y);
  if (button != mbLeft || dropDown == nullptr) return;
  dragging = true;
  POINT p;
  GetCursorPos(&p);
  dragStart = TPoint{p.x, p.y};
  RECT r;
  GetWindowRect(dropDown->Handle(), &r);
  startBounds = TRect::FromRECT(r);
  SetCapture(Handle());
}

void TSizeGrabber::MouseMove(TShiftState shift, int x, int y) {
  TCustomControl::MouseMove(shift, x, y);
  if (!dragging || dropDown == nullptr) return;
  POINT p;
  GetCursorPos(&p);
  TRect r = ResizeFromGrabber(startBounds, p.x - dragStart.X, p.y - dragStart.Y, Above(dropDown),
                              dropDown->ScrollBarLeft(), dropDown->MinWidth(), dropDown->MinHeight());
  MoveWindow(dropDown->Handle(), r.Left, r.Top, r.Width(), r.Height(), TRUE);
  dropDown->UpdateBoundsRect(r);
  dropDown->state |= TDropDownWnd::kHasBeenSized;
  RedrawWindow(dropDown->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  Sleep(10);
}

void TSizeGrabber::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  TCustomControl::MouseUp(button, shift, x, y);
  if (!dragging) return;
  dragging = false;
  ReleaseCapture();
}
