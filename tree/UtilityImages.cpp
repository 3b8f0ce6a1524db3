// The tree unit's utility images (our own artwork, drawn with GDI) and the
// text shortening with an ellipsis that header and string tree share.
#include "tree/VirtualTrees.h"

#include <memory>

namespace {

constexpr int kUtilitySize = 16;
constexpr int kUtilityCount = 9;

void Fill(HDC dc, int l, int t, int r, int b, COLORREF c) { FillSolidRect(dc, TRect{l, t, r, b}, c); }

// A filled triangle of rows from width `base` down to 1 (up) or 1 up to base (down).
void Triangle(HDC dc, int x0, int cx, int top, int rows, bool up, COLORREF c) {
  for (int i = 0; i < rows; ++i) {
    int half = up ? i : rows - 1 - i;
    Fill(dc, x0 + cx - half, top + i, x0 + cx + half + 1, top + i + 1, c);
  }
}

// Draws utility image index at x0 in a strip.
void DrawUtility(HDC dc, int x0, int index) {
  const COLORREF mark = GetSysColor(COLOR_BTNSHADOW);
  const COLORREF themedMark = RGB(0x56, 0x7C, 0xA6);
  switch (index) {
    case 0:  // drop mark at the left edge: a bar with an arrow pointing right
    case 1: {
      COLORREF c = GetSysColor(COLOR_HIGHLIGHT);
      int bar = index == 0 ? x0 + 1 : x0 + kUtilitySize - 3;
      Fill(dc, bar, 1, bar + 2, kUtilitySize - 1, c);
      for (int i = 0; i < 4; ++i) {
        int x = index == 0 ? bar + 2 + i : bar - 1 - i;
        Fill(dc, x, 8 - (3 - i), x + 1, 8 + (3 - i) + 1, c);
      }
      break;
    }
    case 2:  // sort descending (classic): a triangle pointing down
      Triangle(dc, x0, 7, 6, 4, /*up=*/false, mark);
      break;
    case 3:  // sort ascending (classic): a triangle pointing up
      Triangle(dc, x0, 7, 6, 4, /*up=*/true, mark);
      break;
    case 4:  // the same with themes: a flatter chevron
      Triangle(dc, x0, 7, 2, 4, /*up=*/false, themedMark);
      break;
    case 5:
      Triangle(dc, x0, 7, 2, 4, /*up=*/true, themedMark);
      break;
    default: {  // 6 .. 8: the hot bar of the flat face (left end, middle, right end)
      const COLORREF rows[3] = {RGB(0xF9, 0xB1, 0x19), RGB(0xF9, 0xC5, 0x4C), RGB(0xE5, 0x97, 0x00)};
      int left = index == 6 ? 1 : 0;
      int right = index == 8 ? kUtilitySize - 1 : kUtilitySize;
      for (int r = 0; r < 3; ++r) Fill(dc, x0 + left, kUtilitySize - 3 + r, x0 + right, kUtilitySize - 2 + r, rows[r]);
      break;
    }
  }
}

TCustomImageList* MakeUtilityImages() {
  return MakeImageListFromStrip(kUtilitySize, kUtilityCount, [](HDC dc, int index, int left) {
    DrawUtility(dc, left, index);
  });
}

struct TUtilityHolder {
  ~TUtilityHolder() {
    if (list != nullptr) list->Free();
  }
  TCustomImageList* list = nullptr;
} gUtilities;

int TextWidthOf(HDC dc, const char16_t* text, int length) {
  SIZE size{};
  GetTextExtentPoint32W(dc, reinterpret_cast<const wchar_t*>(text), length, &size);
  return size.cx;
}

}  // namespace

TCustomImageList* GetUtilityImages() {
  if (gUtilities.list == nullptr) gUtilities.list = MakeUtilityImages();
  return gUtilities.list;
}

std::u16string ShortenString(HDC dc, const std::u16string& s, int width, bool /*rightToLeft*/, int ellipsisWidth) {
  static const char16_t kEllipsis[] = u"...";
  if (s.empty() || width <= 0) return std::u16string();
  if (ellipsisWidth == 0) ellipsisWidth = TextWidthOf(dc, kEllipsis, 3);
  if (width <= ellipsisWidth) return std::u16string();
  // The longest start of the text that fits with the ellipsis. Right-to-left
  // text keeps its start too: drawn with right-to-left reading the start stays
  // at the right and the ellipsis goes to the left.
  int low = 0, high = static_cast<int>(s.size()) - 1;
  while (low < high) {
    int n = (low + high + 1) / 2;
    if (TextWidthOf(dc, s.data(), n) + ellipsisWidth <= width)
      low = n;
    else
      high = n - 1;
  }
  return s.substr(0, static_cast<size_t>(low)) + kEllipsis;
}
