// Small routines of the tree unit: the tree of a node, rectangle and pointer
// helpers, colour conversion, alpha blending of 32-bit bitmaps, wide text
// drawing without DrawTextW and the drag-image strip geometry.
#include <algorithm>

#include "tree/VirtualTrees.h"

TBaseVirtualTree* TreeOfNode(PVirtualNode node) {
  VT_ASSERT(node != nullptr, "Node must not be nil.");
  // The hidden root is the node whose next sibling is itself; its parent link holds the tree.
  while (node->NextSibling != node) node = node->Parent;
  auto* core = reinterpret_cast<TVirtualTreeCore*>(node->Parent);
  return dynamic_cast<TBaseVirtualTree*>(core);
}

TRect OrderRect(const TRect& r) {
  return TRect{std::min(r.Left, r.Right), std::min(r.Top, r.Bottom), std::max(r.Left, r.Right),
               std::max(r.Top, r.Bottom)};
}

void SortPointerArray(std::vector<uintptr_t>& values, int l, int r) {
  if (l < 0 || r >= static_cast<int>(values.size()) || l >= r) return;
  std::sort(values.begin() + l, values.begin() + r + 1);
}

COLORREF ColorToImageListColor(TColor color) {
  if (color == clNone) return CLR_NONE;
  if (color == clDefault) return CLR_DEFAULT;
  return ColorToRGB(color);
}

namespace {
// The 32-bit pixels of the DIB section selected into dc, with its row layout.
struct TDibPixels {
  uint8_t* bits = nullptr;
  int width = 0;
  int height = 0;
  bool bottomUp = true;
  uint8_t* Row(int y) const {
    int row = bottomUp ? height - 1 - y : y;
    return bits + size_t(row) * size_t(width) * 4;
  }
  bool Inside(int x, int y, int count) const { return y >= 0 && y < height && x >= 0 && x + count <= width; }
};

TDibPixels DibOf(HDC dc) {
  TDibPixels result;
  HGDIOBJ bitmap = GetCurrentObject(dc, OBJ_BITMAP);
  DIBSECTION dib{};
  if (bitmap == nullptr || GetObjectW(bitmap, sizeof(dib), &dib) != sizeof(dib))
    TreeAssertFailed("Alpha blending DC error: no bitmap available.", __FILE__, __LINE__);
  VT_ASSERT(dib.dsBm.bmPlanes * dib.dsBm.bmBitsPixel == 32, "Alpha blending error: bitmap must use 32 bpp.");
  VT_ASSERT(dib.dsBm.bmBits != nullptr, "Alpha blending DC error: no bitmap available.");
  result.bits = static_cast<uint8_t*>(dib.dsBm.bmBits);
  result.width = dib.dsBm.bmWidth;
  result.height = dib.dsBm.bmHeight < 0 ? -dib.dsBm.bmHeight : dib.dsBm.bmHeight;
  result.bottomUp = dib.dsBmih.biHeight > 0;
  return result;
}

// One byte blended as the 16-bit lanes do it: the product wraps in 16 bits,
// the shift is unsigned, the bias is added and the result saturated.
uint8_t BlendByte(int d, int s, int a, int bias) {
  uint16_t product = static_cast<uint16_t>((s - d) * a);
  uint16_t sum = static_cast<uint16_t>(d * 256 + product);
  int value = (sum >> 8) + bias;
  return static_cast<uint8_t>(std::clamp(value, 0, 255));
}
}  // namespace

void BlendBitmapRect(HDC source, HDC destination, const TRect& r, TPoint target, int mode, int constantAlpha,
                     int bias) {
  if (r.IsEmpty()) return;
  TDibPixels dst = DibOf(destination);
  int count = r.Right - r.Left;
  int rows = r.Bottom - r.Top;
  if (mode == 3) {
    uint8_t color[4] = {uint8_t(bias >> 16), uint8_t(bias >> 8), uint8_t(bias), 0};  // B, G, R meet 0x00BBGGRR
    for (int y = 0; y < rows; ++y) {
      if (!dst.Inside(r.Left, r.Top + y, count)) continue;
      uint8_t* p = dst.Row(r.Top + y) + size_t(r.Left) * 4;
      for (int i = 0; i < count * 4; ++i)
        p[i] = static_cast<uint8_t>((p[i] * (256 - constantAlpha) + color[i % 4] * constantAlpha) >> 8);
    }
    return;
  }
  TDibPixels src = DibOf(source);
  for (int y = 0; y < rows; ++y) {
    int sourceX = mode == 2 ? target.X : r.Left;
    int destX = mode == 2 ? 0 : target.X;
    if (!src.Inside(sourceX, r.Top + y, count) || !dst.Inside(destX, target.Y + y, count)) continue;
    const uint8_t* s = src.Row(r.Top + y) + size_t(sourceX) * 4;
    uint8_t* d = dst.Row(target.Y + y) + size_t(destX) * 4;
    for (int x = 0; x < count; ++x, s += 4, d += 4) {
      int a = constantAlpha;
      if (mode == 1) a = s[3];
      if (mode == 2) a = (s[3] * constantAlpha) >> 8;
      for (int b = 0; b < 4; ++b) d[b] = BlendByte(d[b], s[b], a, bias);
    }
  }
}

