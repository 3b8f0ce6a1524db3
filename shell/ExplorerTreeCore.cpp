// The explorer tree: construction, node records, the root folder, Active,
// rebuilding the root, and the wait cursor.
#include "shell/ExplorerTree.h"

#include "shell/ColumnMenu.h"
#include "shell/ExplorerContextMenu.h"
#include "shell/ShellUtilities.h"
#include "shell/SysImages.h"
#include "shell/VirtualBackGndEnumThread.h"
#include "shell/VETPersistent.h"
#include "shell/VirtualImageThread.h"
#include "shell/VirtualWideStrings.h"

namespace {

struct TExplorerNodeData {
  TNamespace* ns;
  TColumnManager* columnManager;
};

// The one flag that says an explorer tree has set the hourglass.
bool gWaitCursorShown = false;

const int kRootFolderCSIDL[] = {48, 29, 26, 10, 47, 30, 35, 25, 46, 31, 23, 22, 24, 45, 3,  33, 0,  16, 17, 6, 20,
                                34, 1,  32, 28, 39, 19, 18, 5,  4,  27, 40, 38, 43, 2,  8,  9,  11, 7,  37, 21, 36};

}  // namespace

int RootFolderCSIDL(TRootFolder value) {
  return value >= 0 && value < rfCustom ? kRootFolderCSIDL[value] : -1;
}

// ---- Construction -----------------------------------------------------------------

const TMessageMap* TCustomVirtualExplorerTree::ClassMessageMap() {
  static const TMessageMap map(TCustomVirtualStringTree::ClassMessageMap(),
                               {
                                   OnMessage(WM_KEYDOWN, &TCustomVirtualExplorerTree::WMKeyDown),
                                   OnMessage(kWMRenameRefused, &TCustomVirtualExplorerTree::WMRenameRefused),
                                   OnMessage(WM_LBUTTONDOWN, &TCustomVirtualExplorerTree::WMLButtonDown),
                                   OnMessage(WM_LBUTTONDBLCLK, &TCustomVirtualExplorerTree::WMLButtonDblClk),
                                   OnMessage(WM_SYSKEYDOWN, &TCustomVirtualExplorerTree::WMSysKey),
                                   OnMessage(WM_SYSKEYUP, &TCustomVirtualExplorerTree::WMSysKey),
                                   OnMessage(WM_SYSCHAR, &TCustomVirtualExplorerTree::WMSysChar),
                                   OnMessage(WM_KILLFOCUS, &TCustomVirtualExplorerTree::WMKillFocus),
                                   OnMessage(WM_RBUTTONDBLCLK, &TCustomVirtualExplorerTree::WMRButtonDblClk),
                                   OnMessage(WM_RBUTTONDOWN, &TCustomVirtualExplorerTree::WMRButtonDown),
                                   OnMessage(WM_RBUTTONUP, &TCustomVirtualExplorerTree::WMRButtonUp),
                                   OnMessage(WM_CAPTURECHANGED, &TCustomVirtualExplorerTree::WMCaptureChanged),
                                   OnMessage(WM_CANCELMODE, &TCustomVirtualExplorerTree::WMCancelMode),
                                   OnMessage(WM_CONTEXTMENU, &TCustomVirtualExplorerTree::WMContextMenu),
                                   OnMessage(WM_DRAWITEM, &TCustomVirtualExplorerTree::WMMenuMessage),
                                   OnMessage(WM_MEASUREITEM, &TCustomVirtualExplorerTree::WMMenuMessage),
                                   OnMessage(WM_INITMENUPOPUP, &TCustomVirtualExplorerTree::WMMenuMessage),
                                   OnMessage(WM_MENUCHAR, &TCustomVirtualExplorerTree::WMMenuMessage),
                                   OnMessage(WM_MENUSELECT, &TCustomVirtualExplorerTree::WMMenuSelect),
                                   OnMessage(kWMShellNotify, &TCustomVirtualExplorerTree::WMShellNotify),
                                   OnMessage(WM_DEVICECHANGE, &TCustomVirtualExplorerTree::WMDeviceChange),
                                   OnMessage(WM_NCDESTROY, &TCustomVirtualExplorerTree::WMNCDestroy),
                                   OnMessage(WM_QUERYENDSESSION, &TCustomVirtualExplorerTree::WMQueryEndSession),
                                   OnMessage(WM_TIMER, &TCustomVirtualExplorerTree::WMTimer),
                                   OnMessage(kWMImageThreadResult, &TCustomVirtualExplorerTree::WMImageThreadResult),
                                   OnMessage(kWMExpandMarkResult, &TCustomVirtualExplorerTree::WMExpandMarkResult),
                               });
  return &map;
}

