// The special-folder items: none is made by the toolkit's start-up; each is
// made once, by whichever thread asks first, and is the folder the shell names
// for its CSIDL, as an item made directly for it is. In child processes, so
// that no earlier test has asked for one.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <thread>
#include <vector>

#include "shell/ShellUtilities.h"

namespace {

struct TSpecial {
  TNamespace* (*get)();
  int csidl;
};

const TSpecial kSpecials[] = {{DesktopFolder, 0},           {RecycleBinFolder, 10}, {DesktopDirectoryFolder, 16},
                              {DrivesFolder, 17},           {PrintersFolder, 4},    {HistoryFolder, 34},
                              {ControlPanelFolder, 3},      {NetworkFolder, 18},    {TemplatesFolder, 21},
                              {PersonalFolder, 5},          {FavoritesFolder, 6}};
constexpr int kCount = static_cast<int>(std::size(kSpecials));

// 0 when item is what the shell gives for csidl (and what an item made for it directly says).
int Differs(TNamespace* item, int csidl) {
  LPITEMIDLIST pidl = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &pidl)) || pidl == nullptr) return item == nullptr ? 0 : 1;
  CoTaskMemFree(pidl);
  TNamespace* direct = CreateSpecialNamespace(csidl);
  int differs = 0;
  if (item == nullptr || direct == nullptr) differs = 2;
  else if (!vst::ILIsEqual(item->AbsolutePIDL(), direct->AbsolutePIDL())) differs = 3;
  else if (item->NameNormal() != direct->NameNormal() || item->NameForParsing() != direct->NameForParsing())
    differs = 4;
  else if (item->Folder() != direct->Folder() || item->FileSystem() != direct->FileSystem()) differs = 5;
  else if (!item->IsDesktop() && item->Parent() == nullptr) differs = 6;
  if (direct != nullptr) direct->Free();
  return differs;
}

}  // namespace

// Threads ask for the items in random orders, all at once; every thread gets
// the same item for a folder, and each item is the shell's folder.
TEST(SpecialFolders, WaitForTheirFirstUseAndAreMadeOnceFromAnyThread) {
  for (unsigned seed : {1u, 2u}) {
    EXPECT_EXIT(
        {
          InitializeShellToolkit();
          int failures = SpecialFoldersMade() == 0 ? 0 : 1;
          constexpr int kThreads = 6;
          std::vector<std::vector<TNamespace*>> seen(kThreads, std::vector<TNamespace*>(kCount));
          std::vector<std::thread> threads;
          for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&, t] {
              CoInitializeEx(nullptr, COINIT_MULTITHREADED);
              std::vector<int> order(kCount);
              for (int i = 0; i < kCount; ++i) order[i] = i;
              std::shuffle(order.begin(), order.end(), std::mt19937(seed * 100 + t));
              for (int i : order) seen[t][i] = kSpecials[i].get();
              CoUninitialize();
            });
          for (std::thread& thread : threads) thread.join();
          if (SpecialFoldersMade() != kCount) failures |= 2;
          for (int i = 0; i < kCount; ++i) {
            for (int t = 0; t < kThreads; ++t)
              if (seen[t][i] != seen[0][i] || kSpecials[i].get() != seen[0][i]) failures |= 4;
            if (int differs = Differs(seen[0][i], kSpecials[i].csidl)) failures |= 8 << differs;
          }
          if (DrivesFolder() == nullptr || !DrivesFolder()->IsMyComputer()) failures |= 1024;
          FinalizeShellToolkit();
          for (const TSpecial& special : kSpecials)
            if (special.get() != nullptr) failures |= 2048;
          std::exit(failures == 0 ? 7 : 100 + failures);
        },
        ::testing::ExitedWithCode(7), "")
        << "seed " << seed;
  }
}

// An item asked for alone makes only itself; asked again, it is the same object.
TEST(SpecialFolders, OneAskedForMakesOnlyItself) {
  EXPECT_EXIT(
      {
        InitializeShellToolkit();
        int failures = 0;
        TNamespace* drives = DrivesFolder();
        // Its parent (the desktop) is an item of its own, not the special one.
        if (SpecialFoldersMade() != 1) failures |= 1;
        if (drives == nullptr || Differs(drives, 17) != 0) failures |= 2;
        if (DrivesFolder() != drives) failures |= 4;
        std::exit(failures == 0 ? 7 : 100 + failures);
      },
      ::testing::ExitedWithCode(7), "");
}
