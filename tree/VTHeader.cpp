// The header's properties and setters, Assign, scaling, repaint requests,
// auto-fitting and restoring columns.
#include "tree/VirtualTrees.h"

#include "tree/DragImage.h"

#include <algorithm>
#include <optional>

void TVTHeader::Create(TBaseVirtualTree* owner_) {
  owner = owner_;
  options = MaskToHeaderOptions(kInitialHeaderOptions);
  font = New<TFont>();
  font->OnChange = MakeEvent<&TVTHeader::FontChanged>(this);
  imageChangeLink = New<TChangeLink>();
  imageChangeLink->OnChange = MakeEvent<&TVTHeader::ImageListChange>(this);
  columns = CreateColumns();
  dragImage = new TVTDragImage(owner);
  dragImage->SetTransparency(140);
  dragImage->SetPreBlendBias(-50);
  dragImage->SetPostBlendBias(0);
  dragImage->SetFade(false);
}

TVirtualTreeColumns* TVTHeader::CreateColumns() { return New<TVirtualTreeColumns>(this); }

TVTHeader::~TVTHeader() {
  if (images != nullptr) images->UnRegisterChanges(imageChangeLink);
  FreeAndNil(columns);
  FreeAndNil(font);
  FreeAndNil(imageChangeLink);
  delete dragImage;
}

bool TVTHeader::TreeLoading() const { return owner != nullptr && owner->IsTreeLoading(); }

