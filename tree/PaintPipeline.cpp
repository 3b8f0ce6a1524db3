// The painting pipeline: every paint of the tree (its window, printing, the
// drag image) walks the visible nodes from the top of the requested window,
// draws each row cell by cell into a bitmap one node high, copies it to the
// target, and then fills the area below the last node.
#include <algorithm>
#include <initializer_list>
#include <vector>

#include "tree/VirtualTrees.h"

namespace {
// Holds the image lists a paint draws from (null ones skipped): a handler
// that frees one, with its form say, leaves it going until the paint ends.
class TImageListHolds {
public:
  explicit TImageListHolds(std::initializer_list<TCustomImageList*> lists_) : lists(lists_) {
    for (TCustomImageList* list : lists)
      if (list != nullptr) list->Hold();
  }
  ~TImageListHolds() {
    for (TCustomImageList* list : lists)
      if (list != nullptr) list->Unhold();
  }
  TImageListHolds(const TImageListHolds&) = delete;
  TImageListHolds& operator=(const TImageListHolds&) = delete;

private:
  std::vector<TCustomImageList*> lists;
};

// True for a list to draw from: there, and not freed by a handler meanwhile.
bool Drawable(TCustomImageList* list) { return list != nullptr && !list->Going(); }

// (value) / 2 rounded to the nearest integer, a half going to the even neighbour.
int HalfToEven(int value) {
  int floor = value >= 0 ? value / 2 : -((-value + 1) / 2);
  if (value % 2 == 0) return floor;
  return floor % 2 == 0 ? floor : floor + 1;
}

bool HasLaterVisibleSibling(PVirtualNode node) {
  for (PVirtualNode run = node->NextSibling; run != nullptr; run = run->NextSibling)
    if (run->States & vsVisible) return true;
  return false;
}

bool HasEarlierVisibleSibling(PVirtualNode node) {
  for (PVirtualNode run = node->PrevSibling; run != nullptr; run = run->PrevSibling)
    if (run->States & vsVisible) return true;
  return false;
}

TAlignment Mirrored(TAlignment alignment) {
  if (alignment == taLeftJustify) return taRightJustify;
  if (alignment == taRightJustify) return taLeftJustify;
  return alignment;
}

void FillSolid(TCanvas* canvas, const TRect& r, TColor color) {
  canvas->Brush()->SetColor(color);
  canvas->FillRect(r);
}

// Limits drawing on dc to r (logical coordinates) until RemoveClip.
void ClipTo(HDC dc, const TRect& r) {
  POINT corners[2] = {{r.Left, r.Top}, {r.Right, r.Bottom}};
  LPtoDP(dc, corners, 2);
  HRGN region = CreateRectRgn(corners[0].x, corners[0].y, corners[1].x, corners[1].y);
  SelectClipRgn(dc, region);
  DeleteObject(region);
}

void RemoveClip(HDC dc) { SelectClipRgn(dc, nullptr); }

// Places one image of list at the start edge of content and takes its room.
void AdjustImageBorder(TCustomImageList* list, TBiDiMode bidiMode, int vAlign, TRect& content,
                       TVTImageSlotInfo& slot) {
  if (bidiMode == bdLeftToRight) {
    slot.XPos = content.Left;
    content.Left += list->Width() + 2;
  } else {
    slot.XPos = content.Right - list->Width();
    content.Right -= list->Width() + 2;
  }
  slot.YPos = content.Top + vAlign - list->Height() / 2;
}
}  // namespace

void TBaseVirtualTree::PaintWindow(HDC dc) {
  if (!states.Contains(tsPainting)) {
    TCustomControl::PaintWindow(dc);
    return;
  }
  // The canvas belongs to the paint in progress: this area is painted once it is done.
  RECT box;
  if (GetClipBox(dc, &box) != NULLREGION) InvalidateRect(handle, &box, FALSE);
}

void TBaseVirtualTree::Paint() {
  TRect update = Canvas()->ClipRect();
  if (update.IsEmpty()) return;
  int fixed = GetVisibleFixedWidth();
  if (fixed <= 0) {
    PaintTree(Canvas(), TRect{update.Left - offsetX, update.Top, update.Right - offsetX, update.Bottom},
              TPoint{update.Left, update.Top}, WindowPaintOptions(), pfDevice, -offsetY);
    return;
  }
  // The fixed columns scroll only vertically; the rest scrolls both ways.
  // A paint handler may free the tree.
  int clientWidth = ClientWidth(), clientHeight = ClientHeight();
  int band = std::min(fixed, clientWidth);
  THold hold(this);
  PaintTree(Canvas(), TRect{0, 0, band, clientHeight}, TPoint{0, 0}, WindowPaintOptions(), pfDevice, -offsetY);
  if (!Going() && clientWidth > fixed)
    PaintTree(Canvas(), TRect{fixed - offsetX, 0, clientWidth - offsetX, clientHeight}, TPoint{fixed, 0},
              WindowPaintOptions(), pfDevice, -offsetY);
}

