// Paths to PIDLs and back, enumeration flags, special-folder items, default
// icons and the shell's icon cache.
#include "shell/ShellUtilities.h"

#include "shell/ExactNames.h"
#include "shell/MountedFolder.h"
#include "shell/VirtualUtilities.h"
#include "shell/VirtualWideStrings.h"

LPITEMIDLIST PathToPIDL(const std::u16string& path) {
  IShellFolder* desktop = nullptr;
  if (FAILED(SHGetDesktopFolder(&desktop)) || desktop == nullptr) return nullptr;
  std::u16string name = path;
  ULONG eaten = 0;
  ULONG attributes = 0;
  LPITEMIDLIST pidl = nullptr;
  HRESULT hr = desktop->ParseDisplayName(nullptr, nullptr, const_cast<wchar_t*>(vws::W(name)), &eaten, &pidl,
                                         &attributes);
  desktop->Release();
  if (FAILED(hr)) {
    if (pidl != nullptr) CoTaskMemFree(pidl);
    return nullptr;
  }
  return pidl;
}

bool IsLinkOrReparsePoint(TNamespace* ns) {
  if (ns->Link()) return true;
  if (!ns->FileSystem()) return false;
  std::u16string path = ns->NameForParsing();
  if (path.size() <= 3) return false;  // a drive root
  // Asked by the exact name: the plain call takes "x." for "x".
  DWORD attributes = GetFileAttributesW(vws::W(exactnames::ExtendedPath(path)));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
         !IsMountedFolder(path);
}


namespace {

// False when folder is a file-system folder whose items cannot be read: the
// shell may list such a folder as empty instead of failing.
bool FolderReadable(IShellFolder* folder) {
  IPersistFolder2* persist = nullptr;
  if (FAILED(folder->QueryInterface(IID_IPersistFolder2, reinterpret_cast<void**>(&persist))) || persist == nullptr)
    return true;
  LPITEMIDLIST pidl = nullptr;
  HRESULT hr = persist->GetCurFolder(&pidl);
  persist->Release();
  if (FAILED(hr) || pidl == nullptr) return true;
  TNamespace* item = New<TNamespace>(pidl, static_cast<TNamespace*>(nullptr));  // frees pidl
  std::u16string pattern;
  try {
    if (item->FileSystem()) pattern = item->NameForParsing();
  } catch (...) {
    item->Free();
    throw;
  }
  item->Free();
  if (pattern.empty()) return true;
  if (pattern.back() != u'\\') pattern += u'\\';
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW(vws::W(exactnames::ExtendedPath(pattern + u"*")), &found);
  if (find != INVALID_HANDLE_VALUE) {
    FindClose(find);
    return true;
  }
  DWORD error = GetLastError();  // an empty drive root has no "." to find
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES;
}

}  // namespace

bool ListFolderIDs(IShellFolder* folder, HWND window, DWORD flags, std::vector<LPITEMIDLIST>& ids) {
  UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  IEnumIDList* list = nullptr;
  HRESULT result = folder->EnumObjects(window, flags, &list);
  if (result == S_OK && list == nullptr) result = E_POINTER;
  if (list != nullptr) {
    LPITEMIDLIST id = nullptr;
    ULONG fetched = 0;
    while ((result = list->Next(1, &id, &fetched)) == S_OK) {
      ids.push_back(id);
      id = nullptr;
    }
    list->Release();
  }
  // An empty list is trusted only from a folder that can be read: nothing is known gone otherwise.
  bool listed = result == S_FALSE && (!ids.empty() || FolderReadable(folder));
  SetErrorMode(oldMode);
  return listed;
}

std::u16string PIDLToPath(LPCITEMIDLIST pidl) {
  if (pidl == nullptr) return {};
  TNamespace* item = New<TNamespace>(const_cast<LPITEMIDLIST>(pidl), static_cast<TNamespace*>(nullptr));
  item->SetFreePIDLOnDestroy(false);
  std::u16string path;
  try {
    path = item->NameForParsing();
  } catch (...) {
    item->Free();
    throw;
  }
  item->Free();
  return path;
}

