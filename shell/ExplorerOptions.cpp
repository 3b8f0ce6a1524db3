// The explorer's option sets (each change applied to the tree at once), its
// text colours, and its header columns with their per-node manager.
#include "shell/ExplorerTree.h"

#include "shell/ExplorerContextMenu.h"
#include "shell/SysImages.h"

// ---- Options -------------------------------------------------------------------------

TCustomVirtualExplorerTree* TCustomVirtualExplorerTreeOptions::ExplorerOwner() const {
  return dynamic_cast<TCustomVirtualExplorerTree*>(Owner());
}

void TCustomVirtualExplorerTreeOptions::Assign(TPersistent* source) {
  auto* other = dynamic_cast<TCustomVirtualExplorerTreeOptions*>(source);
  if (other == nullptr) {
    TStringTreeOptions::Assign(source);
    return;
  }
  other->AssignTo(this);
}

void TCustomVirtualExplorerTreeOptions::AssignTo(TPersistent* dest) {
  TStringTreeOptions::AssignTo(dest);
  auto* other = dynamic_cast<TCustomVirtualExplorerTreeOptions*>(dest);
  if (other == nullptr) return;
  other->SetAutoOptions(AutoOptions());
  other->SetSelectionOptions(SelectionOptions());
  other->SetVETFolderOptions(folderOptions);
  other->SetVETShellOptions(shellOptions);
  other->SetVETMiscOptions(miscOptions);
  other->SetVETImageOptions(imageOptions);
  other->syncOptions = syncOptions;
}

void TCustomVirtualExplorerTreeOptions::SetAutoOptions(TVTAutoOptions value) {
  TStringTreeOptions::SetAutoOptions(value.Exclude(toAutoSort));
}

void TCustomVirtualExplorerTreeOptions::SetSelectionOptions(TVTSelectionOptions value) {
  if (value.Contains(toMultiSelect)) value.Exclude(toLevelSelectConstraint).Include(toSiblingSelectConstraint);
  TStringTreeOptions::SetSelectionOptions(value);
}

namespace {
template <class S, class E>
bool Changed(const S& a, const S& b, E member) {
  return a.Contains(member) != b.Contains(member);
}
}  // namespace

void TCustomVirtualExplorerTreeOptions::SetVETFolderOptions(TVETFolderOptions value) {
  TVETFolderOptions old = folderOptions;
  folderOptions = value;
  TCustomVirtualExplorerTree* tree = ExplorerOwner();
  if (tree == nullptr || tree->ComponentState().Contains(csLoading)) return;
  if (Changed(old, value, toFoldersExpandable) || Changed(old, value, toHideRootFolder) ||
      Changed(old, value, toForceShowMyDocuments) || Changed(old, value, toForceHideRecycleBin)) {
    if (Changed(old, value, toThreadedExpandMark)) tree->SetThreadedExpandMark(value.Contains(toThreadedExpandMark));
    tree->RebuildRootNamespace();
  } else if (Changed(old, value, toThreadedExpandMark)) {
    tree->SetThreadedExpandMark(value.Contains(toThreadedExpandMark));
  }
}

void TCustomVirtualExplorerTreeOptions::SetVETImageOptions(TVETImageOptions value) {
  TVETImageOptions old = imageOptions;
  imageOptions = value;
  TCustomVirtualExplorerTree* tree = ExplorerOwner();
  if (tree == nullptr) return;
  // The small list is bound when a row first asks for its icon (DoGetImageIndex).
  if (Changed(old, value, toImages)) tree->SetImages(value.Contains(toImages) ? SmallSysImagesUnbound() : nullptr);
  if (Changed(old, value, toLargeImages) && value.Contains(toImages))
    tree->SetImages(value.Contains(toLargeImages) ? LargeSysImages() : SmallSysImagesUnbound());
  if (!tree->ComponentState().Contains(csLoading)) tree->RebuildRootNamespace();
  if (Changed(old, value, toThreadedImages)) tree->SetThreadedImages(value.Contains(toThreadedImages));
}

void TCustomVirtualExplorerTreeOptions::SetVETMiscOptions(TVETMiscOptions value) {
  TVETMiscOptions old = miscOptions;
  if (value.Contains(toTrackChangesInMappedDrives) && !old.Contains(toTrackChangesInMappedDrives) &&
      !value.Contains(toChangeNotifierThread))
    value.Include(toChangeNotifierThread);
  if (Changed(old, value, toChangeNotifierThread) && !value.Contains(toChangeNotifierThread))
    value.Exclude(toTrackChangesInMappedDrives);
  miscOptions = value;
  TCustomVirtualExplorerTree* tree = ExplorerOwner();
  if (tree != nullptr && Changed(old, value, toChangeNotifierThread) && tree->HandleAllocated())
    tree->SetChangeNotifierThread(value.Contains(toChangeNotifierThread));
}

