// The notifier's registrations when its threads cannot be made or are slow to
// start, and held-back batches when a view pumps messages while it applies one.
#include <algorithm>
#include <atomic>

#include "../ImportPatch.h"
#include "ExplorerTestSupport.h"
#include "NotifyTestSupport.h"
#include "shell/ExplorerContextMenu.h"
#include "shell/ShellUtilities.h"

using namespace explorertest;

namespace {

TImportPatch* gCreateThreadPatch = nullptr;
std::atomic<bool> gRefuseThreads{false};

HANDLE WINAPI RefusingCreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stack, LPTHREAD_START_ROUTINE start,
                                   LPVOID parameter, DWORD flags, LPDWORD id) {
  if (gRefuseThreads) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  using Fn = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD, LPDWORD);
  return gCreateThreadPatch->Original<Fn>()(security, stack, start, parameter, flags, id);
}

TImportPatch* gCreateWindowPatch = nullptr;
DWORD gMainThread = 0;
TWinControl* gProbe = nullptr;
std::atomic<bool> gProbed{false};

// The shell thread makes its window while the main thread waits for it to
// listen: the registrations must be reachable from there.
HWND WINAPI ProbingCreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                                   int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
  if (GetCurrentThreadId() != gMainThread && gProbe != nullptr && !gProbed) {
    ChangeNotifier()->ChangeWatchFolder(gProbe, u"");
    gProbed = true;
  }
  using Fn = HWND(WINAPI*)(DWORD, LPCSTR, LPCSTR, DWORD, int, int, int, int, HWND, HMENU, HINSTANCE, LPVOID);
  return gCreateWindowPatch->Original<Fn>()(exStyle, className, windowName, style, x, y, width, height, parent,
                                            menu, instance, param);
}

struct NotifierFaults : ExplorerFixture {
  void SetUp() override {
    ExplorerFixture::SetUp();
    if (IsSkipped()) return;
    form->Show();
  }
  void SetNotifierOption(bool on) {
    TCustomVirtualExplorerTreeOptions* o = tree->TreeOptions();
    o->SetVETMiscOptions(on ? o->VETMiscOptions().Include(toChangeNotifierThread)
                            : o->VETMiscOptions().Exclude(toChangeNotifierThread));
  }
};

std::vector<std::u16string> gApplied;
bool gPumpInHandler = false;
std::u16string gPumpTrigger;
std::u16string gLateFile;

void RecordApplied(TCustomVirtualExplorerTree*, TVirtualShellEvent* e) {
  std::u16string path = e->PIDL1 != nullptr ? PIDLToPath(e->PIDL1) : std::u16string();
  gApplied.push_back(path);
  if (gPumpInHandler && path == gPumpTrigger) {
    // Handling a held-back batch, the view pumps messages long enough for a newer batch to arrive.
    gPumpInHandler = false;
    MakeReportedFile(gLateFile);
    Pump(2000);
  }
}

}  // namespace

TEST_F(NotifierFaults, ARegistrationWhoseThreadCannotBeMadeLeavesNoRecord) {
  SetNotifierOption(false);
  ASSERT_FALSE(ChangeNotifierThreadRunning(1));
  IVirtualChangeNotifier* notifier = ChangeNotifier();
  {
    TImportPatch patch("kernel32.dll", "CreateThread", reinterpret_cast<void*>(&RefusingCreateThread));
    ASSERT_TRUE(patch.Active());
    gCreateThreadPatch = &patch;
    gRefuseThreads = true;
    EXPECT_FALSE(notifier->RegisterShellChangeNotify(tree));
    EXPECT_FALSE(notifier->RegisterKernelChangeNotify(tree, knfFileName));
    gRefuseThreads = false;
  }
  // No record is left behind (a record answers ChangeWatchFolder), and no thread runs.
  EXPECT_FALSE(notifier->ChangeWatchFolder(tree, u""));
  EXPECT_FALSE(ChangeNotifierThreadRunning(0));
  EXPECT_FALSE(ChangeNotifierThreadRunning(1));
  EXPECT_FALSE(ChangeNotifierThreadRunning(2));
  // Once threads can be made again, registering works and ends cleanly.
  EXPECT_TRUE(notifier->RegisterShellChangeNotify(tree));
  EXPECT_TRUE(notifier->ChangeWatchFolder(tree, u""));
  EXPECT_TRUE(ChangeNotifierThreadRunning(1));
  EXPECT_TRUE(notifier->UnRegisterShellChangeNotify(tree));
  EXPECT_FALSE(ChangeNotifierThreadRunning(2));
}

