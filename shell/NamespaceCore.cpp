// Shell items: construction, identity, parent folder and shell interfaces,
// comparison and cache control.
#include <algorithm>
#include <atomic>
#include <cstring>

#include "shell/Namespace.h"

#include "shell/ExactNames.h"
#include "shell/ShellErrors.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualUnicodeDefines.h"
#include "shell/VirtualWideStrings.h"
#include "win/Forms.h"

namespace {

TPIDLManager* Manager() {
  if (NamespacePIDLManager == nullptr) InitializeShellToolkit();
  if (NamespacePIDLManager == nullptr) throw Exception("The shell toolkit has been shut down");
  return NamespacePIDLManager;
}

std::atomic<int> gLiveNamespaces{0};  // the icon threads make items too

}  // namespace

TNamespace::TNamespace() { ++gLiveNamespaces; }

int TNamespace::LiveCount() { return gLiveNamespaces; }

TNamespace::~TNamespace() {
  --gLiveNamespaces;
  Retire();
  ReleaseInterfaces();
  if ((flags & kOwnsParent) != 0 && parent != nullptr) FreeAndNil(parent);
  // An item freed after the toolkit shut down frees its PIDL through the
  // task allocator (the shell's) rather than start the toolkit again.
  if ((flags & kFreePIDLOnDestroy) != 0 && absolutePIDL != nullptr) {
    if (NamespacePIDLManager != nullptr)
      NamespacePIDLManager->FreePIDL(absolutePIDL);
    else
      CoTaskMemFree(absolutePIDL);
  }
  absolutePIDL = nullptr;
  relativePIDL = nullptr;
}

void TNamespace::Retire() {
  for (TMenuSessionLink* session = menuSessions; session != nullptr; session = session->outer) session->item = nullptr;
  menuSessions = nullptr;
}

void TNamespace::Create(LPITEMIDLIST pidl, TNamespace* parent_) {
  TPIDLManager* m = Manager();
  flags = kMayAskShellDetails | kMayAskShellFolder2 | kMayAskIconOverlay | kFreePIDLOnDestroy;
  parent = parent_;
  if (parent != nullptr) {
    if (TPIDLManager::IsDesktopFolder(parent->AbsolutePIDL())) {
      absolutePIDL = pidl;
      relativePIDL = pidl;
      return;
    }
    absolutePIDL = m->AppendPIDL(parent->AbsolutePIDL(), pidl);
    relativePIDL = m->GetPointerToLastID(absolutePIDL);
    m->FreePIDL(pidl);
    return;
  }
  if (pidl == nullptr) {
    HWND owner = Application != nullptr ? Application->Handle() : nullptr;
    if (FAILED(SHGetSpecialFolderLocation(owner, CSIDL_DESKTOP, &pidl)) || pidl == nullptr) {
      // The desktop is the empty PIDL; make it when the shell will not.
      pidl = m->AppendPIDL(nullptr, nullptr);
    }
  }
  absolutePIDL = pidl;
  relativePIDL = m->GetPointerToLastID(pidl);
}

TNamespace* TNamespace::CreateFromFileName(const std::u16string& path) {
  LPITEMIDLIST pidl = PathToPIDL(path);
  if (pidl == nullptr) throw EVSTInvalidFileName("Trying to create a TNamespace on a non existant File object");
  return New<TNamespace>(pidl, static_cast<TNamespace*>(nullptr));
}

void TNamespace::SetFreePIDLOnDestroy(bool value) {
  if (value) {
    flags |= kFreePIDLOnDestroy;
  } else {
    flags &= ~kFreePIDLOnDestroy;
  }
}

bool TNamespace::IsDesktop() { return TPIDLManager::IsDesktopFolder(absolutePIDL); }

bool TNamespace::IsMyComputer() {
  TNamespace* drives = DrivesFolder();
  return drives != nullptr && vst::ILIsEqual(absolutePIDL, drives->absolutePIDL);
}

