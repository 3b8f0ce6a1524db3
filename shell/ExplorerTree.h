#pragma once
// The explorer tree: a string tree whose nodes are shell items. Every node
// holds its TNamespace and its TColumnManager in the tree's internal data
// area (both owned by the node). Folders are enumerated when their children
// are first needed; the check state of every checked or mixed node is kept in
// the node storage (GetStorage) under the item's absolute PIDL, so that check
// marks survive when nodes are freed and made again and can be read back as
// paths.
//
// Main thread only. Node pointers go stale as the tree's do (refresh,
// rebuild, Active False).
#include <string>
#include <unordered_map>
#include <vector>

#include "shell/ChangeLink.h"
#include "shell/Namespace.h"
#include "shell/NodeStorage.h"
#include "shell/ShellNotifier.h"
#include "shell/ShellSortHelper.h"
#include "shell/VirtualPIDLTools.h"
#include "shell/ViewHold.h"
#include "shell/WideStringList.h"
#include "tree/VirtualTrees.h"

class TCustomVirtualExplorerTree;
class TVETPersistent;
class TViewManager;
class TContextMenuManager;
class TCustomVirtualExplorerCombobox;
class TColumnMenu;
class TVETColors;
class TEnumHandOver;
class TAnimate;

// The folder at the root of a tree (the special folder of that CSIDL, see RootFolderCSIDL).
enum TRootFolder {
  rfAdminTools, rfAltStartup, rfAppData, rfBitBucket, rfCommonAdminTools, rfCommonAltStartup, rfCommonAppData,
  rfCommonDesktopDirectory, rfCommonDocuments, rfCommonFavorties, rfCommonPrograms, rfCommonStartMenu,
  rfCommonStartup, rfCommonTemplates, rfControlPanel, rfCookies, rfDesktop, rfDesktopDirectory, rfDrives,
  rfFavorites, rfFonts, rfHistory, rfInternet, rfInternetCache, rfLocalAppData, rfMyPictures, rfNetHood,
  rfNetwork, rfPersonal, rfPrinters, rfPrintHood, rfProfile, rfProgramFiles, rfCommonProgramFiles, rfPrograms,
  rfRecent, rfSendTo, rfStartMenu, rfStartUp, rfSystem, rfTemplate, rfWindows, rfCustom, rfCustomPIDL
};
// The CSIDL of a special root; -1 for rfCustom and rfCustomPIDL.
int RootFolderCSIDL(TRootFolder value);

enum TVETFolderOption {
  toFoldersExpandable, toHideRootFolder, toForceHideRecycleBin, toForceShowMyDocuments, toShowOpenIconOnSelect,
  toDisableGhostedFolders, toNoUseVETColorsProp, toThreadedExpandMark
};
using TVETFolderOptions = TSet<TVETFolderOption, 8>;
enum TVETShellOption {
  toRightAlignSizeColumn, toContextMenus, toDragDrop, toShellHints, toShellColumnMenu, toFullRowContextMenuActivate
};
using TVETShellOptions = TSet<TVETShellOption, 8>;
enum TVETMiscOption {
  toBrowseExecuteFolder, toBrowseExecuteFolderShortcut, toBrowseExecuteZipFolder, toChangeNotifierThread,
  toListviewLimitBrowseToRoot, toNoRebuildIconListOnAssocChange, toTrackChangesInMappedDrives,
  toPersistentColumns, toExecuteOnDblClk, toExecuteOnDblClkFullRow, toRightButtonSelect,
  toRemoveContextMenuShortCut, toUserSort, toAutoScrollHorz, toVETReadOnly, toRestoreTopNodeOnRefresh,
  toPersistListviewColumnSort
};
using TVETMiscOptions = TSet<TVETMiscOption, 32>;
enum TVETImageOption { toHideOverlay, toImages, toThreadedImages, toLargeImages, toMarkCutAndCopy };
using TVETImageOptions = TSet<TVETImageOption, 8>;
enum TVETSyncOption { toCollapseTargetFirst, toExpandTarget, toSelectTarget };
using TVETSyncOptions = TSet<TVETSyncOption, 8>;

enum TFileSizeFormat { fsfExplorer, fsfActual, fsfDiskUsage };
enum TColumnDetailType { cdUser, cdVETColumns, cdShellColumns };
enum TColumnDetails {
  cdFileName, cdSize, cdType, cdModified, cdAccessed, cdCreated, cdAttributes, cdPath, cdDOSName, cdCustom
};
enum TNamespaceStructureChange { nscDelete, nscAdd };

using TVETOnEnumFolder = TEvent<void(TCustomVirtualExplorerTree* sender, TNamespace* ns, bool& allowAsChild)>;
using TVETEnumFinishedEvent = TEvent<void(TCustomVirtualExplorerTree* sender)>;
using TVETOnRootChanging = TEvent<void(TCustomVirtualExplorerTree* sender, TRootFolder newValue,
                                       TNamespace* currentNamespace, TNamespace* ns, bool& allow)>;
using TVETNotifyEvent = TEvent<void(TCustomVirtualExplorerTree* sender)>;
using TVETOnCustomNamespace = TEvent<void(TCustomVirtualExplorerTree* sender, PVirtualNode parentNode)>;
using TVETOnCustomColumnCompare = TEvent<void(TCustomVirtualExplorerTree* sender, TColumnIndex column,
                                              PVirtualNode node1, PVirtualNode node2, int& result)>;
using TNamespaceStructureChangeEvent = TEvent<void(TCustomVirtualExplorerTree* sender, PVirtualNode node,
                                                   TNamespace* ns, TNamespaceStructureChange changeType)>;
using TVETOnGetVETText = TEvent<void(TCustomVirtualExplorerTree* sender, TColumnIndex column, PVirtualNode node,
                                     TNamespace* ns, std::u16string& text)>;
using TVETOnShellExecute = TEvent<void(TCustomVirtualExplorerTree* sender, TNamespace* ns,
                                       std::u16string& workingDir, std::u16string& cmdLineArgument, bool& allow)>;
using TVETOnTreeDblClick =
    TEvent<void(TCustomVirtualExplorerTree* sender, PVirtualNode node, TMouseButton button, TPoint point)>;