int TBaseVirtualTree::DetermineLineImageAndSelectLevel(PVirtualNode node, TLineImage& lineImage) {
  bool showRoot = options.paint.Contains(toShowRoot);
  int level = static_cast<int>(GetNodeLevel(node));
  int indentSize = level + (showRoot ? 1 : 0);
  int selected = 0;
  for (PVirtualNode run = node->Parent; run != root; run = run->Parent)
    if (run->States & vsSelected) ++selected;
  lineImage.assign(indentSize, ltNone);
  if (!options.paint.Contains(toShowTreeLines) || indentSize == 0) return selected;
  bool later = HasLaterVisibleSibling(node);
  if (showRoot && level == 0) {
    bool first = !HasEarlierVisibleSibling(node);
    lineImage[0] = first ? (later ? ltBottomRight : ltRight) : (later ? ltTopDownRight : ltTopRight);
    return selected;
  }
  lineImage[indentSize - 1] = later ? ltTopDownRight : ltTopRight;
  int entry = indentSize - 2;
  for (PVirtualNode run = node->Parent; run != root && entry >= 0; run = run->Parent, --entry)
    lineImage[entry] = HasLaterVisibleSibling(run) ? ltTopDown : ltNone;
  return selected;
}

void TBaseVirtualTree::DeterminePositions(PVirtualNode node, int& vAlign, int& buttonY) {
  int height = node->NodeHeight;
  int buttonHeight = paintResources.plusBM != nullptr ? paintResources.plusBM->Height() : 9;
  switch (nodeAlignment) {
    case naFromBottom: vAlign = height - node->Align; break;
    case naFromTop: vAlign = node->Align; break;
    default:
      if (images != nullptr || stateImages != nullptr) {
        int h = images != nullptr ? images->Height() : stateImages->Height();
        vAlign = MulDiv(height - h, node->Align, 100) + h / 2;
      } else if (options.paint.Contains(toShowButtons)) {
        vAlign = MulDiv(height - buttonHeight, node->Align, 100) + buttonHeight / 2;
      } else {
        vAlign = MulDiv(height, node->Align, 100);
      }
  }
  buttonY = vAlign - buttonHeight / 2;
}

void TBaseVirtualTree::TileBackground(TBitmap* source, TCanvas* canvas, TPoint offset, TRect r) {
  int width = source->Width(), height = source->Height();
  if (width <= 0 || height <= 0) return;
  HDC from = source->Canvas()->Handle();
  HDC to = canvas->Handle();
  auto wrap = [](int value, int size) {
    int m = value % size;
    return m < 0 ? m + size : m;
  };
  int sourceY = wrap(r.Top + offset.Y + backgroundOffsetY, height);
  for (int y = r.Top; y < r.Bottom;) {
    int sourceX = wrap(r.Left + offset.X + backgroundOffsetX, width);
    int h = std::min(height - sourceY, r.Bottom - y);
    for (int x = r.Left; x < r.Right;) {
      int w = std::min(width - sourceX, r.Right - x);
      BitBlt(to, x, y, w, h, from, sourceX, sourceY, SRCCOPY);
      x += width - sourceX;
      sourceX = 0;
    }
    y += height - sourceY;
    sourceY = 0;
  }
}

void TBaseVirtualTree::StaticBackground(TBitmap* source, TCanvas* canvas, TPoint offset, TRect r) {
  FillSolid(canvas, r, Color());
  // The picture sits at the background offsets in window-anchored coordinates.
  TRect picture{backgroundOffsetX - offset.X, backgroundOffsetY - offset.Y,
                backgroundOffsetX - offset.X + source->Width(), backgroundOffsetY - offset.Y + source->Height()};
  TRect part = IntersectRect(picture, r);
  if (part.IsEmpty()) return;
  HDC from = source->Canvas()->Handle();
  int sx = part.Left - picture.Left, sy = part.Top - picture.Top;
  if (source->Transparent()) {
    TransparentBlt(canvas->Handle(), part.Left, part.Top, part.Width(), part.Height(), from, sx, sy, part.Width(),
                   part.Height(), ColorToRGB(source->TransparentColor()));
    return;
  }
  BitBlt(canvas->Handle(), part.Left, part.Top, part.Width(), part.Height(), from, sx, sy, SRCCOPY);
}