void TCustomVirtualExplorerTreeOptions::SetVETShellOptions(TVETShellOptions value) {
  TVETShellOptions old = shellOptions;
  shellOptions = value;
  TCustomVirtualExplorerTree* tree = ExplorerOwner();
  if (tree == nullptr) return;
  if (Changed(old, value, toContextMenus) && tree->ContextMenuManager() != nullptr)
    tree->ContextMenuManager()->Enabled = value.Contains(toContextMenus);
  if (Changed(old, value, toRightAlignSizeColumn)) tree->RebuildRootNamespace();
}

// ---- Colours -----------------------------------------------------------------------------

void TVETColors::Create(TCustomVirtualExplorerTree* owner_) {
  TPersistent::Create();
  owner = owner_;
}

TColor TVETColors::Color(int index) const { return index >= 0 && index < 3 ? colors[index] : clNone; }

void TVETColors::SetColor(int index, TColor value) {
  if (index < 0 || index >= 3 || colors[index] == value) return;
  colors[index] = value;
  if (owner != nullptr && owner->HandleAllocated()) owner->Invalidate();
}

void TVETColors::Assign(TPersistent* source) {
  if (auto* other = dynamic_cast<TVETColors*>(source)) {
    for (int i = 0; i < 3; ++i) SetColor(i, other->colors[i]);
    return;
  }
  TPersistent::Assign(source);
}

void TVETColors::AssignTo(TPersistent* dest) {
  if (auto* other = dynamic_cast<TVETColors*>(dest)) {
    for (int i = 0; i < 3; ++i) other->SetColor(i, colors[i]);
    return;
  }
  TPersistent::AssignTo(dest);
}

// ---- Columns ----------------------------------------------------------------------------

namespace {
struct TColumnFace {
  const char16_t* caption;
  int width;
};
const TColumnFace kColumnFaces[] = {{u"Name", 180},     {u"Size", 96},      {u"Type", 120},   {u"Modified", 120},
                                    {u"Accessed", 180}, {u"Created", 120},  {u"Attributes", 60}, {u"Path", 150},
                                    {u"DOS Name", 80},  {u"Custom", 80}};
}  // namespace

void TVETColumn::Create(TVirtualTreeColumns* collection) {
  TVirtualTreeColumn::Create(collection);
  columnDetails = cdFileName;
  SetText(u"Name");
  SetWidth(200);
}

TCustomVirtualExplorerTree* TVETColumn::Tree() const {
  return dynamic_cast<TCustomVirtualExplorerTree*>(TVirtualTreeColumn::Tree());
}

void TVETColumn::SetColumnDetails(TColumnDetails value) {
  if (value == columnDetails) return;
  TCustomVirtualExplorerTree* tree = Tree();
  if (tree != nullptr && tree->ColumnDetails() == cdShellColumns) {
    columnDetails = cdCustom;
    return;
  }
  columnDetails = value;
  SetText(kColumnFaces[value].caption);
  if (tree == nullptr || !tree->ComponentState().Contains(csLoading)) SetWidth(kColumnFaces[value].width);
  if (value == cdSize && tree != nullptr && tree->TreeOptions()->VETShellOptions().Contains(toRightAlignSizeColumn))
    SetAlignment(taRightJustify);
  if (tree != nullptr && tree->HandleAllocated()) tree->Invalidate();
}

TVirtualTreeColumn* TCustomVirtualExplorerTree::CreateColumn(TVirtualTreeColumns* collection) {
  return New<TVETColumn>(collection);
}

TColumnDetails TCustomVirtualExplorerTree::ColumnKind(TColumnIndex column) const {
  if (column < 0 || column >= Header()->Columns()->Count()) return cdFileName;
  auto* vetColumn = dynamic_cast<TVETColumn*>(Header()->Columns()->Items(column));
  return vetColumn != nullptr ? vetColumn->ColumnDetails() : cdFileName;
}

// ---- Per-node column manager ------------------------------------------------------------------

void TColumnManager::Grow() {
  size_t count = static_cast<size_t>(tree->Header()->Columns()->Count());
  if (entries.size() < count) entries.resize(count);
}

void TColumnManager::Toggle(TColumnIndex column, uint8_t state, int newWidth) {
  Grow();
  if (column < 0 || static_cast<size_t>(column) >= entries.size()) return;
  TVirtualTreeColumn* c = tree->Header()->Columns()->Items(column);
  Entry& e = entries[column];
  if (e.State == state) {
    c->SetWidth(e.Width);
    e.State = 0;
    return;
  }
  e.Width = c->Width();
  c->SetWidth(newWidth);
  e.State = state;
}

void TColumnManager::ToggleFitWidth(TColumnIndex column) {
  Grow();
  bool restoring = column >= 0 && static_cast<size_t>(column) < entries.size() && entries[column].State == 1;
  Toggle(column, 1, restoring ? 0 : tree->GetMaxColumnWidth(column));
}

void TColumnManager::ToggleZeroWidth(TColumnIndex column) { Toggle(column, 2, 0); }