TEST_F(NotifierFaults, TheControlListIsFreeWhileTheShellThreadStarts) {
  SetNotifierOption(false);
  ASSERT_FALSE(ChangeNotifierThreadRunning(1));
  gMainThread = GetCurrentThreadId();
  gProbe = tree;
  gProbed = false;
  DWORD start = GetTickCount();
  {
    TImportPatch patch("user32.dll", "CreateWindowExA", reinterpret_cast<void*>(&ProbingCreateWindowExA));
    ASSERT_TRUE(patch.Active());
    gCreateWindowPatch = &patch;
    SetNotifierOption(true);
    gProbe = nullptr;
  }
  DWORD took = GetTickCount() - start;
  EXPECT_TRUE(gProbed);
  EXPECT_TRUE(tree->ChangeNotifierRegistered());
  // Waiting for the shell thread under the list's lock would have stalled both for 10 s.
  EXPECT_LT(took, 5000u);
}

TEST_F(NotifierFaults, ABatchArrivingWhileHeldBackBatchesAreAppliedIsNotLost) {
  MakeFolder(folder + u"\\first");
  MakeFolder(folder + u"\\second");
  MakeFolder(folder + u"\\third");
  for (const char16_t* name : {u"\\first", u"\\second", u"\\third"}) {
    PVirtualNode node = NodeOf(folder + name);
    ASSERT_NE(node, nullptr);
    tree->SetExpanded(node, true);
  }
  gApplied.clear();
  tree->OnShellNotify = RecordApplied;
  // Two batches are held back while a menu shows.
  tree->ContextMenuManager()->MenuShowing = true;
  MakeReportedFile(folder + u"\\first\\1.txt");
  Pump(1200);
  MakeReportedFile(folder + u"\\second\\2.txt");
  Pump(1200);
  ASSERT_TRUE(gApplied.empty());
  ASSERT_TRUE(ShellNotifyManager->HasParkedLists());
  // Applying the first, the view pumps; a third batch comes in meanwhile.
  gPumpTrigger = folder + u"\\first";
  gLateFile = folder + u"\\third\\3.txt";
  gPumpInHandler = true;
  tree->ContextMenuManager()->MenuShowing = false;
  ASSERT_TRUE(PumpUntil([&] { return gApplied.size() >= 3; }, 6000));
  Pump(300);
  EXPECT_EQ(gApplied, (std::vector<std::u16string>{folder + u"\\first", folder + u"\\second", folder + u"\\third"}));
  EXPECT_EQ(tree->NodeNamespace(NodeOf(folder + u"\\second\\2.txt")) != nullptr, true);
  EXPECT_NE(NodeOf(folder + u"\\third\\3.txt"), nullptr);
  tree->OnShellNotify = {};
}

namespace {

std::vector<std::u16string> gUpdated;
LPITEMIDLIST gRecycleBin = nullptr;

// The folders the batches update ("<bin>" for the Recycle Bin itself).
void RecordUpdates(TCustomVirtualExplorerTree*, TVirtualShellEvent* e) {
  if (e->Kind != sekUpdateDir || e->PIDL1 == nullptr) return;
  if (gRecycleBin != nullptr && vst::ILIsEqual(e->PIDL1, gRecycleBin))
    gUpdated.push_back(u"<bin>");
  else
    gUpdated.push_back(PIDLToPath(e->PIDL1));
  e->Handled = true;
}

}  // namespace

TEST_F(NotifierFaults, AChangeInsideARecycleFolderUpdatesThatFolderAndTheRecycleBin) {
  std::u16string recycled = TestDrive() + u"\\Recycled";
  if (GetDriveTypeW(W(TestDrive() + u"\\")) != DRIVE_FIXED) GTEST_SKIP() << "the test drive is not a fixed drive";
  ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_BITBUCKET, &gRecycleBin), S_OK);
  // The recycle folders are found when the notifier's threads start.
  SetNotifierOption(false);
  RemoveTree(recycled);
  MakeFolder(recycled);
  MakeFolder(recycled + u"\\inner");
  MakeFolder(folder + u"\\plain");
  SetNotifierOption(true);
  ASSERT_TRUE(tree->ChangeNotifierRegistered());
  gUpdated.clear();
  tree->OnShellNotify = RecordUpdates;
  IVirtualChangeNotifier* notifier = ChangeNotifier();
  LPITEMIDLIST inner = PathToPIDL(recycled + u"\\inner");
  LPITEMIDLIST plain = PathToPIDL(folder + u"\\plain");
  ASSERT_NE(inner, nullptr);
  notifier->PostEvent(sekUpdateDir, inner);
  notifier->PostEvent(sekUpdateDir, inner);  // the second finds both updates waiting
  notifier->PostEvent(sekUpdateDir, plain);
  ASSERT_TRUE(PumpUntil([&] { return gUpdated.size() >= 3; }, 5000));
  Pump(300);
  std::sort(gUpdated.begin(), gUpdated.end());
  std::vector<std::u16string> expected{u"<bin>", folder + u"\\plain", recycled};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(gUpdated, expected);
  NamespacePIDLManager->FreePIDL(inner);
  NamespacePIDLManager->FreePIDL(plain);
  CoTaskMemFree(gRecycleBin);
  gRecycleBin = nullptr;
  tree->OnShellNotify = {};
  SetNotifierOption(false);
  RemoveTree(recycled);
}