void TBaseVirtualTree::EraseNodeBackground(TVTCellPaintInfo& paintInfo, bool useBackground, bool floating, TRect r) {
  TItemEraseAction eraseAction = eaDefault;
  TColor backColor = Color();
  TPoint offset{0, 0};
  if (floating) {
    offset = TPoint{offsetX, r.Top};
    r = TRect{r.Left, 0, r.Right, r.Height()};
  }
  TCanvas* canvas = paintInfo.Canvas;
  PVirtualNode node = paintInfo.Node;
  // The handlers may free the whole tree: the caller asks its own scope.
  TCallOutScope scope(*this);
  DoBeforeItemErase(canvas, node, r, backColor, eraseAction);
  if (scope.TreeGone()) return;
  if (eraseAction == eaColor) {
    FillSolid(canvas, r, backColor);
  } else if (eraseAction == eaDefault) {
    if (useBackground) {
      TBitmap* picture = background->Bitmap();
      if (options.paint.Contains(toStaticBackground))
        StaticBackground(picture, canvas, offset, r);
      else
        TileBackground(picture, canvas, offset, r);
    } else if (paintInfo.PaintOptions.Contains(ppSelection) && options.selection.Contains(toFullRowSelect) &&
               (node->States & vsSelected) && !options.paint.Contains(toUseBlendedSelection)) {
      FillSolid(canvas, r, Color());
      if (options.paint.Contains(toShowHorzGridLines)) --r.Bottom;
      bool focused = Focused() || options.paint.Contains(toPopupMode);
      canvas->Brush()->SetColor(focused ? colors->FocusedSelectionColor() : colors->UnfocusedSelectionColor());
      canvas->Pen()->SetColor(focused ? colors->FocusedSelectionBorderColor()
                                      : colors->UnfocusedSelectionBorderColor());
      int radius = static_cast<int>(selectionCurveRadius);
      canvas->RoundRect(r.Left, r.Top, r.Right, r.Bottom, radius, radius);
    } else {
      FillSolid(canvas, r, Color());
    }
  }
  DoAfterItemErase(canvas, node, r);
}

void TBaseVirtualTree::PrepareCell(TVTCellPaintInfo& paintInfo, int windowOrgX, int maxWidth) {
  TCanvas* canvas = paintInfo.Canvas;
  PVirtualNode node = paintInfo.Node;
  TRect inner = paintInfo.ContentRect;
  if (paintInfo.PaintOptions.Contains(ppColumnColor)) {
    TColumnAttributes attributes;
    if (HeaderColumnAttributes(paintInfo.Column, attributes)) FillSolid(canvas, paintInfo.CellRect, attributes.Color);
  }
  // The handler may free the whole tree: the caller asks its own scope.
  TCallOutScope scope(*this);
  DoBeforeCellPaint(canvas, node, paintInfo.Column, paintInfo.CellRect);
  if (scope.TreeGone()) return;
  if (paintInfo.Column != focusedColumn && !options.selection.Contains(toFullRowSelect)) return;

  bool gridExtensions = options.misc.Contains(toGridExtensions);
  if (!gridExtensions) {
    int width = paintInfo.NodeWidth;
    switch (paintInfo.Alignment) {
      case taRightJustify:
        if (width < inner.Width()) inner.Left = inner.Right - width;
        break;
      case taCenter:
        if (width < inner.Width()) {
          inner.Left = (inner.Left + inner.Right - width) / 2;
          inner.Right = inner.Left + width;
        }
        break;
      default: inner.Right = std::min(inner.Left + width, inner.Right); break;
    }
  }
  bool focused = Focused() || options.paint.Contains(toPopupMode);
  if (paintInfo.PaintOptions.Contains(ppSelection)) {
    bool drawBox = false;
    TColor boxColor = clNone;
    if (node == dropTargetNode) {
      if (lastDropMode == dmOnNode || (node->States & vsSelected)) {
        boxColor = colors->DropTargetColor();
        canvas->Pen()->SetColor(colors->DropTargetBorderColor());
        drawBox = true;
      }
    } else if (node->States & vsSelected) {
      boxColor = focused ? colors->FocusedSelectionColor() : colors->UnfocusedSelectionColor();
      canvas->Pen()->SetColor(focused ? colors->FocusedSelectionBorderColor()
                                      : colors->UnfocusedSelectionBorderColor());
      drawBox = true;
    }
    if (drawBox) {
      if (gridExtensions || options.selection.Contains(toFullRowSelect)) inner = paintInfo.CellRect;
      if (!inner.IsEmpty()) {
        if (options.paint.Contains(toUseBlendedSelection)) {
          TRect r{std::max(inner.Left - windowOrgX, 0), inner.Top, std::min(inner.Right - windowOrgX, maxWidth),
                  inner.Bottom};
          GdiFlush();
          if (!r.IsEmpty())
            BlendBitmapRect(nullptr, canvas->Handle(), r, TPoint{}, 3, selectionBlendFactor,
                            static_cast<int>(ColorToRGB(boxColor)));
        } else {
          canvas->Brush()->SetColor(boxColor);
          int radius = static_cast<int>(selectionCurveRadius);
          canvas->RoundRect(inner.Left, inner.Top, inner.Right, inner.Bottom, radius, radius);
        }
      }
    }
  }
  if (paintInfo.PaintOptions.Contains(ppFocusRect) && paintInfo.Column == focusedColumn && focused &&
      node == focusedNode) {
    HDC dc = canvas->Handle();
    COLORREF oldText = SetTextColor(dc, RGB(255, 255, 255));
    COLORREF oldBack = SetBkColor(dc, RGB(0, 0, 0));
    TRect f = gridExtensions ? paintInfo.CellRect : inner;
    RECT r{f.Left, f.Top, f.Right, f.Bottom};
    DrawFocusRect(dc, &r);
    SetBkColor(dc, oldBack);
    SetTextColor(dc, oldText);
  }
}

