// Header painting: every visible column as a button in the header's style
// (themes, the emulated flat face, or classic edges), with header image,
// sort mark, text and drop mark; owner drawing of all or some elements.
#include "tree/VirtualTrees.h"

#include <algorithm>

#include "win/graphics/Themes.h"

namespace {

struct TEdgeKinds {
  UINT normal, normalFlags, pressed, pressedFlags;
};

TEdgeKinds EdgeKindsOf(TVTHeaderStyle style) {
  switch (style) {
    case hsThickButtons: return {EDGE_RAISED, 0x380B, EDGE_RAISED, 0x780F};
    case hsFlatButtons: return {BDR_RAISEDINNER, 0x280B, BDR_SUNKENOUTER, 0x280F};
    default: return {BDR_RAISEDINNER, 0x380F, BDR_SUNKENOUTER, 0x280F};
  }
}

void HLine(HDC dc, int x1, int x2, int y, COLORREF c) { FillSolidRect(dc, TRect{x1, y, x2, y + 1}, c); }
void VLine(HDC dc, int x, int y1, int y2, COLORREF c) { FillSolidRect(dc, TRect{x, y1, x + 1, y2}, c); }

COLORREF Darker(COLORREF c) {
  return RGB(std::max(0, GetRValue(c) - 11), std::max(0, GetGValue(c) - 12), std::max(0, GetBValue(c) - 12));
}

// The flat, themed-looking face of hsXPStyle where the platform draws no themes.
void DrawFlatFace(HDC dc, const TRect& r, bool hot, bool pressed, bool rightBorder) {
  COLORREF face = pressed ? RGB(222, 223, 216) : (hot ? RGB(250, 248, 243) : RGB(235, 234, 219));
  FillSolidRect(dc, r, face);
  if (pressed) {
    HLine(dc, r.Left, r.Right, r.Bottom - 1, RGB(165, 165, 151));
    VLine(dc, r.Left, r.Top, r.Bottom, RGB(165, 165, 151));
    VLine(dc, r.Right - 1, r.Top, r.Bottom, RGB(165, 165, 151));
    VLine(dc, r.Left + 1, r.Top, r.Bottom - 1, RGB(193, 194, 184));
    HLine(dc, r.Left + 1, r.Right - 1, r.Top, RGB(193, 194, 184));
    VLine(dc, r.Left + 2, r.Top + 1, r.Bottom - 1, RGB(208, 209, 201));
    HLine(dc, r.Left + 2, r.Right - 1, r.Top + 1, RGB(208, 209, 201));
    return;
  }
  if (hot) {
    TCustomImageList* utilities = GetUtilityImages();
    HIMAGELIST list = utilities->Handle();
    int y = r.Bottom - 16;
    int width = r.Width();
    if (width < 33) {
      ImageList_DrawEx(list, 6, dc, r.Left, y, width / 2, 16, CLR_NONE, CLR_NONE, ILD_TRANSPARENT);
      ImageList_Draw(list, 8, dc, r.Right - 16, y, ILD_TRANSPARENT);
      return;
    }
    ImageList_Draw(list, 6, dc, r.Left, y, ILD_TRANSPARENT);
    for (int x = r.Left + 16; x < r.Right - 16; x += 16)
      ImageList_DrawEx(list, 7, dc, x, y, std::min(16, r.Right - 16 - x), 16, CLR_NONE, CLR_NONE, ILD_TRANSPARENT);
    ImageList_Draw(list, 8, dc, r.Right - 16, y, ILD_TRANSPARENT);
    return;
  }
  if (rightBorder) {
    VLine(dc, r.Right - 2, r.Top + 3, r.Bottom - 5, RGB(199, 197, 178));
    VLine(dc, r.Right - 1, r.Top + 3, r.Bottom - 5, RGB(255, 255, 255));
  }
  COLORREF line1 = Darker(face);
  HLine(dc, r.Left, r.Right, r.Bottom - 3, line1);
  HLine(dc, r.Left, r.Right, r.Bottom - 2, Darker(line1));
  HLine(dc, r.Left, r.Right, r.Bottom - 1, RGB(203, 199, 184));
}

// The column's caption: shortened to its rectangle, embossed when disabled.
void DrawButtonText(HDC dc, const std::u16string& caption, TRect bounds, bool enabled, bool hot, UINT flags,
                    TColor hotColor, TColor fontColor) {
  std::u16string text = caption;
  SIZE size{};
  GetTextExtentPoint32W(dc, reinterpret_cast<const wchar_t*>(text.data()), static_cast<int>(text.size()), &size);
  if (size.cx > bounds.Width()) text = ShortenString(dc, text, bounds.Width(), (flags & DT_RTLREADING) != 0);
  SetBkMode(dc, TRANSPARENT);
  auto draw = [&](const TRect& r) {
    RECT rc = r.ToRECT();
    DrawTextW(dc, reinterpret_cast<const wchar_t*>(text.c_str()), static_cast<int>(text.size()), &rc, flags);
  };
  if (enabled) {
    SetTextColor(dc, ColorToRGB(hot ? hotColor : fontColor));
    draw(bounds);
    return;
  }
  TRect moved = bounds;
  moved.Offset(1, 1);
  SetTextColor(dc, GetSysColor(COLOR_BTNHIGHLIGHT));
  draw(moved);
  SetTextColor(dc, GetSysColor(COLOR_BTNSHADOW));
  draw(bounds);
}

}  // namespace

