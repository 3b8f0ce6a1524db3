// Node geometry: display rectangles, the tree rectangle, widths of columns
// and of the shown content, and the columns as geometry sees them (display
// order, visibility, scrolled bounds) from the header's column facts.
#include <algorithm>

#include "tree/VirtualTrees.h"

// ---- Columns ------------------------------------------------------------------

TColumnIndex TBaseVirtualTree::FirstVisibleColumn() const {
  TColumnAttributes attributes;
  for (int position = 0;; ++position) {
    TColumnIndex column = HeaderColumnAtPosition(position);
    if (column < 0) return InvalidColumn;
    if (HeaderColumnAttributes(column, attributes) && attributes.Visible) return column;
  }
}

TColumnIndex TBaseVirtualTree::LastVisibleColumn() const {
  TColumnIndex result = InvalidColumn;
  TColumnAttributes attributes;
  for (int position = 0;; ++position) {
    TColumnIndex column = HeaderColumnAtPosition(position);
    if (column < 0) return result;
    if (HeaderColumnAttributes(column, attributes) && attributes.Visible) result = column;
  }
}

TColumnIndex TBaseVirtualTree::NextVisibleColumn(TColumnIndex column) const {
  TColumnAttributes attributes;
  if (!HeaderColumnAttributes(column, attributes)) return InvalidColumn;
  for (int position = attributes.Position + 1;; ++position) {
    TColumnIndex next = HeaderColumnAtPosition(position);
    if (next < 0) return InvalidColumn;
    if (HeaderColumnAttributes(next, attributes) && attributes.Visible) return next;
  }
}

TColumnIndex TBaseVirtualTree::PreviousVisibleColumn(TColumnIndex column) const {
  TColumnAttributes attributes;
  if (!HeaderColumnAttributes(column, attributes)) return InvalidColumn;
  for (int position = attributes.Position - 1; position >= 0; --position) {
    TColumnIndex previous = HeaderColumnAtPosition(position);
    if (previous < 0) return InvalidColumn;
    if (HeaderColumnAttributes(previous, attributes) && attributes.Visible) return previous;
  }
  return InvalidColumn;
}

void TBaseVirtualTree::GetColumnBounds(TColumnIndex column, int& left, int& right) const {
  TColumnAttributes attributes;
  if (!HeaderColumnAttributes(column, attributes)) {
    left = 0;
    right = HandleAllocated() ? ClientWidth() : Width();
    return;
  }
  left = attributes.Left + (attributes.Visible && attributes.Fixed ? 0 : offsetX);
  right = left + attributes.Width;
}

int TBaseVirtualTree::GetVisibleFixedWidth() const {
  int width = 0;
  TColumnAttributes attributes;
  for (int position = 0;; ++position) {
    TColumnIndex column = HeaderColumnAtPosition(position);
    if (column < 0) return width;
    if (HeaderColumnAttributes(column, attributes) && attributes.Visible && attributes.Fixed)
      width += attributes.Width;
  }
}

TColumnIndex TBaseVirtualTree::ColumnFromPosition(int x, bool relative) const {
  if (x < 0) return InvalidColumn;
  int sum = 0;
  if (relative && x >= GetVisibleFixedWidth()) sum = offsetX;
  TColumnAttributes attributes;
  for (int position = 0;; ++position) {
    TColumnIndex column = HeaderColumnAtPosition(position);
    if (column < 0) return InvalidColumn;
    if (!HeaderColumnAttributes(column, attributes) || !attributes.Visible) continue;
    sum += attributes.Width;
    if (x < sum) return column;
  }
}

TAlignment TBaseVirtualTree::ColumnAlignment(TColumnIndex column) const {
  TColumnAttributes attributes;
  return HeaderColumnAttributes(column, attributes) ? attributes.Alignment : alignment;
}

TBiDiMode TBaseVirtualTree::ColumnBiDiMode(TColumnIndex column) const {
  TColumnAttributes attributes;
  return HeaderColumnAttributes(column, attributes) ? attributes.BiDiMode : BiDiMode();
}

// ---- Nodes ----------------------------------------------------------------------

int TBaseVirtualTree::VisibleColumnIndent(PVirtualNode node) const {
  int levels = static_cast<int>(GetNodeLevel(node)) + (options.paint.Contains(toShowRoot) ? 1 : 0);
  return levels * static_cast<int>(indent);
}

