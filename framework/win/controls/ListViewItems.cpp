#include "win/controls/ComCtrls.h"

#include "core/Exception.h"
#include "core/Format.h"

// Columns and items of the list view: held here, mirrored into the window by
// the list view (ListView.cpp).

namespace {

[[noreturn]] void IndexError(int index) { throw EListError(Format("List index out of bounds (%d)", {index})); }

void CheckHoldsRows(bool ownerData) {
  if (ownerData) throw EListError("An owner-data list is given a row count, not rows");
}

}  // namespace

// ---------------------------------------------------------------------------
// TListColumn, TListColumns

void TListColumn::SetCaption(const std::string& value) {
  if (value == caption) return;
  caption = value;
  Update();
}

int TListColumn::Width() const {
  int index = Index();
  if (owner != nullptr && owner->HandleAllocated() && index >= 0)
    return static_cast<int>(SendMessageW(owner->Handle(), LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(index), 0));
  return width;
}

void TListColumn::SetWidth(int value) {
  width = value;
  Update();
}

void TListColumn::SetAlignment(TAlignment value) {
  if (value == alignment) return;
  alignment = value;
  Update();
}

int TListColumn::Index() const {
  if (owner == nullptr) return -1;
  const auto& all = owner->Columns()->columns;
  for (size_t i = 0; i < all.size(); ++i)
    if (all[i] == this) return static_cast<int>(i);
  return -1;
}

void TListColumn::Assign(TPersistent* source) {
  auto* other = dynamic_cast<TListColumn*>(source);
  if (other == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  caption = other->caption;
  width = other->Width();
  alignment = other->alignment;
  Update();
}

void TListColumn::Update() {
  int index = Index();
  if (owner != nullptr && index >= 0) owner->UpdateWindowColumn(index);
}

TListColumns::~TListColumns() {
  for (TListColumn* column : columns) column->Free();
}

TListColumn* TListColumns::Items(int index) const {
  if (index < 0 || index >= Count()) IndexError(index);
  return columns[static_cast<size_t>(index)];
}

TListColumn* TListColumns::Add() {
  TListColumn* column = New<TListColumn>(owner);
  columns.push_back(column);
  owner->InsertWindowColumn(Count() - 1);
  return column;
}

void TListColumns::Delete(int index) {
  if (index < 0 || index >= Count()) IndexError(index);
  TListColumn* column = columns[static_cast<size_t>(index)];
  columns.erase(columns.begin() + index);
  if (owner->HandleAllocated()) SendMessageW(owner->Handle(), LVM_DELETECOLUMN, static_cast<WPARAM>(index), 0);
  column->Free();
}

void TListColumns::Clear() {
  while (Count() > 0) Delete(Count() - 1);
}

void TListColumns::Assign(TPersistent* source) {
  auto* other = dynamic_cast<TListColumns*>(source);
  if (other == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  if (other == this) return;
  Clear();
  for (TListColumn* column : other->columns) Add()->Assign(column);
}

// ---------------------------------------------------------------------------
// TSubItems, TListItem

void TSubItems::Changed() {
  TStringList::Changed();
  if (item != nullptr) item->Changed();
}

void TListItem::Create(TListItems* owner_) {
  owner = owner_;
  subItems = New<TSubItems>(this);
}

TListItem::~TListItem() {
  if (subItems != nullptr) subItems->Free();
}

TListView* TListItem::ListView() const { return owner != nullptr ? owner->Owner() : nullptr; }

int TListItem::Index() const { return owner != nullptr ? owner->IndexOf(this) : -1; }

void TListItem::Changed() {
  // Nothing to redraw while filling in a bracket or without a window (and
  // finding the index is a walk through the list).
  TListView* view = ListView();
  if (view == nullptr || owner->updateCount > 0 || owner->filling > 0 || !view->HandleAllocated()) return;
  int index = Index();
  if (index >= 0) owner->Owner()->UpdateWindowItem(index);
}

void TListItem::Reset() {
  caption.clear();
  wideCaption.clear();
  hasWideCaption = false;
  subItems->Clear();
  imageIndex = -1;
  data = nullptr;
}

void TListItem::SetCaption(const std::string& value) {
  if (value == caption) return;
  caption = value;
  Changed();
}

void TListItem::SetWideCaption(const std::u16string& value) {
  if (hasWideCaption && value == wideCaption) return;
  wideCaption = value;
  hasWideCaption = true;
  Changed();
}

void TListItem::SetImageIndex(int value) {
  if (value == imageIndex) return;
  imageIndex = value;
  Changed();
}

bool TListItem::Selected() const {
  TListView* view = ListView();
  int index = Index();
  if (view == nullptr || !view->HandleAllocated() || index < 0) return selected;
  return SendMessageW(view->Handle(), LVM_GETITEMSTATE, static_cast<WPARAM>(index), LVIS_SELECTED) != 0;
}

void TListItem::SetSelected(bool value) {
  selected = value;
  TListView* view = ListView();
  int index = Index();
  if (view == nullptr || !view->HandleAllocated() || index < 0) return;
  LVITEMW state{};
  state.stateMask = LVIS_SELECTED;
  state.state = value ? LVIS_SELECTED : 0;
  SendMessageW(view->Handle(), LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&state));
}

bool TListItem::Focused() const {
  TListView* view = ListView();
  int index = Index();
  if (view == nullptr || !view->HandleAllocated() || index < 0) return focused;
  return SendMessageW(view->Handle(), LVM_GETITEMSTATE, static_cast<WPARAM>(index), LVIS_FOCUSED) != 0;
}

void TListItem::SetFocused(bool value) {
  focused = value;
  TListView* view = ListView();
  int index = Index();
  if (view == nullptr || !view->HandleAllocated() || index < 0) return;
  LVITEMW state{};
  state.stateMask = LVIS_FOCUSED;
  state.state = value ? LVIS_FOCUSED : 0;
  SendMessageW(view->Handle(), LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&state));
}

