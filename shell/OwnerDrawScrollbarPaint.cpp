// Painting of the owner-drawn scroll bar: the track's checkerboard brush, the
// arrows and the thumb, classic or with the "scrollbar" theme, each offered to
// OnScrollCustomPaint first.
#include <vssym32.h>

#include "shell/OwnerDrawScrollbar.h"
#include "win/graphics/Graphics.h"

void TCustomOwnerDrawScrollbar::FreeBrush() {
  if (trackBrush != nullptr) DeleteObject(trackBrush);
  if (trackBitmap != nullptr) DeleteObject(trackBitmap);
  trackBrush = nullptr;
  trackBitmap = nullptr;
}

void TCustomOwnerDrawScrollbar::ColorsChanged() {
  FreeBrush();
  // An 8x8 checkerboard of Background and BackgroundBlend.
  COLORREF a = ColorToRGB(colors->Background());
  COLORREF b = ColorToRGB(colors->BackgroundBlend());
  uint32_t pixels[64];
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      COLORREF c = ((x + y) % 2 == 0) ? a : b;
      pixels[y * 8 + x] = (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
    }
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = 8;
  info.bmiHeader.biHeight = -8;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  HDC screen = GetDC(nullptr);
  trackBitmap = CreateDIBitmap(screen, &info.bmiHeader, CBM_INIT, pixels, &info, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  if (trackBitmap != nullptr) trackBrush = CreatePatternBrush(trackBitmap);
  Invalidate();
}

TScrollPaintState TCustomOwnerDrawScrollbar::PartState(TScrollBarPart part) const {
  if (!Enabled()) return psDisabled;
  switch (part) {
    case sbpUpArrow:
      if (state & kUpArrowPressed) return psPressed;
      return (state & kUpArrowHot) ? psHot : psNormal;
    case sbpDownArrow:
      if (state & kDownArrowPressed) return psPressed;
      return (state & kDownArrowHot) ? psHot : psNormal;
    case sbpThumb:
      if (state & kThumbPressed) return psPressed;
      return (state & kThumbHot) ? psHot : psNormal;
    default:
      return (state & kOverPressedPage) ? psScrolling : psNormal;
  }
}

bool TCustomOwnerDrawScrollbar::FireCustomPaint(TScrollPaintCycle cycle, TScrollPaintState paintState,
                                                const TRect& r, TCanvas* canvas) {
  bool handled = false;
  if (OnScrollCustomPaint) OnScrollCustomPaint(this, cycle, paintState, r, canvas, handled);
  return handled;
}

void TCustomOwnerDrawScrollbar::PaintBackground(TCanvas* canvas, const TScrollLayout& layout) {
  if (FireCustomPaint(pcBackground, PartState(sbpNone), layout.Track, canvas)) return;
  HDC dc = canvas->Handle();
  RECT track = {layout.Track.Left, layout.Track.Top, layout.Track.Right, layout.Track.Bottom};
  // The pattern goes under a themed track too: a theme may draw its track
  // parts with transparent pixels.
  if (trackBrush != nullptr) {
    SetBrushOrgEx(dc, 0, 0, nullptr);
    FillRect(dc, &track, trackBrush);
  }
  if (Themed()) {
    int stateId = Enabled() ? SCRBS_NORMAL : SCRBS_DISABLED;
    RECT upper = {layout.PageUp.Left, layout.PageUp.Top, layout.PageUp.Right, layout.PageUp.Bottom};
    RECT lower = {layout.PageDown.Left, layout.PageDown.Top, layout.PageDown.Right, layout.PageDown.Bottom};
    if (!layout.HasThumb) lower = track;
    if (upper.bottom > upper.top) DrawThemeBackground(theme, dc, SBP_UPPERTRACKVERT, stateId, &upper, nullptr);
    if (lower.bottom > lower.top) DrawThemeBackground(theme, dc, SBP_LOWERTRACKVERT, stateId, &lower, nullptr);
  }
  // The pressed page area under the cursor shows in PageScrollHot.
  if (state & kOverPressedPage) {
    const TRect& area = (state & kPageUpPressed) ? layout.PageUp : layout.PageDown;
    RECT r = {area.Left, area.Top, area.Right, area.Bottom};
    HBRUSH hot = CreateSolidBrush(ColorToRGB(colors->PageScrollHot()));
    FillRect(dc, &r, hot);
    DeleteObject(hot);
  }
}

void TCustomOwnerDrawScrollbar::PaintArrow(TCanvas* canvas, const TRect& r, bool up) {
  TScrollPaintState paintState = PartState(up ? sbpUpArrow : sbpDownArrow);
  if (FireCustomPaint(up ? pcScrollUp : pcScrollDown, paintState, r, canvas) || r.IsEmpty()) return;
  HDC dc = canvas->Handle();
  RECT rect = {r.Left, r.Top, r.Right, r.Bottom};
  if (Themed()) {
    int base = up ? ABS_UPNORMAL : ABS_DOWNNORMAL;
    int offset = paintState == psHot ? 1 : paintState == psPressed ? 2 : paintState == psDisabled ? 3 : 0;
    DrawThemeBackground(theme, dc, SBP_ARROWBTN, base + offset, &rect, nullptr);
    return;
  }
  UINT flags = up ? DFCS_SCROLLUP : DFCS_SCROLLDOWN;
  if (paintState == psPressed) flags |= DFCS_PUSHED;
  if (paintState == psDisabled) flags |= DFCS_INACTIVE;
  if (flat) flags |= DFCS_FLAT;
  DrawFrameControl(dc, &rect, DFC_SCROLL, flags);
}

void TCustomOwnerDrawScrollbar::PaintThumb(TCanvas* canvas, const TRect& r) {
  TScrollPaintState paintState = PartState(sbpThumb);
  if (FireCustomPaint(pcThumb, paintState, r, canvas) || r.IsEmpty()) return;
  HDC dc = canvas->Handle();
  RECT rect = {r.Left, r.Top, r.Right, r.Bottom};
  if (Themed()) {
    int stateId = paintState == psHot ? SCRBS_HOT : paintState == psPressed ? SCRBS_PRESSED
                  : paintState == psDisabled ? SCRBS_DISABLED : SCRBS_NORMAL;
    DrawThemeBackground(theme, dc, SBP_THUMBBTNVERT, stateId, &rect, nullptr);
    DrawThemeBackground(theme, dc, SBP_GRIPPERVERT, stateId, &rect, nullptr);
    return;
  }
  HBRUSH face = CreateSolidBrush(ColorToRGB(colors->ThumbButton()));
  FillRect(dc, &rect, face);
  DeleteObject(face);
  DrawEdge(dc, &rect, flat ? BDR_RAISEDINNER : EDGE_RAISED, BF_RECT | (flat ? BF_FLAT : 0));
}

void TCustomOwnerDrawScrollbar::PaintAll(TCanvas* canvas, bool background, bool elements) {
  TScrollLayout layout = Layout();
  if (background) PaintBackground(canvas, layout);
  if (!elements) return;
  PaintArrow(canvas, layout.UpArrow, /*up=*/true);
  PaintArrow(canvas, layout.DownArrow, /*up=*/false);
  if (layout.HasThumb) PaintThumb(canvas, layout.Thumb);
}

void TCustomOwnerDrawScrollbar::Paint() { PaintAll(Canvas(), /*background=*/true, /*elements=*/true); }

void TCustomOwnerDrawScrollbar::PaintOnDC(HDC dc, bool elements) {
  TCanvas* canvas = New<TCanvas>();
  canvas->SetHandle(dc);
  try {
    PaintAll(canvas, /*background=*/true, elements);
  } catch (...) {
    canvas->SetHandle(nullptr);
    canvas->Free();
    throw;
  }
  canvas->SetHandle(nullptr);
  canvas->Free();
}

void TCustomOwnerDrawScrollbar::WMEraseBkgnd(TMessage& m) {
  PaintOnDC(reinterpret_cast<HDC>(m.WParam), /*elements=*/false);
  m.Result = 1;
}

void TCustomOwnerDrawScrollbar::WMPrintClient(TMessage& m) {
  PaintOnDC(reinterpret_cast<HDC>(m.WParam), /*elements=*/true);
  m.Result = 0;
}
