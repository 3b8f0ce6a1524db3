// Hit information: which node, column and part of a cell lies under a point.
#include <algorithm>

#include "tree/VirtualTrees.h"

namespace {
// Classifies offset inside a cell laid out from its start edge: the indent
// (button), the check box, the state and normal images, then the label placed
// by alignment. A right-to-left cell is classified in mirrored coordinates
// (offset counted from the right edge, its alignment taken unmirrored, which
// is what mirroring twice gives), and the label's sides are swapped back.
void ClassifyCell(TBaseVirtualTree* tree, THitInfo& hitInfo, int offset, int right, TAlignment alignment,
                  TColumnIndex mainColumn, bool mirrored) {
  PVirtualNode node = hitInfo.HitNode;
  const TTreeOptionValues& options = tree->OptionValues();
  bool isMain = hitInfo.HitColumn == mainColumn;
  int indent = static_cast<int>(tree->Indent());
  int indentWidth = 0;
  if (isMain)
    indentWidth = (static_cast<int>(tree->GetNodeLevel(node)) + (options.paint.Contains(toShowRoot) ? 1 : 0)) * indent;
  if (offset < indentWidth) {
    bool button = options.paint.Contains(toShowButtons) && (node->States & vsHasChildren) &&
                  offset >= indentWidth - indent;
    hitInfo.HitPositions.Include(button ? hiOnItemButton : hiOnItemIndent);
    return;
  }
  if (!isMain && options.misc.Contains(toReportMode)) return;

  int position = indentWidth + tree->Margin();
  if (isMain) {
    bool withCheck = options.misc.Contains(toCheckSupport) && tree->CheckImages() != nullptr &&
                     node->CheckType != ctNone;
    if (withCheck) position += tree->CheckImages()->Width() + 2;
    if (offset < position) {
      hitInfo.HitPositions = {hiOnItem};
      if (withCheck) hitInfo.HitPositions.Include(hiOnItemCheckbox);
      return;
    }
  }
  // The image handlers may delete the node or free the tree: the caller
  // finds the node gone and hits nothing.
  if (int room = tree->ImageRoom(node, ikState, hitInfo.HitColumn); room > 0) {
    position += room;
    if (offset < position) {
      hitInfo.HitPositions.Include(hiOnStateIcon);
      return;
    }
  }
  if (tree->TreeGoing() || TVirtualTreeCore::Gone(node)) return;
  if (int room = tree->ImageRoom(node, ikNormal, hitInfo.HitColumn); room > 0) {
    position += room;
    if (offset < position) {
      hitInfo.HitPositions.Include(hiOnNormalIcon);
      return;
    }
  }
  if (tree->TreeGoing() || TVirtualTreeCore::Gone(node)) return;

  THitPosition before = mirrored ? hiOnItemRight : hiOnItemLeft;
  THitPosition after = mirrored ? hiOnItemLeft : hiOnItemRight;
  int width = tree->DoGetNodeWidth(node, hitInfo.HitColumn, nullptr);
  if (width > right - position) {
    hitInfo.HitPositions.Include(hiOnItemLabel);
    return;
  }
  switch (alignment) {
    case taRightJustify:
      hitInfo.HitPositions.Include(offset >= right - width ? hiOnItemLabel : before);
      break;
    case taCenter: {
      int start = (position + right - width) / 2;
      if (offset < start)
        hitInfo.HitPositions.Include(before);
      else
        hitInfo.HitPositions.Include(offset < start + width ? hiOnItemLabel : after);
      break;
    }
    default:
      if (offset < position)
        hitInfo.HitPositions.Include(before);
      else
        hitInfo.HitPositions.Include(offset < position + width ? hiOnItemLabel : after);
      break;
  }
}
}  // namespace

void TBaseVirtualTree::DetermineHitPositionLTR(THitInfo& hitInfo, int offset, int right, TAlignment alignment) {
  ClassifyCell(this, hitInfo, offset, right, alignment, HeaderMainColumn(), /*mirrored=*/false);
}