using TVETOnClipboardEvent = TEvent<void(TCustomVirtualExplorerTree* sender, bool& handled)>;
using TVETOnClipboardCut = TEvent<void(TCustomVirtualExplorerTree* sender, bool& markSelectedCut, bool& handled)>;
using TVETContextMenuItemChange = TEvent<void(TCustomVirtualExplorerTree* sender, TNamespace* ns, int menuItemID,
                                              HMENU subMenuID, bool mouseSelect)>;
using TVETHeaderRebuild = TEvent<void(TCustomVirtualExplorerTree* sender, TVTHeader* header)>;
using TVETOnShellNotify = TEvent<void(TCustomVirtualExplorerTree* sender, TVirtualShellEvent* shellEvent)>;
using TVETEnumLenghyOperaionEvent = TEvent<void(TCustomVirtualExplorerTree* sender, bool& showAnimation)>;

// The explorer's option sets on top of the string tree's. Setters apply a
// change to the owning tree at once (rebuilding its root where a change
// alters what the tree shows).
class TCustomVirtualExplorerTreeOptions : public TStringTreeOptions {
public:
  void Assign(TPersistent* source) override;
  // Never holds toAutoSort: the explorer tree sorts folders itself.
  void SetAutoOptions(TVTAutoOptions value);
  // toMultiSelect turns toLevelSelectConstraint into toSiblingSelectConstraint.
  void SetSelectionOptions(TVTSelectionOptions value);
  TVETFolderOptions VETFolderOptions() const { return folderOptions; }
  void SetVETFolderOptions(TVETFolderOptions value);
  TVETImageOptions VETImageOptions() const { return imageOptions; }
  void SetVETImageOptions(TVETImageOptions value);
  TVETMiscOptions VETMiscOptions() const { return miscOptions; }
  void SetVETMiscOptions(TVETMiscOptions value);
  TVETShellOptions VETShellOptions() const { return shellOptions; }
  void SetVETShellOptions(TVETShellOptions value);
  TVETSyncOptions VETSyncOptions() const { return syncOptions; }
  void SetVETSyncOptions(TVETSyncOptions value) { syncOptions = value; }

protected:
  void AssignTo(TPersistent* dest) override;

private:
  TCustomVirtualExplorerTree* ExplorerOwner() const;
  TVETFolderOptions folderOptions{toFoldersExpandable};
  TVETImageOptions imageOptions;
  TVETMiscOptions miscOptions;
  TVETShellOptions shellOptions;
  TVETSyncOptions syncOptions;
};
class TVirtualExplorerTreeOptions : public TCustomVirtualExplorerTreeOptions {};

// Per-node column state (a width to come back to after fitting or hiding a column).
class TColumnManager : public TObject {
public:
  struct Entry {
    int32_t Width = 0;
    uint8_t State = 0;  // 0 normal, 1 widened to fit, 2 collapsed to zero width
  };
  void Create(TCustomVirtualExplorerTree* tree_) { tree = tree_; }
  // Ctrl with a header click: fit the column to its widest text, or give the old width back.
  void ToggleFitWidth(TColumnIndex column);
  // Shift with a header click: width 0, or give the old width back.
  void ToggleZeroWidth(TColumnIndex column);
  const std::vector<Entry>& Entries() const { return entries; }

private:
  void Grow();
  // Gives column newWidth and marks it state, or back its stored width when it has that state.
  void Toggle(TColumnIndex column, uint8_t state, int newWidth);
  TCustomVirtualExplorerTree* tree = nullptr;  // not owned
  std::vector<Entry> entries;
};

class TCustomVirtualExplorerTree : public TCustomVirtualStringTree, public IShellNotifyTarget {
  QV_MESSAGE_MAP(TCustomVirtualExplorerTree, TCustomVirtualStringTree)

public:
  // Posted to the tree itself after a refused rename.
  static constexpr UINT kWMRenameRefused = 0x8035;

  void Create(TComponent* owner) override;
  void BeforeDestruction() override;
  ~TCustomVirtualExplorerTree() override;
  // Items released while operations held the tree wait for its last hold, as its node records do.
  bool ReleasePending() const override {
    return TCustomVirtualStringTree::ReleasePending() || !retiredNamespaces.empty();
  }
  void Assign(TPersistent* source) override;

  // ---- Root, activation and contents -------------------------------------------
  bool Active() const { return active; }
  // False frees every node; True builds the tree from the root (once per activation).
  virtual void SetActive(bool value);
  TRootFolder RootFolder() const { return rootFolder; }
  // Asks OnRootChanging, then clears the tree and rebuilds it from the new root
  // (also when value is the current one).
  void SetRootFolder(TRootFolder value);
  const std::u16string& RootFolderCustomPath() const { return rootFolderCustomPath; }
  // An existing folder becomes the root (rfCustom); other paths change nothing.
  void SetRootFolderCustomPath(const std::u16string& path);
  LPITEMIDLIST RootFolderCustomPIDL() const { return rootFolderCustomPIDL; }
  // A copy of the absolute pidl becomes the root (rfCustomPIDL); null changes nothing.
  void SetRootFolderCustomPIDL(LPCITEMIDLIST pidl);
  // The root folder's item (owned by the tree), or null. Made when first
  // asked for: a hidden tree read from a definition asks the shell nothing.
  TNamespace* RootNamespace() const;
  TFileObjects FileObjects() const { return fileObjects; }
  void SetFileObjects(TFileObjects value);
  TFileSort FileSort() const { return fileSort; }
  void SetFileSort(TFileSort value);
  TFileSizeFormat FileSizeFormat() const { return fileSizeFormat; }
  void SetFileSizeFormat(TFileSizeFormat value);
  TColumnDetailType ColumnDetails() const { return columnDetails; }
  void SetColumnDetails(TColumnDetailType value);
  int ColumnMenuItemCount() const { return columnMenuItemCount; }
  void SetColumnMenuItemCount(int value) { columnMenuItemCount = value; }
  TVETColors* VETColors() const { return vetColors; }
  void SetVETColors(TVETColors* value);
  // The path combo box linked with this tree both ways (it shows the tree's
  // item, the tree browses to the folder chosen in it), or null. Setting one
  // unlinks the previous combo box, and takes the new one from any tree it
  // was linked with; the tree forgets it when that link goes.
  TCustomVirtualExplorerCombobox* ExplorerComboBox() const { return explorerComboBox; }
  void SetExplorerComboBox(TCustomVirtualExplorerCombobox* value);
  // Sets Active False, changes the size and restores Active.
  void SetNodeDataSizeVET(int value);
  TCustomVirtualExplorerTreeOptions* TreeOptions() const;
  // Asserts when value's tree MiscOptions hold toReadOnly (use toVETReadOnly).
  void SetTreeOptions(TCustomVirtualExplorerTreeOptions* value);

