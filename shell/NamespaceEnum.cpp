// Shell items: enumeration of children, refreshing the PIDL, renaming.
#include "shell/Namespace.h"

#include "shell/ExactNames.h"

#include "shell/ShellUtilities.h"
#include "shell/VirtualUnicodeDefines.h"
#include "shell/VirtualWideStrings.h"
#include "win/Forms.h"

namespace {

constexpr UINT kQuietErrorMode = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;

}  // namespace

int TNamespace::EnumerateFolder(HWND window, bool folders, bool nonFolders, bool hidden, TEnumFolderCallback callback,
                                void* data) {
  DWORD shcontf = (folders ? SHCONTF_FOLDERS : 0) | (nonFolders ? SHCONTF_NONFOLDERS : 0) |
                  (hidden ? SHCONTF_INCLUDEHIDDEN : 0);
  return EnumerateWithFlags(window, shcontf, callback, data);
}

int TNamespace::EnumerateWithFlags(HWND window, DWORD shcontf, TEnumFolderCallback callback, void* data) {
  UINT oldMode = SetErrorMode(kQuietErrorMode);
  int accepted = 0;
  IShellFolder* folder = GetShellFolder();
  // A folder the shell would list by a cut name shows nothing rather than another folder's items.
  if (folder != nullptr && callback && IsValid() && exactnames::ListsItself(absolutePIDL)) {
    IEnumIDList* list = nullptr;
    if (folder->EnumObjects(window, shcontf, &list) == S_OK && list != nullptr) {
      bool terminate = false;
      LPITEMIDLIST child = nullptr;
      ULONG fetched = 0;
      while (!terminate && list->Next(1, &child, &fetched) == S_OK) {
        try {
          if (callback(window, child, this, data, terminate)) ++accepted;
        } catch (...) {
          list->Release();
          SetErrorMode(oldMode);
          throw;
        }
        child = nullptr;
      }
      list->Release();
    }
  }
  SetErrorMode(oldMode);
  return accepted;
}

int TNamespace::EnumerateFolderEx(HWND window, TFileObjects fileObjects, TEnumFolderCallback callback, void* data) {
  return EnumerateWithFlags(window, FileObjectsToFlags(fileObjects), callback, data);
}

bool TNamespace::FirstChildExists(DWORD shcontf) {
  if (IsRecycleBin()) return true;
  if (!Folder()) return false;
  IShellFolder* folder = GetShellFolder();
  if (folder == nullptr || !exactnames::ListsItself(absolutePIDL)) return false;
  UINT oldMode = SetErrorMode(kQuietErrorMode);
  IEnumIDList* list = nullptr;
  bool any = false;
  if (folder->EnumObjects(nullptr, shcontf, &list) == S_OK && list != nullptr) {
    LPITEMIDLIST child = nullptr;
    ULONG fetched = 0;
    any = list->Next(1, &child, &fetched) == S_OK;
    if (child != nullptr) CoTaskMemFree(child);
    list->Release();
  }
  SetErrorMode(oldMode);
  return any;
}

bool TNamespace::SubFoldersEx(DWORD shcontf) { return FirstChildExists(shcontf); }
bool TNamespace::SubItemsEx(DWORD shcontf) { return FirstChildExists(shcontf); }
bool TNamespace::SubItems() { return FirstChildExists(SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN); }

void TNamespace::ReplaceLastID(LPCITEMIDLIST newRelative) {
  TPIDLManager* m = NamespacePIDLManager;
  LPITEMIDLIST parentPIDL = m->CopyPIDL(absolutePIDL);
  m->StripLastID(parentPIDL);
  LPITEMIDLIST rebuilt = m->AppendPIDL(parentPIDL, newRelative);
  m->FreePIDL(parentPIDL);
  if (rebuilt == nullptr) return;
  if ((flags & kFreePIDLOnDestroy) != 0) m->FreePIDL(absolutePIDL);
  absolutePIDL = rebuilt;
  relativePIDL = m->GetPointerToLastID(absolutePIDL);
  flags |= kFreePIDLOnDestroy;
}

void TNamespace::FollowParent(LPCITEMIDLIST parentPIDL) {
  if (parentPIDL == nullptr || relativePIDL == nullptr) return;
  TPIDLManager* m = NamespacePIDLManager;
  LPITEMIDLIST rebuilt = m->AppendPIDL(parentPIDL, relativePIDL);
  if (rebuilt == nullptr) return;
  if ((flags & kFreePIDLOnDestroy) != 0) m->FreePIDL(absolutePIDL);
  absolutePIDL = rebuilt;
  relativePIDL = m->GetPointerToLastID(absolutePIDL);
  flags |= kFreePIDLOnDestroy;
  // A bound folder and the names hold the old path.
  InvalidateNamespace(/*refreshIcons=*/false);
}

