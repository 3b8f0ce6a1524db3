// Paint elements: check images, node images with overlays, expand buttons,
// tree lines and bands, dotted lines, the rubber band, and the small queries
// the pipeline and the hit tests share (check image index, image slots).
#include <vssym32.h>

#include <algorithm>

#include "tree/VirtualTrees.h"

#include "win/graphics/Themes.h"

int TBaseVirtualTree::GetCheckImage(PVirtualNode node) {
  if (node == nullptr || node->CheckType == ctNone) return -1;
  TCheckState state = node->CheckState;
  bool mixed = state == csMixedNormal || state == csMixedPressed;
  int group;
  if (mixed) {
    group = 17;
  } else {
    bool checked = state == csCheckedNormal || state == csCheckedPressed;
    switch (node->CheckType) {
      case ctRadioButton: group = checked ? 5 : 1; break;
      case ctButton: group = 21; break;
      default: group = checked ? 13 : 9; break;
    }
  }
  bool enabled = !(node->States & vsDisabled) && Enabled();
  bool pressed = state == csUncheckedPressed || state == csCheckedPressed || state == csMixedPressed;
  if (!enabled) return group + 3;
  if (pressed) return group + 2;
  if (node == hotNode) return group + 1;
  return group;
}

void TBaseVirtualTree::GetImageIndex(TVTCellPaintInfo& paintInfo, TVTImageKind kind, TVTImageSlot slot,
                                     TCustomImageList* defaultImages) {
  TVTImageSlotInfo& entry = paintInfo.ImageInfo[slot];
  entry.Index = -1;
  entry.Ghosted = false;
  TCustomImageList* list = DoGetImageIndex(paintInfo.Node, kind, paintInfo.Column, entry.Ghosted, entry.Index);
  entry.Images = list != nullptr ? list : defaultImages;
}

namespace {
TColor SelectionColorOf(TVTColors* colors, bool focused) {
  return focused ? colors->FocusedSelectionColor() : colors->UnfocusedSelectionColor();
}
}  // namespace

void TBaseVirtualTree::PaintCheckImage(const TVTCellPaintInfo& paintInfo) {
  const TVTImageSlotInfo& entry = paintInfo.ImageInfo[imCheck];
  // A list a cell handler freed (held by the paint) draws nothing.
  if (entry.Index < 0 || entry.Images == nullptr || entry.Images->Going()) return;
  HDC dc = paintInfo.Canvas->Handle();
  if (!states.Contains(tsUseThemes) || checkImageKind == ckCustom || !ThemeServices()->ThemesEnabled()) {
    TCustomImageList* list = entry.Images;
    TColor foreground = list->BlendColor();
    if ((paintInfo.Node->States & vsSelected) && !entry.Ghosted)
      foreground = SelectionColorOf(colors, Focused() || options.paint.Contains(toPopupMode));
    ImageList_DrawEx(list->Handle(), entry.Index, dc, entry.XPos, entry.YPos, 0, 0,
                     ColorToImageListColor(list->BkColor()), ColorToImageListColor(foreground), ILD_TRANSPARENT);
    return;
  }
  TThemedElementDetails details;
  details.element = teButton;
  if (entry.Index <= 8) {
    details.part = BP_RADIOBUTTON;
    details.state = entry.Index;
  } else if (entry.Index <= 20) {
    details.part = BP_CHECKBOX;
    details.state = entry.Index - 8;
  } else {
    details.part = BP_PUSHBUTTON;
    details.state = entry.Index - 20;
  }
  ThemeServices()->DrawElement(dc, details, TRect{entry.XPos - 1, entry.YPos, entry.XPos + 16, entry.YPos + 16});
}