TEST_F(NotifierFaults, ASpecialFolderIsWatchedForOtherProcessesOnlyWithAKernelRegistration) {
  // The favourites folder is moved onto the test drive for this test.
  const wchar_t* key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
  std::u16string favourites = folder + u"\\favourites";
  MakeFolder(favourites);
  wchar_t saved[MAX_PATH * 2] = {};
  DWORD savedSize = sizeof saved;
  DWORD savedType = 0;
  bool hadValue =
      RegGetValueW(HKEY_CURRENT_USER, key, L"Favorites", RRF_RT_ANY | RRF_NOEXPAND, &savedType, saved, &savedSize) ==
      ERROR_SUCCESS;
  std::u16string value = favourites;
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, key, L"Favorites", REG_SZ, W(value),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
  LPITEMIDLIST special = nullptr;
  bool moved = SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_FAVORITES, &special)) && special != nullptr &&
               lstrcmpiW(W(PIDLToPath(special)), W(favourites)) == 0;
  if (special != nullptr) CoTaskMemFree(special);
  IVirtualChangeNotifier* notifier = ChangeNotifier();
  gUpdated.clear();
  tree->OnShellNotify = RecordUpdates;
  if (moved) {
    // Without a kernel registration the call watches nothing.
    notifier->RegisterSpecialFolderWatch(CSIDL_FAVORITES);
    EXPECT_FALSE(ChangeNotifierThreadRunning(0));
    ASSERT_TRUE(RunInOtherProcess(u"echo x> \"" + favourites + u"\\unseen.txt\""));
    Pump(1500);
    EXPECT_TRUE(gUpdated.empty());
    // With one, another process's change in the folder is reported.
    ASSERT_TRUE(notifier->RegisterKernelChangeNotify(tree, knfFileName | knfDirName));
    notifier->RegisterSpecialFolderWatch(CSIDL_FAVORITES);
    Pump(300);
    ASSERT_TRUE(RunInOtherProcess(u"echo x> \"" + favourites + u"\\seen.txt\""));
    EXPECT_TRUE(PumpUntil([&] { return !gUpdated.empty(); }, 5000));
    Pump(300);
    EXPECT_NE(std::find(gUpdated.begin(), gUpdated.end(), favourites), gUpdated.end());
    EXPECT_TRUE(notifier->UnRegisterKernelChangeNotify(tree));
  }
  tree->OnShellNotify = {};
  if (hadValue) {
    RegSetKeyValueW(HKEY_CURRENT_USER, key, L"Favorites", savedType, saved, savedSize);
  } else {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, key, L"Favorites");
  }
  if (!moved) GTEST_SKIP() << "the shell does not follow a moved favourites folder";
}

TEST_F(NotifierFaults, AnEventPostedBeforeAnyThreadRunsMakesTheDispatchThread) {
  SetNotifierOption(false);
  if (ChangeNotifierThreadRunning(2)) GTEST_SKIP() << "another view keeps the notifier's threads running";
  MakeFolder(folder + u"\\plain");
  LPITEMIDLIST plain = PathToPIDL(folder + u"\\plain");
  ASSERT_NE(plain, nullptr);
  gUpdated.clear();
  tree->OnShellNotify = RecordUpdates;
  ChangeNotifier()->PostEvent(sekUpdateDir, plain);
  EXPECT_TRUE(ChangeNotifierThreadRunning(2)) << "the dispatch thread is made on demand";
  // A view registered before the batch goes out receives it.
  SetNotifierOption(true);
  EXPECT_TRUE(PumpUntil([&] { return !gUpdated.empty(); }, 4000));
  EXPECT_EQ(gUpdated, std::vector<std::u16string>{folder + u"\\plain"});
  NamespacePIDLManager->FreePIDL(plain);
  tree->OnShellNotify = {};
  SetNotifierOption(false);
}