void TBaseVirtualTree::DetermineHitPositionRTL(THitInfo& hitInfo, int offset, int right, TAlignment alignment) {
  ClassifyCell(this, hitInfo, right - 1 - offset, right, alignment, HeaderMainColumn(), /*mirrored=*/true);
}

void TBaseVirtualTree::GetHitTestInfoAt(int x, int y, bool relative, THitInfo& hitInfo) {
  hitInfo = THitInfo();
  TRect tree = GetTreeRect();
  if (x < 0)
    hitInfo.HitPositions.Include(hiToLeft);
  else if (x > tree.Right)
    hitInfo.HitPositions.Include(hiToRight);
  if (y < 0)
    hitInfo.HitPositions.Include(hiAbove);
  else if (y > tree.Bottom)
    hitInfo.HitPositions.Include(hiBelow);
  int64_t position = y;
  if (relative) {
    // The fixed columns cover pixels 0 to their width - 1; from their width
    // on the content is scrolled (as the header and the paint place it).
    if (x >= GetVisibleFixedWidth()) x -= offsetX;
    position -= offsetY;
  }
  if (!hitInfo.HitPositions.Empty()) return;

  int64_t top = 0;
  PVirtualNode node = GetNodeAtPosition(position, top);
  if (node == nullptr) {
    hitInfo.HitPositions.Include(hiNowhere);
    return;
  }
  // The initialisation, cell, image and width handlers may free the node or
  // the tree: both are kept until this returns, and nothing is hit then.
  TCallOutScope scope(*this);
  if (!(node->States & vsInitialized)) {
    InitNode(node);
    if (Gone(node)) {
      hitInfo.HitPositions.Include(hiNowhere);
      return;
    }
  }
  hitInfo.HitNode = node;

  int left = 0, right = tree.Right;
  TColumnAttributes attributes;
  if (HeaderColumnCount() > 0) {
    TColumnIndex column = ColumnFromPosition(x, /*relative=*/false);
    hitInfo.HitColumn = column;
    if (column < 0) {
      hitInfo.HitPositions.Include(hiNowhere);
      return;
    }
    HeaderColumnAttributes(column, attributes);
    left = attributes.Left;
    right = left + attributes.Width;
    if (options.autoOptions.Contains(toAutoSpanColumns)) {
      TColumnIndex initial = column;
      while (DoGetCellIsEmpty(node, hitInfo.HitColumn) && !TreeGoing() && !Gone(node)) {
        TColumnIndex previous = PreviousVisibleColumn(hitInfo.HitColumn);
        if (previous < 0) break;
        hitInfo.HitColumn = previous;
        HeaderColumnAttributes(previous, attributes);
        left -= attributes.Width;
      }
      for (TColumnIndex next = NextVisibleColumn(initial);
           next >= 0 && !TreeGoing() && !Gone(node) && DoGetCellIsEmpty(node, next);
           next = NextVisibleColumn(next)) {
        HeaderColumnAttributes(next, attributes);
        right += attributes.Width;
      }
    }
  }
  // The cell, image and width handlers may delete the node or free the tree:
  // a node that went is not handed out (the caller would keep it as hot node
  // or drop target).
  auto went = [&] {
    if (!TreeGoing() && !Gone(node)) return false;
    hitInfo.HitNode = nullptr;
    hitInfo.HitPositions = {hiNowhere};
    return true;
  };
  if (went()) return;
  hitInfo.HitPositions.Include(hiOnItem);
  TAlignment align = ColumnAlignment(hitInfo.HitColumn);
  if (ColumnBiDiMode(hitInfo.HitColumn) == bdLeftToRight)
    DetermineHitPositionLTR(hitInfo, x - left, right - left, align);
  else
    DetermineHitPositionRTL(hitInfo, x - left, right - left, align);
  went();
}