bool TBaseVirtualTree::HasImage(PVirtualNode node, TVTImageKind kind, TColumnIndex column) {
  bool ghosted = false;
  int index = -1;
  DoGetImageIndex(node, kind, column, ghosted, index);
  return index >= 0;
}

int TBaseVirtualTree::ImageRoom(PVirtualNode node, TVTImageKind kind, TColumnIndex column) {
  auto list = [&] { return kind == ikState ? stateImages : images; };
  if (list() == nullptr || !HasImage(node, kind, column) || TreeGoing() || list() == nullptr) return 0;
  return list()->Width() + 2;
}

int64_t TBaseVirtualTree::DisplayTop(PVirtualNode node) { return int64_t(GetNodeTop(node)) + offsetY; }

TRect TBaseVirtualTree::GetDisplayRect(PVirtualNode node, TColumnIndex column, bool textOnly, bool unclipped) {
  VT_ASSERT(node != nullptr, "Node must not be nil.");
  VT_ASSERT(node != root, "Node must not be the hidden root node.");
  TRect result;
  // A node its handlers freed (kept dead for the operation that asks) has no place.
  if ((node->States & vsDead) || TreeGoing()) return result;
  // The initialisation, width and image handlers may free the node or the
  // tree: both are kept until this returns, and a freed node has no place.
  TCallOutScope scope(*this);
  if (!(node->States & vsInitialized)) {
    InitNode(node);
    if (Gone(node)) return result;
  }
  for (PVirtualNode run = node; run != root; run = run->Parent) {
    if (!(run->States & vsVisible)) return result;
    if (run->Parent != root && !(run->Parent->States & vsExpanded)) return result;
  }

  // A node farther than an int reaches from the client gets the nearest int.
  int64_t top = DisplayTop(node);
  result.Top = SaturateToInt(top);
  result.Bottom = SaturateToInt(top + node->NodeHeight);

  TColumnAttributes attributes;
  bool useColumn = column > NoColumn && HeaderColumnAttributes(column, attributes);
  if (useColumn) {
    GetColumnBounds(column, result.Left, result.Right);
    --result.Right;
  } else {
    int clientWidth = HandleAllocated() ? ClientWidth() : Width();
    result.Left = offsetX;
    result.Right = SaturateToInt(offsetX + std::max<int64_t>(rangeX, clientWidth));
  }
  if (!textOnly) return result;

  TBiDiMode bidi = useColumn ? attributes.BiDiMode : BiDiMode();
  TAlignment align = useColumn ? attributes.Alignment : alignment;
  // The width and image handlers may free the node or the tree, or add or
  // delete columns (the index then names another): then it has no place.
  int columns = HeaderColumnCount();
  auto lost = [&] {
    TColumnAttributes now;
    return Gone(node) || TreeGoing() || HeaderColumnCount() != columns ||
           (useColumn && (!HeaderColumnAttributes(column, now) || now.Left != attributes.Left ||
                          now.Width != attributes.Width || now.Position != attributes.Position));
  };
  int nodeWidth = DoGetNodeWidth(node, column);
  if (lost()) return TRect();
  int offset = margin;
  if (column == HeaderMainColumn() || !useColumn) {
    offset += VisibleColumnIndent(node);
    if (options.misc.Contains(toCheckSupport) && node->CheckType != ctNone && CheckImages() != nullptr)
      offset += CheckImages()->Width() + 2;
  }
  offset += ImageRoom(node, ikState, column);
  if (lost()) return TRect();
  offset += ImageRoom(node, ikNormal, column);
  if (lost()) return TRect();

  bool rightToLeft = bidi != bdLeftToRight;
  if (rightToLeft) {
    result.Right -= offset;
    if (align == taLeftJustify)
      align = taRightJustify;
    else if (align == taRightJustify)
      align = taLeftJustify;
  } else {
    result.Left += offset;
  }
  int space = result.Right - result.Left;
  if (unclipped) {
    if (nodeWidth > space) align = rightToLeft ? taRightJustify : taLeftJustify;
  } else if (nodeWidth >= space) {
    return result;
  }
  switch (align) {
    case taRightJustify: result.Left = result.Right - nodeWidth; break;
    case taCenter:
      result.Left = (result.Left + result.Right - nodeWidth) / 2;
      result.Right = result.Left + nodeWidth;
      break;
    default: result.Right = result.Left + nodeWidth; break;
  }
  return result;
}

