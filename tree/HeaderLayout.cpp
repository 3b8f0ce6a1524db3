// Where a header cell shows its image, its sort mark and its text.
#include "tree/VirtualTrees.h"

#include <algorithm>

void TVirtualTreeColumn::ComputeHeaderLayout(HDC dc, const TRect& client, bool useHeaderGlyph, bool useSortGlyph,
                                             TPoint& headerGlyphPos, TPoint& sortGlyphPos, TRect& textBounds) {
  headerGlyphPos = TPoint{client.Left, client.Top};
  sortGlyphPos = TPoint{client.Left, client.Top};
  textBounds = TRect{client.Left, client.Top, client.Left, client.Top};
  TVTHeader* header = owner != nullptr ? owner->Header() : nullptr;
  TCustomImageList* images = header != nullptr ? header->Images() : nullptr;
  bool glyph = useHeaderGlyph && images != nullptr;
  bool hasText = !text.empty();
  if (!hasText && !glyph && !useSortGlyph) return;

  const int w = client.Width(), h = client.Height();
  const int gw = glyph ? images->Width() : 0, gh = glyph ? images->Height() : 0;
  TCustomImageList* utilities = GetUtilityImages();
  const int sw = useSortGlyph ? utilities->Width() : 0, sh = useSortGlyph ? utilities->Height() : 0;
  int tw = 0, th = 0;
  if (hasText) {
    SIZE size{};
    GetTextExtentPoint32W(dc, reinterpret_cast<const wchar_t*>(text.data()), static_cast<int>(text.size()), &size);
    tw = size.cx + 2;
    th = size.cy;
  }
  const int s = spacing;
  const int ts = hasText ? spacing : 0;
  const bool rtl = bidiMode != bdLeftToRight;
  const TAlignment align = rtl ? MirroredAlignment(alignment) : alignment;

  int gx = 0, gy = 0, sx = 0, tx = 0, ty = 0;
  const int sy = (h - sh) / 2;
  const bool vertical = glyph && (layout == blGlyphTop || layout == blGlyphBottom);
  const bool glyphLeft = glyph && layout == blGlyphLeft;
  const bool glyphRight = glyph && layout == blGlyphRight;

  if (!hasText && !glyph) {
    sx = (w - sw) / 2;  // the sort mark alone is centred
  } else {
    // Vertical placement.
    if (!vertical) {
      gy = (h - gh) / 2;
      ty = (h - th) / 2;
    } else if (layout == blGlyphTop) {
      gy = (h - gh - th - ts) / 2;
      ty = gy + gh + ts;
    } else {
      ty = (h - gh - th - ts) / 2;
      gy = ty + th + ts;
    }
    // Horizontal placement.
    if (!vertical) {
      int x;
      switch (align) {
        case taLeftJustify:
          x = margin;
          if (rtl && useSortGlyph) sx = x, x += sw + s;
          if (glyphLeft) gx = x, x += gw + s;
          tx = x;
          x = tx + tw + ts;
          if (glyphRight) gx = x, x += gw + s;
          if (!rtl && useSortGlyph) sx = x;
          break;
        case taRightJustify:
          x = w - margin;
          if (!rtl && useSortGlyph) sx = x - sw, x = sx - s;
          if (glyphRight) gx = x - gw, x = gx - s;
          tx = x - tw;
          x = tx - ts;
          if (glyphLeft) gx = x - gw, x = gx - s;
          if (rtl && useSortGlyph) sx = x - sw;
          break;
        default: {
          tx = (w - gw - ts - tw) / 2;
          if (glyphLeft) gx = tx, tx += gw + ts;
          if (glyphRight) gx = tx + tw + ts;
          int leftmost = glyph ? std::min(gx, tx) : tx;
          int rightmost = glyph ? std::max(gx + gw, tx + tw) : tx + tw;
          sx = rtl ? leftmost - s - sw : rightmost + s;
          break;
        }
      }
    } else {
      gx = (w - gw) / 2;
      int x;
      switch (align) {
        case taLeftJustify:
          x = margin;
          if (rtl && useSortGlyph) sx = x, x += sw + s;
          tx = x;
          gx = std::max(gx, tx);
          if (!rtl && useSortGlyph) sx = std::max(tx + tw, gx + gw) + s;
          break;
        case taRightJustify:
          x = w - margin;
          if (!rtl && useSortGlyph) sx = x - sw, x = sx - s;
          tx = x - tw;
          if (gx + gw + s > x) gx = x - gw - s;
          if (rtl && useSortGlyph) sx = std::min(tx, gx) - s - sw;
          break;
        default:
          tx = (w - tw) / 2 - (useSortGlyph ? sw / 2 : 0);
          sx = rtl ? std::min(tx, gx) - s - sw : std::max(tx + tw, gx + gw) + s;
          break;
      }
    }
  }

  // Keep everything inside the margins; the sort mark and the glyph win over the text.
  int minLeft = margin, maxRight = w - margin;
  if (useSortGlyph) {
    if (!rtl) {
      if (sx + sw > maxRight) sx = maxRight - sw;
      maxRight = sx - s;
    }
    if (sx < minLeft) sx = minLeft;
    if (rtl) minLeft = sx + sw + s;
  }
  if (glyph) {
    if (gx + gw > maxRight) gx = maxRight - gw;
    if (layout == blGlyphRight) maxRight = gx - s;
    if (gx < minLeft) gx = minLeft;
    if (layout == blGlyphLeft) minLeft = gx + gw + s;
  }
  if (hasText) {
    int left = std::max(tx, minLeft);
    textBounds = TRect{left, ty, std::min(left + tw, maxRight), ty + th};
  } else {
    textBounds = TRect{0, 0, 0, 0};
  }
  headerGlyphPos = TPoint{gx + client.Left, gy + client.Top};
  sortGlyphPos = TPoint{sx + client.Left, sy + client.Top};
  textBounds.Offset(client.Left, client.Top);
}