void TCustomVirtualExplorerTree::Create(TComponent* owner) {
  InitializeShellToolkit();
  LinkExplorerTreeProperties();
  enumHandOver = new TEnumHandOver;
  TCustomVirtualStringTree::Create(owner);
  contextMenuManager = New<TContextMenuManager>(this);
  if (ShellNotifyManager != nullptr) ShellNotifyManager->RegisterExplorerWnd(this);
  columnMenu = New<TColumnMenu>(this);
  constructing = true;
  ++viewNotifySuppressed;
  active = false;
  rootFolder = rfDesktop;
  rootNamespaceWaits = true;
  fileObjects = {foFolders};
  SetDefaultNodeHeight(17);
  Header()->SetHeight(17);
  SetDragHeight(250);
  SetDragWidth(150);
  SetHintMode(hmHint);
  viewManager = New<TViewManager>();
  persistent = New<TVETPersistent>();
  vetColors = New<TVETColors>(this);
  SetClipboardFormats({"Virtual Tree Data", "Virtual Tree Reference"});
  OnDragOver = &TCustomVirtualExplorerTree::AcceptDragOver;
  ++rebuildLock;
  SetDefaultOptions();
  --rebuildLock;
  RebuildRootNamespace();
  internalDataOffset = AllocateInternalDataArea(sizeof(TExplorerNodeData));
  sortHelper = new TShellSortHelper;
  constructing = false;
  // A tree read from a form definition holds its notifications until Loaded
  // (NotifyViewsOfFocus tests csLoading); one made in code tells from now on.
  --viewNotifySuppressed;
}

void TCustomVirtualExplorerTree::BeforeDestruction() {
  TerminateEnumThread();
  // No link may call a view that is going away.
  if (VETChangeDispatch != nullptr) VETChangeDispatch->UnRegisterChangeLink(this, this, ulkServerOrClient);
  if (ShellNotifyManager != nullptr) ShellNotifyManager->UnRegisterExplorerWnd(this);
  SetChangeNotifierThread(false);
  // Also the kernel watch a program may have asked for: no record may outlive the tree.
  if (IVirtualChangeNotifier* notifier = ExistingChangeNotifier()) notifier->UnRegisterChangeNotify(this);
  SetThreadedImages(false);
  SetThreadedExpandMark(false);
  ReleaseDragObjects();
  // Nodes go while the tree is whole, so that their items are freed with them.
  Clear();
  TCustomVirtualStringTree::BeforeDestruction();
}

TCustomVirtualExplorerTree::~TCustomVirtualExplorerTree() {
  if (RootNode() != nullptr) FreeNodeData(RootNode());
  for (TNamespace* ns : retiredNamespaces) ns->Free();
  if (rootFolderCustomPIDL != nullptr && NamespacePIDLManager != nullptr)
    NamespacePIDLManager->FreePIDL(rootFolderCustomPIDL);
  if (rootNamespace != nullptr) rootNamespace->Free();
  if (pendingRootNamespace != nullptr) pendingRootNamespace->Free();
  FreeAndNil(persistent);
  FreeAndNil(viewManager);
  FreeAndNil(vetColors);
  FreeAndNil(contextMenuManager);
  delete sortHelper;
  // A thread still listing keeps the hand-over alive until it has seen that it was terminated.
  if (enumHandOver != nullptr) enumHandOver->Release();
  enumHandOver = nullptr;
  if (waitCursorCount > 0 && gWaitCursorShown) {
    gWaitCursorShown = false;
    Screen->SetCursor(crDefault);
  }
}

TCustomVirtualTreeOptions* TCustomVirtualExplorerTree::CreateOptions() {
  return New<TVirtualExplorerTreeOptions>(this);
}

TCustomVirtualExplorerTreeOptions* TCustomVirtualExplorerTree::TreeOptions() const {
  return static_cast<TCustomVirtualExplorerTreeOptions*>(TBaseVirtualTree::TreeOptions());
}

