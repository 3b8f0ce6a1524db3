#pragma once
// TNamespace: one item of the shell namespace (file, folder, drive or virtual
// item). Owns the item's absolute PIDL, reaches its parent folder through the
// shell's folder interfaces and answers names, attributes, sizes, times, type,
// icons and detail columns from a cache filled on first use. Shell failures
// give false, "", 0 or -1, never an exception. Not thread-safe.
#include <memory>
#include <string>
#include <vector>

#include "core/Events.h"
#include "core/Object.h"
#include "shell/VirtualShellTypes.h"

// Receives one child of an enumeration; owns childPIDL. Answer true to count
// the child; set terminate to stop.
using TEnumFolderCallback =
    TEvent<bool(HWND window, LPITEMIDLIST childPIDL, TNamespace* parent, void* data, bool& terminate)>;

class TWinControl;
class TPopupMenu;
struct TPoint;

// Hooks of a shell context menu, for the view that shows it: before the menu
// shows (clear allow to forbid it); after a choice that is not an inserted
// menu item (set handled to keep the shell from running it); after the shell
// ran the command. menuItemID is the chosen command number.
using TContextMenuShowEvent = TEvent<void(TNamespace* item, HMENU menu, bool& allow)>;
using TContextMenuCmdEvent =
    TEvent<void(TNamespace* item, const std::u16string& verb, int menuItemID, bool& handled)>;
using TContextMenuAfterCmdEvent =
    TEvent<void(TNamespace* item, const std::u16string& verb, int menuItemID, bool succeeded)>;
// Command numbers given to class-library menu items put into a shell menu, in insertion order.
using TMenuItemIDArray = std::vector<UINT>;

// Shell file information kept per item.
struct TSHGetFileInfoRec {
  std::u16string fileType;
};

class TNamespace : public TObject {
public:
  // Flag bits.
  static constexpr uint16_t kFreePIDLOnDestroy = 0x0001;
  static constexpr uint16_t kIsRecycleBin = 0x0002;
  static constexpr uint16_t kRecycleBinKnown = 0x0004;
  static constexpr uint16_t kOwnsParent = 0x0008;
  static constexpr uint16_t kMayAskShellDetails = 0x0010;
  static constexpr uint16_t kMayAskShellFolder2 = 0x0020;
  static constexpr uint16_t kMayAskIconOverlay = 0x0040;
  static constexpr uint16_t kIconByThread = 0x0080;
  static constexpr uint16_t kIconQueued = 0x0100;
  static constexpr uint16_t kThreadIconLoaded = 0x2000;

  TNamespace();
  ~TNamespace() override;
  // Items alive in the process (an item outliving everything that held it is a leak).
  static int LiveCount();
  // Its owner let go of the item, which lives on only for the code still
  // reading it: a menu showing for it ends as when it is freed.
  void Retire();
  // Takes pidl over. With a parent, pidl is relative to it (not freed when the
  // parent is the desktop, else appended to the parent's PIDL and freed);
  // without one, pidl is absolute; a null pidl means the desktop.
  void Create(LPITEMIDLIST pidl, TNamespace* parent);
  // The item at path; raises EVSTInvalidFileName when the shell cannot parse it.
  static TNamespace* CreateFromFileName(const std::u16string& path);

