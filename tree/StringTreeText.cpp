// Text in the string tree's cells: painting normal and static text with
// alignment, margins and shortening, measuring widths, heights of
// multi-line cells, column spanning and the editor's text information.
#include "tree/VirtualTrees.h"

namespace {

UINT AlignmentFlag(TAlignment alignment) {
  switch (alignment) {
    case taRightJustify: return DT_RIGHT;
    case taCenter: return DT_CENTER;
    default: return DT_LEFT;
  }
}

}  // namespace

TCustomVirtualStringTree::~TCustomVirtualStringTree() { FreeAndNil(measureBitmap); }

TCanvas* TCustomVirtualStringTree::TextCanvas() {
  if (Canvas()->HandleAllocated()) return Canvas();
  if (measureBitmap == nullptr) {
    measureBitmap = New<TBitmap>();
    measureBitmap->SetSize(1, 1);
  }
  TCanvas* canvas = measureBitmap->Canvas();
  canvas->SetFont(Font());
  return canvas;
}

// ---- Measuring ----------------------------------------------------------------------

int TCustomVirtualStringTree::DoTextMeasure(TCanvas* canvas, PVirtualNode node, TColumnIndex column,
                                            const std::u16string& text) {
  return canvas->TextExtent(text).cx;
}

int TCustomVirtualStringTree::CalculateTextWidth(TCanvas* canvas, PVirtualNode node, TColumnIndex column,
                                                 const std::u16string& text) {
  int result = 2 * TextMargin();
  if (text.empty()) return result;
  canvas->SetFont(Font());
  DoPaintText(node, canvas, column, ttNormal);
  return result + DoTextMeasure(canvas, node, column, text);
}

TColumnIndex TCustomVirtualStringTree::SpanEmptyColumns(PVirtualNode node, TColumnIndex column, TRect& cellRect) {
  TVirtualTreeColumns* columns = header->Columns();
  TColumnIndex next = columns->GetNextVisibleColumn(column);
  if (!options.autoOptions.Contains(toAutoSpanColumns) || columns->Count() == 0 ||
      ColumnBiDiMode(column) != bdLeftToRight)
    return next;
  // A handler that changes the columns ends the span: the indices went stale.
  const uint32_t columnSet = columns->Changes();
  while (next != InvalidColumn) {
    TVirtualTreeColumn* c = columns->Items(next);
    if (!DoGetCellIsEmpty(node, next) || columns->Changes() != columnSet || c->BiDiMode() != bdLeftToRight) break;
    cellRect.Right += c->Width();
    next = columns->GetNextVisibleColumn(next);
  }
  return next;
}

void TCustomVirtualStringTree::AdjustPaintCellRect(TVTCellPaintInfo& paintInfo, TColumnIndex& nextNonEmpty) {
  if (!options.autoOptions.Contains(toAutoSpanColumns) || header->Columns()->Count() == 0) {
    TBaseVirtualTree::AdjustPaintCellRect(paintInfo, nextNonEmpty);
    return;
  }
  nextNonEmpty = SpanEmptyColumns(paintInfo.Node, paintInfo.Column, paintInfo.CellRect);
}

int TCustomVirtualStringTree::ComputeNodeHeight(TCanvas* canvas, PVirtualNode node, TColumnIndex column,
                                                std::u16string s) {
  if (s.empty()) s = GetText(node, column);
  TRect r = GetDisplayRect(node, column, /*textOnly=*/false, /*unclipped=*/true);
  UINT flags = DT_TOP | DT_NOPREFIX | DT_CALCRECT | DT_WORDBREAK;
  TBiDiMode bidiMode = ColumnBiDiMode(column);
  if (bidiMode != bdLeftToRight) flags |= DT_RTLREADING | DT_RIGHT;
  SpanEmptyColumns(node, column, r);
  if (canvas == nullptr || (canvas == Canvas() && !canvas->HandleAllocated())) canvas = TextCanvas();
  canvas->DrawText(s, r, flags);
  return r.Height();
}