  // ---- Node records ------------------------------------------------------------
  // The item of node; null for null or a node without one.
  TNamespace* NodeNamespace(PVirtualNode node) const;
  // True when node has an item (given in ns).
  bool ValidateNamespace(PVirtualNode node, TNamespace*& ns) const;
  TColumnManager* NodeColumnManager(PVirtualNode node) const;
  // The first node's column manager (the one header clicks use), made when
  // it has none; null without nodes.
  TColumnManager* FirstNodeColumnManager();

  // ---- Storage, lookup and browsing --------------------------------------------
  // The node storage of the tree (check states, column layouts); lives as long as the tree.
  TRootNodeStorage* GetStorage() const;
  TVETPersistent* Persistent() const { return persistent; }
  TViewManager* ViewManager() const { return viewManager; }
  // The node of an absolute PIDL, enumerating the folders on the path (never
  // expanding them); null when the path breaks off. pidl is never written.
  PVirtualNode FindNodeByPIDL(LPCITEMIDLIST pidl);
  // The desktop, or the desktop's child, whose normal name is name (without
  // case); ns is a new item the caller frees. False when none is.
  static bool FindDesktopItemByName(const std::u16string& name, TNamespace*& ns);
  // The same, then among the children of My Computer.
  static bool FindDesktopOrDriveItemByName(const std::u16string& name, TNamespace*& ns);
  // The same walk, optionally selecting, expanding the path, re-initialising
  // or initialising the nodes on it.
  PVirtualNode WalkPIDLToNode(LPCITEMIDLIST pidl, bool select, bool expandPath, bool reinit, bool init);
  // The node of pidl among the nodes that exist (nothing is made); null when absent.
  PVirtualNode FindLoadedNodeByPIDL(LPCITEMIDLIST pidl);
  virtual bool BrowseTo(LPCITEMIDLIST pidl, bool expandTarget, bool expandPath, bool collapseFirst,
                        bool focusTree, bool selectTarget);
  virtual bool OkToBrowseTo(LPCITEMIDLIST pidl) { return true; }
  // Tells linked views (VETChangeDispatch) the first selected item, else the
  // focused one; nothing while held back, without such an item or while the tree is destroyed.
  virtual void NotifyViewsOfFocus();

  // ---- Change links (ChangeLink.h) ---------------------------------------------------
  // A linked view reports its current item: the tree browses to it (by its
  // sync options) unless it shows it already; a null pidl changes nothing.
  virtual void ChangeLinkDispatch(TObject* server, LPCITEMIDLIST pidl);
  // A link of this tree is removed: a view forgets the server the link names when it is the client.
  virtual void ChangeLinkFreeing(IVETChangeLink* link);
  // OnChange, then the linked views are told; nothing while a right click is
  // tracked or the shell's context menu is up (its passing selection is no change).
  void DoChange(PVirtualNode node) override;

  // ---- Icon and expand-mark threads (ExplorerThreads.cpp) ----------------------------
  // Registered with the thread managers while the window exists and the option
  // (toThreadedImages, toThreadedExpandMark) is on.
  bool ThreadedImagesRegistered() const { return threadedImagesRegistered; }
  bool ThreadedExpandMarkRegistered() const { return threadedExpandMarkRegistered; }
  // Registers or unregisters (dropping what is pending); registering needs the window.
  void SetThreadedImages(bool value);
  void SetThreadedExpandMark(bool value);
  // Nodes whose icon or expand mark a thread still owes.
  size_t PendingIconRequests() const { return iconTickets.size(); }
  size_t PendingExpandMarkRequests() const { return expandMarkTickets.size(); }

  // ---- Building and refreshing --------------------------------------------------
  // Lists the root again. Refused while some view is busy (editing, dragging,
  // a shell menu up): then timer 102 asks again every kRootRebuildRetryMs
  // until the views are ready (or, without a window, once it has one).
  virtual void RebuildRootNamespace();
  static constexpr UINT_PTR kRootRebuildTimer = 102;
  static constexpr UINT kRootRebuildRetryMs = 100;
  bool RootRebuildWaits() const { return rootRebuildWaits; }
  // Merges a fresh enumeration of node's folder into its children: vanished
  // items go (with their stored check records), new items are added (checked
  // inside a fully checked folder), the others stay untouched.
  virtual void ReReadAndRefreshNode(PVirtualNode node, bool sortNode);
  // Re-reads node's folder keeping the expanded folders and the selection below it.
  // False when refused, or when a handler freed the folder or the tree meanwhile.
  bool RefreshNode(PVirtualNode node);
  // With tri-state tracking: node's check state follows its children's (items
  // that went can leave a folder all one state); nothing for a folder without child nodes.
  void FollowChildrenCheckState(PVirtualNode node);
  // Rebuilds the whole tree keeping the expanded folders, selection and focus.
  bool RefreshTree(bool restoreTopNode);
  // Adds ns (taken over) as the last child of parentNode; with setCheck its check type.
  PVirtualNode AddNodeToTree(PVirtualNode parentNode, TNamespace* ns, TCheckType checkType, bool setCheck);
  // Enumerates node's folder into new child nodes; returns the child count.
  virtual uint32_t EnumerateNodeChildren(PVirtualNode node);
  // The explorer's answer whether node may get an expand button.
  bool HasChildrenTest(TNamespace* ns, PVirtualNode node, PVirtualNode parentNode);

