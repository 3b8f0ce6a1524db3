// The column collection: items, the position array (always a permutation of
// 0 .. count - 1), left edges, visible-column navigation and geometry.
#include "tree/VirtualTrees.h"

#include <algorithm>
#include <new>

void TVirtualTreeColumns::Create(TVTHeader* header_) { header = header_; }

TVirtualTreeColumns::~TVirtualTreeColumns() {
  // The tree goes: nothing is kept any more.
  for (TVirtualTreeColumn* column : items) {
    column->owner = nullptr;
    column->Free();
  }
  items.clear();
  ReleaseGoingColumns();
  FreeAndNil(headerBitmap);
}

bool TVirtualTreeColumns::KeepGoing(TVirtualTreeColumn* column) {
  // An operation of the tree is on the stack (the tree is held): it may still
  // point at the column, which goes with the tree's last hold.
  TBaseVirtualTree* tree = Tree();
  if (tree == nullptr || tree->HoldCount() == 0) return false;
  try {
    goingColumns.push_back(column);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void TVirtualTreeColumns::ReleaseGoingColumns() {
  std::vector<TVirtualTreeColumn*> going;
  going.swap(goingColumns);
  for (TVirtualTreeColumn* column : going) delete column;
}

void TVirtualTreeColumns::ReleaseItems() {
  std::vector<TVirtualTreeColumn*> leaving;
  leaving.swap(items);
  positionToIndex.clear();
  ++changes;
  for (TVirtualTreeColumn* column : leaving) column->Free();
}

TBaseVirtualTree* TVirtualTreeColumns::Tree() const { return header != nullptr ? header->Treeview() : nullptr; }

TVirtualTreeColumn* TVirtualTreeColumns::Items(TColumnIndex index) const {
  return IsValidColumn(index) ? items[static_cast<size_t>(index)] : nullptr;
}

void TVirtualTreeColumns::ReindexItems() {
  for (size_t i = 0; i < items.size(); ++i) items[i]->index = static_cast<int>(i);
}

TVirtualTreeColumn* TVirtualTreeColumns::Add() {
  TBaseVirtualTree* tree = Tree();
  TVirtualTreeColumn* column = tree != nullptr ? tree->CreateColumn(this) : New<TVirtualTreeColumn>(this);
  column->index = Count();
  items.push_back(column);
  ++changes;
  // The position array grows at once, even inside a collection update:
  // navigation reads it before the update ends.
  positionToIndex.push_back(column->index);
  column->position = column->index;
  Update(nullptr);
  return column;
}

void TVirtualTreeColumns::EndUpdate() {
  if (updateCount > 0 && --updateCount == 0) Update(nullptr);
}

void TVirtualTreeColumns::Clear() {
  clearing = true;
  hoverIndex = downIndex = trackIndex = clickIndex = dropTarget = NoColumn;
  bool loading = header != nullptr && header->States().Contains(hsLoading);
  if (header != nullptr && !loading) {
    header->autoSizeIndex = NoColumn;
    header->mainColumn = NoColumn;
    header->sortColumn = NoColumn;
  }
  // Read columns replace these ones; the header checks the focused column after reading.
  TBaseVirtualTree* tree = Tree();
  if (tree != nullptr && !loading && !items.empty()) {
    tree->focusedColumn = NoColumn;
    tree->MainColumnChanged();
  }
  BeginUpdate();
  ReleaseItems();
  EndUpdate();
  clearing = false;
}

void TVirtualTreeColumns::Delete(TColumnIndex index) {
  if (TVirtualTreeColumn* column = Items(index)) column->Free();
}

void TVirtualTreeColumns::Detach(TVirtualTreeColumn* column) {
  TBaseVirtualTree* tree = Tree();
  if (tree != nullptr) tree->CancelEditNode();
  // The edit handlers may have cleared the columns meanwhile.
  TColumnIndex index = column->index;
  if (Items(index) != column) return;
  items.erase(items.begin() + index);
  ++changes;
  ReindexItems();
  RemovePosition(index);
  RenumberPositions();
  // Indices that pointed at or past the removed column move with it.
  auto shift = [index](TColumnIndex& value) {
    if (value == index) value = NoColumn;
    else if (value > index) --value;
  };
  shift(hoverIndex);
  shift(downIndex);
  shift(trackIndex);
  shift(clickIndex);
  shift(dropTarget);
  bool mainGone = false;
  if (header != nullptr) {
    shift(header->autoSizeIndex);
    shift(header->sortColumn);
    shift(header->dragColumn);
    // The main and the focused column stay on their columns; one that went
    // is replaced by a column that exists.
    mainGone = header->mainColumn == index;
    if (header->mainColumn > index) --header->mainColumn;
    if (header->mainColumn >= Count()) header->mainColumn = Count() - 1;
  }
  if (tree != nullptr) {
    // The column of a click in the body and the hint's stay on their columns too.
    shift(tree->clickedColumn);
    shift(tree->hintData.Column);
    if (tree->focusedColumn == index)
      tree->focusedColumn = Count() > 0 && header != nullptr ? header->mainColumn : NoColumn;
    else if (tree->focusedColumn > index)
      --tree->focusedColumn;
    if (mainGone) tree->MainColumnChanged();
  }
  Update(nullptr);
}

void TVirtualTreeColumns::Assign(TPersistent* source) {
  auto* other = dynamic_cast<TVirtualTreeColumns*>(source);
  if (other == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  BeginUpdate();
  ReleaseItems();
  for (int i = 0; i < other->Count(); ++i) {
    TVirtualTreeColumn* column = Add();
    column->Assign(other->Items(i));
  }
  positionToIndex = other->positionToIndex;
  FixPositions();
  EndUpdate();
  UpdatePositions(/*force=*/true);
  if (header != nullptr) header->KeepFocusedColumnValid();
}

void TVirtualTreeColumns::Update(TVirtualTreeColumn* item) {
  if (updateCount > 0) return;
  FixPositions();
  TBaseVirtualTree* tree = Tree();
  bool loading = tree != nullptr && tree->IsTreeLoading();
  if (loading)
    needPositionsFix = true;
  else
    UpdatePositions(/*force=*/true);
  if (header == nullptr) return;
  if (Count() > 0 && header->mainColumn < 0) header->mainColumn = 0;
  if (tree == nullptr || loading || header->States().Contains(hsLoading)) return;
  if (header->Options().Contains(hoAutoResize)) AdjustAutoSize(InvalidColumn);
  if (item == nullptr) {
    tree->UpdateHorizontalScrollBar(false);
    header->Invalidate(nullptr);
    tree->InvalidateWhole();
  } else {
    header->Invalidate(item);
  }
  if (!tree->IsTreeDestroying()) tree->UpdateDesigner();
}

// ---- Positions ----------------------------------------------------------------

void TVirtualTreeColumns::FixPositions() {
  // Any array that is not a permutation of 0 .. count - 1 (a shrunk count, a
  // damaged stream) is mended: valid first occurrences keep their order, the
  // missing indices follow in index order.
  int count = Count();
  std::vector<bool> seen(static_cast<size_t>(count), false);
  TIndexArray fixed;
  fixed.reserve(static_cast<size_t>(count));
  for (TColumnIndex index : positionToIndex) {
    if (index < 0 || index >= count || seen[static_cast<size_t>(index)]) continue;
    seen[static_cast<size_t>(index)] = true;
    fixed.push_back(index);
  }
  for (int i = 0; i < count; ++i)
    if (!seen[static_cast<size_t>(i)]) fixed.push_back(i);
  positionToIndex.swap(fixed);
}

void TVirtualTreeColumns::RemovePosition(TColumnIndex index) {
  auto it = std::find(positionToIndex.begin(), positionToIndex.end(), index);
  if (it != positionToIndex.end()) positionToIndex.erase(it);
  for (TColumnIndex& value : positionToIndex)
    if (value > index) --value;
  FixPositions();
}

void TVirtualTreeColumns::RenumberPositions() {
  for (size_t p = 0; p < positionToIndex.size(); ++p)
    items[static_cast<size_t>(positionToIndex[p])]->position = static_cast<TColumnPosition>(p);
}

void TVirtualTreeColumns::MoveInPositions(TVirtualTreeColumn* column, TColumnPosition from, TColumnPosition to) {
  auto it = std::find(positionToIndex.begin(), positionToIndex.end(), column->index);
  if (it == positionToIndex.end()) return;
  positionToIndex.erase(it);
  to = std::clamp<TColumnPosition>(to, 0, static_cast<TColumnPosition>(positionToIndex.size()));
  positionToIndex.insert(positionToIndex.begin() + to, column->index);
  ++changes;
  UpdatePositions(/*force=*/true);
}

void TVirtualTreeColumns::InitializePositionArray() {
  // Stored positions may collide or lie outside: each column claims its place
  // when free, the rest fill the gaps in index order.
  int count = Count();
  TIndexArray claimed(static_cast<size_t>(count), NoColumn);
  std::vector<TColumnIndex> homeless;
  for (TVirtualTreeColumn* column : items) {
    TColumnPosition p = column->position;
    if (p >= 0 && p < count && claimed[static_cast<size_t>(p)] == NoColumn)
      claimed[static_cast<size_t>(p)] = column->index;
    else
      homeless.push_back(column->index);
  }
  size_t next = 0;
  for (TColumnIndex& slot : claimed)
    if (slot == NoColumn) slot = homeless[next++];
  positionToIndex = claimed;
  ++changes;
  needPositionsFix = false;
  UpdatePositions(/*force=*/true);
}

void TVirtualTreeColumns::UpdatePositions(bool force) {
  TBaseVirtualTree* tree = Tree();
  if (tree != nullptr && tree->IsTreeLoading()) {
    needPositionsFix = true;
    return;
  }
  if (updateCount > 0 && !force) return;
  FixPositions();
  int running = 0;
  for (size_t p = 0; p < positionToIndex.size(); ++p) {
    TVirtualTreeColumn* column = items[static_cast<size_t>(positionToIndex[p])];
    column->position = static_cast<TColumnPosition>(p);
    column->left = running;
    if (column->IsVisible()) running += column->width;
  }
}

// ---- Navigation -----------------------------------------------------------------

TColumnIndex TVirtualTreeColumns::ColumnFromPositionIndex(TColumnPosition position) const {
  if (position < 0 || position >= static_cast<TColumnPosition>(positionToIndex.size())) return NoColumn;
  return positionToIndex[static_cast<size_t>(position)];
}

TColumnIndex TVirtualTreeColumns::GetFirstVisibleColumn() const {
  for (TColumnIndex index : positionToIndex)
    if (items[static_cast<size_t>(index)]->IsVisible()) return index;
  return InvalidColumn;
}

TColumnIndex TVirtualTreeColumns::GetLastVisibleColumn() const {
  for (auto it = positionToIndex.rbegin(); it != positionToIndex.rend(); ++it)
    if (items[static_cast<size_t>(*it)]->IsVisible()) return *it;
  return InvalidColumn;
}

TColumnPosition TVirtualTreeColumns::PositionOf(TColumnIndex column) const {
  // A column's Position is refreshed lazily while the tree loads: trust it
  // only when the array agrees.
  TColumnPosition p = items[static_cast<size_t>(column)]->position;
  if (p >= 0 && p < static_cast<TColumnPosition>(positionToIndex.size()) &&
      positionToIndex[static_cast<size_t>(p)] == column)
    return p;
  auto it = std::find(positionToIndex.begin(), positionToIndex.end(), column);
  return it == positionToIndex.end() ? -1 : static_cast<TColumnPosition>(it - positionToIndex.begin());
}

TColumnIndex TVirtualTreeColumns::GetNextColumn(TColumnIndex column) const {
  if (!IsValidColumn(column)) return InvalidColumn;
  TColumnPosition p = PositionOf(column) + 1;
  return p > 0 && p < static_cast<TColumnPosition>(positionToIndex.size()) ? positionToIndex[static_cast<size_t>(p)]
                                                                          : InvalidColumn;
}

TColumnIndex TVirtualTreeColumns::GetPreviousColumn(TColumnIndex column) const {
  if (!IsValidColumn(column)) return InvalidColumn;
  TColumnPosition p = PositionOf(column) - 1;
  return p >= 0 ? positionToIndex[static_cast<size_t>(p)] : InvalidColumn;
}

TColumnIndex TVirtualTreeColumns::GetNextVisibleColumn(TColumnIndex column) const {
  for (TColumnIndex run = GetNextColumn(column); run != InvalidColumn; run = GetNextColumn(run))
    if (items[static_cast<size_t>(run)]->IsVisible()) return run;
  return InvalidColumn;
}

TColumnIndex TVirtualTreeColumns::GetPreviousVisibleColumn(TColumnIndex column) const {
  for (TColumnIndex run = GetPreviousColumn(column); run != InvalidColumn; run = GetPreviousColumn(run))
    if (items[static_cast<size_t>(run)]->IsVisible()) return run;
  return InvalidColumn;
}

TColumnsArray TVirtualTreeColumns::GetVisibleColumns() const {
  TColumnsArray result;
  for (TColumnIndex index : positionToIndex)
    if (items[static_cast<size_t>(index)]->IsVisible()) result.push_back(items[static_cast<size_t>(index)]);
  return result;
}

// ---- Geometry -------------------------------------------------------------------

int TVirtualTreeColumns::GetVisibleFixedWidth() const {
  int result = 0;
  for (TVirtualTreeColumn* column : items)
    if (column->IsVisible() && column->Options().Contains(coFixed)) result += column->width;
  return result;
}

int TVirtualTreeColumns::TotalWidth() const {
  TColumnIndex last = GetLastVisibleColumn();
  if (last == InvalidColumn) return 0;
  const TVirtualTreeColumn* column = items[static_cast<size_t>(last)];
  return column->left + column->width;
}

void TVirtualTreeColumns::GetColumnBounds(TColumnIndex column, int& left, int& right) const {
  if (IsValidColumn(column)) {
    left = items[static_cast<size_t>(column)]->Left();
    right = left + items[static_cast<size_t>(column)]->width;
    return;
  }
  TBaseVirtualTree* tree = Tree();
  left = 0;
  right = tree == nullptr ? 0 : (tree->HandleAllocated() ? tree->ClientWidth() : tree->Width());
}

TColumnIndex TVirtualTreeColumns::ColumnFromPosition(TPoint p, bool relative) {
  TBaseVirtualTree* tree = Tree();
  if (p.X < 0 || p.Y < 0 || (tree != nullptr && p.Y > tree->Height())) return InvalidColumn;
  // Points beyond the fixed area see the columns scrolled.
  int sum = 0;
  if (relative && tree != nullptr && p.X >= GetVisibleFixedWidth()) sum = tree->OffsetX();
  for (TColumnIndex index : positionToIndex) {
    const TVirtualTreeColumn* column = items[static_cast<size_t>(index)];
    if (!column->IsVisible()) continue;
    sum += column->width;
    if (p.X < sum) return index;
  }
  return InvalidColumn;
}
