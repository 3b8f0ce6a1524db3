#pragma once
// What the shell benchmarks share: the folders they make for themselves (in
// the temp folder) and remove again, and the shell's own listing as anchor.
#include <windows.h>

#include <chrono>
#include <string>

#include "shell/ShellUtilities.h"
#include "shell/VirtualPIDLTools.h"
#include "shell/VirtualWideStrings.h"

// Deletes the files of a folder the benchmark made, then the folder (subfolders are not expected).
inline void RemoveFolder(const std::u16string& path) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(vws::W(path + u"\\*"), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::u16string name = vws::FromW(data.cFileName);
      if (name != u"." && name != u"..") DeleteFileW(vws::W(path + u"\\" + name));
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  RemoveDirectoryW(vws::W(path));
}

// A fresh folder in the temp folder named prefix and the process id; made at once.
inline std::u16string MakeBenchFolder(const std::u16string& prefix) {
  wchar_t temp[MAX_PATH + 1];
  GetTempPathW(MAX_PATH + 1, temp);
  std::u16string folder = vws::FromW(temp) + prefix + vws::WideIntToStr(static_cast<int32_t>(GetCurrentProcessId()));
  CreateDirectoryW(vws::W(folder), nullptr);
  return folder;
}

// The shell alone: every child's PIDL and its name in the folder.
inline double ShellEnumeration(const std::u16string& folder, int& items) {
  LPITEMIDLIST pidl = PathToPIDL(folder);
  IShellFolder* desktop = nullptr;
  IShellFolder* shellFolder = nullptr;
  SHGetDesktopFolder(&desktop);
  auto start = std::chrono::steady_clock::now();
  desktop->BindToObject(pidl, nullptr, IID_IShellFolder, reinterpret_cast<void**>(&shellFolder));
  IEnumIDList* list = nullptr;
  items = 0;
  size_t chars = 0;
  if (shellFolder->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN, &list) == S_OK) {
    LPITEMIDLIST child = nullptr;
    ULONG fetched = 0;
    while (list->Next(1, &child, &fetched) == S_OK) {
      STRRET name{};
      if (SUCCEEDED(shellFolder->GetDisplayNameOf(child, SHGDN_INFOLDER, &name)))
        chars += vws::StrRetToWideStr(name, child).size();
      CoTaskMemFree(child);
      ++items;
    }
    list->Release();
  }
  double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  shellFolder->Release();
  desktop->Release();
  NamespacePIDLManager->FreePIDL(pidl);
  if (chars == 0) items = 0;
  return ms;
}
