// The frame a window control draws inside its window's border: bevels and
// the border ring. Both are non-client area, measured in WM_NCCALCSIZE and
// drawn in WM_NCPAINT.
#include <algorithm>

#include "win/Controls.h"
#include "win/graphics/Graphics.h"

namespace {

// The rings a bevel draws: a cut other than none takes BevelWidth pixels.
int BevelRings(TBevelCut inner, TBevelCut outer) { return (inner != bvNone ? 1 : 0) + (outer != bvNone ? 1 : 0); }

}  // namespace

void TWinControl::SetBevelEdges(TBevelEdges value) {
  if (value == bevelEdges) return;
  bevelEdges = value;
  FrameChanged();
}

void TWinControl::SetBevelInner(TBevelCut value) {
  if (value == bevelInner) return;
  bevelInner = value;
  FrameChanged();
}

void TWinControl::SetBevelOuter(TBevelCut value) {
  if (value == bevelOuter) return;
  bevelOuter = value;
  FrameChanged();
}

void TWinControl::SetBevelKind(TBevelKind value) {
  if (value == bevelKind) return;
  bevelKind = value;
  FrameChanged();
}

void TWinControl::SetBevelWidth(int value) {
  value = std::max(value, 1);
  if (value == bevelWidth) return;
  bevelWidth = value;
  FrameChanged();
}

void TWinControl::SetBorderWidth(int value) {
  value = std::max(value, 0);
  if (value == borderWidth) return;
  borderWidth = value;
  FrameChanged();
}

void TWinControl::SetCtl3D(bool value) {
  if (value == ctl3D) return;
  ctl3D = value;
  // The window's own border styles may depend on it.
  RecreateWnd();
  Perform(CM_CTL3DCHANGED, 0, 0);
}

void TWinControl::FrameChanged() {
  if (handle == nullptr) return;
  SetWindowPos(handle, nullptr, 0, 0, 0, 0,
               SWP_FRAMECHANGED | SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOOWNERZORDER);
}

TRect TWinControl::FrameInsets() const {
  TRect insets{borderWidth, borderWidth, borderWidth, borderWidth};
  if (bevelKind == bkNone) return insets;
  int bevel = bevelWidth * BevelRings(bevelInner, bevelOuter);
  if (bevelEdges.Contains(beLeft)) insets.Left += bevel;
  if (bevelEdges.Contains(beTop)) insets.Top += bevel;
  if (bevelEdges.Contains(beRight)) insets.Right += bevel;
  if (bevelEdges.Contains(beBottom)) insets.Bottom += bevel;
  return insets;
}

void TWinControl::PaintFrame(HDC dc, TRect r, TColor ringColor) const {
  if (bevelKind == bkNone && borderWidth == 0) return;
  RECT whole{r.Left, r.Top, r.Right, r.Bottom};
  if (bevelKind != bkNone) {
    UINT edge = 0;
    if (bevelInner == bvLowered) edge |= BDR_SUNKENINNER;
    if (bevelInner == bvRaised) edge |= BDR_RAISEDINNER;
    if (bevelOuter == bvLowered) edge |= BDR_SUNKENOUTER;
    if (bevelOuter == bvRaised) edge |= BDR_RAISEDOUTER;
    UINT flags = 0;
    if (bevelEdges.Contains(beLeft)) flags |= BF_LEFT;
    if (bevelEdges.Contains(beTop)) flags |= BF_TOP;
    if (bevelEdges.Contains(beRight)) flags |= BF_RIGHT;
    if (bevelEdges.Contains(beBottom)) flags |= BF_BOTTOM;
    if (bevelKind == bkSoft) flags |= BF_SOFT;
    if (bevelKind == bkFlat) flags |= BF_FLAT;
    if (!ctl3D) flags |= BF_MONO;
    RECT edgeRect = whole;
    DrawEdge(dc, &edgeRect, edge, flags);
    int bevel = bevelWidth * BevelRings(bevelInner, bevelOuter);
    if (bevelEdges.Contains(beLeft)) r.Left += bevel;
    if (bevelEdges.Contains(beTop)) r.Top += bevel;
    if (bevelEdges.Contains(beRight)) r.Right -= bevel;
    if (bevelEdges.Contains(beBottom)) r.Bottom -= bevel;
  }
  // Only the ring between r and r shrunk by BorderWidth takes the colour.
  int saved = SaveDC(dc);
  IntersectClipRect(dc, r.Left, r.Top, r.Right, r.Bottom);
  ExcludeClipRect(dc, r.Left + borderWidth, r.Top + borderWidth, r.Right - borderWidth, r.Bottom - borderWidth);
  HBRUSH brush = CreateSolidBrush(ColorToRGB(ringColor));
  FillRect(dc, &whole, brush);
  DeleteObject(brush);
  RestoreDC(dc, saved);
}

void TWinControl::WMNCCalcSize(TMessage& m) {
  Inherited(ClassMessageMap(), m);
  TRect insets = FrameInsets();
  if (insets.Left == 0 && insets.Top == 0 && insets.Right == 0 && insets.Bottom == 0) return;
  auto* r = reinterpret_cast<RECT*>(m.LParam);
  r->left += insets.Left;
  r->top += insets.Top;
  r->right -= insets.Right;
  r->bottom -= insets.Bottom;
  if (r->right < r->left) r->right = r->left;
  if (r->bottom < r->top) r->bottom = r->top;
}

void TWinControl::WMNCPaint(TMessage& m) {
  Inherited(ClassMessageMap(), m);
  if (bevelKind == bkNone && borderWidth == 0) return;
  // The window's own border is as thick on every side: the client origin tells it.
  RECT window;
  GetWindowRect(handle, &window);
  POINT origin{0, 0};
  ::ClientToScreen(handle, &origin);
  TRect insets = FrameInsets();
  int borderX = origin.x - window.left - insets.Left, borderY = origin.y - window.top - insets.Top;
  if ((GetWindowLongW(handle, GWL_EXSTYLE) & WS_EX_LEFTSCROLLBAR) && (GetWindowLongW(handle, GWL_STYLE) & WS_VSCROLL))
    borderX -= GetSystemMetrics(SM_CXVSCROLL);
  HDC dc = GetWindowDC(handle);
  if (dc == nullptr) return;
  int width = window.right - window.left, height = window.bottom - window.top;
  PaintFrame(dc, TRect{borderX, borderY, width - borderX, height - borderY}, Color());
  ReleaseDC(handle, dc);
}