void TCustomVirtualExplorerTree::SetTreeOptions(TCustomVirtualExplorerTreeOptions* value) {
  VT_ASSERT(!value->MiscOptions().Contains(toReadOnly),
            "Please use the TreeOptions.VETMiscOptions ReadOnly property and not the TreeOptions.MiscOptions "
            "ReadOnly property");
  TreeOptions()->Assign(value);
}

void TCustomVirtualExplorerTree::SetDefaultOptions() {
  TCustomVirtualExplorerTreeOptions* o = TreeOptions();
  o->SetPaintOptions({toShowButtons, toShowTreeLines, toUseBlendedImages, toGhostedIfUnfocused});
  o->SetVETFolderOptions({toFoldersExpandable});
  o->SetVETShellOptions({toRightAlignSizeColumn, toContextMenus});
  o->SetVETMiscOptions(
      {toBrowseExecuteFolder, toBrowseExecuteFolderShortcut, toBrowseExecuteZipFolder, toExecuteOnDblClk});
  o->SetVETImageOptions({toImages, toMarkCutAndCopy});
  o->SetVETSyncOptions({toCollapseTargetFirst, toExpandTarget, toSelectTarget});
}

void TVirtualExplorerTreeview::SetDefaultOptions() {
  TCustomVirtualExplorerTree::SetDefaultOptions();
  fileObjects = {foFolders, foHidden};
  TCustomVirtualExplorerTreeOptions* o = TreeOptions();
  o->SetAutoOptions({toAutoScroll});
  o->SetSelectionOptions({toLevelSelectConstraint});
  o->SetMiscOptions({toAcceptOLEDrop, toEditable, toToggleOnDblClick});
  o->SetPaintOptions({toShowButtons, toShowTreeLines, toUseBlendedImages, toGhostedIfUnfocused});
  o->SetVETFolderOptions({toFoldersExpandable});
  o->SetVETShellOptions({toContextMenus});
  o->SetVETMiscOptions({toBrowseExecuteFolder, toBrowseExecuteFolderShortcut, toBrowseExecuteZipFolder,
                        toChangeNotifierThread, toRemoveContextMenuShortCut});
  o->SetVETImageOptions({toImages, toThreadedImages, toMarkCutAndCopy});
  o->SetVETSyncOptions({toCollapseTargetFirst, toExpandTarget, toSelectTarget});
}

void TCustomVirtualExplorerTree::Assign(TPersistent* source) {
  auto* other = dynamic_cast<TCustomVirtualExplorerTree*>(source);
  if (other == nullptr) {
    TCustomVirtualStringTree::Assign(source);
    return;
  }
  SetColumnDetails(other->ColumnDetails());
  SetColumnMenuItemCount(other->ColumnMenuItemCount());
  SetFileObjects(other->FileObjects());
  SetFileSizeFormat(other->FileSizeFormat());
  SetFileSort(other->FileSort());
  if (!other->RootFolderCustomPath().empty())
    SetRootFolderCustomPath(other->RootFolderCustomPath());
  else if (other->RootFolderCustomPIDL() != nullptr)
    SetRootFolderCustomPIDL(other->RootFolderCustomPIDL());
  else
    SetRootFolder(other->RootFolder());
  TreeOptions()->Assign(other->TreeOptions());
  SetVETColors(other->VETColors());
  SetActive(other->Active());
}

void TCustomVirtualExplorerTree::CreateWnd() {
  TCustomVirtualStringTree::CreateWnd();
  SetThreadedImages(TreeOptions()->VETImageOptions().Contains(toThreadedImages));
  SetChangeNotifierThread(TreeOptions()->VETMiscOptions().Contains(toChangeNotifierThread));
  SetThreadedExpandMark(TreeOptions()->VETFolderOptions().Contains(toThreadedExpandMark));
  // Items made before the window had none to answer with (icons, owner windows).
  for (PVirtualNode node = GetFirstNoInit(); node != nullptr; node = GetNextNoInit(node))
    if (TNamespace* ns = NodeNamespace(node)) ns->InvalidateNamespace(true);
  RebuildColumns(RootNamespace());
  if (rootRebuildWaits) SetRootRebuildTimer(true);
}

void TCustomVirtualExplorerTree::Loaded() {
  TCustomVirtualStringTree::Loaded();
  if (active) ApplyActive(true);
  if (!ComponentState().Contains(csLoading) && !constructing && viewNotifySuppressed == 0 &&
      viewNotifyPending > 0) {
    viewNotifyPending = 0;
    NotifyViewsOfFocus();
  }
}