void TVTHeader::Assign(TPersistent* source) {
  auto* other = dynamic_cast<TVTHeader*>(source);
  if (other == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  SetAutoSizeIndex(other->AutoSizeIndex());
  SetBackground(other->Background());
  SetColumns(other->Columns());
  SetFont(other->Font());
  SetHeight(other->Height());
  SetImages(other->Images());
  SetMainColumn(other->MainColumn());
  SetOptions(other->Options());
  SetParentFont(other->ParentFont());
  SetPopupMenu(other->PopupMenu());
  SetSortColumn(other->SortColumn());
  SetSortDirection(other->SortDirection());
  SetStyle(other->Style());
}

void TVTHeader::FontChanged(TObject* sender) { Invalidate(nullptr); }

void TVTHeader::ImageListChange(TObject* sender) {
  if (!TreeLoading()) Invalidate(nullptr);
}

void TVTHeader::SetAutoSizeIndex(TColumnIndex value) {
  if (value == autoSizeIndex) return;
  autoSizeIndex = value;
  if (options.Contains(hoAutoResize)) columns->AdjustAutoSize(InvalidColumn);
}

void TVTHeader::SetBackground(TColor value) {
  if (value == background) return;
  background = value;
  Invalidate(nullptr);
}

void TVTHeader::SetFont(TFont* value) {
  font->Assign(value);
  parentFont = false;
}

void TVTHeader::SetHeight(uint32_t value) {
  if (value == height) return;
  height = value;
  if (!TreeLoading()) RecalculateHeader();
}

void TVTHeader::SetImages(TCustomImageList* value) {
  // A tree that goes hears of no list's release any more: it holds none.
  if (owner != nullptr && owner->ComponentState().Contains(csDestroying)) value = nullptr;
  if (value == images) return;
  if (images != nullptr) {
    images->UnRegisterChanges(imageChangeLink);
    if (owner != nullptr) images->RemoveFreeNotification(owner);
  }
  images = value;
  if (images != nullptr) {
    images->RegisterChanges(imageChangeLink);
    if (owner != nullptr) images->FreeNotification(owner);
  }
  if (!TreeLoading()) Invalidate(nullptr);
}

TColumnIndex TVTHeader::MainColumn() const { return columns->Count() > 0 ? mainColumn : NoColumn; }

void TVTHeader::SetMainColumn(TColumnIndex value) {
  if (TreeLoading()) {
    mainColumn = value;
    return;
  }
  int count = columns->Count();
  value = count == 0 ? NoColumn : std::clamp(value, 0, count - 1);
  if (value == mainColumn) return;
  mainColumn = value;
  if (owner == nullptr) return;
  owner->MainColumnChanged();
  if (!owner->TreeOptions()->SelectionOptions().Contains(toExtendedFocus)) owner->focusedColumn = value;
  owner->InvalidateWhole();
}

void TVTHeader::SetOptions(TVTHeaderOptions value) {
  // The resize handlers may free the tree, and this header with it.
  std::optional<TObject::THold> hold;
  if (owner != nullptr) hold.emplace(owner);
  TVTHeaderOptions old = options;
  options = value;
  bool autoResizeChanged = old.Contains(hoAutoResize) != value.Contains(hoAutoResize);
  if (autoResizeChanged && columns->Count() > 0) {
    columns->AdjustAutoSize(InvalidColumn);
    if (owner != nullptr && owner->Going()) return;
    if (owner != nullptr && owner->HandleAllocated()) {
      owner->UpdateHorizontalScrollBar(false);
      if (value.Contains(hoAutoResize)) owner->InvalidateWhole();
    }
  }
  if (TreeLoading() || owner == nullptr || !owner->HandleAllocated()) return;
  if (old.Contains(hoVisible) != value.Contains(hoVisible)) RecalculateHeader();
  Invalidate(nullptr);
  owner->InvalidateWhole();
}

void TVTHeader::SetParentFont(bool value) {
  if (value == parentFont) return;
  parentFont = value;
  if (value && owner != nullptr) font->Assign(owner->Font());
}

void TVTHeader::SetPopupMenu(TComponent* value) {
  if (popupMenu != nullptr && owner != nullptr) popupMenu->RemoveFreeNotification(owner);
  popupMenu = value;
  if (popupMenu != nullptr && owner != nullptr) popupMenu->FreeNotification(owner);
}

void TVTHeader::SetSortColumn(TColumnIndex value) {
  if (TreeLoading()) {
    sortColumn = value;
    return;
  }
  value = std::clamp(value, NoColumn, columns->Count() - 1);
  if (value == sortColumn) return;
  TColumnIndex old = sortColumn;
  sortColumn = value;
  Invalidate(columns->Items(old));
  Invalidate(columns->Items(value));
  if (owner != nullptr && owner->TreeOptions()->AutoOptions().Contains(toAutoSort) && owner->UpdateCount() == 0)
    owner->SortTree(sortColumn, sortDirection, /*doInit=*/true);
}

void TVTHeader::SetSortDirection(TSortDirection value) {
  if (value == sortDirection) return;
  sortDirection = value;
  Invalidate(nullptr);
  if (owner != nullptr && owner->TreeOptions()->AutoOptions().Contains(toAutoSort) && owner->UpdateCount() == 0)
    owner->SortTree(sortColumn, sortDirection, /*doInit=*/true);
}

void TVTHeader::SetStyle(TVTHeaderStyle value) {
  if (value == style) return;
  style = value;
  if (!TreeLoading()) Invalidate(nullptr);
}

void TVTHeader::ChangeScale(int m, int d) {
  if (d == 0) return;
  font->SetSize(MulDiv(font->Size(), m, d));
}

void TVTHeader::RecalculateHeader() {
  if (owner == nullptr || !owner->HandleAllocated()) return;
  owner->UpdateHeaderRect();
  SetWindowPos(owner->Handle(), nullptr, 0, 0, 0, 0,
               SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED | SWP_NOOWNERZORDER |
                   SWP_NOSENDCHANGING);
}

void TVTHeader::ForgetMouseColumns() {
  TColumnIndex hover = columns->hoverIndex, down = columns->downIndex;
  columns->hoverIndex = columns->downIndex = NoColumn;
  if (hover != NoColumn) columns->RepaintCell(hover);
  if (down != NoColumn && down != hover) columns->RepaintCell(down);
}

bool TVTHeader::InHeader(TPoint p) {
  if (owner == nullptr || !owner->HandleAllocated() || !options.Contains(hoVisible)) return false;
  // The header rectangle in client coordinates lies above the client area, whose
  // origin in the window is the header's left edge and its bottom.
  TRect r = owner->HeaderRect();
  int dx = -r.Left, dy = -(r.Top + static_cast<int>(height));
  TRect client{r.Left + dx, r.Top + dy, r.Right + dx, r.Bottom + dy};
  return p.X >= client.Left && p.X < client.Right && p.Y >= client.Top && p.Y < client.Bottom;
}

void TVTHeader::Invalidate(TVirtualTreeColumn* column, bool expandToRight) {
  if (owner == nullptr || !owner->HandleAllocated() || !options.Contains(hoVisible)) return;
  TRect r = owner->HeaderRect();
  if (column != nullptr) {
    TRect cell = column->GetRect();
    if (!(column->IsVisible() && column->Options().Contains(coFixed))) {
      cell.Left += owner->OffsetX();
      cell.Right += owner->OffsetX();
    }
    if (expandToRight) cell.Right = r.Right;
    r = cell;
  }
  // Window coordinates to client coordinates for RedrawWindow.
  TRect whole = owner->HeaderRect();
  int dx = whole.Left, dy = whole.Top + static_cast<int>(height);
  RECT rect{r.Left - dx, r.Top - dy, r.Right - dx, r.Bottom - dy};
  RedrawWindow(owner->Handle(), &rect, nullptr,
               RDW_INVALIDATE | RDW_VALIDATE | RDW_NOINTERNALPAINT | RDW_NOERASE | RDW_NOCHILDREN | RDW_FRAME);
}

void TVTHeader::AutoFitColumns(bool animated) {
  if (owner == nullptr) return;
  // The width and resize handlers may free the tree or change the columns: the walk ends there.
  TObject::THold hold(owner);
  for (TVirtualTreeColumn* column : columns->VisibleColumns()) {
    if (!column->Options().Contains(coResizable)) continue;
    int width = owner->GetMaxColumnWidth(column->Index());
    if (owner->Going() || column->Going()) return;
    if (animated)
      columns->AnimatedResize(column->Index(), width);
    else
      column->SetWidth(width);
  }
}

void TVTHeader::RestoreColumns() {
  if (owner == nullptr) return;
  TObject::THold hold(owner);
  for (TVirtualTreeColumn* column : columns->VisibleColumns(/*backwards=*/true)) {
    if (column->Options().Contains(coResizable)) column->RestoreLastWidth();
    if (owner->Going()) return;
  }
}

void TVTHeader::FixMainColumn() {
  int count = columns->Count();
  if (count == 0) {
    mainColumn = NoColumn;
    return;
  }
  mainColumn = std::clamp(mainColumn, 0, count - 1);
}

void TVTHeader::KeepFocusedColumnValid() {
  if (owner == nullptr) return;
  int count = columns->Count();
  if (owner->focusedColumn >= count) owner->focusedColumn = count > 0 ? std::clamp(mainColumn, 0, count - 1) : NoColumn;
}

void TVTHeader::BeginColumnsRead() {
  states.Include(hsLoading);
  columns->Clear();
}

void TVTHeader::Loaded() {
  states.Exclude(hsLoading);
  // Positions and main column were only stored while the tree was read.
  if (columns->needPositionsFix) columns->InitializePositionArray();
  FixMainColumn();
  sortColumn = std::clamp(sortColumn, NoColumn, columns->Count() - 1);
}

TShiftState TVTHeader::GetShiftState() {
  TShiftState shift;
  if (GetKeyState(VK_SHIFT) < 0) shift.Include(ssShift);
  if (GetKeyState(VK_CONTROL) < 0) shift.Include(ssCtrl);
  if (GetKeyState(VK_MENU) < 0) shift.Include(ssAlt);
  return shift;
}
