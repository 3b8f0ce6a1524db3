// The special-folder items: none is made by the toolkit's start-up; all are
// made once, on the main thread, when one is first asked for, and each is the
// folder the shell names for its CSIDL, as an item made directly for it is.
// Another thread never makes them. In child processes, so that no earlier
// test has asked for one.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
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

// Handles this thread's messages until done is true.
void PumpUntil(const std::atomic<bool>& done) {
  while (!done.load()) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
}

// Asks for special on a thread of its own while this thread waits for it
// without handling messages.
TNamespace* AskOnAnotherThread(TNamespace* (*special)()) {
  TNamespace* seen = reinterpret_cast<TNamespace*>(1);
  std::thread([&] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    seen = special();
    CoUninitialize();
  }).join();
  return seen;
}

}  // namespace

// Threads ask for the items in random orders, all at once, while the main
// thread handles messages: the main thread makes them, every thread gets the
// same item for a folder, and each item is the shell's folder.
TEST(SpecialFolders, WaitForTheirFirstUseAndAreMadeOnTheMainThread) {
  for (unsigned seed : {1u, 2u}) {
    EXPECT_EXIT(
        {
          InitializeShellToolkit();
          int failures = SpecialFoldersMade() == 0 ? 0 : 1;
          constexpr int kThreads = 6;
          std::vector<std::vector<TNamespace*>> seen(kThreads, std::vector<TNamespace*>(kCount));
          std::atomic<int> running{kThreads};
          std::atomic<bool> allDone{false};
          std::vector<std::thread> threads;
          for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&, t] {
              CoInitializeEx(nullptr, COINIT_MULTITHREADED);
              std::vector<int> order(kCount);
              for (int i = 0; i < kCount; ++i) order[i] = i;
              std::shuffle(order.begin(), order.end(), std::mt19937(seed * 100 + t));
              for (int i : order) seen[t][i] = kSpecials[i].get();
              CoUninitialize();
              if (--running == 0) allDone = true;
            });
          PumpUntil(allDone);
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

// A thread asking while the main thread waits for it (handling no messages)
// neither makes an item nor hangs: it gets null. The main thread's own
// question then makes all eleven, which that thread then gets too.
TEST(SpecialFolders, AThreadTheMainThreadWaitsForGetsNullAndMakesNone) {
  EXPECT_EXIT(
      {
        InitializeShellToolkit();
        int failures = 0;
        if (AskOnAnotherThread(DrivesFolder) != nullptr) failures |= 1;
        if (AskOnAnotherThread(DesktopFolder) != nullptr) failures |= 2;
        if (SpecialFoldersMade() != 0) failures |= 4;
        TNamespace* drives = DrivesFolder();
        if (SpecialFoldersMade() != kCount) failures |= 8;
        if (drives == nullptr || Differs(drives, 17) != 0) failures |= 16;
        if (AskOnAnotherThread(DrivesFolder) != drives) failures |= 32;
        std::exit(failures == 0 ? 7 : 100 + failures);
      },
      ::testing::ExitedWithCode(7), "");
}

// A question whose wait ran out stays with the main thread, which makes the
// items as soon as it handles its messages again, without asking itself:
// the next thread to ask gets them.
TEST(SpecialFolders, AQuestionThatRanOutIsAnsweredWhenTheMainThreadIsBack) {
  EXPECT_EXIT(
      {
        InitializeShellToolkit();
        int failures = 0;
        if (AskOnAnotherThread(DrivesFolder) != nullptr) failures |= 1;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        if (SpecialFoldersMade() != kCount) failures |= 2;
        TNamespace* drives = AskOnAnotherThread(DrivesFolder);
        if (drives == nullptr || Differs(drives, 17) != 0) failures |= 4;
        std::exit(failures == 0 ? 7 : 100 + failures);
      },
      ::testing::ExitedWithCode(7), "");
}

// One item asked for on the main thread makes all eleven; asked again, it is
// the same object.
TEST(SpecialFolders, OneAskedForMakesAllEleven) {
  EXPECT_EXIT(
      {
        InitializeShellToolkit();
        int failures = 0;
        TNamespace* drives = DrivesFolder();
        if (SpecialFoldersMade() != kCount) failures |= 1;
        if (drives == nullptr || Differs(drives, 17) != 0) failures |= 2;
        if (DrivesFolder() != drives) failures |= 4;
        std::exit(failures == 0 ? 7 : 100 + failures);
      },
      ::testing::ExitedWithCode(7), "");
}
