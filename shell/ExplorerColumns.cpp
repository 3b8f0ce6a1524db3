// The explorer tree's column sets (the shell's detail columns of the shown
// folder, or the explorer's own), and the layout of a folder's shell columns
// kept in the node storage so that the folder looks the same next time.
#include "shell/ExplorerTree.h"

#include <algorithm>
#include <vector>

namespace {

// Widths of a folder's shell columns by index (past the table: 120).
constexpr int kDefaultColumnWidths[] = {180, 96,  120, 120, 60,  180, 120, 120, 120, 120, 120, 120, 120,
                                        60,  120, 120, 120, 120, 120, 120, 72,  90,  102, 30,  30,  108,
                                        60,  48,  180, 180, 180, 180, 180, 180, 180, 180, 180};
constexpr int kMyComputerWidths[] = {180, 120, 96, 96};
constexpr int kTwoColumnWidths[] = {180, 300};  // Control Panel, the network

int ShellColumnWidth(TNamespace* folder, int index, int columnCount) {
  if (folder->IsMyComputer() && index < 4) return kMyComputerWidths[index];
  if (folder->IsControlPanel() && index < 2) return kTwoColumnWidths[index];
  if ((folder->IsNetworkNeighborhood() || folder->IsNetworkNeighborhoodChild()) && columnCount < 3 && index < 2)
    return kTwoColumnWidths[index];
  if (index < static_cast<int>(std::size(kDefaultColumnWidths))) return kDefaultColumnWidths[index];
  return 120;
}

}  // namespace

bool TVETHeader::CanWriteColumns() {
  auto* tree = dynamic_cast<TCustomVirtualExplorerTree*>(Treeview());
  return tree == nullptr || tree->ColumnDetails() != cdShellColumns;
}

TVTHeader* TCustomVirtualExplorerTree::CreateHeader() { return New<TVETHeader>(this); }

void TCustomVirtualExplorerTree::SetColumnDetails(TColumnDetailType value) {
  if (value == columnDetails) return;
  columnDetails = value;
  TVTHeader* header = Header();
  header->Columns()->Clear();
  shellColumnCount = 0;
  if (value == cdUser) {
    header->SetOptions(header->Options().Exclude(hoVisible));
    return;
  }
  header->SetOptions(header->Options().Include(hoVisible));
  RebuildColumns(RootNamespace());
}

void TCustomVirtualExplorerTree::RebuildColumns(TNamespace* ns) {
  if (columnDetails == cdShellColumns)
    RebuildShellColumns(ns);
  else if (columnDetails == cdVETColumns)
    RebuildExplorerColumns();
}

void TCustomVirtualExplorerTree::RebuildExplorerColumns() {
  if (!HandleAllocated()) return;
  rebuildingColumns = true;
  TVirtualTreeColumns* columns = Header()->Columns();
  columns->Clear();
  shellColumnCount = 0;
  const TColumnDetails order[] = {cdFileName, cdSize,    cdType,    cdModified, cdAttributes,
                                  cdAccessed, cdCreated, cdDOSName, cdPath};
  for (TColumnDetails kind : order) {
    auto* column = static_cast<TVETColumn*>(columns->Add());
    column->SetColumnDetails(cdCustom);
    column->SetColumnDetails(kind);
    if (kind == cdAccessed || kind == cdCreated || kind == cdDOSName || kind == cdPath)
      column->SetOptions(column->Options().Exclude(coVisible));
  }
  rebuildingColumns = false;
  DoHeaderRebuild();
}

void TCustomVirtualExplorerTree::RebuildShellColumns(TNamespace* ns) {
  if (ns == nullptr || !HandleAllocated() || columnDetails != cdShellColumns) return;
  TVTHeader* header = Header();
  TVirtualTreeColumns* columns = header->Columns();
  bool keepSort = TreeOptions()->VETMiscOptions().Contains(toPersistListviewColumnSort);
  TColumnIndex sortColumn = keepSort ? header->SortColumn() : (columns->Count() > 0 ? 0 : NoColumn);
  TSortDirection sortDirection = keepSort ? header->SortDirection() : sdAscending;
  bool rightAlignSize =
      TreeOptions()->VETShellOptions().Contains(toRightAlignSizeColumn) && RootNamespace() != nullptr &&
      RootNamespace()->FileSystem();
  rebuildingColumns = true;
  BeginUpdate();
  try {
    shellColumnCount = 0;
    columns->Clear();
    header->SetOptions(header->Options().Include(hoVisible));
    int count = ns->DetailsSupportedColumns();
    for (int i = 0; i < count; ++i) {
      auto* column = static_cast<TVETColumn*>(columns->Add());
      column->SetText(ns->DetailsColumnTitle(i));
      if (i == 1 && rightAlignSize) column->SetAlignment(taRightJustify);
      column->SetWidth(ShellColumnWidth(ns, i, count));
      column->SetColumnDetails(cdCustom);
      if (!ns->DetailsDefaultColumnState(i).Contains(csOnByDefault))
        column->SetOptions(column->Options().Exclude(coVisible));
      ++shellColumnCount;
    }
    DoHeaderRebuild();
    if (!Going()) LoadColumnsFromStorage(ns);
  } catch (...) {
    rebuildingColumns = false;
    EndUpdate();
    throw;
  }
  EndUpdate();
  rebuildingColumns = false;
  if (sortColumn >= columns->Count()) sortColumn = columns->Count() > 0 ? 0 : NoColumn;
  header->SetSortColumn(sortColumn);
  header->SetSortDirection(sortDirection);
  if (sortColumn != NoColumn) SortTree(sortColumn, sortDirection, false);
}