// The dispatch thread posted a batch to the notifier's window, and the
// program ends before the window handled it: the batch is released with the
// notifier instead of being lost with its window.
TEST_F(NotifierFaults, ABatchTheNotifierHasNotHandledWhenItGoesIsReleased) {
  SetNotifierOption(false);
  if (ChangeNotifierThreadRunning(1) || ChangeNotifierThreadRunning(2))
    GTEST_SKIP() << "another view keeps the notifier's threads running";
  MakeFolder(folder + u"\\plain");
  LPITEMIDLIST plain = PathToPIDL(folder + u"\\plain");
  ASSERT_NE(plain, nullptr);
  int lists = ShellEventListsAlive();
  ChangeNotifier()->PostEvent(sekUpdateDir, plain);
  NamespacePIDLManager->FreePIDL(plain);
  // Waits for the batch without handling it (the quiet period is 750 ms; up to 10 s on a busy machine).
  MSG msg;
  bool posted = false;
  for (int i = 0; i < 500 && !posted; ++i) {
    posted = PeekMessageW(&msg, nullptr, kWMShellNotify, kWMShellNotify, PM_NOREMOVE) != FALSE;
    if (!posted) Sleep(20);
  }
  ASSERT_TRUE(posted);
  EXPECT_EQ(ShellEventListsAlive(), lists + 1);
  FinalizeNotifier();
  EXPECT_EQ(ShellEventListsAlive(), lists);
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, kWMShellNotify, kWMShellNotify, PM_NOREMOVE));
  EXPECT_NE(ChangeNotifier(), nullptr) << "a new notifier is made on demand";
}

namespace {

TImportPatch* gDispatchPatch = nullptr;
TImportPatch* gQuitPatch = nullptr;
HANDLE gHoldShellThread = nullptr;

// The shell thread holds the first posted notification until it is told to end.
LRESULT WINAPI HoldingDispatchMessageW(const MSG* msg) {
  if (GetCurrentThreadId() != gMainThread && msg->message == kWMPostShellNotify)
    WaitForSingleObject(gHoldShellThread, 20000);
  return gDispatchPatch->Original<LRESULT(WINAPI*)(const MSG*)>()(msg);
}

BOOL WINAPI ReleasingPostThreadMessageW(DWORD thread, UINT msg, WPARAM wParam, LPARAM lParam) {
  BOOL posted = gQuitPatch->Original<BOOL(WINAPI*)(DWORD, UINT, WPARAM, LPARAM)>()(thread, msg, wParam, lParam);
  if (msg == kWMShellThreadQuit) SetEvent(gHoldShellThread);
  return posted;
}

}  // namespace

// The shell thread is stopped with thousands of notifications still queued
// for its window: they are freed with it, not dropped with the window.
TEST_F(NotifierFaults, NotificationsQueuedWhenTheShellThreadStopsAreFreed) {
  SetNotifierOption(false);
  if (ChangeNotifierThreadRunning(1)) GTEST_SKIP() << "another view keeps the shell thread running";
  IVirtualChangeNotifier* notifier = ChangeNotifier();
  LPITEMIDLIST item = PathToPIDL(folder);
  ASSERT_NE(item, nullptr);
  int alive = PostedShellNotifiesAlive();
  gMainThread = GetCurrentThreadId();
  gHoldShellThread = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  {
    TImportPatch dispatch("user32.dll", "DispatchMessageW", reinterpret_cast<void*>(&HoldingDispatchMessageW));
    TImportPatch quit("user32.dll", "PostThreadMessageW", reinterpret_cast<void*>(&ReleasingPostThreadMessageW));
    ASSERT_TRUE(dispatch.Active() && quit.Active());
    gDispatchPatch = &dispatch;
    gQuitPatch = &quit;
    ASSERT_TRUE(notifier->RegisterShellChangeNotify(tree));
    for (int i = 0; i < 3000; ++i) notifier->PostShellNotify(SHCNE_UPDATEDIR, item, nullptr);
    EXPECT_EQ(PostedShellNotifiesAlive(), alive + 3000);
    EXPECT_TRUE(notifier->UnRegisterShellChangeNotify(tree));
  }
  EXPECT_FALSE(ChangeNotifierThreadRunning(1));
  EXPECT_EQ(PostedShellNotifiesAlive(), alive);
  CloseHandle(gHoldShellThread);
  gHoldShellThread = nullptr;
  NamespacePIDLManager->FreePIDL(item);
}