DWORD FileObjectsToFlagsFor(TFileObjects fileObjects, bool nt5OrLater) {
  DWORD flags = 0;
  if (fileObjects.Contains(foFolders)) flags |= SHCONTF_FOLDERS;
  if (fileObjects.Contains(foNonFolders)) flags |= SHCONTF_NONFOLDERS;
  if (fileObjects.Contains(foHidden)) flags |= SHCONTF_INCLUDEHIDDEN;
  if (nt5OrLater) {
    if (fileObjects.Contains(foShareable)) flags |= SHCONTF_SHAREABLE;
    if (fileObjects.Contains(foNetworkPrinters)) flags |= SHCONTF_NETPRINTERSRCH;
  }
  return flags;
}

DWORD FileObjectsToFlags(TFileObjects fileObjects) {
  const TPlatformVersion& v = PlatformVersion();
  return FileObjectsToFlagsFor(fileObjects, IsUnicodeFor(v) && v.major >= 5);
}

TNamespace* CreateSpecialNamespace(int csidl) {
  LPITEMIDLIST pidl = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &pidl)) || pidl == nullptr) return nullptr;
  TNamespace* item = New<TNamespace>(pidl, static_cast<TNamespace*>(nullptr));
  // Makes the parent item now, once, so later queries find it ready.
  item->ParentShellFolder();
  return item;
}

TPIDLArray NamespaceToRelativePIDLArray(const TNamespaceArray& items) {
  TPIDLArray out;
  out.reserve(items.size());
  for (TNamespace* item : items) out.push_back(item != nullptr ? item->RelativePIDL() : nullptr);
  return out;
}

TPIDLArray NamespaceToAbsolutePIDLArray(const TNamespaceArray& items) {
  TPIDLArray out;
  out.reserve(items.size());
  for (TNamespace* item : items) out.push_back(item != nullptr ? item->AbsolutePIDL() : nullptr);
  return out;
}

namespace {

int FileInfoIndex(const char16_t* name, DWORD attributes, UINT shgfi) {
  if (vws::UseWideApi()) {
    SHFILEINFOW info{};
    if (SHGetFileInfoW(reinterpret_cast<LPCWSTR>(name), attributes, &info, sizeof info, shgfi) == 0) return 0;
    return info.iIcon;
  }
  SHFILEINFOA info{};
  if (SHGetFileInfoA(vws::ToAnsi(name).c_str(), attributes, &info, sizeof info, shgfi) == 0) return 0;
  return info.iIcon;
}

}  // namespace

int DefaultSystemImageIndex(int kind) {
  constexpr UINT kFlags = SHGFI_SYSICONINDEX | SHGFI_USEFILEATTRIBUTES | SHGFI_SHELLICONSIZE;
  switch (kind) {
    case 0: return FileInfoIndex(u"*.*", FILE_ATTRIBUTE_DIRECTORY, kFlags);
    case 1: return FileInfoIndex(u"*.*", FILE_ATTRIBUTE_DIRECTORY, kFlags | SHGFI_OPENICON);
    case 2: return FileInfoIndex(u"*.zyxwv", FILE_ATTRIBUTE_NORMAL, kFlags);
    case 3: return 29;
    case 4: {
      if (DesktopFolder() == nullptr) return DefaultSystemImageIndex(0);
      LPITEMIDLIST pidl = vst::MyDocumentsPIDL();
      if (pidl == nullptr) return -1;
      TNamespace* item = New<TNamespace>(pidl, static_cast<TNamespace*>(nullptr));
      int index = item->GetIconIndex(/*openIcon=*/false, 0, /*force=*/true);
      item->Free();
      return index;
    }
    default: return -1;
  }
}

namespace vst {

bool FileIconInit(bool restore) {
  if (!IsUnicode()) return false;
  // Its functions load it when first called: it may not be loaded yet.
  HMODULE shell32 = LoadLibraryA("shell32.dll");
  if (shell32 == nullptr) return false;
  using TFileIconInit = BOOL(WINAPI*)(BOOL);
  auto init = reinterpret_cast<TFileIconInit>(reinterpret_cast<void*>(GetProcAddress(shell32, MAKEINTRESOURCEA(660))));
  if (init == nullptr) return false;
  return init(restore ? TRUE : FALSE) != FALSE;
}

}  // namespace vst