void TVirtualTreeColumns::PaintColumnCell(TCanvas* canvas, TVirtualTreeColumn* column, const TRect& cell,
                                          bool ownerDraw) {
  TBaseVirtualTree* tree = Tree();
  HDC dc = canvas->Handle();
  const TVTHeaderOptions headerOptions = header->Options();
  const bool themed = tree->TreeStates().Contains(tsUseThemes) && ThemeServices()->ThemesEnabled();
  const TEdgeKinds edges = EdgeKindsOf(header->Style());

  THeaderPaintInfo info;
  info.TargetCanvas = canvas;
  info.Column = column;
  info.PaintRectangle = cell;
  info.IsHoverIndex = column->Index() == hoverIndex && headerOptions.Contains(hoHotTrack) &&
                      column->Options().Contains(coEnabled);
  info.IsDownIndex = column->Index() == downIndex;
  info.IsEnabled = column->Options().Contains(coEnabled) && tree->Enabled();
  info.ShowHeaderGlyph = headerOptions.Contains(hoShowImages) && header->Images() != nullptr &&
                         column->ImageIndex() > -1;
  info.ShowSortGlyph = column->Index() == header->SortColumn() && headerOptions.Contains(hoShowSortGlyphs);
  info.ShowRightBorder = headerOptions.Contains(hoAutoResize) && header->Style() != hsThickButtons &&
                         column->Index() != GetLastVisibleColumn();
  if (column->Options().Contains(coShowDropMark) && column->Index() == dropTarget &&
      column->Index() != header->dragColumn)
    info.DropMark = dropBefore ? dmmLeft : dmmRight;

  // A drawing handler may free the tree or delete this column: the cell ends there.
  auto lost = [&] { return tree->Going() || column->Going(); };
  // Which elements the application draws.
  THeaderPaintElements custom = 0;
  if (ownerDraw) {
    if (tree->OnHeaderDrawQueryElements) {
      tree->DoHeaderDrawQueryElements(info, custom);
      if (lost()) return;
    } else if (tree->OnHeaderDraw) {
      tree->DoHeaderDraw(canvas, column, cell, info.IsHoverIndex, info.IsDownIndex, info.DropMark);
      return;
    }
  }

  if (custom & hpeBackground) {
    tree->DoAdvancedHeaderDraw(info, hpeBackground);
    if (lost()) return;
  } else if (themed) {
    ThemeServices()->DrawHeaderItem(dc, cell, info.IsHoverIndex, info.IsDownIndex);
  } else if (header->Style() == hsXPStyle) {
    DrawFlatFace(dc, cell, info.IsHoverIndex, info.IsDownIndex, info.ShowRightBorder);
  } else {
    FillSolidRect(dc, cell, ColorToRGB(header->Background()));
    RECT rc = cell.ToRECT();
    bool plateHot = info.IsHoverIndex && header->Style() >= hsPlates && !info.IsDownIndex;
    if (info.IsDownIndex)
      DrawEdge(dc, &rc, edges.pressed, edges.pressedFlags);
    else if (plateHot)
      DrawEdge(dc, &rc, BDR_RAISEDINNER, 0x280B);
    else
      DrawEdge(dc, &rc, edges.normal, edges.normalFlags | (info.ShowRightBorder ? BF_RIGHT : 0));
  }

  TRect content = cell;
  content.Inflate(-2, -2);
  UINT flags = DT_LEFT | DT_NOPREFIX | (column->IsRightToLeft() ? DT_RTLREADING : 0);
  SelectObject(dc, header->Font()->Handle());
  column->ComputeHeaderLayout(dc, content, info.ShowHeaderGlyph, info.ShowSortGlyph, info.GlyphPos,
                              info.SortGlyphPos, info.TextRectangle);
  if (info.IsDownIndex) {
    info.GlyphPos.X += 1, info.GlyphPos.Y += 1;
    info.SortGlyphPos.X += 1, info.SortGlyphPos.Y += 1;
    info.TextRectangle.Offset(1, 1);
  }
  TCustomImageList* utilities = GetUtilityImages();

  if (info.ShowHeaderGlyph) {
    if (custom & hpeHeaderGlyph) {
      tree->DoAdvancedHeaderDraw(info, hpeHeaderGlyph);
      if (lost()) return;
    } else {
      bool intoSortGlyph = info.ShowSortGlyph && !column->IsRightToLeft() &&
                           info.GlyphPos.X + header->Images()->Width() > info.SortGlyphPos.X;
      if (!intoSortGlyph)
        header->Images()->Draw(canvas, info.GlyphPos.X, info.GlyphPos.Y, column->ImageIndex(), info.IsEnabled);
    }
  }
  if (!column->Text().empty()) {
    if (custom & hpeText) {
      tree->DoAdvancedHeaderDraw(info, hpeText);
      if (lost()) return;
    } else {
      SelectObject(dc, header->Font()->Handle());
      DrawButtonText(dc, column->Text(), info.TextRectangle, info.IsEnabled, info.IsHoverIndex && !themed, flags,
                     tree->Colors()->HeaderHotColor(), header->Font()->Color());
    }
  }
  if (info.ShowSortGlyph) {
    if (custom & hpeSortGlyph) {
      tree->DoAdvancedHeaderDraw(info, hpeSortGlyph);
      if (lost()) return;
    } else {
      int index = header->SortDirection() == sdAscending ? 3 : 2;
      if (themed) index += 2;
      utilities->Draw(canvas, info.SortGlyphPos.X, info.SortGlyphPos.Y, index);
    }
  }
  if (info.DropMark != dmmNone) {
    if (custom & hpeDropMark) {
      tree->DoAdvancedHeaderDraw(info, hpeDropMark);
      if (lost()) return;
    } else {
      int y = cell.Top + (cell.Height() - utilities->Height()) / 2;
      if (info.DropMark == dmmLeft)
        utilities->Draw(canvas, cell.Left, y, 0);
      else
        utilities->Draw(canvas, cell.Right - utilities->Width(), y, 1);
    }
  }
}