bool TNamespace::IsControlPanel() {
  TNamespace* panel = ControlPanelFolder();
  return panel != nullptr && vst::ILIsEqual(absolutePIDL, panel->absolutePIDL);
}

bool TNamespace::IsNetworkNeighborhood() {
  TNamespace* network = NetworkFolder();
  return network != nullptr && vst::ILIsEqual(absolutePIDL, network->absolutePIDL);
}

bool TNamespace::IsNetworkNeighborhoodChild() {
  TNamespace* network = NetworkFolder();
  return network != nullptr && vst::ILIsParent(network->absolutePIDL, absolutePIDL, /*immediate=*/true);
}

bool TNamespace::IsRecycleBin() {
  if ((flags & kRecycleBinKnown) == 0) {
    // Lists of unlike length never name one item; the shell's own test is
    // slow (it asks for names), so the counts are compared first.
    // Without the bin's item (not made yet on this thread's behalf) the
    // answer is no, but not kept: the next question looks again.
    TNamespace* bin = RecycleBinFolder();
    if (bin == nullptr) return false;
    bool is = Manager()->IDCount(absolutePIDL) == Manager()->IDCount(bin->absolutePIDL) &&
              vst::ILIsEqual(absolutePIDL, bin->absolutePIDL);
    flags |= kRecycleBinKnown;
    if (is) flags |= kIsRecycleBin;
  }
  return (flags & kIsRecycleBin) != 0;
}

bool TNamespace::ParentIsDesktop() { return Manager()->IDCount(absolutePIDL) == 1; }

IShellFolder* TNamespace::ParentShellFolder() {
  if (parent != nullptr) return parent->GetShellFolder();
  if (IsDesktop()) return GetShellFolder();
  LPITEMIDLIST parentPIDL = Manager()->CopyPIDL(absolutePIDL);
  if (parentPIDL == nullptr) return nullptr;
  Manager()->StripLastID(parentPIDL);
  parent = New<TNamespace>(parentPIDL, static_cast<TNamespace*>(nullptr));
  flags |= kOwnsParent;
  return parent->GetShellFolder();
}

IShellFolder* TNamespace::GetShellFolder() {
  if (shellFolder != nullptr) return shellFolder;
  if (IsDesktop()) {
    if (FAILED(SHGetDesktopFolder(&shellFolder))) shellFolder = nullptr;
    return shellFolder;
  }
  IShellFolder* parentFolder = ParentShellFolder();
  if (parentFolder == nullptr) return nullptr;
  void* folder = nullptr;
  if (FAILED(parentFolder->BindToObject(relativePIDL, nullptr, IID_IShellFolder, &folder))) folder = nullptr;
  shellFolder = static_cast<IShellFolder*>(folder);
  return shellFolder;
}

IShellFolder2* TNamespace::GetShellFolder2() {
  if (shellFolder2 != nullptr || (flags & kMayAskShellFolder2) == 0) return shellFolder2;
  IShellFolder* folder = GetShellFolder();
  if (folder == nullptr) return nullptr;
  void* folder2 = nullptr;
  if (FAILED(folder->QueryInterface(IID_IShellFolder2, &folder2)) || folder2 == nullptr) {
    flags &= ~kMayAskShellFolder2;
    return nullptr;
  }
  shellFolder2 = static_cast<IShellFolder2*>(folder2);
  return shellFolder2;
}

IShellDetails* TNamespace::GetShellDetails() {
  if (shellDetails != nullptr || (flags & kMayAskShellDetails) == 0) return shellDetails;
  IShellFolder* folder = GetShellFolder();
  if (folder == nullptr) return nullptr;
  void* details = nullptr;
  if (FAILED(folder->CreateViewObject(nullptr, IID_IShellDetails, &details)) || details == nullptr) {
    flags &= ~kMayAskShellDetails;
    return nullptr;
  }
  shellDetails = static_cast<IShellDetails*>(details);
  return shellDetails;
}

