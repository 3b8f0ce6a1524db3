#pragma once
// Geometry and colour values of the window layer: points, sizes, rectangles
// (layout-compatible with the Win32 POINT, SIZE and RECT) and TColor with the
// system colours.
#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

struct TPoint {
  int32_t X = 0;
  int32_t Y = 0;

  friend bool operator==(const TPoint& a, const TPoint& b) = default;
  POINT ToPOINT() const { return POINT{X, Y}; }
  static TPoint FromPOINT(const POINT& p) { return TPoint{static_cast<int32_t>(p.x), static_cast<int32_t>(p.y)}; }
};

struct TSize {
  int32_t cx = 0;
  int32_t cy = 0;

  friend bool operator==(const TSize& a, const TSize& b) = default;
};

struct TRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;

  int32_t Width() const { return Right - Left; }
  int32_t Height() const { return Bottom - Top; }
  // True when the rectangle covers no pixel (zero or negative width or height).
  bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  // True for a point inside; the right and bottom edges are outside.
  bool Contains(TPoint p) const { return p.X >= Left && p.X < Right && p.Y >= Top && p.Y < Bottom; }
  TPoint TopLeft() const { return TPoint{Left, Top}; }
  TPoint BottomRight() const { return TPoint{Right, Bottom}; }
  // Moves the rectangle by (dx, dy).
  TRect& Offset(int32_t dx, int32_t dy) {
    Left += dx, Right += dx, Top += dy, Bottom += dy;
    return *this;
  }
  // Grows each edge outwards by (dx, dy); negative values shrink it.
  TRect& Inflate(int32_t dx, int32_t dy) {
    Left -= dx, Right += dx, Top -= dy, Bottom += dy;
    return *this;
  }

  friend bool operator==(const TRect& a, const TRect& b) = default;
  RECT ToRECT() const { return RECT{Left, Top, Right, Bottom}; }
  static TRect FromRECT(const RECT& r) {
    return TRect{static_cast<int32_t>(r.left), static_cast<int32_t>(r.top), static_cast<int32_t>(r.right),
                 static_cast<int32_t>(r.bottom)};
  }
};

inline TPoint Point(int32_t x, int32_t y) { return TPoint{x, y}; }
inline TRect Rect(int32_t left, int32_t top, int32_t right, int32_t bottom) { return TRect{left, top, right, bottom}; }
inline TRect Bounds(int32_t left, int32_t top, int32_t width, int32_t height) {
  return TRect{left, top, left + width, top + height};
}
// The intersection of a and b; an empty rectangle (all zero) when they do not meet.
TRect IntersectRect(const TRect& a, const TRect& b);
// The smallest rectangle holding both; an empty one is ignored.
TRect UnionRect(const TRect& a, const TRect& b);

// A colour: an RGB value 0x00BBGGRR, a system colour 0x80000000 | COLOR_xxx,
// or one of the special values clNone and clDefault.
using TColor = int32_t;

constexpr TColor SystemColor(int index) { return static_cast<TColor>(0x80000000u | static_cast<uint32_t>(index)); }

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clLtGray = 0xC0C0C0;
constexpr TColor clDkGray = 0x808080;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

constexpr TColor clScrollBar = SystemColor(COLOR_SCROLLBAR);
constexpr TColor clBackground = SystemColor(COLOR_BACKGROUND);
constexpr TColor clActiveCaption = SystemColor(COLOR_ACTIVECAPTION);
constexpr TColor clInactiveCaption = SystemColor(COLOR_INACTIVECAPTION);
constexpr TColor clMenu = SystemColor(COLOR_MENU);
constexpr TColor clWindow = SystemColor(COLOR_WINDOW);
constexpr TColor clWindowFrame = SystemColor(COLOR_WINDOWFRAME);
constexpr TColor clMenuText = SystemColor(COLOR_MENUTEXT);
constexpr TColor clWindowText = SystemColor(COLOR_WINDOWTEXT);
constexpr TColor clCaptionText = SystemColor(COLOR_CAPTIONTEXT);
constexpr TColor clActiveBorder = SystemColor(COLOR_ACTIVEBORDER);
constexpr TColor clInactiveBorder = SystemColor(COLOR_INACTIVEBORDER);
constexpr TColor clAppWorkSpace = SystemColor(COLOR_APPWORKSPACE);
constexpr TColor clHighlight = SystemColor(COLOR_HIGHLIGHT);
constexpr TColor clHighlightText = SystemColor(COLOR_HIGHLIGHTTEXT);
constexpr TColor clBtnFace = SystemColor(COLOR_BTNFACE);
constexpr TColor clBtnShadow = SystemColor(COLOR_BTNSHADOW);
constexpr TColor clGrayText = SystemColor(COLOR_GRAYTEXT);
constexpr TColor clBtnText = SystemColor(COLOR_BTNTEXT);
constexpr TColor clInactiveCaptionText = SystemColor(COLOR_INACTIVECAPTIONTEXT);
constexpr TColor clBtnHighlight = SystemColor(COLOR_BTNHIGHLIGHT);
constexpr TColor cl3DDkShadow = SystemColor(COLOR_3DDKSHADOW);
constexpr TColor cl3DLight = SystemColor(COLOR_3DLIGHT);
constexpr TColor clInfoText = SystemColor(COLOR_INFOTEXT);
constexpr TColor clInfoBk = SystemColor(COLOR_INFOBK);
constexpr TColor clHotLight = SystemColor(COLOR_HOTLIGHT);
constexpr TColor clGradientActiveCaption = SystemColor(COLOR_GRADIENTACTIVECAPTION);
constexpr TColor clGradientInactiveCaption = SystemColor(COLOR_GRADIENTINACTIVECAPTION);
constexpr TColor clMenuHighlight = SystemColor(COLOR_MENUHILIGHT);
constexpr TColor clMenuBar = SystemColor(COLOR_MENUBAR);

// The RGB value of color: system colours through GetSysColor. clNone and
// clDefault give black; callers that treat them specially test for them first.
COLORREF ColorToRGB(TColor color);
// "clBtnFace" for a named colour, else "$00BBGGRR" (8 hex digits).
std::string ColorToString(TColor color);
// Reads a colour name ("clRed", ignoring ASCII case), a hex value ("$0000FF",
// "0x0000FF") or a decimal; false for anything else, leaving color unchanged.
bool StringToColor(std::string_view text, TColor& color);