void TBaseVirtualTree::PaintImage(TVTCellPaintInfo& paintInfo, TVTImageSlot slot, bool doOverlay) {
  TVTImageSlotInfo& entry = paintInfo.ImageInfo[slot];
  if (entry.Index < 0 || entry.Images == nullptr) return;
  PVirtualNode node = paintInfo.Node;
  bool cut = (node->States & vsCutOrCopy) && states.Contains(tsCutPending);
  TVTImageSlotInfo& overlay = paintInfo.ImageInfo[imOverlay];
  overlay.Index = -1;
  // The overlay's handler may free the form, and the list with it: held, the
  // list lives to the end here, and nothing is drawn from a going one.
  TObject::THold list(entry.Images);
  if (doOverlay) GetImageIndex(paintInfo, ikOverlay, imOverlay, entry.Images);
  if (TreeGoing() || entry.Images->Going()) return;
  bool selected = (node->States & vsSelected) != 0;
  bool enabled = !(node->States & vsDisabled) && Enabled();

  UINT style = ILD_TRANSPARENT;
  if (overlay.Index >= 0 && overlay.Index <= 14) style |= INDEXTOOVERLAYMASK(overlay.Index + 1);
  TColor blend = selected && !entry.Ghosted ? clDefault : Color();
  bool blendedLook = entry.Ghosted || cut ||
                     (selected && !options.selection.Contains(toFullRowSelect) &&
                      !options.misc.Contains(toGridExtensions));
  if (options.paint.Contains(toUseBlendedImages) &&
      (Focused() || options.paint.Contains(toGhostedIfUnfocused)) && blendedLook)
    style |= ILD_BLEND50;
  TCanvas* canvas = paintInfo.Canvas;
  entry.Images->DrawStyled(canvas, entry.XPos, entry.YPos, entry.Index, style, blend, enabled);
  if (overlay.Index > 14 && overlay.Images != nullptr)
    overlay.Images->DrawStyled(canvas, entry.XPos, entry.YPos, overlay.Index, style & ~ILD_OVERLAYMASK, blend,
                               enabled);
}

void TBaseVirtualTree::PaintNodeButton(TCanvas* canvas, PVirtualNode node, TColumnIndex column,
                                       const TRect& cellRect, int buttonX, int buttonY, TBiDiMode bidiMode) {
  TBitmap* bitmap = (node->States & vsExpanded) ? paintResources.minusBM : paintResources.plusBM;
  if (bitmap == nullptr) return;
  int x = bidiMode == bdLeftToRight ? cellRect.Left + buttonX : cellRect.Right - buttonX - bitmap->Width();
  canvas->Draw(x, cellRect.Top + buttonY, bitmap);
}

void TBaseVirtualTree::DrawDottedHLine(const TVTCellPaintInfo& paintInfo, int left, int right, int top) {
  if (paintResources.dottedBrush == nullptr) return;
  HDC dc = paintInfo.Canvas->Handle();
  COLORREF oldText = SetTextColor(dc, ColorToRGB(paintInfo.Canvas->Font()->Color()));
  COLORREF oldBack = SetBkColor(dc, ColorToRGB(Color()));
  RECT r{std::min(left, right), top, std::max(left, right) + 1, top + 1};
  FillRect(dc, &r, paintResources.dottedBrush);
  SetBkColor(dc, oldBack);
  SetTextColor(dc, oldText);
}

void TBaseVirtualTree::DrawDottedVLine(const TVTCellPaintInfo& paintInfo, int top, int bottom, int left) {
  if (paintResources.dottedBrush == nullptr) return;
  HDC dc = paintInfo.Canvas->Handle();
  COLORREF oldText = SetTextColor(dc, ColorToRGB(paintInfo.Canvas->Font()->Color()));
  COLORREF oldBack = SetBkColor(dc, ColorToRGB(Color()));
  RECT r{left, std::min(top, bottom), left + 1, std::max(top, bottom) + 1};
  FillRect(dc, &r, paintResources.dottedBrush);
  SetBkColor(dc, oldBack);
  SetTextColor(dc, oldText);
}

void TBaseVirtualTree::DrawLineImage(const TVTCellPaintInfo& paintInfo, int x, int y, int h, int vAlign,
                                     TVTLineType style, bool reverse) {
  int halfWidth = static_cast<int>(indent) / 2;
  int targetX = reverse ? 0 : static_cast<int>(indent);
  auto vertical = [&](int from, int to) { DrawDottedVLine(paintInfo, from, to, x + halfWidth); };
  auto horizontal = [&] { DrawDottedHLine(paintInfo, x + halfWidth, x + targetX, y + vAlign); };
  switch (style) {
    case ltBottomRight:
      vertical(y + vAlign, y + h);
      horizontal();
      break;
    case ltTopDown: vertical(y, y + h); break;
    case ltTopDownRight:
      vertical(y, y + h);
      horizontal();
      break;
    case ltRight: horizontal(); break;
    case ltTopRight:
      vertical(y, y + vAlign);
      horizontal();
      break;
    case ltLeft: DrawDottedVLine(paintInfo, y, y + h, reverse ? x + static_cast<int>(indent) : x); break;
    case ltLeftBottom:
      DrawDottedVLine(paintInfo, y, y + h, reverse ? x + static_cast<int>(indent) : x);
      DrawDottedHLine(paintInfo, x, x + static_cast<int>(indent), y + h);
      break;
    default: break;
  }
}