std::u16string TCustomVirtualStringTree::DoShortenString(TCanvas* canvas, PVirtualNode node, TColumnIndex column,
                                                         const std::u16string& s, int width, bool rightToLeft,
                                                         int ellipsisWidth_) {
  bool done = false;
  std::u16string result;
  Fire(OnShortenString, this, canvas, node, column, s, width, rightToLeft, result, done);
  if (done) return result;
  canvas->TextExtent(u"");  // selects the canvas font into its DC
  return ShortenString(canvas->Handle(), s, width, rightToLeft, ellipsisWidth_);
}

void TCustomVirtualStringTree::DoTextDrawing(TCanvas* canvas, const std::u16string& text, TRect& cellRect,
                                             UINT drawFormat) {
  // The background mode follows ETO_OPAQUE in the canvas's text flags.
  TBrushStyle old = canvas->Brush()->Style();
  bool opaque = (canvas->TextFlags() & ETO_OPAQUE) != 0;
  if (!opaque) canvas->Brush()->SetStyle(bsClear);
  canvas->DrawText(text, cellRect, drawFormat);
  if (!opaque) canvas->Brush()->SetStyle(old);
}

// ---- Painting ---------------------------------------------------------------------

void TCustomVirtualStringTree::DoPaintNode(const TVTPaintInfo& paintInfo) {
  PVirtualNode node = paintInfo.Node;
  RedirectFontChangeEvent(paintInfo.Canvas);
  // The text handlers may free the whole tree: the cell is left as it is.
  TCallOutScope scope(*this);
  try {
    std::u16string text = GetText(node, paintInfo.Column);
    if (scope.TreeGone()) return;
    if (!text.empty()) PaintNormalText(paintInfo, text);
    if (scope.TreeGone()) return;
    if (Alignment() != taCenter && !(node->States & vsMultiline) &&
        TreeOptions()->StringOptions().Contains(toShowStaticText)) {
      text.clear();
      DoGetText(node, paintInfo.Column, ttStatic, text);
      if (scope.TreeGone()) return;
      if (!text.empty()) PaintStaticText(paintInfo, text);
      if (scope.TreeGone()) return;
    }
  } catch (...) {
    if (!scope.TreeGone()) RestoreFontChangeEvent(paintInfo.Canvas);
    throw;
  }
  RestoreFontChangeEvent(paintInfo.Canvas);
}

void TCustomVirtualStringTree::PrepareTextProperties(const TVTPaintInfo& paintInfo) {
  TCanvas* canvas = paintInfo.Canvas;
  PVirtualNode node = paintInfo.Node;
  canvas->SetFont(Font());
  if (options.paint.Contains(toHotTrack) && node == hotNode) {
    canvas->Font()->SetStyle(canvas->Font()->Style().Include(fsUnderline));
    canvas->Font()->SetColor(Colors()->HotColor());
  }
  if (!paintInfo.PaintOptions.Contains(ppSelection)) return;
  if (paintInfo.Column != focusedColumn && !options.selection.Contains(toFullRowSelect)) return;
  if (node == dropTargetNode) {
    if (DropTargetHighlighted(node)) canvas->Font()->SetColor(clHighlightText);
  } else if (node->States & vsSelected) {
    if (Focused() || options.paint.Contains(toPopupMode)) canvas->Font()->SetColor(clHighlightText);
  }
}

bool TCustomVirtualStringTree::DropTargetHighlighted(PVirtualNode node) const {
  return LastDropMode() == dmOnNode || (node->States & vsSelected) != 0;
}