TRect TBaseVirtualTree::GetTreeRect() {
  int clientWidth = HandleAllocated() ? ClientWidth() : Width();
  int clientHeight = HandleAllocated() ? ClientHeight() : Height();
  return TRect{0, 0, SaturateToInt(std::max<int64_t>(rangeX, clientWidth)),
               SaturateToInt(std::max<int64_t>(rangeY, clientHeight))};
}

void TBaseVirtualTree::GetTextInfo(PVirtualNode node, TColumnIndex column, TFont* font, TRect& r,
                                   std::u16string& text) {
  r = TRect();
  text.clear();
  if (font != nullptr) font->Assign(Font());
}

int TBaseVirtualTree::GetMaxColumnWidth(TColumnIndex column) {
  int imageWidth = images != nullptr ? images->Width() + 2 : 0;
  int stateWidth = stateImages != nullptr ? stateImages->Width() + 2 : 0;
  bool mainColumn = column == HeaderMainColumn();
  bool withChecks = mainColumn && options.misc.Contains(toCheckSupport);
  TCustomImageList* checks = withChecks ? CheckImages() : nullptr;
  int checkWidth = checks != nullptr ? checks->Width() + 2 : 0;
  int result = 0;
  // The image and text handlers may free the node asked about, or the whole
  // tree, or change the columns: the walk ends there with the widest node found so far.
  TCallOutScope scope(*this);
  const uint32_t columnSet = ColumnSetChanges();
  auto lost = [&](PVirtualNode run) { return scope.Lost(run) || ColumnSetChanges() != columnSet; };
  for (PVirtualNode run = GetFirstVisible(); run != nullptr; run = GetNextVisible(run)) {
    int width = mainColumn ? VisibleColumnIndent(run) + margin : margin;
    if (withChecks && run->CheckType != ctNone) width += checkWidth;
    if (imageWidth > 0 && HasImage(run, ikNormal, column)) width += imageWidth;
    if (lost(run)) break;
    if (stateWidth > 0 && HasImage(run, ikState, column)) width += stateWidth;
    if (lost(run)) break;
    width += DoGetNodeWidth(run, column);
    if (lost(run)) break;
    result = std::max(result, width);
  }
  if (scope.TreeGone()) return result;
  if (options.paint.Contains(toShowVertGridLines)) ++result;
  return result;
}

int TBaseVirtualTree::GetMaxRightExtend() {
  // Only the nodes in the client area decide; the rest are not asked.
  int clientHeight = HandleAllocated() ? ClientHeight() : Height();
  int top = 0;
  PVirtualNode run = GetNodeAt(0, 0, true, top);
  if (run == nullptr) return margin;
  int fixed = 0;
  if (stateImages != nullptr) fixed += stateImages->Width() + 2;
  if (images != nullptr) fixed += images->Width() + 2;
  TCustomImageList* checks = options.misc.Contains(toCheckSupport) ? CheckImages() : nullptr;
  int checkWidth = checks != nullptr ? checks->Width() + 2 : 0;
  int x = VisibleColumnIndent(run) + fixed;
  int result = 0;
  // top is already relative to the client area (at or above 0).
  int height = top;
  PVirtualNode previous = run;
  // An initialisation handler may free the node in turn: the walk goes on
  // after the one before it, or ends.
  TCallOutScope scope(*this);
  while (run != nullptr && height < clientHeight) {
    if (!(run->States & vsInitialized)) InitNode(run);
    if (Gone(run)) {
      run = previous != run && !Gone(previous) ? GetNextVisible(previous) : nullptr;
      continue;
    }
    if (Gone(previous)) previous = run;
    if (run != previous) x += CountLevelDifference(previous, run) * static_cast<int>(indent);
    int right = x + (run->CheckType != ctNone ? checkWidth : 0) + DoGetNodeWidth(run, NoColumn);
    // The width handler may free the tree or the row: the walk ends there.
    if (TreeGoing() || Gone(run)) break;
    result = std::max(result, right);
    height += run->NodeHeight;
    previous = run;
    run = GetNextVisible(run);
  }
  return result + margin;
}
