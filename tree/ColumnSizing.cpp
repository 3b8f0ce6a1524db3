// Column sizes and moves: the auto-size column, spring columns, animated
// resizing, moving a column to a new position, and the mouse's hover,
// pressed and clicked columns.
#include "tree/VirtualTrees.h"

#include <algorithm>
#include <cmath>

void TVirtualTreeColumns::AdjustAutoSize(TColumnIndex changed, bool force) {
  if (Count() == 0 || header == nullptr) return;
  TColumnIndex autoIndex = header->AutoSizeIndex();
  if (autoIndex < 0 || autoIndex >= Count()) autoIndex = Count() - 1;
  // A change at or right of the auto-size column hands the free room to the next visible column.
  if (IsValidColumn(changed) && items[static_cast<size_t>(changed)]->position >=
                                    items[static_cast<size_t>(autoIndex)]->position) {
    autoIndex = GetNextVisibleColumn(changed);
    if (autoIndex == InvalidColumn) return;
  }
  TBaseVirtualTree* tree = Tree();
  if (tree == nullptr) return;
  int available = tree->HandleAllocated() ? tree->ClientWidth() : tree->Width();
  for (TVirtualTreeColumn* column : items)
    if (column->index != autoIndex && column->IsVisible()) available -= column->width;
  TVirtualTreeColumn* target = items[static_cast<size_t>(autoIndex)];
  int newWidth = std::clamp(available, target->minWidth, target->maxWidth);
  if (newWidth == target->width && !force) return;
  header->states.Include(hsAutoSizing);
  target->lastWidth = target->width;
  target->width = newWidth;
  UpdatePositions(/*force=*/true);
  header->states.Exclude(hsAutoSizing);
  tree->DoColumnResize(autoIndex);
}

void TVirtualTreeColumns::AdjustSpringColumns(int headerWidth) {
  if (header == nullptr) return;
  // The first width seen is the starting point: nothing to spread yet.
  int difference = header->lastSpringWidth == 0 ? 0 : headerWidth - header->lastSpringWidth;
  header->lastSpringWidth = headerWidth;
  if (difference == 0) return;
  std::vector<TVirtualTreeColumn*> springs;
  for (TVirtualTreeColumn* column : items)
    if (column->IsVisible() && column->Options().Contains(coAutoSpring)) springs.push_back(column);
  if (springs.empty()) return;
  double share = std::abs(difference) / static_cast<double>(springs.size());
  double left = std::abs(difference);
  int sign = difference > 0 ? 1 : -1;
  BeginUpdate();
  for (TVirtualTreeColumn* column : springs) {
    double amount = share + column->springRest;
    if (amount >= 1) {
      int whole = static_cast<int>(amount);
      column->springRest = amount - whole;
      column->SetWidth(column->width + sign * whole);
    } else {
      column->springRest = amount;
    }
    left -= share;
    if (left < 0) break;
  }
  EndUpdate();
}

void TVirtualTreeColumns::AnimatedResize(TColumnIndex column, int newWidth) {
  TVirtualTreeColumn* target = Items(column);
  if (target == nullptr) return;
  newWidth = std::clamp(newWidth, target->minWidth, target->maxWidth);
  if (newWidth == target->width) return;
  TBaseVirtualTree* tree = Tree();
  const int step = (newWidth - target->width) / 32;
  if (tree != nullptr && tree->HandleAllocated() && tree->Visible() && step != 0) {
    // The header and content right of the column slide sideways in 32 steps;
    // the waits between them run on the tree's animation (messages keep flowing).
    TObject::THold hold(tree);
    HWND wnd = tree->Handle();
    HDC dc = GetWindowDC(wnd);
    if (dc != nullptr) {
      RECT window;
      GetWindowRect(wnd, &window);
      TRect headerRect = tree->HeaderRect();
      int right = headerRect.Left + target->Left() + target->width;
      RECT scroll{right, headerRect.Top, window.right - window.left, window.bottom - window.top};
      COLORREF gap = ColorToRGB(tree->Color());
      int remaining = 32;
      tree->Animate(32, 64, [&](int, int stepSize, void*) {
        for (int n = std::min(stepSize, remaining); n > 0; --n, --remaining) {
          ScrollDC(dc, step, 0, &scroll, &scroll, nullptr, nullptr);
          if (step > 0) FillSolidRect(dc, TRect{scroll.left, scroll.top, scroll.left + step, scroll.bottom}, gap);
          scroll.left += step;
        }
        return remaining > 0;
      }, nullptr);
      ReleaseDC(wnd, dc);
      // Messages ran meanwhile: their handlers may have freed the tree or deleted the column.
      if (tree->Going() || target->Going()) return;
    }
  }
  target->SetWidth(newWidth);
}

void TVirtualTreeColumns::AdjustPosition(TVirtualTreeColumn* column, TColumnPosition position) {
  if (column == nullptr) return;
  column->SetPosition(position);
}

// ---- Mouse state ----------------------------------------------------------------

void TVirtualTreeColumns::RepaintCell(TColumnIndex column) {
  if (header != nullptr && IsValidColumn(column)) header->Invalidate(items[static_cast<size_t>(column)]);
}

bool TVirtualTreeColumns::AdjustHoverColumn(TPoint p) {
  TColumnIndex now = ColumnFromPosition(header->ClientToHeader(p));
  if (now == hoverIndex) return false;
  TColumnIndex old = hoverIndex;
  hoverIndex = now;
  RepaintCell(old);
  RepaintCell(now);
  return true;
}

void TVirtualTreeColumns::AdjustDownColumn(TPoint p) {
  TColumnIndex now = ColumnFromPosition(header->ClientToHeader(p));
  if (now == downIndex || !IsValidColumn(now)) return;
  TVTColumnOptions o = items[static_cast<size_t>(now)]->Options();
  if (!o.Contains(coAllowClick) || !o.Contains(coEnabled)) return;
  TColumnIndex old = downIndex;
  downIndex = now;
  RepaintCell(old);
  RepaintCell(now);
}

bool TVirtualTreeColumns::HandleClick(TPoint p, TMouseButton button, bool force, bool dblClick) {
  TColumnIndex old = clickIndex;
  TColumnIndex now = ColumnFromPosition(header->ClientToHeader(p));
  bool clicked = IsValidColumn(now) && items[static_cast<size_t>(now)]->Options().Contains(coAllowClick) &&
                 (now == downIndex || force);
  if (clicked) {
    clickIndex = now;
    TShiftState shift = TVTHeader::GetShiftState();
    if (dblClick) shift.Include(ssDouble);
    TPoint h = header->ClientToHeader(p);
    if (TBaseVirtualTree* tree = Tree()) {
      // The handler may free the tree, and these columns with it: the caller asks Going() too.
      TObject::THold hold(tree);
      tree->DoHeaderClick(now, button, shift, h.X, h.Y);
      if (tree->Going()) return true;
    }
    // The handler may have deleted a column: the member moved with it, the local did not.
    RepaintCell(clickIndex);
  } else {
    clickIndex = NoColumn;
  }
  if (old != clickIndex) RepaintCell(old);
  return clicked;
}