  // ---- Context menus and the clipboard ----------------------------------------------
  TContextMenuManager* ContextMenuManager() const { return contextMenuManager; }
  // The header's menu of columns (toShellColumnMenu shows it on a right click on the header).
  TColumnMenu* ColumnMenu() const { return columnMenu; }
  // The application's menu shown as a submenu of the shell's context menu (not owned), and its caption.
  TPopupMenu* ShellContextSubMenu() const { return shellContextSubMenu; }
  void SetShellContextSubMenu(TPopupMenu* value) { shellContextSubMenu = value; }
  const std::u16string& ShellContextSubMenuCaption() const { return shellContextSubMenuCaption; }
  void SetShellContextSubMenuCaption(const std::u16string& value) { shellContextSubMenuCaption = value; }
  // Marks the selection as cut or copied (toMarkCutAndCopy) and repaints.
  void MarkSelectionCutOrCopied(bool cut);
  // The selection through the shell's verbs; none with toVETReadOnly except copying.
  void CopyToClipBoard() override;
  void CutToClipBoard() override;
  bool PasteFromClipboard() override;
  virtual void SelectedFilesDelete();
  virtual void SelectedFilesPaste(bool allSelected);
  virtual void SelectedFilesShowProperties();
  // The shell's data object of the selection (the caller releases it); null when none.
  virtual IDataObject* SelectedToDataObject();
  // Makes a new folder with a unique name in the folder of path (its folder
  // part) and puts the editor on its node; newPath gets the folder's path
  // (also when a handler took the new node away), "" when the folder or its
  // node is missing or the new one cannot be made or does not turn up
  // (ExplorerNewFolder.cpp).
  virtual void CreateNewFolder(const std::u16string& path, std::u16string& newPath);

  // ---- Drag and drop through the shell (ExplorerDragDrop.cpp) ----------------------------
  // The shell's data object of the tree's own drag (TVETDataObject answers from it); null when none.
  IDataObject* DragSourceDataObject() const { return dragSourceDataObject; }
  // The drop-target side: the node under the mouse hands the drag to its item's shell drop target.
  HRESULT DragEnter(DWORD keyState, TPoint pt, int& effect) override;
  HRESULT DragOver(TObject* source, DWORD keyState, TDragStateKind state, TPoint pt, int& effect) override;
  void DragLeave() override;
  HRESULT DragDrop(IDataObject* dataObject, DWORD keyState, TPoint pt, int& effect) override;
  // Every effect the source allows of copy, move and link: the shell's drop target chooses.
  int SuggestDropEffect(TObject* source, TShiftState shift, TPoint pt, int allowedEffects) override;
  // The tree's formats, then those the shell's data object of the drag offers.
  void DoGetUserClipboardFormats(TFormatEtcArray& formats) override;
  // The application's data object, else a TVETDataObject over the shell's data object of the selection.
  IDataObject* DoCreateDataObject() override;
  // A drag takes the button's release: a right click it started is over.
  void DoDragging(TPoint p) override;
  // A class-library drag ended: the tree is painted again at once, without
  // the traces of the dragged picture.
  void DoEndDrag(TControl* target, int x, int y) override;

  // ---- Selection as items ---------------------------------------------------------
  // The items of the selected nodes, the focused one first.
  virtual void SelectedToNamespaceArray(TNamespaceArray& namespaces);
  virtual void SelectedToPIDLArray(TPIDLArray& pidls);

  void Clear() override;

  // ---- Events ---------------------------------------------------------------------
  TVETOnEnumFolder OnEnumFolder;
  TVETEnumFinishedEvent OnEnumFinished;
  TVETOnRootChanging OnRootChanging;
  TVETNotifyEvent OnRootChange;
  TVETNotifyEvent OnRootRebuild;
  TVETOnCustomNamespace OnCustomNamespace;
  TVETOnCustomColumnCompare OnCustomColumnCompare;
  TVETNotifyEvent OnInvalidRootNamespace;
  TNamespaceStructureChangeEvent OnNamespaceStructureChange;
  TVETOnGetVETText OnGetVETText;
  TVETOnShellExecute OnShellExecute;
  TVETOnTreeDblClick OnTreeDblClick;
  TVETOnClipboardEvent OnClipboardCopy;
  TVETOnClipboardCut OnClipboardCut;
  TVETOnClipboardEvent OnClipboardPaste;
  TContextMenuShowEvent OnContextMenuShow;
  TContextMenuCmdEvent OnContextMenuCmd;
  TContextMenuAfterCmdEvent OnContextMenuAfterCmd;
  TVETContextMenuItemChange OnContextMenuItemChange;
  TVETHeaderRebuild OnHeaderRebuild;
  TVETNotifyEvent OnColumnUserChangedVisiblility;

  // ---- Event-firing operations of the explorer -----------------------------------
  // Each calls its handler through FireHandler, the one door of the tree's
  // handlers: a going tree fires nothing, and the caller asks Going() after it.
  // As the tree's own door, it tells nothing about a node freed meanwhile,
  // and keeps the records of nodes the handler frees for the code around.
  template <class Event, class... A>
  bool FireHandler(const Event& event, A&&... args) {
    if ((DeadArgument(args) || ...)) return !Going();
    TCallOutScope scope(*this, /*door=*/true);
    return FireViewHandler(this, event, std::forward<A>(args)...);
  }
  virtual void DoCustomColumnCompare(TColumnIndex column, PVirtualNode node1, PVirtualNode node2, int& result);
  virtual void DoCustomNamespace(PVirtualNode parentNode);
  virtual void DoEnumFolder(TNamespace* ns, bool& allowAsChild);
  virtual void DoEnumFinished();
  virtual void DoInvalidRootNamespace();
  virtual void DoNamespaceStructureChange(PVirtualNode node, TNamespace* ns, TNamespaceStructureChange changeType);
  virtual void DoRootChange();
  virtual void DoRootChanging(TRootFolder newValue, TNamespace* ns, bool& allow);
  virtual void DoRootRebuild();
  // Runs the item of node (toExecuteOnDblClk) after OnShellExecute agreed.
  virtual void DoShellExecute(PVirtualNode node);
  virtual void ExecuteNamespace(TNamespace* ns, const std::u16string& workingDir, const std::u16string& arguments);
  // A shortcut to a folder: the tree browses to the folder.
  virtual void BrowseToShortcutTarget(TNamespace* ns);
  virtual void DoHeaderRebuild();
  virtual void DoColumnUserChangedVisibility();
  // Fires OnTreeDblClick with the node at point (client coordinates).
  virtual void DoTreeDblClick(TMouseButton button, TPoint point);