void TListItem::Delete() {
  int index = Index();
  if (index >= 0) owner->Delete(index);
}

void TListItem::MakeVisible(bool partialOK) {
  TListView* view = ListView();
  int index = Index();
  if (view != nullptr && view->HandleAllocated() && index >= 0)
    SendMessageW(view->Handle(), LVM_ENSUREVISIBLE, static_cast<WPARAM>(index), partialOK);
}

TRect TListItem::DisplayRect() const {
  TListView* view = ListView();
  int index = Index();
  if (view == nullptr || !view->HandleAllocated() || index < 0) return TRect{};
  RECT r{};
  r.left = LVIR_BOUNDS;
  SendMessageW(view->Handle(), LVM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r));
  return TRect::FromRECT(r);
}

// ---------------------------------------------------------------------------
// TListItems

TListItems::~TListItems() {
  for (TListItem* item : items) item->Free();
  if (dataItem != nullptr) dataItem->Free();
}

TListItem* TListItems::Item(int index) const {
  if (index < 0 || index >= Count()) IndexError(index);
  if (ownerData) return const_cast<TListItems*>(this)->DataItem(index);
  return items[static_cast<size_t>(index)];
}

TListItem* TListItems::DataItem(int index) {
  if (dataItem == nullptr) dataItem = New<TListItem>(this);
  if (index == dataIndex) return dataItem;
  ++filling;
  dataIndex = index;
  try {
    dataItem->Reset();
    if (owner->OnData) owner->OnData(owner, dataItem);
  } catch (...) {
    dataIndex = -1;
    --filling;
    throw;
  }
  --filling;
  return dataItem;
}

void TListItems::SetCount(int value) {
  if (!ownerData) throw EListError("Only an owner-data list is given a row count");
  if (value < 0) IndexError(value);
  ownerCount = value;
  dataIndex = -1;
  if (!owner->HandleAllocated()) return;
  ++owner->quietLevel;
  SendMessageW(owner->Handle(), LVM_SETITEMCOUNT, static_cast<WPARAM>(value), 0);
  --owner->quietLevel;
  if (updateCount == 0) InvalidateRect(owner->Handle(), nullptr, TRUE);
}

int TListItems::IndexOf(const TListItem* item) const {
  if (item != nullptr && item == dataItem) return dataIndex;
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i] == item) return static_cast<int>(i);
  return -1;
}

TListItem* TListItems::Add() { return Insert(Count()); }

TListItem* TListItems::Insert(int index) {
  CheckHoldsRows(ownerData);
  if (index < 0 || index > Count()) IndexError(index);
  TListItem* item = New<TListItem>(this);
  items.insert(items.begin() + index, item);
  owner->InsertWindowItem(index);
  return item;
}

void TListItems::Delete(int index) {
  CheckHoldsRows(ownerData);
  if (index < 0 || index >= Count()) IndexError(index);
  TListItem* item = items[static_cast<size_t>(index)];
  ++owner->quietLevel;
  if (owner->HandleAllocated()) SendMessageW(owner->Handle(), LVM_DELETEITEM, static_cast<WPARAM>(index), 0);
  --owner->quietLevel;
  items.erase(items.begin() + index);
  item->Free();
}

void TListItems::Clear() {
  ++owner->quietLevel;
  if (owner->HandleAllocated()) SendMessageW(owner->Handle(), LVM_DELETEALLITEMS, 0, 0);
  --owner->quietLevel;
  ownerCount = 0;
  dataIndex = -1;
  owner->dataSelection.clear();
  owner->dataFocus = -1;
  std::vector<TListItem*> doomed;
  doomed.swap(items);
  for (TListItem* item : doomed) item->Free();
}

void TListItems::BeginUpdate() {
  if (updateCount++ == 0 && owner->HandleAllocated()) SendMessageW(owner->Handle(), WM_SETREDRAW, FALSE, 0);
}

void TListItems::EndUpdate() {
  if (updateCount == 0) return;
  if (--updateCount > 0 || !owner->HandleAllocated()) return;
  SendMessageW(owner->Handle(), WM_SETREDRAW, TRUE, 0);
  InvalidateRect(owner->Handle(), nullptr, TRUE);
}