void TVirtualTreeColumns::PaintHeader(HDC dc, const TRect& r, int hOffset) {
  TBaseVirtualTree* tree = Tree();
  int width = r.Width(), height = r.Height();
  if (tree == nullptr || width <= 0 || height <= 0) return;
  if (headerBitmap == nullptr) {
    headerBitmap = New<TBitmap>();
    headerBitmap->SetPixelFormat(pf32bit);
  }
  if (headerBitmap->Width() != width || headerBitmap->Height() != height) headerBitmap->SetSize(width, height);
  TCanvas* canvas = headerBitmap->Canvas();
  canvas->SetFont(header->Font());
  HDC target = canvas->Handle();
  const bool themed = tree->TreeStates().Contains(tsUseThemes) && ThemeServices()->ThemesEnabled();
  const bool ownerDraw = header->Options().Contains(hoOwnerDraw) && !tree->IsTreeDesigning();
  // The drawing handlers may free the tree, and this header with it.
  TObject::THold hold(tree);

  // The background right of the columns, and the base of every cell.
  TRect all{0, 0, width, height};
  if (ownerDraw && tree->OnHeaderDrawQueryElements) {
    THeaderPaintInfo info;
    info.TargetCanvas = canvas;
    info.PaintRectangle = all;
    THeaderPaintElements custom = 0;
    tree->DoHeaderDrawQueryElements(info, custom);
    if (tree->Going()) return;
    if (custom & hpeBackground) tree->DoAdvancedHeaderDraw(info, hpeBackground);
    else FillSolidRect(target, all, ColorToRGB(header->Background()));
    if (tree->Going()) return;
  } else if (themed) {
    ThemeServices()->DrawHeaderItem(target, TRect{0, 0, width + 2, height}, false, false);
  } else if (header->Style() == hsXPStyle) {
    DrawFlatFace(target, all, false, false, false);
  } else {
    FillSolidRect(target, all, ColorToRGB(header->Background()));
  }

  // A right-to-left tree with a vertical scroll bar on the left shifts the columns past it.
  int shift = 0;
  if (tree->UseRightToLeftAlignment() && TotalWidth() > tree->ClientWidth())
    shift = GetSystemMetrics(SM_CXVSCROLL);
  // A drawing handler that deletes, adds or moves columns ends the walk; the
  // change repaints the header.
  for (TVirtualTreeColumn* column : VisibleColumns()) {
    int left = column->StoredLeft() + (column->Options().Contains(coFixed) ? 0 : hOffset) + shift;
    TRect cell{left, 0, left + column->Width(), height};
    if (cell.Right <= 0 || cell.Left >= width) continue;
    PaintColumnCell(canvas, column, cell, ownerDraw);
    // A drawing handler that freed the tree ends the paint.
    if (tree->Going()) return;
  }
  BitBlt(dc, r.Left, r.Top, width, height, target, 0, 0, SRCCOPY);
}