IShellIcon* TNamespace::GetShellIconInterface() {
  if (shellIcon != nullptr) return shellIcon;
  IShellFolder* folder = ParentShellFolder();
  if (folder == nullptr) return nullptr;
  void* icon = nullptr;
  if (FAILED(folder->QueryInterface(IID_IShellIcon, &icon))) icon = nullptr;
  shellIcon = static_cast<IShellIcon*>(icon);
  return shellIcon;
}

IShellIconOverlay* TNamespace::GetShellIconOverlayInterface() {
  if (shellIconOverlay != nullptr || (flags & kMayAskIconOverlay) == 0) return shellIconOverlay;
  void* overlay = nullptr;
  IShellFolder* own = Folder() ? GetShellFolder() : nullptr;
  if (own == nullptr || FAILED(own->QueryInterface(IID_IShellIconOverlay, &overlay))) {
    overlay = nullptr;
    IShellFolder* parentFolder = ParentShellFolder();
    if (parentFolder == nullptr || FAILED(parentFolder->QueryInterface(IID_IShellIconOverlay, &overlay))) overlay = nullptr;
  }
  if (overlay == nullptr) flags &= ~kMayAskIconOverlay;
  shellIconOverlay = static_cast<IShellIconOverlay*>(overlay);
  return shellIconOverlay;
}

bool TNamespace::TestAttributesOf(ULONG mask) {
  IShellFolder* folder = ParentShellFolder();
  if (folder == nullptr) return false;
  ULONG value = mask;
  LPCITEMIDLIST items[1] = {relativePIDL};
  // A failed call says nothing about the item: every attribute is false then.
  if (FAILED(folder->GetAttributesOf(1, items, &value))) return false;
  return (value & mask) == mask;
}

std::u16string TNamespace::DisplayNameOf(DWORD shgdn) {
  IShellFolder* folder = ParentShellFolder();
  if (folder == nullptr) return {};
  STRRET name{};
  if (FAILED(folder->GetDisplayNameOf(relativePIDL, shgdn, &name))) return {};
  return vws::StrRetToWideStr(name, relativePIDL);
}

int TNamespace::ComparePIDL(LPCITEMIDLIST pidl, bool siblingCheck, int column) {
  if (pidl == nullptr) return -1;
  if (column < 0) column = 0;
  TPIDLManager* m = Manager();
  IShellFolder* folder = ParentShellFolder();
  if (siblingCheck) {
    if (m->IDCount(pidl) != m->IDCount(absolutePIDL)) return -1;
    if (parent != nullptr && !vst::ILIsParent(parent->absolutePIDL, pidl, /*immediate=*/true)) return -1;
  }
  LPCITEMIDLIST last = m->GetPointerToLastID(pidl);
  // A parent that cannot be bound (the folder has gone) or a failed call
  // orders the IDs by their bytes: still an order (each way the opposite
  // answer), and "equal" only for the same bytes, never for every item.
  // Names that differ only in case are two items (a case-sensitive folder).
  if (column == 0 || folder == nullptr) return exactnames::OrderInFolder(folder, last, relativePIDL);
  HRESULT hr = folder->CompareIDs(static_cast<LPARAM>(column), last, relativePIDL);
  // The order is the whole signed 16-bit code.
  if (FAILED(hr)) return exactnames::CompareIDBytes(last, relativePIDL);
  return static_cast<int16_t>(HRESULT_CODE(hr));
}

bool TNamespace::IsValid() {
  bool unasked = false;
  return Validate(true, unasked);
}

bool TNamespace::IsValidBeforeListing(bool& unasked) {
  unasked = false;
  return Validate(false, unasked);
}

namespace {

// A listing of the folder of path by the shell shows the item there: the
// path is whole and no name on it ends in a dot or a space (the shell lists
// "d." as "d").
bool ListedWhereItIs(const std::u16string& path) {
  if (path.size() >= exactnames::kMayBeCutLength) return false;
  for (size_t i = 1; i <= path.size(); ++i) {
    bool end = i == path.size() || path[i] == u'\\';
    if (end && (path[i - 1] == u'.' || path[i - 1] == u' ')) return false;
  }
  return true;
}

}  // namespace