  // ---- Attributes from the find data (false unless a file-system item with find data)
  virtual bool Archive();
  // "A", "H", "R", "S", "C" for each set attribute; "" for items outside the file system.
  virtual std::u16string AttributesString();
  // ---- Shell attributes (SFGAO)
  virtual bool CanCopy();
  virtual bool CanDelete();
  virtual bool CanLink();
  virtual bool CanMove();
  virtual bool CanRename();
  virtual bool Compressed();
  // Times as text in the user's date and time format; "" without find data.
  virtual std::u16string CreationTime();
  virtual FILETIME CreationTimeRaw();
  virtual bool Directory();
  virtual bool DropTarget();
  // The extension (with its dot) of the parsing name in the folder.
  virtual std::u16string Extension();
  virtual std::u16string FileName();
  virtual bool FileSysAncestor();
  virtual bool FileSystem();
  // The type name; "<EXT> File" when the shell gives none.
  virtual std::u16string FileType();
  virtual bool Folder();
  virtual bool HiddenItem();
  virtual bool HasPropSheet();
  virtual bool HasSubFolder();
  virtual bool Hidden();
  virtual std::u16string InfoTip();
  virtual std::u16string LastAccessTime();
  virtual FILETIME LastAccessTimeRaw();
  virtual std::u16string LastWriteTime();
  virtual FILETIME LastWriteTimeRaw();
  virtual bool Link();
  // ---- Display names
  virtual std::u16string NameAddressbar();
  virtual std::u16string NameAddressbarInFolder();
  virtual std::u16string NameForEditing();
  virtual std::u16string NameForEditingInFolder();
  virtual std::u16string NameForParsing();
  virtual std::u16string NameForParsingInFolder();
  virtual std::u16string NameInFolder();
  virtual std::u16string NameNormal();
  virtual std::u16string NameParseAddress();
  virtual std::u16string NameParseAddressInFolder();
  virtual bool NewContent();
  virtual bool NonEnumerated();
  virtual bool Normal();
  virtual bool OffLine();
  // The parent's folder (borrowed; valid while this item lives); the desktop's
  // own folder for the desktop; null when the shell gives none.
  virtual IShellFolder* ParentShellFolder();
  virtual bool ReadOnly();
  virtual bool ReadOnlyFile();
  virtual bool Removable();
  // Digit-grouped byte count; "" for folders.
  virtual std::u16string SizeOfFile();
  // Size rounded up to whole clusters, digit-grouped; SizeOfFile when the
  // drive cannot tell; "" for folders.
  virtual std::u16string SizeOfFileDiskUsage();
  virtual int64_t SizeOfFileInt64();
  // Whole kilobytes (truncated, at least "1 KB"); "" for folders.
  virtual std::u16string SizeOfFileKB();
  virtual bool Share();
  // The 8.3 name, or the long name upper-cased.
  virtual std::u16string ShortFileName();
  virtual bool SubItems();
  virtual bool SystemFile();
  virtual bool Temporary();
  // A new item on a copy of the PIDL, without parent.
  virtual TNamespace* Clone(bool freePIDLOnDestroy);
  // Caption of built-in column 0-9 (-1 counts as 0) into title; other numbers leave it.
  virtual void DetailsDefaultColumnTitle(int column, std::u16string& title);
  // Text of built-in column: name, KB size, type ("System Folder" for non-files), modified, attributes.
  virtual std::u16string DetailsDefaultOf(int column);
  virtual int DetailsDefaultSupportedColumns();
  // System image-list index of the closed or open icon (size 1 large, else small).
  virtual int GetIconIndex(bool openIcon, int iconSize, bool force);

  // ---- Identity and comparison
  LPITEMIDLIST AbsolutePIDL() const { return absolutePIDL; }
  LPITEMIDLIST RelativePIDL() const { return relativePIDL; }
  TNamespace* Parent() const { return parent; }
  bool FreePIDLOnDestroy() const { return (flags & kFreePIDLOnDestroy) != 0; }
  void SetFreePIDLOnDestroy(bool value);
  uint16_t Flags() const { return flags; }
  bool IsDesktop();
  bool IsMyComputer();
  bool IsControlPanel();
  bool IsNetworkNeighborhood();
  bool IsNetworkNeighborhoodChild();
  bool IsRecycleBin();
  // Orders the item pidl against this one: negative when pidl sorts first.
  // null gives -1; a failed shell comparison gives -1 (never "equal"). With
  // siblingCheck, a pidl that is not a sibling of this item gives -1.
  int ComparePIDL(LPCITEMIDLIST pidl, bool siblingCheck, int column);
  bool IsValid();
  // IsValid short of asking the disk about a file-system item that the
  // shell's listing of its folder shows where it is (a whole path with no
  // name on it ending in a dot or a space): for a caller that lists that
  // folder again at once, where a gone item is missing. unasked: the disk
  // was not asked (the answer is the shell's).
  bool IsValidBeforeListing(bool& unasked);