// ---- Node records ------------------------------------------------------------------

namespace {
TExplorerNodeData* NodeData(PVirtualNode node, uint32_t offset) {
  return reinterpret_cast<TExplorerNodeData*>(reinterpret_cast<uint8_t*>(node) + offset);
}
}  // namespace

TNamespace* TCustomVirtualExplorerTree::NodeNamespace(PVirtualNode node) const {
  return node == nullptr || internalDataOffset == 0 ? nullptr : NodeData(node, internalDataOffset)->ns;
}

bool TCustomVirtualExplorerTree::ValidateNamespace(PVirtualNode node, TNamespace*& ns) const {
  ns = NodeNamespace(node);
  return ns != nullptr;
}

TColumnManager* TCustomVirtualExplorerTree::NodeColumnManager(PVirtualNode node) const {
  return node == nullptr || internalDataOffset == 0 ? nullptr : NodeData(node, internalDataOffset)->columnManager;
}

TColumnManager* TCustomVirtualExplorerTree::FirstNodeColumnManager() {
  PVirtualNode first = GetFirst();
  if (first == nullptr || internalDataOffset == 0) return nullptr;
  TExplorerNodeData* data = NodeData(first, internalDataOffset);
  if (data->columnManager == nullptr) data->columnManager = New<TColumnManager>(this);
  return data->columnManager;
}

void TCustomVirtualExplorerTree::SetNodeNamespace(PVirtualNode node, TNamespace* ns, TColumnManager* manager) {
  TExplorerNodeData* data = NodeData(node, internalDataOffset);
  data->ns = ns;
  data->columnManager = manager;
}

void TCustomVirtualExplorerTree::FreeNodeData(PVirtualNode node) {
  if (internalDataOffset == 0) return;
  TExplorerNodeData* data = NodeData(node, internalDataOffset);
  TNamespace* ns = data->ns;
  TColumnManager* manager = data->columnManager;
  data->ns = nullptr;
  data->columnManager = nullptr;
  if (node == RootNode()) ++rootNamespaceChanges;
  if (ns != nullptr) ReleaseNamespace(ns);
  if (manager != nullptr) manager->Free();
}

void TCustomVirtualExplorerTree::DoFreeNode(PVirtualNode node) {
  DropThreadRequests(node);
  // The base frees the record itself: take the objects out first.
  TNamespace* ns = NodeNamespace(node);
  TColumnManager* manager = NodeColumnManager(node);
  if (node == lastDropTargetNode) {  // a refresh during a drag: the item's drop target goes with it
    if (lastDropTargetNamespace != nullptr && lastDropTargetNamespace == ns) lastDropTargetNamespace->DragLeave();
    ForgetDragTarget();
  }
  // A right click pending over a refresh or a change batch must not keep the node.
  if (contextMenuManager != nullptr) contextMenuManager->NodeFreed(node);
  if (node == renameRefusedNode) renameRefusedNode = nullptr;
  if (ns != nullptr || manager != nullptr) SetNodeNamespace(node, nullptr, nullptr);
  TCustomVirtualStringTree::DoFreeNode(node);
  if (ns != nullptr) ReleaseNamespace(ns);
  if (manager != nullptr) manager->Free();
}

TRootNodeStorage* TCustomVirtualExplorerTree::GetStorage() const {
  return persistent != nullptr ? persistent->Storage : nullptr;
}

void TCustomVirtualExplorerTree::Clear() {
  DropAllThreadRequests();
  DoStateChange({}, {tsCopyPending, tsCutPending});
  TCustomVirtualStringTree::Clear();
}

// ---- Properties -----------------------------------------------------------------

void TCustomVirtualExplorerTree::SetFileObjects(TFileObjects value) {
  if (value == fileObjects) return;
  fileObjects = value;
  RebuildRootNamespace();
}

void TCustomVirtualExplorerTree::SetFileSizeFormat(TFileSizeFormat value) {
  if (value == fileSizeFormat) return;
  fileSizeFormat = value;
  Invalidate();
}

void TCustomVirtualExplorerTree::SetFileSort(TFileSort value) {
  if (value == fileSort) return;
  fileSort = value;
  if (Header()->SortColumn() == 2) SortTree(2, Header()->SortDirection(), false);
}

