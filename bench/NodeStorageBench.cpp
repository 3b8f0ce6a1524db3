// Node storage with 100,000 checked records (files in folders of 500 under a
// folder kept in the temp folder for later runs): storing them, and GetCheckedFileNames in both kinds,
// beside two references measured in the same run: a plain FindFirstFileW walk
// of the same folders, and the shell's own GetDisplayNameOf (parsing name) of
// every item through its folder.
//
// Usage: NodeStorageBench [records] (1,000 by default under QV_BENCH_SMALL)
#include <windows.h>
#include <shlobj.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchFolders.h"
#include "shell/NodeStorage.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualWideStrings.h"

namespace {

constexpr int kPerFolder = 500;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::u16string Name(const char16_t* stem, int n) { return stem + vws::WideIntToStr(n); }

// The children of folder as absolute PIDLs (caller frees them).
std::vector<LPITEMIDLIST> Children(IShellFolder* desktop, LPITEMIDLIST folderPIDL) {
  std::vector<LPITEMIDLIST> out;
  IShellFolder* folder = nullptr;
  if (FAILED(desktop->BindToObject(folderPIDL, nullptr, IID_IShellFolder, reinterpret_cast<void**>(&folder))))
    return out;
  IEnumIDList* list = nullptr;
  if (folder->EnumObjects(nullptr, SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN, &list) == S_OK && list != nullptr) {
    LPITEMIDLIST child = nullptr;
    while (list->Next(1, &child, nullptr) == S_OK) {
      out.push_back(NamespacePIDLManager->AppendPIDL(folderPIDL, child));
      NamespacePIDLManager->FreePIDL(child);
    }
    list->Release();
  }
  folder->Release();
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  InitializeShellToolkit();
  const int records = argc > 1 ? std::atoi(argv[1]) : BenchSize(100000, 1000);
  const int folders = (records + kPerFolder - 1) / kPerFolder;
  std::u16string root =
      KeptBenchFolder(u"qvbench_storage_" + vws::WideIntToStr(records), [&](const std::u16string& root) {
        int made = 0;
        for (int f = 0; f < folders; ++f) {
          std::u16string dir = root + u"\\" + Name(u"folder", f);
          CreateDirectoryW(vws::W(dir), nullptr);
          for (int i = 0; i < kPerFolder && made < records; ++i, ++made) {
            HANDLE h = CreateFileW(vws::W(dir + u"\\" + Name(u"file", i) + u".dat"), GENERIC_WRITE, 0, nullptr,
                                   CREATE_NEW, 0, nullptr);
            if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
          }
        }
      });
  std::vector<std::u16string> folderPaths;
  for (int f = 0; f < folders; ++f) folderPaths.push_back(root + u"\\" + Name(u"folder", f));
  Clock::time_point start;

  IShellFolder* desktop = nullptr;
  SHGetDesktopFolder(&desktop);
  std::vector<LPITEMIDLIST> pidls;
  for (const std::u16string& dir : folderPaths) {
    LPITEMIDLIST folderPIDL = PathToPIDL(dir);
    std::vector<LPITEMIDLIST> children = Children(desktop, folderPIDL);
    pidls.insert(pidls.end(), children.begin(), children.end());
    NamespacePIDLManager->FreePIDL(folderPIDL);
  }

  TRootNodeStorage* storage = New<TRootNodeStorage>();
  start = Clock::now();
  for (LPITEMIDLIST pidl : pidls) {
    TNodeStorage* record = storage->Store(pidl, {skCheckState});
    record->Storage.CheckState = csCheckedNormal;
    record->Storage.CheckType = ctTriStateCheckBox;
  }
  double storeTime = Seconds(start);

  start = Clock::now();
  int topmost = storage->GetCheckedFileNames(cnkTopmost)->Count();
  double topmostTime = Seconds(start);
  start = Clock::now();
  int every = storage->GetCheckedFileNames(cnkEveryItem)->Count();
  double everyTime = Seconds(start);

  // Reference 1: a plain find loop over the same folders.
  start = Clock::now();
  int found = 0;
  for (const std::u16string& dir : folderPaths) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(vws::W(dir + u"\\*"), &data);
    if (find == INVALID_HANDLE_VALUE) continue;
    do {
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) ++found;
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  double findTime = Seconds(start);

  // Reference 2: the shell's parsing name of every item through its folder.
  start = Clock::now();
  size_t chars = 0;
  for (const std::u16string& dir : folderPaths) {
    LPITEMIDLIST folderPIDL = PathToPIDL(dir);
    IShellFolder* folder = nullptr;
    desktop->BindToObject(folderPIDL, nullptr, IID_IShellFolder, reinterpret_cast<void**>(&folder));
    IEnumIDList* list = nullptr;
    if (folder != nullptr && folder->EnumObjects(nullptr, SHCONTF_NONFOLDERS, &list) == S_OK && list != nullptr) {
      LPITEMIDLIST child = nullptr;
      while (list->Next(1, &child, nullptr) == S_OK) {
        STRRET name{};
        if (SUCCEEDED(folder->GetDisplayNameOf(child, SHGDN_FORPARSING, &name)))
          chars += vws::StrRetToWideStr(name, child).size();
        NamespacePIDLManager->FreePIDL(child);
      }
      list->Release();
    }
    if (folder != nullptr) folder->Release();
    NamespacePIDLManager->FreePIDL(folderPIDL);
  }
  double shellTime = Seconds(start);

  std::printf("records stored:                        %zu in %.2f s (%.1f us each)\n", pidls.size(), storeTime,
              storeTime * 1e6 / static_cast<double>(pidls.size()));
  std::printf("GetCheckedFileNames topmost:           %d paths in %.2f s (%.1f us each)\n", topmost, topmostTime,
              topmostTime * 1e6 / topmost);
  std::printf("GetCheckedFileNames every item:        %d paths in %.2f s (%.1f us each)\n", every, everyTime,
              everyTime * 1e6 / every);
  std::printf("reference FindFirstFileW walk:         %d files in %.2f s (%.1f us each)\n", found, findTime,
              findTime * 1e6 / found);
  std::printf("reference shell parsing names:         %zu chars in %.2f s (%.1f us each)\n", chars, shellTime,
              shellTime * 1e6 / static_cast<double>(pidls.size()));

  storage->Free();
  for (LPITEMIDLIST pidl : pidls) NamespacePIDLManager->FreePIDL(pidl);
  desktop->Release();
  return 0;
}