  // ---- Shell access (borrowed pointers, kept until invalidation)
  IShellFolder* GetShellFolder();
  IShellFolder2* GetShellFolder2();
  IShellDetails* GetShellDetails();
  IShellIcon* GetShellIconInterface();
  IShellIconOverlay* GetShellIconOverlayInterface();
  // True when every bit of mask is set; false when the shell call fails.
  bool TestAttributesOf(ULONG mask);
  std::u16string DisplayNameOf(DWORD shgdn);
  // Reads the find data once; true when it is there.
  bool GetDataFromIDList();
  // The find data with fresh times from the file system; null when there is none.
  const WIN32_FIND_DATAW* GetFindFileData();
  // The shell's type name (read once).
  const TSHGetFileInfoRec* GetSHFileInfo();
  int GetOverlayIndex();
  // Hands each child to callback; returns how many it accepted.
  int EnumerateFolder(HWND window, bool folders, bool nonFolders, bool hidden, TEnumFolderCallback callback,
                      void* data);
  // The same with the flags of FileObjectsToFlags, shareable and network
  // printers included where the platform has them.
  int EnumerateFolderEx(HWND window, TFileObjects fileObjects, TEnumFolderCallback callback, void* data);
  bool SubFoldersEx(DWORD flags = SHCONTF_FOLDERS);
  bool SubItemsEx(DWORD flags);

  // ---- Detail columns
  int DetailsSupportedColumns();
  std::u16string DetailsColumnTitle(int column);
  TColumnStates DetailsDefaultColumnState(int column);
  std::u16string DetailsOf(int column);

  // ---- Cache control and renaming
  void InvalidateCache();
  void InvalidateNamespace(bool refreshIcons);
  // Finds this item again among its parent's children (after a rename); true when found.
  bool RefreshPIDLFromParent(TFileObjects fileObjects);
  // Renames the item; true on success (the PIDL follows the new name).
  bool SetNameOf(const std::u16string& newName);
  // After a folder above the item was renamed or moved: the item's PIDL
  // becomes parentPIDL followed by its own last ID, and what was bound or
  // cached under the old PIDL is dropped (icons kept). Null does nothing.
  void FollowParent(LPCITEMIDLIST parentPIDL);

  // ---- Verbs on sibling items through the shell's menu (NamespaceVerbs.cpp);
  // each answers true when the verb was found and ran, false otherwise.
  // "copy"; an empty array copies this item itself.
  bool Copy(const TNamespaceArray& items);
  // "cut"/"delete": needs items that all can be deleted and are siblings of this one.
  bool Cut(const TNamespaceArray& items);
  bool Delete(const TNamespaceArray& items);
  // "paste" (plainPaste) or "pastelink"; on the desktop the desktop directory pastes.
  bool Paste(const TNamespaceArray& items, bool plainPaste = true);
  // One property sheet for all items (each must have one).
  bool ShowPropertySheetMulti(const TNamespaceArray& items);
  // True when every item shares this item's parent; otherwise shows the "Error"
  // box (unless this is the desktop) and answers false.
  bool VerifyPIDLRelationship(const TNamespaceArray& items);
  // Runs verb from the menu of relativePIDLs in this item's parent folder (of
  // this item alone when empty); owner null means the application window.
  bool ExecuteContextMenuVerb(const std::u16string& verb, const TPIDLArray& relativePIDLs, HWND owner = nullptr);
  // Runs verb from the folder's own menu (its background menu); false for a non-folder or a missing verb.
  bool ExecuteFolderMenuVerb(const std::u16string& verb, HWND owner = nullptr);
  static bool InvokeMenuVerb(IContextMenu* menu, const std::u16string& verb, HWND owner);
  // Told of every verb run on items (folderMenu: through the folder's own
  // menu): the item's parsing name, the verb and the number of items; null by
  // default. Lets tests see where a command went without running the shell's.
  // When it answers false the verb is not run.
  static inline bool (*VerbTrace)(const std::u16string& item, const std::u16string& verb, size_t count,
                                  bool folderMenu) = nullptr;
  // The verb of command offset in menu; "" when the shell gives none.
  static std::u16string GetContextMenuVerb(IContextMenu* menu, UINT commandOffset);