  // ---- Overrides of the tree --------------------------------------------------------
  void DoInitNode(PVirtualNode parent, PVirtualNode node, TVirtualNodeInitStates& initStates) override;
  void DoInitChildren(PVirtualNode node, uint32_t& childCount) override;
  void DoChecked(PVirtualNode node) override;
  int DoCompareNodes(PVirtualNode node1, PVirtualNode node2, TColumnIndex column) override;
  // By the shell's name order, the children are put in the order their keys
  // give and each neighbouring pair confirmed with the folder; only an order
  // not confirmed is sorted by the tree's own merge.
  void SortChildren(PVirtualNode node, TColumnIndex column, TSortDirection direction) override;
  void DoFreeNode(PVirtualNode node) override;
  bool DoExpanding(PVirtualNode node) override;
  bool DoCollapsing(PVirtualNode node) override;
  // Drops the pending icon and expand-mark requests unless a browse runs.
  void DoCollapsed(PVirtualNode node) override;
  void DoUpdating(TVTUpdateState state) override;
  void DoGetText(PVirtualNode node, TColumnIndex column, TVSTTextType textType, std::u16string& text) override;
  void DoPaintText(PVirtualNode node, TCanvas* canvas, TColumnIndex column, TVSTTextType textType) override;
  // Hands the icons the paint asked for to the thread.
  void DoAfterPaint(TCanvas* canvas) override;
  TCustomImageList* DoGetImageIndex(PVirtualNode node, TVTImageKind kind, TColumnIndex column, bool& ghosted,
                                    int& index) override;
  std::u16string DoGetNodeHint(PVirtualNode node, TColumnIndex column,
                               TVTHintLineBreakStyle& lineBreakStyle) override;
  void DoEditing(PVirtualNode node, TColumnIndex column, bool& allowed) override;
  void DoNewText(PVirtualNode node, TColumnIndex column, const std::u16string& text) override;
  // Once the edit has ended the focused item's cached facts (and icon) are dropped.
  bool DoEndEdit() override;
  bool DoKeyAction(uint16_t& charCode, TShiftState& shift) override;
  // Ctrl+Page Down and Up: the last sibling that fits on the page below the
  // top node, or the top node; a page further when it is focused already.
  PVirtualNode LastFittingSibling();
  void PageFocusDown();
  void PageFocusUp();
  void FocusAndShow(PVirtualNode node);
  void DoHeaderClick(TColumnIndex column, TMouseButton button, TShiftState shift, int x, int y) override;
  void DoHeaderMouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  bool DoDragAllowed(PVirtualNode node, TColumnIndex column) override;
  // Menus of the tree itself: none where a right click shows the shell's menu
  // (an item's label or icon, with toContextMenus), and one for the whole tree
  // otherwise; a node with an item always has a menu with toContextMenus.
  TComponent* DoGetPopupMenu(PVirtualNode node, TColumnIndex column, TPoint position) override;
  bool HasPopupMenu(PVirtualNode node, TColumnIndex column, TPoint position) override;
  void DoPopupMenu(PVirtualNode node, TColumnIndex column, TPoint position) override;
  void DoColumnResize(TColumnIndex column) override;
  void DoHeaderDragged(TColumnIndex column, int oldPosition) override;

  // Reads and writes of node streams are not supported (the view manager keeps views).
  void LoadFromStream(TStream* stream);
  void SaveToStream(TStream* stream, PVirtualNode node = nullptr);

  // ---- Column sets and their layout per folder (ExplorerColumns.cpp) -------------
  // The columns of the ColumnDetails kind for ns's folder (shell columns: ns's
  // own, with the layout stored for that folder); nothing for cdUser.
  void RebuildColumns(TNamespace* ns);
  // With toPersistentColumns and shell columns: the header's widths, positions
  // and visibility become the layout stored for the shown folder.
  virtual void StoreColumnsToStorage();
  // The layout stored for ns's folder, when it fits the column count (a stale one is dropped).
  virtual void LoadColumnsFromStorage(TNamespace* ns);
  // While set, column changes store no layout (the column dialog's live changes before OK).
  void SetColumnStoreSuspended(bool value) { columnStoreSuspended = value; }

  // The kind of an explorer column (cdFileName for other columns and -1).
  TColumnDetails ColumnKind(TColumnIndex column) const;
  // The shell's detail columns shown (cdShellColumns); further columns are the application's.
  int ShellColumnCount() const { return shellColumnCount; }

  // True when a rebuild of the root was asked while not allowed (lock, loading, inactive).
  bool TreeBuilt() const { return treeBuilt; }
  // Times the tree was cleared and built again from its root: every node
  // there after a change of it was listed after that change.
  uint64_t RootRebuilds() const { return rootRebuilds; }

  // ---- Shell change notification (ExplorerShellNotify.cpp) ----------------------------
  // Not while a label is edited, a drag runs or the tree's shell menu shows.
  bool ReadyForNotify() override;
  // A held-back batch (Msg kWMShellNotify); handled as the message is.
  void Notify(TMessage& message) override;
  // Joins the change notifier (with toChangeNotifierThread) or leaves it after
  // handling the batches waiting in the queue; nothing while loading or constructing.
  void SetChangeNotifierThread(bool value);
  bool ChangeNotifierRegistered() const { return changeNotifierRegistered; }
  // Fires OnShellNotify before each event is handled (a handler may set Handled).
  virtual void DoShellNotify(TVirtualShellEvent* shellEvent);
  TVETOnShellNotify OnShellNotify;
  // ---- Background enumeration (ExplorerTreeBackGnd.cpp) ------------------------------
  // With ThreadedEnum a folder is listed on a TVirtualBackGndEnumThread; timer
  // 101 (50 ms) polls for the result, which always lands under the hidden root,
  // and shows an animation once the listing takes longer than about a second.
  static constexpr UINT_PTR kEnumTimer = 101;
  bool ThreadedEnum() const { return threadedEnum; }
  void SetThreadedEnum(bool value) { threadedEnum = value; }
  // Ends a running background enumeration: its thread (it will deliver
  // nothing), the timer, the animation and a result not yet taken.
  void TerminateEnumThread();
  // True while a background enumeration has not been taken in or ended.
  bool EnumThreadRunning() const;
  // What the tree shares with its enumeration threads.
  TEnumHandOver* EnumHandOver() const { return enumHandOver; }
  // The animation shown during a long enumeration, or null.
  TAnimate* Animation() const { return animation; }
  TVETEnumLenghyOperaionEvent OnEnumThreadLengthyOperation;
  // Sets the tree's cursor to the hourglass.
  virtual void DoEnumThreadStart();
  virtual void DoEnumThreadLengthyOperation(bool& showAnimation);
  // The control that hosts the animation (the tree).
  virtual TWinControl* AnimationParent() { return this; }
  // Hides the header and shows the searching animation (once per enumeration).
  virtual void ShowAnimation();

protected:
  friend class TCustomVirtualExplorerTreeOptions;
  friend class TVETPersistent;
  friend class TGlobalViewManager;