namespace {

// The fresh ID of the child of folder that id names, read by its name alone
// (one look-up, not a listing), when that is surely the child a listing with
// the flags of fileObjects would find for it: the very name comes back, the
// folder takes the fresh ID for the same item, and the item is listed under
// those flags whatever the shell's settings. Null whenever anything is less
// than sure (the name is rewritten, the item has gone or changed kind, it is
// hidden where hidden items are not listed, a system item, not a file-system
// item): a listing must decide.
LPITEMIDLIST ReadChildAlone(IShellFolder* folder, LPCITEMIDLIST id, TFileObjects fileObjects) {
  if (wide::SHGetDataFromIDListW == nullptr) return nullptr;
  std::u16string name = exactnames::InFolderName(folder, id);
  LPITEMIDLIST fresh = exactnames::ParseInFolder(folder, name);
  if (fresh == nullptr) return nullptr;
  WIN32_FIND_DATAW data;
  bool sure = exactnames::InFolderName(folder, fresh) == name && exactnames::OrderInFolder(folder, fresh, id) == 0 &&
              wide::SHGetDataFromIDListW(folder, fresh, SHGDFIL_FINDDATA, &data, sizeof data) == S_OK;
  if (sure) {
    DWORD attributes = data.dwFileAttributes;
    // A folder that is not a directory (an archive, say) may be listed by
    // either flag; hidden and system items by the user's settings too.
    bool listed = (attributes & FILE_ATTRIBUTE_DIRECTORY)
                      ? fileObjects.Contains(foFolders)
                      : fileObjects.Contains(foFolders) && fileObjects.Contains(foNonFolders);
    bool hiddenListed = !(attributes & FILE_ATTRIBUTE_HIDDEN) || fileObjects.Contains(foHidden);
    sure = listed && hiddenListed && !(attributes & FILE_ATTRIBUTE_SYSTEM);
  }
  if (!sure) {
    NamespacePIDLManager->FreePIDL(fresh);
    return nullptr;
  }
  return fresh;
}

}  // namespace

bool TNamespace::RefreshPIDLFromParent(TFileObjects fileObjects) {
  IShellFolder* folder = ParentShellFolder();
  if (folder == nullptr || IsDesktop()) return false;
  UINT oldMode = SetErrorMode(kQuietErrorMode);
  // An update of one item costs one look-up of its name rather than a listing of its folder.
  if (LPITEMIDLIST fresh = ReadChildAlone(folder, relativePIDL, fileObjects)) {
    SetErrorMode(oldMode);
    ReplaceLastID(fresh);
    NamespacePIDLManager->FreePIDL(fresh);
    InvalidateNamespace(/*refreshIcons=*/true);
    return true;
  }
  IEnumIDList* list = nullptr;
  LPITEMIDLIST match = nullptr;
  if (folder->EnumObjects(nullptr, FileObjectsToFlags(fileObjects), &list) == S_OK && list != nullptr) {
    LPITEMIDLIST child = nullptr;
    ULONG fetched = 0;
    while (list->Next(1, &child, &fetched) == S_OK) {
      if (match == nullptr && ComparePIDL(child, /*siblingCheck=*/false, 0) == 0) {
        match = child;
      } else {
        CoTaskMemFree(child);
      }
      child = nullptr;
    }
    list->Release();
  }
  SetErrorMode(oldMode);
  if (match == nullptr) return false;
  ReplaceLastID(match);
  CoTaskMemFree(match);
  InvalidateNamespace(/*refreshIcons=*/true);
  return true;
}

bool TNamespace::SetNameOf(const std::u16string& newName) {
  if (!CanRename()) return false;
  IShellFolder* folder = ParentShellFolder();
  if (folder == nullptr) return false;
  TCursor oldCursor = crDefault;
  if (Screen != nullptr) {
    oldCursor = Screen->Cursor();
    Screen->SetCursor(crHourGlass);
  }
  LPITEMIDLIST copy = NamespacePIDLManager->CopyPIDL(relativePIDL);
  LPITEMIDLIST renamed = nullptr;
  // The name is given as the user edits it in the folder.
  HRESULT hr = folder->SetNameOf(nullptr, copy, vws::W(newName), SHGDN_INFOLDER | SHGDN_FOREDITING, &renamed);
  NamespacePIDLManager->FreePIDL(copy);
  if (SUCCEEDED(hr) && renamed != nullptr) {
    ReplaceLastID(renamed);
    InvalidateCache();
  }
  if (renamed != nullptr) CoTaskMemFree(renamed);
  if (Screen != nullptr) Screen->SetCursor(oldCursor);
  return SUCCEEDED(hr);
}