  // ---- Context menus (NamespaceContextMenu.cpp). Modal; true when a shell
  // command ran successfully. point null: at the mouse cursor. popup's items
  // are appended as a submenu named submenuCaption. The hooks and a clicked
  // item of popup may free this item: the menu holds what it needs of it, the
  // command still runs, and later hooks are given null for the item.
  bool ShowContextMenu(TWinControl* owner, const TPoint* point, const std::u16string& submenuCaption,
                       TPopupMenu* popup, TContextMenuShowEvent onShow, TContextMenuCmdEvent onCommand,
                       TContextMenuAfterCmdEvent onAfterCommand);
  // The menu of several items: absolute PIDLs through the desktop folder, or
  // relative ones through this item's parent folder.
  bool ShowContextMenuMulti(TWinControl* owner, const TNamespaceArray& items, bool absolute, const TPoint* point,
                            const std::u16string& submenuCaption, TPopupMenu* popup, TContextMenuShowEvent onShow,
                            TContextMenuCmdEvent onCommand, TContextMenuAfterCmdEvent onAfterCommand);
  // The verb of command number commandID of the menu that is up; "" when none.
  std::u16string ContextMenuVerb(UINT commandID);
  // Hands owner-drawn menu messages to the menu that is up; true when it took them.
  bool HandleContextMenuMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);

  // ---- Drag and drop onto the item (only when DropTarget holds; else E_FAIL)
  HRESULT DragEnter(IDataObject* data, DWORD keyState, POINTL pt, DWORD* effect);
  HRESULT DragOver(DWORD keyState, POINTL pt, DWORD* effect);
  HRESULT DragLeave();
  HRESULT Drop(IDataObject* data, DWORD keyState, POINTL pt, DWORD* effect);
  // The item's drop target from its parent folder (kept for one drag); null when none.
  IDropTarget* GetDropTargetInterface();
  // A data object of items (siblings of this one); the caller releases it; null on failure.
  IDataObject* DataObjectMulti(const TNamespaceArray& items);
  // Starts the item; folders only with runFolders, shortcuts to folders only
  // with runFolderShortcuts. True when it was started.
  bool ShellExecuteNamespace(const std::u16string& workingDir, const std::u16string& parameters,
                             bool runFolderShortcuts, bool runFolders);

  // ---- Icons delivered by the icon thread
  void SetIconIndexByThread(int index, bool openIcon);
  // The open icon fetched ahead of its first use; kept only while none is known.
  void SetOpenIconIndexAhead(int index);
  bool OpenIconIndexKnown() const { return cache.openIconIndex >= 0; }
  void SetThreadIconLoading(bool value);
  bool GetThreadIconLoading() const { return (flags & kIconQueued) != 0; }
  bool GetThreadedIconLoaded() const { return (flags & kThreadIconLoaded) != 0; }

protected:
  // Context-menu state kept for the verbs of an item (released with the other interfaces).
  IContextMenu* contextMenu = nullptr;
  IContextMenu2* contextMenu2 = nullptr;
  IContextMenu3* contextMenu3 = nullptr;
  WNDPROC oldWndProc = nullptr;
  // A context menu showing for this item: freeing the item tells it (item
  // becomes null), so the menu touches nothing of the item afterwards.
  struct TMenuSessionLink {
    TNamespace* item = nullptr;
    TMenuSessionLink* outer = nullptr;  // the menu of this item below this one
  };
  TMenuSessionLink* menuSessions = nullptr;  // innermost first
  IDropTarget* dropTarget = nullptr;  // the drop target of a drag in progress

  bool InternalShowContextMenu(TWinControl* owner, const TPoint* point, const TPIDLArray& pidls, bool absolute,
                               const std::u16string& submenuCaption, TPopupMenu* popup, TContextMenuShowEvent onShow,
                               TContextMenuCmdEvent onCommand, TContextMenuAfterCmdEvent onAfterCommand);