void TCustomVirtualExplorerTree::SetNodeDataSizeVET(int value) {
  bool wasActive = active;
  SetActive(false);
  SetNodeDataSize(value);
  SetActive(wasActive);
}

void TCustomVirtualExplorerTree::SetVETColors(TVETColors* value) { vetColors->Assign(value); }

void TCustomVirtualExplorerTree::LoadFromStream(TStream* stream) {
  VT_ASSERT(stream == nullptr, "LoadFromStream is not supported in VET. Use the ViewManager Property");
}

void TCustomVirtualExplorerTree::SaveToStream(TStream* stream, PVirtualNode) {
  VT_ASSERT(stream == nullptr, "SaveToStream is not supported in VET. Use the ViewManager Property");
}

// ---- Active and the root ----------------------------------------------------------

void TCustomVirtualExplorerTree::SetActive(bool value) {
  if (active == value) return;
  active = value;
  ApplyActive(value);
}

void TCustomVirtualExplorerTree::ApplyActive(bool value) {
  if (Going()) return;
  if (ComponentState().Contains(csLoading)) {
    if (ComponentState().Contains(csDesigning)) RebuildRootNamespace();
    return;
  }
  if (value && !treeBuilt) {
    // Built in any case, and first: a handler of the rebuild that ends the
    // tree again must clear what the listing added (or may free the tree); a
    // rebuild that waits for a busy view comes by its timer.
    treeBuilt = true;
    if (RootNamespace() != nullptr) RebuildRootNamespace();
    return;
  }
  if (!value) TerminateEnumThread();
  if (!value && treeBuilt) {
    treeBuilt = false;
    Clear();
  }
}

TNamespace* TCustomVirtualExplorerTree::RootNamespace() const {
  if (rootNamespaceWaits) {
    rootNamespaceWaits = false;
    rootNamespace = CreateSpecialNamespace(RootFolderCSIDL(rootFolder));
  }
  return rootNamespace;
}

TNamespace* TCustomVirtualExplorerTree::MakeRootNamespace(TRootFolder value) {
  if (value == rfCustomPIDL || value == rfCustom) return nullptr;
  return CreateSpecialNamespace(RootFolderCSIDL(value));
}

void TCustomVirtualExplorerTree::SetRootFolder(TRootFolder value) {
  if (Going()) return;
  // OnRootChanging, and the handlers the rebuild reaches, may free the tree or its form.
  TViewHold hold(this);
  bool allow = true;
  // While a definition is read, with no one to ask whether the root may
  // change, the root's item waits for its first use (a hidden page's tree
  // asks the shell nothing until it shows).
  if (value != rfCustom && value != rfCustomPIDL && ComponentState().Contains(csLoading) && !OnRootChanging) {
    if (pendingRootNamespace != nullptr) pendingRootNamespace->Free();
    pendingRootNamespace = nullptr;
    ApplyRootFolder(value, /*rootWaits=*/true);
    return;
  }
  if (value != rfCustom && value != rfCustomPIDL) {
    if (pendingRootNamespace != nullptr) pendingRootNamespace->Free();
    pendingRootNamespace = MakeRootNamespace(value);
    DoRootChanging(value, pendingRootNamespace, allow);
  }
  if (allow && !Going()) ApplyRootFolder(value);
  if (pendingRootNamespace != nullptr) {
    pendingRootNamespace->Free();
    pendingRootNamespace = nullptr;
  }
}