  TCustomVirtualTreeOptions* CreateOptions() override;
  TVTHeader* CreateHeader() override;
  void RebuildShellColumns(TNamespace* ns);
  void RebuildExplorerColumns();
  TVirtualTreeColumn* CreateColumn(TVirtualTreeColumns* collection) override;
  void CreateWnd() override;
  void Loaded() override;
  virtual void SetDefaultOptions();
  virtual void ApplyActive(bool value);
  bool OkToEnumerate(PVirtualNode node);
  // Called once per child by the shell's enumeration (data: the parent node).
  bool EnumFolderCallback(HWND window, LPITEMIDLIST childPIDL, TNamespace* parent, void* data, bool& terminate);
  // Adds ns (taken over) under parentNode with a column manager unless it is a
  // hidden Recycle Bin or OnEnumFolder refuses it (then ns is freed); the node or null.
  PVirtualNode AddEnumeratedChild(PVirtualNode parentNode, TNamespace* ns);
  // Keeps ns, the item of a folder being listed, from release until the
  // outermost listing ends: a handler that rebuilds the root frees the hidden
  // root's item while the listing still reads it (and makes its children).
  class TListingScope {
  public:
    TListingScope(TCustomVirtualExplorerTree& tree_, TNamespace* ns);
    ~TListingScope();
    TListingScope(const TListingScope&) = delete;
    TListingScope& operator=(const TListingScope&) = delete;

  private:
    TCustomVirtualExplorerTree& tree;
  };
  // Frees ns, or keeps it until no operation holds the tree and no listing reads it.
  void ReleaseNamespace(TNamespace* ns);
  // Frees them unless a listing runs or the tree has more holds than the caller's own.
  void FreeRetiredNamespaces(uint32_t ownHolds = 0);
  // The items released while operations held the tree go with its last hold.
  void LastHoldEnded() override;
  // True while the listing of node's item ns may go on: the tree stands, the
  // node does, it still holds ns (the root was not rebuilt) and the hidden
  // root lists only for an active tree.
  bool ListingStands(PVirtualNode node, TNamespace* ns) const;
  void ForceShowMyDocuments(PVirtualNode node);
  // Restores node's check state from the storage (or from its checked parent).
  void RestoreCheckState(PVirtualNode parent, PVirtualNode node);
  // The stored record of node's item when it holds a check state, else null.
  TNodeStorage* StoredCheckRecord(TRootNodeStorage* storage, PVirtualNode node, TNamespace* ns);
  // Initialises every child of node, their check states read from the
  // folder's record (looked up once) rather than one walk a child.
  void InitChildrenWithChecks(PVirtualNode node);
  // Writes node's check state to the storage.
  void StoreCheckState(PVirtualNode node);
  // A checked or unchecked folder decides for everything below it: check
  // records below its record that say otherwise are dropped.
  void DropImpliedRecords(PVirtualNode node);
  // Frees node's item and column manager and clears the record's slots.
  void FreeNodeData(PVirtualNode node);
  void SetNodeNamespace(PVirtualNode node, TNamespace* ns, TColumnManager* manager);
  // Held across calls to handlers, which may free any node, the tree or its
  // form: keeps the tree and form in memory (TViewHold) and the records of
  // nodes freed meanwhile (a call-out scope), and tells whether the tree went
  // or a node alive when the watch began was freed since. Asking is one test.
  class THandlerWatch {
  public:
    explicit THandlerWatch(TCustomVirtualExplorerTree& tree_);
    THandlerWatch(const THandlerWatch&) = delete;
    THandlerWatch& operator=(const THandlerWatch&) = delete;
    bool TreeGone() const { return tree.Going(); }
    // True when the tree went, or node (null counts as gone) was freed since the watch began.
    bool Gone(PVirtualNode node) const;

  private:
    TCustomVirtualExplorerTree& tree;
    TViewHold hold;
    // After the scope has closed: the outermost watch frees the items released meanwhile.
    struct TRetiredRelease {
      TCustomVirtualExplorerTree& tree;
      ~TRetiredRelease() { tree.FreeRetiredNamespaces(/*ownHolds=*/1); }
    } release{tree};
    TCallOutScope scope;  // closes before the hold ends
  };
  // The nearest node beside node whose item is valid, or null.
  PVirtualNode ValidNeighbour(PVirtualNode node);
  // Selects a valid neighbour of node when it is the only selected node.
  void SelectValidNeighbour(PVirtualNode node, bool select);
  // Deletes node, passing the focus (and selection) on first when it has it.
  void DeleteNodeMoveFocus(PVirtualNode node);
  void WaitCursor(bool show);
  // Replaces the root with pending (asked already); value is the new kind.
  // rootWaits: the root's item is made when first asked for, not now.
  void ApplyRootFolder(TRootFolder value, bool rootWaits = false);
  // The root folder's item for value, or null.
  TNamespace* MakeRootNamespace(TRootFolder value);
  void ShellSortHelperFileSort();
  bool ValidateRootNamespace();
  void WMKeyDown(TMessage& m);
  // Mouse: a click on an expand button may expand any folder; a double click
  // reports OnTreeDblClick and runs (or browses into) the item under the mouse.
  void WMLButtonDown(TMessage& m);
  void WMLButtonDblClk(TMessage& m);
  // Alt held: Alt+Enter or an Alt+double click shows the selection's property sheet.
  void WMSysKey(TMessage& m);
  void WMSysChar(TMessage& m);
  void WMKillFocus(TMessage& m);
  void WMRButtonDblClk(TMessage& m);
  void WMRButtonDown(TMessage& m);
  void WMRButtonUp(TMessage& m);
  // The mouse taken away mid-click (a menu, a message box, a task switch): the right click ends there.
  void WMCaptureChanged(TMessage& m);
  void WMCancelMode(TMessage& m);
  void WMContextMenu(TMessage& m);
  void WMMenuMessage(TMessage& m);
  void WMMenuSelect(TMessage& m);
  void Notification(TComponent* component, TOperation operation) override;
  // A rename the shell refused: beep and open the editor again on the node
  // (WParam) when it still exists.
  void WMRenameRefused(TMessage& m);
  // After node's item was renamed: every item below it that has a node takes
  // the new PIDL (parent's PIDL and its own last ID), so that its check mark
  // reaches the record the storage moved.
  void FollowRenamedItem(PVirtualNode node);
  // Shell change notification (ExplorerShellNotify.cpp).
  void WMShellNotify(TMessage& m);
  // Applies a batch (one reference is the tree's); a batch not held back by
  // the manager is parked there while views are busy or older batches wait.
  void ApplyShellNotify(TVirtualShellEventList* list, bool heldBack);
  void WMDeviceChange(TMessage& m);
  void WMNCDestroy(TMessage& m);
  void WMQueryEndSession(TMessage& m);
  void HandleShellEvent(TVirtualShellEvent* event);
  // The existing child of parent (depth IDs long) that stands for id, the ID of pidl after its first depth IDs.
  PVirtualNode FindLoadedChild(PVirtualNode parent, LPCITEMIDLIST pidl, LPCITEMIDLIST id, uint32_t depth);
  // toTrackChangesInMappedDrives: a folder update on a network drive re-reads the folder's subtree.
  bool HandleMappedDriveChange(TVirtualShellEvent* event);
  // Every child of node gets its item's cached facts dropped and is repainted.
  void InvalidateChildNamespaces(PVirtualNode node);
  void InvalidateNodesWithIcon(int iconIndex);
  void RebuildShellIconCache();
  // Takes the batches waiting in the window's queue: handled, or only released (the tree is going).
  void DrainShellNotifications(bool handle);
  // Re-derives every loaded folder's check state from its children, deepest first.
  void FollowAllChildrenCheckStates();
  bool changeNotifierRegistered = false;
  int64_t lastShellNotifyID = -1;  // batches apply in the notifier's order