// ---- The layout kept per folder ------------------------------------------------------------

namespace {

bool KeepsColumnLayout(TCustomVirtualExplorerTree* tree) {
  return tree->Header()->Columns()->Count() > 0 &&
         tree->TreeOptions()->VETMiscOptions().Contains(toPersistentColumns) &&
         tree->ColumnDetails() == cdShellColumns;
}

}  // namespace

void TCustomVirtualExplorerTree::StoreColumnsToStorage() {
  if (rebuildingColumns || columnStoreSuspended || !KeepsColumnLayout(this)) return;
  TNamespace* folder = NodeNamespace(RootNode());
  if (folder == nullptr || !folder->Folder()) return;
  TNodeStorage* record = GetStorage()->Store(folder->AbsolutePIDL(), {skColumnLayout});
  if (record == nullptr) return;
  TVirtualTreeColumns* columns = Header()->Columns();
  size_t count = static_cast<size_t>(columns->Count());
  TColumnStorage& layout = record->Storage.Columns;
  if (layout.Widths.size() < count) layout.Widths.resize(count);
  if (layout.Positions.size() < count) layout.Positions.resize(count);
  if (layout.Visible.size() < count) layout.Visible.resize(count);
  for (size_t i = 0; i < count; ++i) {
    TVirtualTreeColumn* column = columns->Items(static_cast<int>(i));
    layout.Widths[i] = static_cast<uint16_t>(std::clamp(column->Width(), 0, 0xFFFF));
    layout.Positions[i] = static_cast<uint16_t>(column->Position());
    layout.Visible[i] = column->Options().Contains(coVisible) ? 1 : 0;
  }
}

void TCustomVirtualExplorerTree::LoadColumnsFromStorage(TNamespace* ns) {
  if (ns == nullptr || !KeepsColumnLayout(this) || !ns->Folder()) return;
  TNodeStorage* record = GetStorage()->Find(ns->AbsolutePIDL(), {skColumnLayout});
  if (record == nullptr) return;
  TVirtualTreeColumns* columns = Header()->Columns();
  size_t count = static_cast<size_t>(columns->Count());
  const TColumnStorage& layout = record->Storage.Columns;
  // A layout for another column count, or positions that are no order of the
  // columns (a damaged stream), do not fit: the folder forgets it.
  std::vector<int> columnAt(count, -1);
  bool fits = layout.Widths.size() == count && layout.Positions.size() == count && layout.Visible.size() == count;
  for (size_t i = 0; fits && i < count; ++i) {
    size_t position = layout.Positions[i];
    fits = position < count && columnAt[position] < 0;
    if (fits) columnAt[position] = static_cast<int>(i);
  }
  if (!fits) {
    GetStorage()->Delete(ns->AbsolutePIDL(), {skColumnLayout}, /*force=*/false, /*freeObject=*/false);
    return;
  }
  for (size_t i = 0; i < count; ++i) {
    TVirtualTreeColumn* column = columns->Items(static_cast<int>(i));
    column->SetWidth(layout.Widths[i]);
    TVTColumnOptions options = column->Options();
    column->SetOptions(layout.Visible[i] != 0 ? options.Include(coVisible) : options.Exclude(coVisible));
  }
  // Placing the columns by ascending position leaves the places before each one alone.
  for (size_t position = 0; position < count; ++position)
    columns->Items(columnAt[position])->SetPosition(static_cast<int>(position));
}

void TCustomVirtualExplorerTree::DoColumnResize(TColumnIndex column) {
  TCustomVirtualStringTree::DoColumnResize(column);
  if (!rebuildingColumns) StoreColumnsToStorage();
}

void TCustomVirtualExplorerTree::DoHeaderDragged(TColumnIndex column, int oldPosition) {
  TCustomVirtualStringTree::DoHeaderDragged(column, oldPosition);
  StoreColumnsToStorage();
}