void DrawWideTextFallback(HDC dc, const std::u16string& text, int length, TRect& r, UINT flags, bool adjustRight) {
  length = std::clamp(length, 0, static_cast<int>(text.size()));
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  int lineHeight = metrics.tmHeight;
  // Split into lines: NUL, LF, CR and U+2028 end a line; CR LF counts once.
  std::vector<std::u16string> lines;
  if (flags & DT_SINGLELINE) {
    lines.emplace_back(text.substr(0, length));
  } else {
    std::u16string current;
    for (int i = 0; i < length; ++i) {
      char16_t c = text[i];
      if (c == 0 || c == u'\n' || c == u'\r' || c == 0x2028) {
        lines.push_back(current);
        current.clear();
        if ((c == u'\r' || c == 0x2028) && i + 1 < length && text[i + 1] == u'\n') ++i;
        if (c == 0) break;
        continue;
      }
      current += c;
    }
    lines.push_back(current);
  }
  UINT oldAlign = GetTextAlign(dc);
  if (flags & DT_CALCRECT) {
    int widest = 0;
    for (const std::u16string& line : lines) {
      SIZE size{};
      GetTextExtentPoint32W(dc, reinterpret_cast<LPCWSTR>(line.c_str()), static_cast<int>(line.size()), &size);
      widest = std::max(widest, static_cast<int>(size.cx));
    }
    if (adjustRight) r.Right = r.Left + widest;
    r.Bottom = r.Top + lineHeight * static_cast<int>(lines.size());
    SetTextAlign(dc, oldAlign);
    return;
  }
  UINT options = (flags & DT_NOCLIP) ? 0 : ETO_CLIPPED;
  if (flags & DT_RTLREADING) options |= ETO_RTLREADING;
  int x = r.Left;
  UINT align = TA_LEFT;
  if (flags & DT_RIGHT) {
    x = r.Right;
    align = TA_RIGHT;
  } else if (flags & DT_CENTER) {
    x = (r.Left + r.Right) / 2;
    align = TA_CENTER;
  }
  SetTextAlign(dc, align | TA_TOP);
  int y = (flags & DT_VCENTER) ? (r.Top + r.Bottom - lineHeight) / 2 : r.Top;
  for (const std::u16string& line : lines) {
    if (y >= r.Bottom) break;
    RECT clip{r.Left, y, r.Right, std::min<int>(y + lineHeight, r.Bottom)};
    ExtTextOutW(dc, x, y, options, &clip, reinterpret_cast<LPCWSTR>(line.c_str()), static_cast<UINT>(line.size()),
                nullptr);
    y += lineHeight;
  }
  SetTextAlign(dc, oldAlign);
}

void ComputeDragRectangles(int dragWidth, int dragHeight, int deltaX, int deltaY, TRect& rSamp1, TRect& rSamp2,
                           TRect& rDraw1, TRect& rDraw2) {
  // The picture moves by (-deltaX, -deltaY). In picture coordinates of the old
  // place, the strips it uncovers are drawn back (rDraw) and, in those of the
  // new place, the strips it newly covers are sampled (rSamp).
  rSamp1 = rSamp2 = rDraw1 = rDraw2 = TRect{};
  int dx = -deltaX, dy = -deltaY;
  if (dx > 0) {
    rDraw1 = TRect{0, 0, dx, dragHeight};
    rSamp1 = TRect{dragWidth - dx, 0, dragWidth, dragHeight};
  } else if (dx < 0) {
    rDraw1 = TRect{dragWidth + dx, 0, dragWidth, dragHeight};
    rSamp1 = TRect{0, 0, -dx, dragHeight};
  }
  if (dy > 0) {
    rDraw2 = TRect{0, 0, dragWidth, dy};
    rSamp2 = TRect{0, dragHeight - dy, dragWidth, dragHeight};
  } else if (dy < 0) {
    rDraw2 = TRect{0, dragHeight + dy, dragWidth, dragHeight};
    rSamp2 = TRect{0, 0, dragWidth, -dy};
  }
  if (dx == 0) {
    std::swap(rDraw1, rDraw2);
    std::swap(rSamp1, rSamp2);
  }
}

TAlignment MirroredAlignment(TAlignment alignment) {
  if (alignment == taLeftJustify) return taRightJustify;
  if (alignment == taRightJustify) return taLeftJustify;
  return alignment;
}

void FillSolidRect(HDC dc, const TRect& r, COLORREF color) {
  RECT rc = r.ToRECT();
  HBRUSH brush = CreateSolidBrush(color);
  FillRect(dc, &rc, brush);
  DeleteObject(brush);
}

TCustomImageList* MakeImageListFromStrip(int size, int count,
                                         const std::function<void(HDC dc, int index, int left)>& draw) {
  const COLORREF mask = RGB(255, 0, 255);
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP strip = CreateCompatibleBitmap(screen, size * count, size);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(dc, strip);
  FillSolidRect(dc, TRect{0, 0, size * count, size}, mask);
  for (int i = 0; i < count; ++i) draw(dc, i, i * size);
  SelectObject(dc, old);
  DeleteDC(dc);
  HIMAGELIST handle = ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, count, 0);
  ImageList_AddMasked(handle, strip, mask);
  DeleteObject(strip);
  TCustomImageList* list = New<TCustomImageList>(nullptr);
  list->SetHandle(handle);
  return list;
}