void TBaseVirtualTree::PaintAreaBelow(TBitmap* bitmap, TCanvas* targetCanvas, TRect window, TPoint target,
                                      int height, bool useBackground, bool drawSelectionRect, TRect selRect,
                                      TVTPaintPassOptions paintOptions) {
  int width = window.Width();
  bitmap->SetSize(width, height);
  TCanvas* canvas = bitmap->Canvas();
  HDC dc = canvas->Handle();
  TRect area{0, 0, width, height};
  SetWindowOrgEx(dc, 0, 0, nullptr);
  // The handler may free the whole tree: the caller asks its own scope.
  TCallOutScope scope(*this);
  bool painted = DoPaintBackground(canvas, area);
  if (scope.TreeGone()) return;
  if (!painted) {
    if (useBackground) {
      TBitmap* picture = background->Bitmap();
      TPoint offset{target.X, target.Y};
      if (options.paint.Contains(toStaticBackground))
        StaticBackground(picture, canvas, offset, area);
      else
        TileBackground(picture, canvas, offset, area);
    } else if (HeaderColumnCount() > 0) {
      // The columns continue downwards in their colours (bitmap x = tree x).
      SetWindowOrgEx(dc, window.Left, 0, nullptr);
      TColumnIndex column = FirstVisibleColumn();
      TColumnAttributes attributes;
      while (column >= 0 && HeaderColumnAttributes(column, attributes) &&
             attributes.Left + attributes.Width <= window.Left)
        column = NextVisibleColumn(column);
      bool fullGrid = paintOptions.Contains(ppGridLines) && options.paint.Contains(toFullVertGridLines) &&
                      options.paint.Contains(toShowVertGridLines);
      TColumnIndex lastIndex = HeaderColumnCount() - 1;
      TVTCellPaintInfo lineInfo;
      lineInfo.Canvas = canvas;
      canvas->Font()->SetColor(colors->GridLineColor());
      int right = window.Left;
      while (column >= 0 && HeaderColumnAttributes(column, attributes) && attributes.Left < window.Right) {
        TRect r{attributes.Left, 0, attributes.Left + attributes.Width, height};
        if (fullGrid && !(HeaderAutoResize() && column == lastIndex)) {
          DrawDottedVLine(lineInfo, r.Top, r.Bottom - 1, r.Right - 1);
          --r.Right;
        }
        FillSolid(canvas, r, attributes.ParentColor ? Color() : attributes.Color);
        right = attributes.Left + attributes.Width;
        column = NextVisibleColumn(column);
      }
      // The rest starts at the last column's right edge: its grid line lies
      // inside the column, so nothing is left unpainted in between.
      if (right < window.Right) FillSolid(canvas, TRect{right, 0, window.Right, height}, Color());
      SetWindowOrgEx(dc, 0, 0, nullptr);
    } else {
      FillSolid(canvas, area, Color());
    }
  }
  SetWindowOrgEx(dc, window.Left, 0, nullptr);
  if (drawSelectionRect) PaintSelectionRectangle(canvas, window.Left, selRect, area);
  GdiFlush();
  BitBlt(targetCanvas->Handle(), target.X, target.Y, width, height, dc, window.Left, 0, SRCCOPY);
  SetWindowOrgEx(dc, 0, 0, nullptr);
}