void TCustomVirtualExplorerTree::ApplyRootFolder(TRootFolder value, bool rootWaits) {
  TerminateEnumThread();
  BeginUpdate();
  try {
    Clear();
    rootFolder = value;
    if (value != rfCustom) rootFolderCustomPath.clear();
    if (value != rfCustomPIDL && rootFolderCustomPIDL != nullptr)
      NamespacePIDLManager->FreeAndNilPIDL(rootFolderCustomPIDL);
    if (rootNamespace != nullptr) ReleaseNamespace(rootNamespace);
    FreeNodeData(RootNode());
    rootNamespace = pendingRootNamespace;
    pendingRootNamespace = nullptr;
    rootNamespaceWaits = rootWaits;
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
  if (Going()) return;
  treeBuilt = false;
  if (rootNamespace != nullptr) RebuildRootNamespace();
  DoRootChange();
}

void TCustomVirtualExplorerTree::SetRootFolderCustomPath(const std::u16string& path) {
  if (Going()) return;
  TViewHold hold(this);
  std::u16string folder = path;
  if (!folder.empty() && folder.back() == u'\\' && !(folder.size() == 3 && folder[1] == u':'))
    folder.pop_back();
  if (pendingRootNamespace != nullptr) pendingRootNamespace->Free();
  pendingRootNamespace = nullptr;
  LPITEMIDLIST pidl = folder.empty() ? nullptr : PathToPIDL(folder);
  if (pidl != nullptr) pendingRootNamespace = New<TNamespace>(pidl, nullptr);
  bool allow = true;
  DoRootChanging(rfCustom, pendingRootNamespace, allow);
  if (allow && !Going() && pendingRootNamespace != nullptr && vws::WideDirectoryExists(folder)) {
    rootFolderCustomPath = folder;
    SetRootFolder(rfCustom);
  }
  if (pendingRootNamespace != nullptr) {
    pendingRootNamespace->Free();
    pendingRootNamespace = nullptr;
  }
}

void TCustomVirtualExplorerTree::SetRootFolderCustomPIDL(LPCITEMIDLIST pidl) {
  if (pidl == nullptr || Going()) return;
  TViewHold hold(this);
  if (pendingRootNamespace != nullptr) pendingRootNamespace->Free();
  pendingRootNamespace = New<TNamespace>(NamespacePIDLManager->CopyPIDL(pidl), nullptr);
  bool allow = true;
  DoRootChanging(rfCustomPIDL, pendingRootNamespace, allow);
  if (allow && !Going() && pidl != rootFolderCustomPIDL) {
    if (rootFolderCustomPIDL != nullptr) NamespacePIDLManager->FreePIDL(rootFolderCustomPIDL);
    rootFolderCustomPIDL = NamespacePIDLManager->CopyPIDL(pidl);
    SetRootFolder(rfCustomPIDL);
  }
  if (pendingRootNamespace != nullptr) {
    pendingRootNamespace->Free();
    pendingRootNamespace = nullptr;
  }
}

void TCustomVirtualExplorerTree::RebuildRootNamespace() {
  if (Going() || rebuildLock > 0 || ComponentState().Contains(csLoading) || !active || RootNamespace() == nullptr) return;
  // Not while a view is busy (editing, dragging, a shell menu up): its nodes
  // must stay. The rebuild is owed, though: a root change has cleared the tree.
  if (ShellNotifyManager != nullptr && !ShellNotifyManager->OkToDispatch()) {
    rootRebuildWaits = true;
    SetRootRebuildTimer(true);
    return;
  }
  if (rootRebuildWaits) {
    rootRebuildWaits = false;
    SetRootRebuildTimer(false);
  }
  // The handlers of the enumeration and of the focus may free the tree or its form.
  TViewHold hold(this);
  uint64_t rootChanges = 0;
  BeginUpdate();
  try {
    Clear();
    ++rootRebuilds;
    if (!TreeOptions()->VETFolderOptions().Contains(toHideRootFolder)) {
      FreeNodeData(RootNode());
      SetRootNodeCount(1);
    } else {
      FreeNodeData(RootNode());
      SetNodeNamespace(RootNode(), New<TNamespace>(NamespacePIDLManager->CopyPIDL(RootNamespace()->AbsolutePIDL()),
                                                   nullptr),
                       nullptr);
      RootNode()->States |= vsHasChildren;
    }
    rootChanges = rootNamespaceChanges;
    if (TreeOptions()->VETFolderOptions().Contains(toHideRootFolder)) EnumerateNodeChildren(RootNode());
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
  // A handler that rebuilt the root (or ended the tree) meanwhile has done
  // what is left, or wants it undone.
  if (Going() || !active || rootNamespaceChanges != rootChanges) return;
  treeBuilt = true;
  SetFocusedNode(GetFirst());
  if (Going()) return;
  NotifyViewsOfFocus();
  DoRootRebuild();
}

void TCustomVirtualExplorerTree::SetRootRebuildTimer(bool value) {
  if (!HandleAllocated()) return;
  if (value && rootRebuildWaits) {
    SetTimer(Handle(), kRootRebuildTimer, kRootRebuildRetryMs, nullptr);
    return;
  }
  KillTimer(Handle(), kRootRebuildTimer);
}

bool TCustomVirtualExplorerTree::ValidateRootNamespace() {
  if (RootNamespace() != nullptr && RootNamespace()->IsValid()) return true;
  DoInvalidRootNamespace();
  return false;
}

// ---- Update brackets and the wait cursor --------------------------------------------

void TCustomVirtualExplorerTree::DoUpdating(TVTUpdateState state) {
  TCustomVirtualStringTree::DoUpdating(state);
  if (state == usBegin) {
    WaitCursor(true);
    ++viewNotifySuppressed;
  } else if (state == usEnd) {
    WaitCursor(false);
    if (viewNotifySuppressed > 0 && --viewNotifySuppressed == 0 && viewNotifyPending > 0) {
      viewNotifyPending = 0;
      NotifyViewsOfFocus();
    }
  }
}

void TCustomVirtualExplorerTree::WaitCursor(bool show) {
  if (show) {
    if (waitCursorCount++ == 0 && !gWaitCursorShown) {
      gWaitCursorShown = true;
      Screen->SetCursor(crHourGlass);
    }
    return;
  }
  if (waitCursorCount > 0 && --waitCursorCount == 0 && gWaitCursorShown) {
    gWaitCursorShown = false;
    Screen->SetCursor(crDefault);
  }
}

// ---- Event-firing operations ---------------------------------------------------------

void TCustomVirtualExplorerTree::DoCustomColumnCompare(TColumnIndex column, PVirtualNode node1, PVirtualNode node2,
                                                       int& result) {
  FireHandler(OnCustomColumnCompare, this, column, node1, node2, result);
}

void TCustomVirtualExplorerTree::DoCustomNamespace(PVirtualNode parentNode) {
  if (Going()) return;
  if (TreeOptions()->VETFolderOptions().Contains(toForceShowMyDocuments)) ForceShowMyDocuments(parentNode);
  FireHandler(OnCustomNamespace, this, parentNode);
}

void TCustomVirtualExplorerTree::DoEnumFolder(TNamespace* ns, bool& allowAsChild) {
  FireHandler(OnEnumFolder, this, ns, allowAsChild);
}

void TCustomVirtualExplorerTree::DoEnumFinished() {
  if (Going()) return;
  SetCursor(crDefault);
  FireHandler(OnEnumFinished, this);
}

void TCustomVirtualExplorerTree::DoInvalidRootNamespace() {
  FireHandler(OnInvalidRootNamespace, this);
}

void TCustomVirtualExplorerTree::DoNamespaceStructureChange(PVirtualNode node, TNamespace* ns,
                                                            TNamespaceStructureChange changeType) {
  FireHandler(OnNamespaceStructureChange, this, node, ns, changeType);
}

void TCustomVirtualExplorerTree::DoRootChange() {
  FireHandler(OnRootChange, this);
}

void TCustomVirtualExplorerTree::DoRootChanging(TRootFolder newValue, TNamespace* ns, bool& allow) {
  if (Going() || !OnRootChanging) return;
  FireHandler(OnRootChanging, this, newValue, RootNamespace(), ns, allow);
}

void TCustomVirtualExplorerTree::DoRootRebuild() {
  FireHandler(OnRootRebuild, this);
}

void TCustomVirtualExplorerTree::DoHeaderRebuild() {
  FireHandler(OnHeaderRebuild, this, Header());
}

void TCustomVirtualExplorerTree::DoColumnUserChangedVisibility() {
  FireHandler(OnColumnUserChangedVisiblility, this);
}

// ---- Selection as items -----------------------------------------------------------------

void TCustomVirtualExplorerTree::SelectedToNamespaceArray(TNamespaceArray& namespaces) {
  namespaces.clear();
  PVirtualNode focused = FocusedNode();
  for (PVirtualNode node = GetFirstSelected(); node != nullptr; node = GetNextSelected(node)) {
    TNamespace* ns = NodeNamespace(node);
    if (ns == nullptr) continue;
    if (node == focused && !namespaces.empty()) {
      namespaces.push_back(namespaces.front());
      namespaces.front() = ns;
    } else {
      namespaces.push_back(ns);
    }
  }
}

void TCustomVirtualExplorerTree::SelectedToPIDLArray(TPIDLArray& pidls) {
  TNamespaceArray namespaces;
  SelectedToNamespaceArray(namespaces);
  pidls = NamespaceToRelativePIDLArray(namespaces);
}