private:
  // IsValid; without askDisk a file-system item listed where it is is taken on the shell's word (unasked set).
  bool Validate(bool askDisk, bool& unasked);
  // Enumerates with the SHCONTF flags given (EnumerateFolder and EnumerateFolderEx).
  int EnumerateWithFlags(HWND window, DWORD shcontf, TEnumFolderCallback callback, void* data);
  // Which answers are known (bits of Cached).
  enum Cached : uint32_t {
    cCanCopy = 1u << 0, cCanDelete = 1u << 1, cCanLink = 1u << 2, cCanMove = 1u << 3, cCanRename = 1u << 4,
    cCompressed = 1u << 5, cFileSysAncestor = 1u << 6, cFileSystem = 1u << 7, cFolder = 1u << 8,
    cHiddenItem = 1u << 9, cLink = 1u << 10, cFindDataFailed = 1u << 11, cFindFileData = 1u << 12,
    cColumns = 1u << 13, cFileType = 1u << 14, cOverlay = 1u << 15,
    cNameInFolder = 1u << 16, cNameNormal = 1u << 17, cNameParseAddress = 1u << 18, cCreationTime = 1u << 19,
    cLastAccessTime = 1u << 20, cLastWriteTime = 1u << 21, cSize = 1u << 22, cSizeKB = 1u << 23,
    cRemovable = 1u << 24,
  };
  struct CacheData {
    uint32_t known = 0;
    uint32_t answers = 0;  // boolean answers, same bits as known
    int iconIndex = -1;
    int openIconIndex = -1;
    std::u16string nameInFolder, nameNormal, nameParseAddress, creationTime, lastAccessTime, lastWriteTime, size,
        sizeKB, fileType;
    int supportedColumns = 0;
    int overlayIndex = -1;
    int overlayIconIndex = -1;
  };

  bool CachedAttribute(Cached bit, ULONG mask);
  // Asks the shell for every attribute of kCommonAttributes in one call.
  void CacheCommonAttributes();
  std::u16string CachedName(Cached bit, std::u16string& slot, DWORD shgdn);
  bool FindAttribute(DWORD attribute);
  FILETIME FindTime(FILETIME WIN32_FIND_DATAW::*field);
  std::u16string CachedTime(Cached bit, std::u16string& slot, FILETIME WIN32_FIND_DATAW::*field);
  bool IsRealFile();
  bool NamedByExtensionRule();
  std::u16string ShownNameInFolder();
  void TakeFileSystemNames();
  bool ParentIsDesktop();
  int LookupIcon(bool openIcon, int iconSize);
  void ReleaseInterfaces();
  void ReplaceLastID(LPCITEMIDLIST newRelative);
  bool FirstChildExists(DWORD flags);

  LPITEMIDLIST absolutePIDL = nullptr;  // owned when kFreePIDLOnDestroy
  LPITEMIDLIST relativePIDL = nullptr;  // points into absolutePIDL
  IShellFolder* shellFolder = nullptr;
  IShellFolder2* shellFolder2 = nullptr;
  IShellDetails* shellDetails = nullptr;
  IShellIcon* shellIcon = nullptr;
  IShellIconOverlay* shellIconOverlay = nullptr;
  IQueryInfo* queryInfo = nullptr;
  TNamespace* parent = nullptr;  // owned when kOwnsParent
  std::unique_ptr<TSHGetFileInfoRec> fileInfo;
  uint16_t flags = 0;
  std::unique_ptr<WIN32_FIND_DATAW> findData;
  CacheData cache;
};