void TBaseVirtualTree::PaintTree(TCanvas* targetCanvas, TRect window, TPoint target,
                                 TVTPaintPassOptions paintOptions, TPixelFormat pixelFormat, int64_t originY) {
  if (window.Width() <= 0 || window.Height() <= 0) return;
  if (paintResources.plusBM == nullptr || paintResources.dottedBrush == nullptr)
    PrepareBitmaps(/*needButtons=*/true, /*needLines=*/true);
  // The handlers asked while painting may free nodes: painting stops at a
  // node that went (its deletion has asked for a new paint). One that frees
  // the whole tree ends the paint there.
  TCallOutScope scope(*this);
  DoStateChange({tsPainting});
  if (scope.TreeGone()) return;
  TBitmap* bitmap = nullptr;
  // The bitmap goes and the painting state is left also when an event handler throws.
  try {
    DoBeforePaint(targetCanvas);
    if (scope.TreeGone()) return;
    bitmap = New<TBitmap>();
    // Blending needs 32 bits a pixel; otherwise the caller's format (the device's is held as 32).
    bool blending = drawSelectionMode == smBlendedRectangle || states.Contains(tsUseThemes) ||
                    options.paint.Contains(toUseBlendedSelection);
    bitmap->SetPixelFormat(blending || pixelFormat == pfDevice ? pf32bit : pixelFormat);
    TCanvas* canvas = bitmap->Canvas();
    canvas->Font()->Assign(Font());
    TVTCellPaintInfo paintInfo;
    paintInfo.Canvas = canvas;

    TTreeRect band = newSelRect.Ordered();
    bool drawSelectionRect = (states.Contains(tsDrawSelPending) || states.Contains(tsDrawSelecting)) &&
                             !band.IsEmpty();
    int clientWidth = HandleAllocated() ? ClientWidth() : Width();
    TRect itemRect{0, 0, std::max(static_cast<int>(rangeX), clientWidth), 0};
    int bitmapWidth = window.Width();

    TBitmap* picture = dynamic_cast<TBitmap*>(background->Graphic());
    bool useBackground = options.paint.Contains(toShowBackground) && picture != nullptr && !picture->Empty() &&
                         paintOptions.Contains(ppBackground);
    TCustomImageList* normalImages = images;
    TCustomImageList* stateImageList = stateImages;
    TCustomImageList* checkImages = options.misc.Contains(toCheckSupport) ? CheckImages() : nullptr;
    TImageListHolds heldLists{normalImages, stateImageList, checkImages};
    bool withImages = normalImages != nullptr;
    bool withStateImages = stateImageList != nullptr;
    bool withCheckImages = checkImages != nullptr;
    bool useColumns = HeaderColumnCount() > 0;
    TColumnIndex mainColumn = HeaderMainColumn();
    // A cell handler that changes the columns ends the paint (the change
    // repaints the tree): the column indices met so far went stale.
    const uint32_t columnSet = ColumnSetChanges();
    auto lost = [&] { return scope.TreeGone() || ColumnSetChanges() != columnSet; };
    if (options.paint.Contains(toAlwaysHideSelection) || (!Focused() && options.paint.Contains(toHideSelection)))
      paintOptions.Exclude(ppSelection);
    if (options.paint.Contains(toHideFocusRect)) paintOptions.Exclude(ppFocusRect);

    // Rows are found in 64-bit tree coordinates; from there on the window's
    // own vertical coordinates (tree coordinates minus originY) serve.
    int64_t firstTop = 0;
    PVirtualNode node = GetNodeAtPosition(originY + window.Top, firstTop);
    int nodeTop = static_cast<int>(firstTop - originY);
    const bool oddOrigin = (originY & 1) != 0;
    // The band from here on relative to the first row's top, cut to far more
    // than this paint reaches (stepping it up row by row cannot overflow).
    constexpr int64_t kBandReach = int64_t(1) << 29;
    auto nearTop = [&](int64_t y) { return static_cast<int>(std::clamp(y - firstTop, -kBandReach, kBandReach)); };
    TRect selRect = drawSelectionRect ? TRect{band.Left, nearTop(band.Top), band.Right, nearTop(band.Bottom)} : TRect();
    int maximumRight = target.X + window.Width();
    int maximumBottom = target.Y + window.Height();
    TRect targetRect{target.X, target.Y - (window.Top - nodeTop), maximumRight, target.Y - (window.Top - nodeTop)};

    TLineImage lineImage;
    int selectLevel = 0, indentSize = 0, buttonX = 0;
    int buttonWidth = paintResources.plusBM != nullptr ? paintResources.plusBM->Width() : 9;
    if (node != nullptr) {
      selectLevel = DetermineLineImageAndSelectLevel(node, lineImage);
      indentSize = static_cast<int>(lineImage.size());
      buttonX = indentSize * static_cast<int>(indent) + HalfToEven(static_cast<int>(indent) - buttonWidth) -
                static_cast<int>(indent);
    }
    while (node != nullptr) {
      if (!(node->States & vsInitialized)) InitNode(node);
      if (Gone(node)) break;
      if (node->States & vsSelected) ++selectLevel;
      MeasureNodeHeight(canvas, node);
      if (Gone(node)) break;
      int height = node->NodeHeight;
      paintInfo.BrushOrigin = TPoint{window.Left & 1, (nodeTop & 1) ^ (oddOrigin ? 1 : 0)};
      nodeTop += height;
      targetRect.Bottom = targetRect.Top + height;

      if ((selectLevel > 0 || !paintOptions.Contains(ppSelectedOnly)) && height > 0) {
        if (bitmap->Height() != height || bitmap->Width() != bitmapWidth) bitmap->SetSize(bitmapWidth, height);
        HDC dc = canvas->Handle();
        SetWindowOrgEx(dc, window.Left, 0, nullptr);
        itemRect.Bottom = height;
        SetBrushOrgEx(dc, paintInfo.BrushOrigin.X, paintInfo.BrushOrigin.Y, nullptr);
        paintInfo.Node = node;
        int vAlign = 0, buttonY = 0;
        DeterminePositions(node, vAlign, buttonY);

        bool customDrawn = DoBeforeItemPaint(canvas, node, itemRect);
        if (scope.TreeGone()) break;
        if (!customDrawn) {
          paintInfo.PaintOptions = paintOptions;
          EraseNodeBackground(paintInfo, useBackground, /*floating=*/true,
                              TRect{window.Left, targetRect.Top, window.Right, targetRect.Bottom});
          if (scope.TreeGone()) break;
          paintInfo.CellRect = itemRect;
          paintInfo.Position = 0;
          TColumnIndex column = NoColumn;
          TColumnAttributes attributes;
          if (useColumns) {
            column = FirstVisibleColumn();
            if (column >= 0 && HeaderColumnAttributes(column, attributes)) {
              paintInfo.CellRect.Left = attributes.Left;
              paintInfo.CellRect.Right = attributes.Left + attributes.Width;
              paintInfo.Position = attributes.Position;
            }
          }
          bool editingThisNode = states.Contains(tsEditing) && node == focusedNode;
          while ((column > InvalidColumn || !useColumns) && paintInfo.CellRect.Left < window.Right) {
            TColumnIndex nextNonEmpty = InvalidColumn;
            bool visible = true;
            if (!useColumns) {
              paintInfo.Column = NoColumn;
              paintInfo.BidiMode = BiDiMode();
              paintInfo.Alignment = alignment;
            } else {
              paintInfo.Column = column;
              HeaderColumnAttributes(column, attributes);
              visible = attributes.Visible;
              paintInfo.BidiMode = attributes.BiDiMode;
              paintInfo.Alignment = attributes.Alignment;
            }
            TVTPaintPassOptions cellOptions = paintOptions;
            bool editedCell = editingThisNode && (column == editColumn || !useColumns);
            if (editedCell) cellOptions.Exclude(ppSelection);
            if (!useColumns ||
                ((node->States & vsSelected) && options.selection.Contains(toFullRowSelect) &&
                 cellOptions.Contains(ppSelection)) ||
                attributes.ParentColor)
              cellOptions.Exclude(ppColumnColor);
            paintInfo.PaintOptions = cellOptions;
            bool isMain = paintInfo.Column == mainColumn;
            bool rightToLeft = paintInfo.BidiMode != bdLeftToRight;
            if (rightToLeft) paintInfo.Alignment = Mirrored(paintInfo.Alignment);

            if (visible && (!paintOptions.Contains(ppMainColumnOnly) || isMain)) {
              AdjustPaintCellRect(paintInfo, nextNonEmpty);
              if (paintInfo.CellRect.Right > window.Left) {
                TRect& cell = paintInfo.CellRect;
                TRect& content = paintInfo.ContentRect;
                paintInfo.NodeWidth = DoGetNodeWidth(node, paintInfo.Column, canvas);
                if (lost()) break;
                content = cell;
                if (rightToLeft)
                  content.Right -= margin;
                else
                  content.Left += margin;
                for (TVTImageSlotInfo& slot : paintInfo.ImageInfo) slot = TVTImageSlotInfo();
                TVTImageSlotInfo& checkSlot = paintInfo.ImageInfo[imCheck];
                if (withCheckImages && isMain && Drawable(checkImages)) {
                  checkSlot.Index = GetCheckImage(node);
                  checkSlot.Images = checkImages;
                  if (checkSlot.Index >= 0) AdjustImageBorder(checkImages, paintInfo.BidiMode, vAlign, content, checkSlot);
                }
                // The lists held: one an image handler freed is drawn from no more.
                if (withStateImages) {
                  GetImageIndex(paintInfo, ikState, imState, stateImageList);
                  if (lost()) break;
                  TVTImageSlotInfo& slot = paintInfo.ImageInfo[imState];
                  if (!Drawable(slot.Images)) slot.Index = -1;
                  if (slot.Index >= 0) AdjustImageBorder(slot.Images, paintInfo.BidiMode, vAlign, content, slot);
                }
                if (withImages) {
                  GetImageIndex(paintInfo, (node->States & vsSelected) ? ikSelected : ikNormal, imNormal, normalImages);
                  if (lost()) break;
                  TVTImageSlotInfo& slot = paintInfo.ImageInfo[imNormal];
                  if (!Drawable(slot.Images)) slot.Index = -1;
                  if (slot.Index >= 0) AdjustImageBorder(slot.Images, paintInfo.BidiMode, vAlign, content, slot);
                }
                if (isMain) {
                  int shift = static_cast<int>(indent) * indentSize * (rightToLeft ? -1 : 1);
                  (rightToLeft ? content.Right : content.Left) += shift;
                  for (TVTImageSlot s : {imNormal, imState, imCheck}) paintInfo.ImageInfo[s].XPos += shift;
                }
                if (useColumns) ClipTo(dc, cell);
                if (cellOptions.Contains(ppGridLines) && options.paint.Contains(toShowHorzGridLines)) {
                  canvas->Font()->SetColor(colors->GridLineColor());
                  int indentWidth = indentSize * static_cast<int>(indent);
                  if (isMain && lineMode == lmBands) {
                    if (rightToLeft)
                      DrawDottedHLine(paintInfo, cell.Left, cell.Right - indentWidth - 1, cell.Bottom - 1);
                    else
                      DrawDottedHLine(paintInfo, cell.Left + indentWidth, cell.Right - 1, cell.Bottom - 1);
                  } else {
                    DrawDottedHLine(paintInfo, cell.Left, cell.Right, cell.Bottom - 1);
                  }
                  --cell.Bottom;
                  --content.Bottom;
                }
                bool lastPosition = HeaderColumnAtPosition(paintInfo.Position + 1) < 0;
                if (useColumns && cellOptions.Contains(ppGridLines) && options.paint.Contains(toShowVertGridLines) &&
                    !(lastPosition && HeaderAutoResize())) {
                  bool empty = rightToLeft && DoGetCellIsEmpty(node, column);
                  if (lost()) break;
                  if (!empty) {
                    canvas->Font()->SetColor(colors->GridLineColor());
                    DrawDottedVLine(paintInfo, cell.Top, cell.Bottom, cell.Right - 1);
                  }
                  --cell.Right;
                  --content.Right;
                }
                PrepareCell(paintInfo, window.Left, bitmapWidth);
                if (lost()) break;
                if (isMain) {
                  if (options.paint.Contains(toShowTreeLines))
                    PaintTreeLines(paintInfo, vAlign, indentSize, lineImage);
                  if (options.paint.Contains(toShowButtons) && (node->States & vsHasChildren) &&
                      !((node->States & vsAllChildrenHidden) && options.autoOptions.Contains(toAutoHideButtons)))
                    PaintNodeButton(canvas, node, paintInfo.Column, cell, buttonX, buttonY, paintInfo.BidiMode);
                  if (checkSlot.Index >= 0) PaintCheckImage(paintInfo);
                }
                if (paintInfo.ImageInfo[imState].Index >= 0) PaintImage(paintInfo, imState, /*doOverlay=*/false);
                if (paintInfo.ImageInfo[imNormal].Index >= 0) PaintImage(paintInfo, imNormal, /*doOverlay=*/true);
                if (!editedCell) DoPaintNode(paintInfo);
                if (lost()) break;
                DoAfterCellPaint(canvas, node, paintInfo.Column, cell);
                if (lost()) break;
              }
            } else if (useColumns) {
              nextNonEmpty = NextVisibleColumn(column);
            }
            if (!useColumns) break;
            RemoveClip(dc);
            if (paintInfo.CellRect.Left >= window.Right || nextNonEmpty == InvalidColumn) break;
            column = nextNonEmpty;
            if (HeaderColumnAttributes(column, attributes)) {
              paintInfo.Position = attributes.Position;
              if (attributes.Visible) {
                paintInfo.CellRect = TRect{attributes.Left, 0, attributes.Left + attributes.Width, height};
                paintInfo.ContentRect.Bottom = height;
              }
            }
          }
          if (lost()) break;
          DoAfterItemPaint(canvas, node, itemRect);
          if (scope.TreeGone()) break;
          if (node == dropTargetNode && options.paint.Contains(toShowDropmark) && paintOptions.Contains(ppDropMark))
            DoPaintDropMark(canvas, node, itemRect);
          if (scope.TreeGone()) break;
        }
        if (drawSelectionRect)
          PaintSelectionRectangle(canvas, window.Left, selRect, TRect{0, 0, bitmapWidth, height});
        GdiFlush();
        BitBlt(targetCanvas->Handle(), targetRect.Left, targetRect.Top, bitmapWidth, height, dc, window.Left, 0,
               SRCCOPY);
      }
      targetRect.Top += height;
      if (drawSelectionRect) selRect = TRect{selRect.Left, selRect.Top - height, selRect.Right, selRect.Bottom - height};
      if (targetRect.Top >= maximumBottom) break;

      // The next node and the line image, ButtonX and SelectLevel kept in step.
      if (Gone(node)) break;
      PVirtualNode next = GetNextVisible(node);
      if (next == nullptr || Gone(node) || !(next->Parent == node || HasAsParent(node, next->Parent) ||
                                             next->Parent == node->Parent || next->Parent == root))
        break;
      if (next->Parent == node) {
        if (indentSize > 0) lineImage[indentSize - 1] = HasLaterVisibleSibling(node) ? ltTopDown : ltNone;
        ++indentSize;
        if (static_cast<int>(lineImage.size()) < indentSize) lineImage.resize(lineImage.size() + 8, ltNone);
        buttonX += static_cast<int>(indent);
      } else {
        if (node->States & vsSelected) --selectLevel;
        for (PVirtualNode run = node; run->Parent != next->Parent;) {
          --indentSize;
          buttonX -= static_cast<int>(indent);
          run = run->Parent;
          if (run->States & vsSelected) --selectLevel;
        }
      }
      if (indentSize > 0 && options.paint.Contains(toShowTreeLines))
        lineImage[indentSize - 1] = HasLaterVisibleSibling(next) ? ltTopDownRight : ltTopRight;
      node = next;
    }

    if (!scope.TreeGone() && targetRect.Top < maximumBottom)
      PaintAreaBelow(bitmap, targetCanvas, window, TPoint{target.X, targetRect.Top}, maximumBottom - targetRect.Top,
                     useBackground, drawSelectionRect, selRect, paintOptions);
    FreeAndNil(bitmap);
    if (scope.TreeGone()) return;
    DoAfterPaint(targetCanvas);
  } catch (...) {
    if (bitmap != nullptr) FreeAndNil(bitmap);
    if (!scope.TreeGone()) DoStateChange({}, {tsPainting});
    throw;
  }
  if (scope.TreeGone()) return;
  DoStateChange({}, {tsPainting});
}
