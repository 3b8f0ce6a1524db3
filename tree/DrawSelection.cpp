// The rubber band: which nodes a dragged selection rectangle covers, decided
// incrementally from the band's last and new extent so that only the nodes
// whose coverage changed are selected or deselected.
#include <algorithm>

#include "tree/VirtualTrees.h"

namespace {
// An empty band (no width or no height) covers nothing.
bool Covers(const TTreeRect& band, int left, int right, int64_t top, int64_t bottom, bool verticalOnly) {
  if (band.Height() <= 0 || (!verticalOnly && band.Width() <= 0)) return false;
  bool rows = top < band.Bottom && bottom > band.Top;
  return rows && (verticalOnly || (left < band.Right && right > band.Left));
}

TTreeRect Mirror(const TTreeRect& r, int left, int right) {
  return TTreeRect{left + right - r.Right, r.Top, left + right - r.Left, r.Bottom};
}
}  // namespace

bool TBaseVirtualTree::HandleDrawSelection(int x, int y) {
  if (!states.Contains(tsDrawSelecting) || root->FirstChild == nullptr) return false;
  TTreeRect oldRect = lastSelRect.Ordered();
  TTreeRect newRect = newSelRect.Ordered();
  ClearTempCache();
  TColumnIndex main = HeaderMainColumn();
  int nodeLeft = 0;
  int maxRight = ClientWidth();
  TColumnAttributes attributes;
  if (HeaderColumnCount() > 0 && HeaderColumnAttributes(main, attributes)) {
    nodeLeft = attributes.Left;
    maxRight = nodeLeft + attributes.Width;
  } else {
    main = NoColumn;
  }
  TAlignment alignment = ColumnAlignment(main);
  bool changed = ColumnBiDiMode(main) == bdLeftToRight
                     ? SelectInRectangleLTR(main, nodeLeft, oldRect, newRect, alignment, maxRight)
                     : SelectInRectangleRTL(main, nodeLeft, oldRect, newRect, alignment, maxRight);
  if (Going()) return false;
  if (changed) {
    CompactSelection();
    if (!tempNodeCache.empty()) {
      std::vector<PVirtualNode> added;
      added.swap(tempNodeCache);
      // Nodes a handler deleted meanwhile were forgotten (left null).
      std::erase(added, nullptr);
      AddToSelection(added, false);
    }
    ClearTempCache();
    Change(nullptr);
  }
  return changed;
}

bool TBaseVirtualTree::SelectInRectangleLTR(TColumnIndex mainColumn, int nodeLeft, const TTreeRect& oldRect,
                                            const TTreeRect& newRect, TAlignment alignment, int maxRight) {
  int64_t top = 0;
  PVirtualNode run = GetNodeAtPosition(std::min(oldRect.Top, newRect.Top), top);
  int64_t bottom = std::max(oldRect.Bottom, newRect.Bottom);
  bool simple = options.selection.Contains(toSimpleDrawSelection);
  bool toggle = drawSelShiftState.Contains(ssCtrl);
  bool checks = options.misc.Contains(toCheckSupport) && CheckImages() != nullptr;
  int levelOffset = options.paint.Contains(toShowRoot) ? 1 : 0;
  bool changed = false;
  // The measuring and width handlers may delete the node in turn (or free the
  // tree): the band then ends its walk there, the next move walks again.
  TCallOutScope scope(*this);
  while (run != nullptr && top <= bottom) {
    MeasureNodeHeight(MeasureCanvas(), run);
    if (scope.Lost(run)) break;
    int height = run->NodeHeight;
    int left = nodeLeft + (static_cast<int>(GetNodeLevel(run)) + levelOffset) * static_cast<int>(indent) + margin;
    left += ImageRoom(run, ikState, mainColumn);
    if (scope.Lost(run)) break;
    left += ImageRoom(run, ikNormal, mainColumn);
    if (scope.Lost(run)) break;
    if (checks && run->CheckType != ctNone) left += CheckImages()->Width() + 2;
    int width = 0;
    int right = maxRight;
    if (!simple) {
      width = DoGetNodeWidth(run, mainColumn);
      if (options.autoOptions.Contains(toAutoSpanColumns) && mainColumn >= 0) {
        TColumnAttributes attributes;
        for (TColumnIndex next = NextVisibleColumn(mainColumn);
             next >= 0 && DoGetCellIsEmpty(run, next) && HeaderColumnAttributes(next, attributes);
             next = NextVisibleColumn(next)) {
          width += attributes.Width;
          right += attributes.Width;
        }
      }
      if (scope.Lost(run)) break;
      int space = right - left;
      if (width < space) {
        if (alignment == taRightJustify) left = right - width;
        if (alignment == taCenter) left += (space - width) / 2;
      }
    }
    bool inOld = Covers(oldRect, left, left + width, top, top + height, simple);
    bool inNew = Covers(newRect, left, left + width, top, top + height, simple);
    if (inOld != inNew) {
      bool select = toggle ? !(run->States & vsSelected) : inNew;
      if (select) {
        if (!(run->States & vsSelected)) InternalCacheNode(run);
      } else {
        InternalRemoveFromSelection(run);
      }
      changed = true;
    }
    top += height;
    run = GetNextVisibleNoInit(run);
  }
  lastSelRect = newSelRect;
  return changed;
}

bool TBaseVirtualTree::SelectInRectangleRTL(TColumnIndex mainColumn, int nodeLeft, const TTreeRect& oldRect,
                                            const TTreeRect& newRect, TAlignment alignment, int maxRight) {
  // The right-to-left layout is the left-to-right one mirrored inside the column.
  return SelectInRectangleLTR(mainColumn, nodeLeft, Mirror(oldRect, nodeLeft, maxRight),
                              Mirror(newRect, nodeLeft, maxRight), MirroredAlignment(alignment), maxRight);
}