  // ---- Background enumeration ----
  // Starts a thread for the folder of pidl and the timer.
  void StartEnumThread(LPCITEMIDLIST pidl);
  void SetEnumTimer(bool value);
  // Timer 101: takes a delivered result in, or asks for the animation.
  void WMTimer(TMessage& m);
  // Starts (or, with a rebuild no longer owed, stops) the retry of a refused root rebuild.
  void SetRootRebuildTimer(bool value);
  // Builds the hidden root's children from a delivered result for folder (both taken over).
  void BuildFromEnumResult(TPIDLList* list, LPITEMIDLIST folder);
  bool threadedEnum = false;
  TEnumHandOver* enumHandOver = nullptr;  // one reference
  UINT_PTR enumTimer = 0;
  int enumTimerTicks = 0;
  uint64_t enumListings = 0;  // listings started: tells a handler's new listing from the one it was asked about
  TAnimate* animation = nullptr;  // owned
  bool headerWasVisible = false;  // the animation hid the header
  std::vector<TNamespace*> listedNamespaces;   // the items being listed, innermost last
  std::vector<TNamespace*> retiredNamespaces;  // released while held or listed (ReleaseNamespace)
  uint64_t rootNamespaceChanges = 0;           // the hidden root's item freed or replaced

  bool active = false;
  bool treeBuilt = false;
  uint64_t rootRebuilds = 0;
  bool rootRebuildWaits = false;  // a rebuild refused while a view was busy is owed
  bool constructing = false;
  bool browsing = false;
  bool expandButtonClick = false;
  bool altKeyDown = false;  // Alt is held (WM_SYSKEYDOWN with the context bit)
  int rebuildLock = 0;
  int waitCursorCount = 0;
  int viewNotifySuppressed = 0;
  int viewNotifyPending = 0;
  TRootFolder rootFolder = rfDesktop;
  std::u16string rootFolderCustomPath;
  LPITEMIDLIST rootFolderCustomPIDL = nullptr;  // owned
  mutable TNamespace* rootNamespace = nullptr;  // owned; read through RootNamespace()
  mutable bool rootNamespaceWaits = false;      // rootNamespace is still to be made for rootFolder
  TNamespace* pendingRootNamespace = nullptr;   // owned while asked
  TFileObjects fileObjects{foFolders};
  TFileSort fileSort = fsFileType;
  TFileSizeFormat fileSizeFormat = fsfExplorer;
  TColumnDetailType columnDetails = cdUser;
  int columnMenuItemCount = 8;
  int shellColumnCount = 0;
  bool rebuildingColumns = false;  // no layout is stored while columns are rebuilt
  bool columnStoreSuspended = false;
  uint32_t internalDataOffset = 0;
  // The system's plain folder and file icons, asked for when a node first
  // waits for its own icon (the first call builds the system image list,
  // which a program need not pay for before it shows a tree).
  int defaultFolderIndex = -1;
  int defaultFileIndex = -1;
  bool defaultIndicesKnown = false;
  TVETPersistent* persistent = nullptr;  // owned; owns the storage
  TViewManager* viewManager = nullptr;   // owned
  TVETColors* vetColors = nullptr;       // owned
  TShellSortHelper* sortHelper = nullptr;  // owned
  // While InitChildrenWithChecks runs: the folder whose children are
  // initialised and its storage record (null when nothing is stored below it).
  PVirtualNode checksFolder = nullptr;
  TNodeStorage* checksFolderRecord = nullptr;
  uint32_t checksFolderGeneration = 0;  // TNodeStorage::Generation when the record was looked up
  // True when column orders by the shell's name order (CompareIDs, column 0).
  bool SortsByShellName(TColumnIndex column);
  // True when node's children stand in the order of column's comparison in
  // direction: sorted by keys read from their listed IDs where the folder
  // orders names as the keys do (the folder asked of the pairs they leave
  // open), else as they stand or put in their keyed name order (a few
  // misjudged ones put right), every neighbouring pair confirmed; when
  // neither holds the order stays as it was (false).
  bool PresortChildren(PVirtualNode node, TColumnIndex column, TSortDirection direction);
  TContextMenuManager* contextMenuManager = nullptr;  // owned
  TColumnMenu* columnMenu = nullptr;                 // owned (a component of the tree)
  TPopupMenu* shellContextSubMenu = nullptr;  // not owned
  std::u16string shellContextSubMenuCaption;

