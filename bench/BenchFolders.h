#pragma once
// What the shell benchmarks share: the folders of files they read (in the
// temp folder, kept for later runs), the shell's own listings as anchors, and
// how a figure of paired rounds is printed.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <shlobj.h>

#include "BenchSize.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualPIDLTools.h"
#include "shell/VirtualWideStrings.h"
#include "PairedRounds.h"

// Prints a figure of paired rounds: each side's median time (ms) and the
// spread of the rounds' ratios, with the goal for that ratio when one is set.
inline void PrintPaired(const char* label, const char* referenceLabel, const TPairedRounds& rounds,
                        const char* goal = nullptr) {
  TSpread work = rounds.Work(), reference = rounds.Reference();
  std::printf("%-44s %9.2f ms median (%.2f-%.2f)\n", label, work.median, work.min, work.max);
  std::printf("  reference: %-32s %9.2f ms median (%.2f-%.2f)\n", referenceLabel, reference.median, reference.min,
              reference.max);
  std::printf("  %s%s%s\n", rounds.RatioText().c_str(), goal != nullptr ? ", goal " : "", goal != nullptr ? goal : "");
}

// Deletes a folder the benchmark made, with everything in it.
inline void RemoveFolder(const std::u16string& path) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(vws::W(path + u"\\*"), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::u16string name = vws::FromW(data.cFileName);
      if (name == u"." || name == u"..") continue;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveFolder(path + u"\\" + name);
      else DeleteFileW(vws::W(path + u"\\" + name));
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

// A folder of files kept in the temp folder from one run to the next: making
// thousands of files costs far more than measuring them (Wine scans a folder
// for every fresh name), so make fills it the first time and later runs reuse
// it. A marker beside the folder, written when make has finished, tells a
// complete folder from one a stopped run left half made, which is made again.
// The benchmarks using it read it (one writes some of its files anew,
// keeping their names).
inline std::u16string KeptBenchFolder(const std::u16string& name,
                                      const std::function<void(const std::u16string&)>& make) {
  wchar_t temp[MAX_PATH + 1];
  GetTempPathW(MAX_PATH + 1, temp);
  std::u16string folder = vws::FromW(temp) + name;
  std::u16string marker = folder + u".made";
  if (GetFileAttributesW(vws::W(marker)) != INVALID_FILE_ATTRIBUTES) {
    std::printf("reusing %s (delete it and %s.made to make it again)\n", vws::ToAnsi(folder).c_str(),
                vws::ToAnsi(name).c_str());
    return folder;
  }
  RemoveFolder(folder);
  CreateDirectoryW(vws::W(folder), nullptr);
  auto start = std::chrono::steady_clock::now();
  make(folder);
  HANDLE done = CreateFileW(vws::W(marker), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (done != INVALID_HANDLE_VALUE) CloseHandle(done);
  std::printf("made %s in %.1f s; later runs reuse it\n", vws::ToAnsi(folder).c_str(),
              std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  return folder;
}

// The flat folders of the explorer, enumeration and icon benchmarks: 10,000
// files (300 under QV_BENCH_SMALL) file<i> of `kinds` kinds (extensions),
// i % 11 bytes long. The explorer and enumeration benchmarks use three kinds
// of plain files; the icon benchmark seven, programs and pictures among them.
inline const int kFlatFolderFiles = BenchSize(10000, 300);
inline const char16_t* const kFlatFolderExtensions[] = {u".txt", u".bin", u".doc", u".exe", u".bmp", u".ini", u".lnk0"};
inline std::u16string FlatFileName(int i, int kinds) { return u"file" + vws::WideIntToStr(i) + kFlatFolderExtensions[i % kinds]; }
inline std::u16string FlatBenchFolder(int kinds) {
  const std::u16string name = u"qvbench_flat_" + vws::WideIntToStr(kFlatFolderFiles) + u"_" + vws::WideIntToStr(kinds);
  return KeptBenchFolder(name, [kinds](const std::u16string& folder) {
    for (int i = 0; i < kFlatFolderFiles; ++i) {
      HANDLE file = CreateFileW(vws::W(folder + u"\\" + FlatFileName(i, kinds)), GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
      DWORD written = 0;
      WriteFile(file, "0123456789", static_cast<DWORD>(i % 11), &written, nullptr);
      CloseHandle(file);
    }
  });
}

// The shell's own listings of a folder, each doing one more share of what
// showing the folder takes: the bare listing (every child's PIDL); every
// child's name (shown or parsing); and the listing the explorer tree's
// expansion does the work of: every child listed, sorted by the folder's own
// order (CompareIDs) and the shown names of the first screen's rows.
// KeptPIDLs: the bare listing keeping every child's PIDL until the end, as
// a view holding the items does. SortedFirstScreen sorts by CompareIDs alone
// (about n log n calls); KeyedFirstScreen reaches the same order as the tree
// does: a key from each child's find data (folders first, then the name's
// collation without case, then the exact name), sorted, and each of the n-1
// neighbouring pairs confirmed by CompareIDs.
enum class TListing { Bare, KeptPIDLs, ShownNames, ParsingNames, SortedFirstScreen, KeyedFirstScreen };

// Sorts children of shellFolder by keys from their find data and confirms
// each neighbouring pair with CompareIDs; the count of pairs the folder does
// not confirm (0 when the keys found its order).
inline int KeyedSort(IShellFolder* shellFolder, std::vector<LPITEMIDLIST>& children) {
  struct Keyed {
    bool folder;
    std::string collation;
    std::wstring name;
    LPITEMIDLIST id;
  };
  std::vector<Keyed> keyed;
  keyed.reserve(children.size());
  for (LPITEMIDLIST child : children) {
    WIN32_FIND_DATAW data{};
    SHGetDataFromIDListW(shellFolder, child, SHGDFIL_FINDDATA, &data, sizeof data);
    std::wstring name = data.cFileName;
    std::string collation(name.size() * 6 + 16, '\0');
    int size = LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, name.c_str(),
                            static_cast<int>(name.size()), reinterpret_cast<LPWSTR>(collation.data()),
                            static_cast<int>(collation.size()));
    collation.resize(static_cast<size_t>(std::max(size, 0)));
    keyed.push_back({(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0, std::move(collation), std::move(name), child});
  }
  std::sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
    if (a.folder != b.folder) return a.folder;
    int order = a.collation.compare(b.collation);
    return order != 0 ? order < 0 : a.name < b.name;
  });
  int unconfirmed = 0;
  for (size_t i = 0; i < keyed.size(); ++i) {
    children[i] = keyed[i].id;
    if (i > 0 && static_cast<short>(HRESULT_CODE(shellFolder->CompareIDs(0, keyed[i - 1].id, keyed[i].id))) >= 0)
      ++unconfirmed;
  }
  return unconfirmed;
}

// Milliseconds of one listing of folder; items counts the children listed.
inline double ShellListing(const std::u16string& folder, TListing work, int& items, int firstScreenRows = 0) {
  LPITEMIDLIST pidl = PathToPIDL(folder);
  IShellFolder* desktop = nullptr;
  IShellFolder* shellFolder = nullptr;
  SHGetDesktopFolder(&desktop);
  auto start = std::chrono::steady_clock::now();
  desktop->BindToObject(pidl, nullptr, IID_IShellFolder, reinterpret_cast<void**>(&shellFolder));
  IEnumIDList* list = nullptr;
  items = 0;
  size_t chars = 0;
  std::vector<LPITEMIDLIST> children;
  auto nameOf = [&](LPITEMIDLIST child, DWORD kind) {
    STRRET name{};
    if (SUCCEEDED(shellFolder->GetDisplayNameOf(child, kind, &name))) chars += vws::StrRetToWideStr(name, child).size();
  };
  if (shellFolder->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN, &list) == S_OK) {
    LPITEMIDLIST child = nullptr;
    ULONG fetched = 0;
    while (list->Next(1, &child, &fetched) == S_OK) {
      ++items;
      if (work == TListing::ShownNames) nameOf(child, SHGDN_INFOLDER);
      if (work == TListing::ParsingNames) nameOf(child, SHGDN_INFOLDER | SHGDN_FORPARSING);
      if (work == TListing::SortedFirstScreen || work == TListing::KeyedFirstScreen || work == TListing::KeptPIDLs)
        children.push_back(child);
      else CoTaskMemFree(child);
    }
    list->Release();
  }
  if (work == TListing::SortedFirstScreen || work == TListing::KeyedFirstScreen) {
    if (work == TListing::SortedFirstScreen) {
      std::sort(children.begin(), children.end(), [&](LPITEMIDLIST a, LPITEMIDLIST b) {
        return static_cast<short>(HRESULT_CODE(shellFolder->CompareIDs(0, a, b))) < 0;
      });
    } else if (KeyedSort(shellFolder, children) != 0) {
      std::printf("the keys missed the folder's order\n");
    }
    for (size_t i = 0; i < children.size() && i < static_cast<size_t>(firstScreenRows); ++i)
      nameOf(children[i], SHGDN_INFOLDER);
  }
  double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  for (LPITEMIDLIST child : children) CoTaskMemFree(child);
  shellFolder->Release();
  desktop->Release();
  NamespacePIDLManager->FreePIDL(pidl);
  if (work != TListing::Bare && work != TListing::KeptPIDLs && chars == 0) items = 0;
  return ms;
}

// The shell alone: every child's PIDL and its shown name in the folder.
inline double ShellEnumeration(const std::u16string& folder, int& items) {
  return ShellListing(folder, TListing::ShownNames, items);
}