void TBaseVirtualTree::PaintTreeLines(const TVTCellPaintInfo& paintInfo, int vAlignment, int indentSize,
                                      const TLineImage& lineImage) {
  bool rightToLeft = paintInfo.BidiMode != bdLeftToRight;
  int step = rightToLeft ? -static_cast<int>(indent) : static_cast<int>(indent);
  int x = rightToLeft ? paintInfo.CellRect.Right - static_cast<int>(indent) : paintInfo.CellRect.Left;
  int top = paintInfo.CellRect.Top;
  int height = paintInfo.Node->NodeHeight;
  if (lineMode == lmNormal) {
    paintInfo.Canvas->Font()->SetColor(colors->TreeLineColor());
    for (int i = 0; i < indentSize; ++i, x += step)
      DrawLineImage(paintInfo, x, top, height, vAlignment, lineImage[i], rightToLeft);
    return;
  }
  if (!paintInfo.PaintOptions.Contains(ppGridLines) || height == 0) return;
  // Bands: from the deepest level up, each level's band follows its line image.
  TLineImage bands(indentSize, ltNone);
  bool open = (paintInfo.Node->States & vsExpanded) && !(paintInfo.Node->States & vsAllChildrenHidden);
  for (int i = indentSize - 1; i >= 0; --i) {
    if (open) {
      bands[i] = ltLeft;
      continue;
    }
    switch (lineImage[i]) {
      case ltBottomRight:
      case ltTopDownRight:
      case ltRight:
      case ltTopRight: bands[i] = ltLeftBottom; break;
      case ltNone:
      case ltTopDown: {
        // The deepest level has no deeper neighbour: it counts as one without lines.
        TVTLineType deeper = i + 1 < indentSize ? lineImage[i + 1] : ltNone;
        bands[i] = deeper != ltNone && deeper != ltTopRight ? ltLeft : (i + 1 < indentSize ? bands[i + 1] : ltNone);
        break;
      }
      default: bands[i] = ltNone; break;
    }
  }
  paintInfo.Canvas->Font()->SetColor(colors->GridLineColor());
  for (int i = 0; i < indentSize; ++i, x += step)
    DrawLineImage(paintInfo, x, top, height - 1, vAlignment, bands[i], rightToLeft);
}

void TBaseVirtualTree::PaintSelectionRectangle(TCanvas* canvas, int windowOrgX, const TRect& selectionRect,
                                               const TRect& targetRect) {
  TRect r = OrderRect(selectionRect);
  HDC dc = canvas->Handle();
  if (drawSelectionMode == smDottedRectangle && !states.Contains(tsUseThemes)) {
    COLORREF oldText = SetTextColor(dc, RGB(255, 255, 255));
    COLORREF oldBack = SetBkColor(dc, RGB(0, 0, 0));
    RECT rect{r.Left, r.Top, r.Right, r.Bottom};
    DrawFocusRect(dc, &rect);
    SetBkColor(dc, oldBack);
    SetTextColor(dc, oldText);
    return;
  }
  TRect pixels{r.Left - windowOrgX, r.Top, r.Right - windowOrgX, r.Bottom};
  TRect clipped = IntersectRect(pixels, targetRect);
  if (clipped.IsEmpty()) return;
  GdiFlush();
  BlendBitmapRect(nullptr, dc, clipped, TPoint{}, 3, selectionBlendFactor,
                  static_cast<int>(ColorToRGB(colors->SelectionRectangleBlendColor())));
  HBRUSH frame = CreateSolidBrush(ColorToRGB(colors->SelectionRectangleBorderColor()));
  RECT rect{r.Left, r.Top, r.Right, r.Bottom};
  FrameRect(dc, &rect, frame);
  DeleteObject(frame);
}

void TBaseVirtualTree::AdjustPaintCellRect(TVTCellPaintInfo& paintInfo, TColumnIndex& nextNonEmpty) {
  nextNonEmpty = NextVisibleColumn(paintInfo.Column);
}

namespace {

using FontChangedMethod = void (TBaseVirtualTree::*)(TObject*);

}  // namespace

void TBaseVirtualTree::RedirectFontChangeEvent(TCanvas* canvas) {
  TNotifyEvent own = MakeEvent<static_cast<FontChangedMethod>(&TBaseVirtualTree::FontChanged)>(this);
  // Redirecting twice must not make the tree call itself.
  if (canvas->Font()->OnChange == own) return;
  savedFontChange = canvas->Font()->OnChange;
  canvas->Font()->OnChange = own;
}

void TBaseVirtualTree::RestoreFontChangeEvent(TCanvas* canvas) {
  canvas->Font()->OnChange = savedFontChange;
  savedFontChange = TNotifyEvent();
}

void TBaseVirtualTree::FontChanged(TObject* sender) {
  fontChanged = true;
  if (savedFontChange) savedFontChange(sender);
}