  // Drag state: the data object of the drag over the tree, the node whose item
  // has the shell's drop target, the shell's last effect, the key state at enter.
  TNamespace* DropTargetNamespace(PVirtualNode node);
  // The shell drop target moves to target's item (the old one is left); effect: the shell's answer.
  void ChangeDragTarget(TNamespace* target, DWORD keyState, TPoint pt, int& effect);
  void ForgetDragTarget();
  // The tree goes: the drag's target is left and the data objects released.
  void ReleaseDragObjects();
  // The constructor's OnDragOver: every drag is accepted unless toVETReadOnly.
  static void AcceptDragOver(TBaseVirtualTree* sender, TObject* source, TShiftState shift, TDragStateKind state,
                             TPoint pt, TDropMode mode, int& effect, bool& accept);
  IDataObject* dragDataObject = nullptr;        // reference held from enter to drop or leave
  IDataObject* dragSourceDataObject = nullptr;  // reference held; the tree's own drag
  PVirtualNode lastDropTargetNode = nullptr;
  TCustomVirtualExplorerCombobox* explorerComboBox = nullptr;  // not owned
  // The node whose refused rename opens its editor again (kWMRenameRefused); null once it is freed.
  PVirtualNode renameRefusedNode = nullptr;
  TNamespace* lastDropTargetNamespace = nullptr;  // not owned: the node's or the root's item
  int lastDropEffect = DROPEFFECT_NONE;
  DWORD dragKeyState = 0;
  bool dropping = false;

  bool changeLinkDispatching = false;  // a linked view's change is being followed

  // Icon and expand-mark threads: the ticket each node waits for; an answer
  // with another ticket, or for a node not listed, is freed unapplied.
  void DestroyWnd() override;
  // True when ns's expand mark is asked of the thread: a folder on a network drive.
  virtual bool WantsThreadedExpandMark(TNamespace* ns);
  void RequestThreadedIcon(PVirtualNode node, TNamespace* ns);
  // During a paint the icons are only noted, and asked for when it is done:
  // a thread woken at the first would compete with the rest of the paint.
  void QueueThreadedIcon(PVirtualNode node, TNamespace* ns);
  void RequestQueuedIcons();
  void RequestThreadedExpandMark(PVirtualNode node, TNamespace* ns);
  // A folder that can be expanded gets its open icon from the thread once its
  // closed icon came, after every icon asked for: expanding it then paints
  // at once instead of asking the shell (a scan of the folder under Wine).
  void RequestThreadedOpenIcon(PVirtualNode node, TNamespace* ns);
  // Drops the requests of node, or of every node (their items forget they wait).
  void DropThreadRequests(PVirtualNode node);
  void DropAllThreadRequests();
  void WMImageThreadResult(TMessage& m);
  void WMExpandMarkResult(TMessage& m);
  bool threadedImagesRegistered = false;
  bool threadedExpandMarkRegistered = false;
  std::unordered_map<PVirtualNode, uint32_t> iconTickets;
  std::vector<PVirtualNode> iconsAfterPaint;  // noted by QueueThreadedIcon, flagged as loading
  std::unordered_map<PVirtualNode, uint32_t> openIconTickets;
  std::unordered_map<PVirtualNode, uint32_t> expandMarkTickets;
};

// A header column that knows which detail of an item it shows.
class TVETColumn : public TVirtualTreeColumn {
public:
  // "Name", 200 wide, cdFileName.
  void Create(TVirtualTreeColumns* collection) override;
  TColumnDetails ColumnDetails() const { return columnDetails; }
  // Takes the kind's caption and width; on a tree of shell columns the kind is always cdCustom.
  void SetColumnDetails(TColumnDetails value);

private:
  TCustomVirtualExplorerTree* Tree() const;
  TColumnDetails columnDetails = cdFileName;
};

// The explorer's header: shell detail columns are rebuilt for each folder, never written to a form.
class TVETHeader : public TVTHeader {
public:
  bool CanWriteColumns() override;
};

// An explorer tree that can follow another explorer view.
class TVirtualExplorerTree : public TCustomVirtualExplorerTree {
public:
  // The view this tree follows (a change link from it to this tree), or null.
  TCustomVirtualExplorerTree* VirtualExplorerTree() const { return linkedTree; }
  // Unlinks from the current view, then links to value (null: none).
  void SetVirtualExplorerTree(TCustomVirtualExplorerTree* value);
  void ChangeLinkFreeing(IVETChangeLink* link) override;

private:
  TCustomVirtualExplorerTree* linkedTree = nullptr;  // not owned; the link's server
};
class TVirtualExplorerViews : public TCustomVirtualExplorerTree {};
class TVirtualExplorerListview;
// The folder tree pane (the wizard's file tree is one).
class TVirtualExplorerTreeview : public TVirtualExplorerViews {
public:
  // The list pane this tree follows (a change link from it to this tree), or null.
  TVirtualExplorerListview* VirtualExplorerListview() const { return listview; }
  void SetVirtualExplorerListview(TVirtualExplorerListview* value);

  void ChangeLinkFreeing(IVETChangeLink* link) override;

protected:
  void SetDefaultOptions() override;

private:
  TVirtualExplorerListview* listview = nullptr;  // not owned; the link's server
};

// The colours of the explorer's texts.
class TVETColors : public TPersistent {
public:
  void Create(TCustomVirtualExplorerTree* owner_);
  // 0 CompressedTextColor, 1 FolderTextColor, 2 FileTextColor; others read clNone.
  TColor Color(int index) const;
  void SetColor(int index, TColor value);
  TColor CompressedTextColor() const { return colors[0]; }
  TColor FolderTextColor() const { return colors[1]; }
  TColor FileTextColor() const { return colors[2]; }
  void SetCompressedTextColor(TColor value) { SetColor(0, value); }
  void SetFolderTextColor(TColor value) { SetColor(1, value); }
  void SetFileTextColor(TColor value) { SetColor(2, value); }
  void Assign(TPersistent* source) override;

protected:
  void AssignTo(TPersistent* dest) override;

private:
  TCustomVirtualExplorerTree* owner = nullptr;  // not owned
  TColor colors[3] = {TColor(0xFF0000), TColor(0), TColor(0)};
};

// Does nothing; referenced so that programs using the explorer tree link its published properties.
void LinkExplorerTreeProperties();