void TCustomVirtualStringTree::PaintNormalText(const TVTPaintInfo& paintInfo, std::u16string text) {
  TCanvas* canvas = paintInfo.Canvas;
  PVirtualNode node = paintInfo.Node;
  TColumnIndex column = paintInfo.Column;
  PrepareTextProperties(paintInfo);
  canvas->SetTextFlags(0);
  TRect r = paintInfo.ContentRect;
  r.Left += TextMargin();
  r.Right -= TextMargin();
  const bool multiline = (node->States & vsMultiline) != 0;
  int nodeWidth = paintInfo.NodeWidth;
  int ellipsis = ellipsisWidth;
  fontChanged = false;
  TCallOutScope scope(*this);
  DoPaintText(node, canvas, column, ttNormal);
  if (scope.TreeGone()) return;
  if (!multiline && fontChanged) {
    // OnPaintText chose another font: measure in that one.
    ellipsis = 0;
    nodeWidth = canvas->TextExtent(text).cx + 2 * TextMargin();
  }
  if ((node->States & vsDisabled) || !Enabled()) canvas->Font()->SetColor(Colors()->DisabledColor());
  const bool rightToLeft = paintInfo.BidiMode != bdLeftToRight;
  UINT flags;
  if (!multiline) {
    flags = DT_NOPREFIX | DT_VCENTER | DT_SINGLELINE | (rightToLeft ? DT_RTLREADING : 0);
    if (column > NoColumn && nodeWidth - 2 * TextMargin() > r.Width()) {
      // A shortened text never centres: its start stays at the reading edge.
      text = DoShortenString(canvas, node, column, text, r.Width(), rightToLeft, ellipsis);
      if (scope.TreeGone()) return;
      flags |= paintInfo.Alignment == taRightJustify ? DT_RIGHT : DT_LEFT;
    } else {
      flags |= AlignmentFlag(paintInfo.Alignment);
    }
  } else {
    flags = AlignmentFlag(paintInfo.Alignment) | DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL | DT_END_ELLIPSIS |
            (rightToLeft ? DT_RTLREADING : 0);
  }
  DoTextDrawing(canvas, text, r, flags);
}

void TCustomVirtualStringTree::PaintStaticText(const TVTPaintInfo& paintInfo, const std::u16string& text) {
  TCanvas* canvas = paintInfo.Canvas;
  PVirtualNode node = paintInfo.Node;
  canvas->SetFont(Font());
  if (options.selection.Contains(toFullRowSelect)) {
    bool highlight = false;
    if (node == dropTargetNode)
      highlight = DropTargetHighlighted(node);
    else if (node->States & vsSelected)
      highlight = Focused() || options.paint.Contains(toPopupMode);
    if (highlight) canvas->Font()->SetColor(clHighlightText);
  }
  canvas->SetTextFlags(0);
  TCallOutScope scope(*this);
  DoPaintText(node, canvas, paintInfo.Column, ttStatic);
  if (scope.TreeGone()) return;
  if ((node->States & vsDisabled) || !Enabled()) canvas->Font()->SetColor(Colors()->DisabledColor());
  // Static text follows the normal text.
  TRect r = paintInfo.ContentRect;
  if (paintInfo.Alignment != taRightJustify)
    r.Left += paintInfo.NodeWidth + TextMargin();
  else
    r.Right -= paintInfo.NodeWidth + TextMargin();
  DoTextDrawing(canvas, text, r, DT_NOPREFIX | DT_VCENTER | DT_SINGLELINE);
}

// ---- Editor text information --------------------------------------------------------

void TCustomVirtualStringTree::GetTextInfo(PVirtualNode node, TColumnIndex column, TFont* font, TRect& r,
                                           std::u16string& text) {
  // The text and paint handlers may free the node or the tree: the rest is then left.
  TCallOutScope scope(*this);
  TBaseVirtualTree::GetTextInfo(node, column, font, r, text);
  if (scope.Lost(node)) return;
  TCanvas* canvas = TextCanvas();
  canvas->SetFont(font);
  fontChanged = false;
  RedirectFontChangeEvent(canvas);
  int height = textHeight;
  try {
    DoPaintText(node, canvas, column, ttNormal);
    if (fontChanged) {
      font->Assign(canvas->Font());
      TEXTMETRICW metrics{};
      canvas->TextExtent(u"");
      GetTextMetricsW(canvas->Handle(), &metrics);
      height = metrics.tmHeight;
    }
  } catch (...) {
    RestoreFontChangeEvent(canvas);
    throw;
  }
  RestoreFontChangeEvent(canvas);
  if (scope.Lost(node)) return;
  text = GetText(node, column);
  if (scope.Lost(node)) return;
  bool multiline = (node->States & vsMultiline) != 0;
  r = GetDisplayRect(node, column, /*textOnly=*/!multiline, /*unclipped=*/true);
  if (options.paint.Contains(toShowHorzGridLines)) --r.Bottom;
  int shrink = (r.Height() - height) / 2;
  r.Top += shrink;
  r.Bottom -= shrink;
}
