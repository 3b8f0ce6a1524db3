// The expand-button bitmaps (plus and minus, 9 x 9, magenta transparent) and
// the 8 x 8 pattern brush of the tree lines.
#include <vssym32.h>

#include "tree/VirtualTrees.h"

#include "win/graphics/Themes.h"

namespace {
constexpr int kButtonSize = 9;
constexpr COLORREF kMagenta = RGB(255, 0, 255);

void FillSolid(HDC dc, const RECT& r, COLORREF color) {
  HBRUSH brush = CreateSolidBrush(color);
  FillRect(dc, &r, brush);
  DeleteObject(brush);
}

void DrawLine(HDC dc, int x1, int y1, int x2, int y2, COLORREF color) {
  HPEN pen = CreatePen(PS_SOLID, 1, color);
  HGDIOBJ old = SelectObject(dc, pen);
  MoveToEx(dc, x1, y1, nullptr);
  LineTo(dc, x2, y2);
  SelectObject(dc, old);
  DeleteObject(pen);
}

// The shaded look: a frame with a light vertical gradient inside.
void DrawShadedButton(HDC dc, bool plus) {
  const int last = kButtonSize - 1;
  for (int y = 1; y < last; ++y) {
    int shade = 0xFF - (y - 1) * 0x30 / (last - 2);
    RECT row{1, y, last, y + 1};
    FillSolid(dc, row, RGB(shade, shade, shade - 8 > 0 ? shade - 8 : 0));
  }
  HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
  HPEN frame = CreatePen(PS_SOLID, 1, RGB(0x78, 0x90, 0xB0));
  HGDIOBJ oldPen = SelectObject(dc, frame);
  Rectangle(dc, 0, 0, kButtonSize, kButtonSize);
  SelectObject(dc, oldPen);
  SelectObject(dc, oldBrush);
  DeleteObject(frame);
  int mid = kButtonSize / 2;
  DrawLine(dc, 2, mid, kButtonSize - 2, mid, RGB(0, 0, 0));
  if (plus) DrawLine(dc, mid, 2, mid, kButtonSize - 2, RGB(0, 0, 0));
}

void DrawTriangle(HDC dc, bool plus) {
  POINT down[3] = {{0, 2}, {8, 2}, {4, 6}};
  POINT right[3] = {{2, 0}, {6, 4}, {2, 8}};
  HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(BLACK_BRUSH));
  HGDIOBJ oldPen = SelectObject(dc, GetStockObject(BLACK_PEN));
  Polygon(dc, plus ? right : down, 3);
  SelectObject(dc, oldPen);
  SelectObject(dc, oldBrush);
}
}  // namespace

TBaseVirtualTree::TPaintResources::~TPaintResources() {
  FreeAndNil(plusBM);
  FreeAndNil(minusBM);
  if (dottedBrush != nullptr) DeleteObject(dottedBrush);
}

void TBaseVirtualTree::PrepareBitmaps(bool needButtons, bool needLines) {
  // The line style's handler may free the tree: its brush is still made, on a tree kept until this returns.
  THold hold(this);
  if (needButtons) {
    for (bool plus : {true, false}) {
      TBitmap*& bitmap = plus ? paintResources.plusBM : paintResources.minusBM;
      if (bitmap == nullptr) bitmap = New<TBitmap>();
      bitmap->SetSize(kButtonSize, kButtonSize);
      bitmap->SetTransparentColor(TColor(kMagenta));
      bitmap->SetTransparent(true);
      HDC dc = bitmap->Canvas()->Handle();
      RECT all{0, 0, kButtonSize, kButtonSize};
      FillSolid(dc, all, kMagenta);
      if (buttonStyle == bsTriangle) {
        DrawTriangle(dc, plus);
      } else if (buttonFillMode == fmShaded) {
        DrawShadedButton(dc, plus);
      } else {
        COLORREF face = kMagenta;
        if (buttonFillMode == fmTreeColor) face = ColorToRGB(Color());
        if (buttonFillMode == fmWindowColor) face = ColorToRGB(clWindow);
        HBRUSH brush = CreateSolidBrush(face);
        HPEN pen = CreatePen(PS_SOLID, 1, ColorToRGB(colors->TreeLineColor()));
        HGDIOBJ oldBrush = SelectObject(dc, brush);
        HGDIOBJ oldPen = SelectObject(dc, pen);
        Rectangle(dc, 0, 0, kButtonSize, kButtonSize);
        SelectObject(dc, oldPen);
        SelectObject(dc, oldBrush);
        DeleteObject(pen);
        DeleteObject(brush);
        COLORREF sign = ColorToRGB(Font()->Color());
        int mid = kButtonSize / 2;
        DrawLine(dc, 2, mid, kButtonSize - 2, mid, sign);
        if (plus) DrawLine(dc, mid, 2, mid, kButtonSize - 2, sign);
      }
      if (states.Contains(tsUseThemes) && ThemeServices()->ThemesEnabled()) {
        TThemedElementDetails glyph{teTreeview, TVP_GLYPH, plus ? GLPS_CLOSED : GLPS_OPENED};
        ThemeServices()->DrawElement(dc, glyph, TRect{0, 0, kButtonSize, kButtonSize});
      }
      bitmap->Dormant();
    }
  }
  if (needLines) {
    if (paintResources.dottedBrush != nullptr) DeleteObject(paintResources.dottedBrush);
    paintResources.dottedBrush = nullptr;
    uint16_t pattern[8];
    for (int i = 0; i < 8; ++i) pattern[i] = lineStyle == lsSolid ? 0 : (i % 2 == 0 ? 0x55 : 0xAA);
    if (lineStyle == lsCustomStyle) {
      void* bits = pattern;
      DoGetLineStyle(bits);
      if (bits != nullptr && bits != pattern) std::copy_n(static_cast<const uint16_t*>(bits), 8, pattern);
    }
    HBITMAP patternBitmap = CreateBitmap(8, 8, 1, 1, pattern);
    paintResources.dottedBrush = CreatePatternBrush(patternBitmap);
    DeleteObject(patternBitmap);
  }
}