bool TNamespace::Validate(bool askDisk, bool& unasked) {
  if (Removable()) return true;
  IShellFolder* folder = ParentShellFolder();
  if (folder == nullptr) return true;
  std::u16string name = NameForParsing();
  if (vws::WideIsDrive(name)) {
    std::u16string root = vws::WideIncludeTrailingBackslash(name);
    UINT type = vws::UseWideApi() ? GetDriveTypeW(vws::W(root)) : GetDriveTypeA(vws::ToAnsi(root).c_str());
    if (type == DRIVE_NO_ROOT_DIR || type == DRIVE_REMOTE) return true;
  }
  ULONG value = SFGAO_VALIDATE;
  LPCITEMIDLIST items[1] = {relativePIDL};
  if (FAILED(folder->GetAttributesOf(1, items, &value))) return false;
  // Some shells validate from the ID's own data: a file-system item is asked
  // of the disk too, by its exact name ("x." is not "x").
  if (name.size() > 3 && name[1] == u':' && name[2] == u'\\') {
    if (!askDisk && ListedWhereItIs(name)) {
      unasked = true;
      return true;
    }
    return (vws::UseWideApi() ? GetFileAttributesW(vws::W(exactnames::ExtendedPath(name)))
                              : GetFileAttributesA(vws::ToAnsi(name).c_str())) != INVALID_FILE_ATTRIBUTES;
  }
  return true;
}

TNamespace* TNamespace::Clone(bool freePIDLOnDestroy) {
  TNamespace* copy = New<TNamespace>(Manager()->CopyPIDL(absolutePIDL), static_cast<TNamespace*>(nullptr));
  copy->SetFreePIDLOnDestroy(freePIDLOnDestroy);
  return copy;
}

void TNamespace::ReleaseInterfaces() {
  ReleaseAndNil(dropTarget);
  ReleaseAndNil(contextMenu3);
  ReleaseAndNil(contextMenu2);
  ReleaseAndNil(contextMenu);
  ReleaseAndNil(queryInfo);
  ReleaseAndNil(shellIconOverlay);
  ReleaseAndNil(shellIcon);
  ReleaseAndNil(shellDetails);
  ReleaseAndNil(shellFolder2);
  ReleaseAndNil(shellFolder);
}

void TNamespace::InvalidateCache() {
  cache = CacheData{};
}

void TNamespace::InvalidateNamespace(bool refreshIcons) {
  int icon = cache.iconIndex;
  int openIcon = cache.openIconIndex;
  InvalidateCache();
  ReleaseInterfaces();
  if ((flags & kOwnsParent) != 0) {
    FreeAndNil(parent);
    flags &= ~kOwnsParent;
  }
  findData.reset();
  fileInfo.reset();
  flags |= kMayAskShellDetails | kMayAskShellFolder2;
  if (refreshIcons) {
    flags &= ~(kIconByThread | kIconQueued);
  } else {
    cache.iconIndex = icon;
    cache.openIconIndex = openIcon;
  }
  if (ParentIsDesktop()) {
    TNamespace* desktopDirectory = DesktopDirectoryFolder();
    if (desktopDirectory != nullptr && desktopDirectory != this)
      desktopDirectory->InvalidateNamespace(/*refreshIcons=*/true);
  }
}

void TNamespace::SetIconIndexByThread(int index, bool openIcon) {
  if (openIcon) {
    cache.openIconIndex = index;
  } else {
    cache.iconIndex = index;
  }
  flags |= kIconByThread | kThreadIconLoaded;
  flags &= ~kIconQueued;
}

void TNamespace::SetOpenIconIndexAhead(int index) {
  if (cache.openIconIndex < 0) cache.openIconIndex = index;
}

void TNamespace::SetThreadIconLoading(bool value) {
  if (value) {
    flags |= kIconQueued;
  } else {
    flags &= ~kIconQueued;
  }
}
