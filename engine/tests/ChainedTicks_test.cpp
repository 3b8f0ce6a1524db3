// Files ticked one by one, each call naming the path the program hands over
// next: the folder's shared work (the fillers over the names left, the
// private folder for renaming) is done once for a run of calls in one folder,
// and never left undone: not after the last call, nor when the chain breaks
// (another folder, another block, a stop, no further call at all).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "DirectorySlack.h"
#include "EngineHarness.h"
#include "FileCalls.h"
#include "FileWiper.h"
#include "NtFiles.h"
#include "QuorvanellBlockPaths.h"

namespace qv::engine::test {
namespace {

const std::vector<PassBytes> kOnePass = {{0x00, 0x20, 0x20, 0x20}};

const wchar_t* Wide(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

int gFillers = 0;
HANDLE CountingFiller(HANDLE folder, const std::u16string& name, DWORD& error) {
  ++gFillers;
  return SystemCreateFiller(folder, name, error);
}

// Counts fillers and keeps pending work waiting for as long as a test says;
// puts everything back afterwards.
struct ChainSetup {
  explicit ChainSetup(DWORD waitMs) {
    gFillers = 0;
    gCreateFiller = CountingFiller;
    gPendingWaitMs = waitMs;
  }
  ~ChainSetup() {
    gCreateFiller = SystemCreateFiller;
    gPendingWaitMs = 500;
  }
};

std::vector<std::u16string> MakeFiles(const std::u16string& folder, const char* stem, int count) {
  EXPECT_TRUE(CreateDirectoryW(Wide(folder), nullptr));
  std::vector<std::u16string> paths;
  for (int i = 0; i < count; ++i) {
    paths.push_back(folder + u"\\" + Utf16(stem) + Utf16(std::to_string(i)) + u".txt");
    EXPECT_TRUE(WriteWholeFile(paths.back(), std::string(4096, char('a' + i % 26))));
  }
  return paths;
}

// One call in this process (its replaceable calls are this test's), naming `next`.
bool Call(Harness& harness, TWipeParams* block, const std::u16string& path, const std::u16string& next = u"") {
  WriteBlockPaths(*block, path.c_str(), path.size(), next.c_str(), next.size());
  return harness.RunFile(block, 120000, StartFileWipe);
}

size_t Summaries(const Harness& harness) {
  size_t n = 0;
  for (const std::u16string& line : harness.logs) n += line.find(u": 1 file and 0 folders wiped") != line.npos;
  return n;
}

// Gives the waiting thread up to five seconds to finish the held folder's
// work (tests ask it to wait a tenth of that at the most), dispatching the
// window's messages meanwhile when `pump` says so.
void WaitWhilePending(Harness& harness, bool pump) {
  DWORD begin = GetTickCount();
  while (WorkPending() && GetTickCount() - begin < 5000) {
    if (pump) harness.Pump();
    Sleep(20);
  }
}

TEST(ChainTest, AChainInOneFolderFillsItOnceBeforeTheLastCallEnds) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("single ticks naming the next path");
  ChainSetup setup(60000);  // only the calls themselves finish the work here
  std::u16string folder = Root(drive) + u"chain-once";
  std::vector<std::u16string> paths = MakeFiles(folder, "chained-secret-", 10);
  Harness harness;
  Block block(harness.wnd(), 0, kOnePass);
  for (size_t i = 0; i < paths.size(); ++i) {
    bool last = i + 1 == paths.size();
    ASSERT_TRUE(Call(harness, block.get(), paths[i], last ? u"" : paths[i + 1]));
    EXPECT_FALSE(Exists(paths[i])) << i << harness.LogText();
    if (!last) {
      EXPECT_TRUE(WorkPending()) << i;
      EXPECT_EQ(0, gFillers) << "the folder was filled after call " << i;
    }
  }
  EXPECT_FALSE(WorkPending()) << "work left after the last call's handle was set";
  EXPECT_GT(gFillers, 0) << "the names the files left were never overwritten";
  EXPECT_TRUE(ListNames(folder).empty()) << "a filler or the private folder was left";
  EXPECT_EQ(0, block->Reserved2) << harness.LogText();
  EXPECT_EQ(paths.size(), Summaries(harness)) << harness.LogText();
  EXPECT_EQ(paths.size(), harness.FinishedWiped());
  const int chainFillers = gFillers;

  // The same files handed over without next paths: each call fills on its own.
  std::u16string apart = Root(drive) + u"chain-apart";
  paths = MakeFiles(apart, "apart-secret-", 10);
  gFillers = 0;
  Harness separate;
  Block second(separate.wnd(), 0, kOnePass);
  for (const std::u16string& path : paths) {
    int before = gFillers;
    ASSERT_TRUE(Call(separate, second.get(), path));
    EXPECT_FALSE(WorkPending());
    EXPECT_GT(gFillers, before) << "a call without a next path left its folder's names";
  }
  EXPECT_TRUE(ListNames(apart).empty());
  EXPECT_EQ(0, second->Reserved2) << separate.LogText();
  EXPECT_EQ(paths.size(), Summaries(separate));
  EXPECT_LT(chainFillers, gFillers) << "the chain filled its folder more than once";
  RemoveDirectoryW(Wide(folder));
  RemoveDirectoryW(Wide(apart));
}

TEST(ChainTest, ANextPathThatNeverComesIsFinishedByTheWaitingThread) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("a chain broken off");
  if (std::getenv("QV_CHAIN_ENDS")) {
    // The program of the last case: a call through the library naming a next
    // path, then its end at once.
    Harness harness;
    Block block(harness.wnd(), 0, kOnePass);
    const std::u16string folder = Root(drive) + u"chain-ended";
    const std::u16string first = folder + u"\\ended-0.txt", second = folder + u"\\ended-1.txt";
    WriteBlockPaths(*block.get(), first.c_str(), first.size(), second.c_str(), second.size());
    ExitProcess(harness.RunFile(block.get()) && harness.FinishedWiped() == 1 ? 0 : 1);
  }
  ChainSetup setup(200);
  std::u16string folder = Root(drive) + u"chain-broken";
  std::vector<std::u16string> paths = MakeFiles(folder, "broken-", 3);
  Harness harness;
  Block block(harness.wnd(), 0, kOnePass);
  ASSERT_TRUE(Call(harness, block.get(), paths[0], paths[1]));
  ASSERT_TRUE(Call(harness, block.get(), paths[1], paths[2]));
  EXPECT_TRUE(WorkPending());
  // 200 ms asked; ten times that and more allowed.
  WaitWhilePending(harness, false);
  EXPECT_FALSE(WorkPending()) << "nobody finished the held folder";
  EXPECT_GT(gFillers, 0);
  EXPECT_EQ(std::vector<std::u16string>{u"broken-2.txt"}, ListNames(folder)) << "a filler or the private folder was left";
  EXPECT_EQ(0, block->Reserved2) << harness.LogText();
  DeleteFileW(Wide(paths[2]));
  RemoveDirectoryW(Wide(folder));

  // Nor by a program that ends before the waiting thread's turn: the work is
  // done as it lets go of the engine.
  const std::u16string ended = Root(drive) + u"chain-ended";
  paths = MakeFiles(ended, "ended-", 2);
  std::vector<wchar_t> exe(MAX_PATH * 4);
  ASSERT_NE(0u, GetModuleFileNameW(nullptr, exe.data(), DWORD(exe.size())));
  std::wstring command = L"\"" + std::wstring(exe.data()) + L"\" --gtest_brief=1 "
                         L"--gtest_filter=ChainTest.ANextPathThatNeverComesIsFinishedByTheWaitingThread";
  STARTUPINFOW startup{sizeof startup};
  PROCESS_INFORMATION child{};
  SetEnvironmentVariableW(L"QV_CHAIN_ENDS", L"1");
  const bool started =
      CreateProcessW(exe.data(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child);
  SetEnvironmentVariableW(L"QV_CHAIN_ENDS", nullptr);
  ASSERT_TRUE(started);
  DWORD code = 1;
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(child.hProcess, 120000));
  GetExitCodeProcess(child.hProcess, &code);
  CloseHandle(child.hProcess);
  CloseHandle(child.hThread);
  EXPECT_EQ(0u, code);
  EXPECT_EQ(std::vector<std::u16string>{u"ended-1.txt"}, ListNames(ended)) << "the private folder was left";
  DeleteFileW(Wide(paths[1]));
  RemoveDirectoryW(Wide(ended));
}

TEST(ChainTest, AnotherFolderAnotherBlockOrAStopFinishesTheHeldFolderFirst) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("chains broken by the next call");
  ChainSetup setup(60000);
  std::u16string a = Root(drive) + u"chain-a";
  std::u16string b = Root(drive) + u"chain-b";
  std::vector<std::u16string> inA = MakeFiles(a, "a-", 4);
  std::vector<std::u16string> inB = MakeFiles(b, "b-", 1);
  Harness harness;
  Block block(harness.wnd(), 0, kOnePass);

  // A call for another folder than announced.
  ASSERT_TRUE(Call(harness, block.get(), inA[0], inA[1]));
  ASSERT_TRUE(WorkPending());
  ASSERT_EQ(0, gFillers);
  ASSERT_TRUE(Call(harness, block.get(), inB[0]));
  EXPECT_FALSE(WorkPending());
  EXPECT_EQ((std::vector<std::u16string>{u"a-1.txt", u"a-2.txt", u"a-3.txt"}), ListNames(a))
      << "the first folder's private folder or fillers were left";
  EXPECT_TRUE(ListNames(b).empty());
  EXPECT_GE(gFillers, 2) << "both folders were to be filled";

  // Another block (a new run) for the very path announced.
  gFillers = 0;
  ASSERT_TRUE(Call(harness, block.get(), inA[1], inA[2]));
  ASSERT_TRUE(WorkPending());
  Harness other;
  Block next(other.wnd(), 0, kOnePass);
  ASSERT_TRUE(Call(other, next.get(), inA[2]));
  EXPECT_FALSE(WorkPending());
  EXPECT_EQ(std::vector<std::u16string>{u"a-3.txt"}, ListNames(a));
  EXPECT_GT(gFillers, 0);

  // A stop seen at the end of a call that named a next path.
  gFillers = 0;
  harness.onProgress = [&harness](const ProgressEvent& e) {
    if (e.state == 0 && e.progress == 100) harness.current->Active = 0;
  };
  std::u16string announced = a + u"\\never.txt";
  ASSERT_TRUE(Call(harness, block.get(), inA[3], announced));
  EXPECT_FALSE(WorkPending()) << "a stop left the folder held";
  EXPECT_TRUE(ListNames(a).empty());
  EXPECT_GT(gFillers, 0);
  EXPECT_EQ(0, block->Reserved2) << harness.LogText();
  EXPECT_EQ(0, next->Reserved2) << other.LogText();
  RemoveDirectoryW(Wide(a));
  RemoveDirectoryW(Wide(b));
}

TEST(ChainTest, ANextPathThatDoesNotFitOrIsNotTerminatedIsNone) {
  // Zero-filled blocks and tails that are no terminated path mean "no next
  // path": the call finishes its folder itself.
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("blocks without a next path");
  ChainSetup setup(60000);
  std::u16string folder = Root(drive) + u"chain-none";
  std::vector<std::u16string> paths = MakeFiles(folder, "none-", 3);
  Harness harness;
  Block block(harness.wnd(), 0, kOnePass);
  // A next path too long to fit after the path is not written at all.
  std::u16string tooLong = folder + u"\\" + std::u16string(kBlockTextChars, u'x');
  ASSERT_TRUE(Call(harness, block.get(), paths[0], tooLong));
  EXPECT_FALSE(WorkPending());
  // A tail running to the end of the field without a terminator.
  std::u16string tail = paths[1];
  for (size_t i = 0; i < size_t(kBlockTextChars); ++i) block->Path[i] = u'y';
  std::copy(tail.begin(), tail.end(), block->Path);
  block->Path[tail.size()] = 0;
  harness.current = block.get();
  ASSERT_TRUE(harness.RunFile(block.get(), 120000, StartFileWipe));
  EXPECT_FALSE(WorkPending());
  // A next path in a subfolder of the same folder is not in the same folder.
  ASSERT_TRUE(Call(harness, block.get(), paths[2], folder + u"\\sub\\x.txt"));
  EXPECT_FALSE(WorkPending());
  EXPECT_TRUE(ListNames(folder).empty());
  EXPECT_EQ(0, block->Reserved2) << harness.LogText();
  EXPECT_EQ(3u, Summaries(harness)) << harness.LogText();
  RemoveDirectoryW(Wide(folder));
}

// Two runs handing over files at the same time, each naming a next path in
// its own folder: both run, and one folder at a time is left pending; the
// other's work is done meanwhile.
TEST(ChainTest, CallsHandedOverTogetherLeaveOneFolderPending) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("chains side by side");
  ChainSetup setup(60000);
  std::u16string a = Root(drive) + u"chain-side-a";
  std::u16string b = Root(drive) + u"chain-side-b";
  std::vector<std::u16string> inA = MakeFiles(a, "a-", 2);
  std::vector<std::u16string> inB = MakeFiles(b, "b-", 2);
  Harness harness;
  Block first(harness.wnd(), 0, kOnePass);
  Block second(harness.wnd(), 0, kOnePass);
  WriteBlockPaths(*first.get(), inA[0].c_str(), inA[0].size(), inA[1].c_str(), inA[1].size());
  WriteBlockPaths(*second.get(), inB[0].c_str(), inB[0].size(), inB[1].c_str(), inB[1].size());
  HANDLE done[2] = {StartFileWipe(first.get()), StartFileWipe(second.get())};
  ASSERT_TRUE(done[0] && done[1]);
  DWORD begin = GetTickCount();
  auto ended = [&done] { return WaitForMultipleObjects(2, done, TRUE, 0) == WAIT_OBJECT_0; };
  while (!ended() && GetTickCount() - begin < 60000) {
    MsgWaitForMultipleObjects(2, done, FALSE, 50, QS_ALLINPUT);
    harness.Pump();
  }
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(done[0], 0));
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(done[1], 0));
  CloseHandle(done[0]);
  CloseHandle(done[1]);
  EXPECT_TRUE(WorkPending());
  size_t aNames = ListNames(a).size(), bNames = ListNames(b).size();
  EXPECT_FALSE(Exists(inA[0]));
  EXPECT_FALSE(Exists(inB[0]));
  // One file left in each; beside it at most the private folder of the one held.
  EXPECT_EQ(3u, aNames + bNames) << "a folder not held was left with its private folder or fillers";
  ASSERT_TRUE(Call(harness, first.get(), inA[1]));
  ASSERT_TRUE(Call(harness, second.get(), inB[1]));
  EXPECT_FALSE(WorkPending());
  EXPECT_TRUE(ListNames(a).empty());
  EXPECT_TRUE(ListNames(b).empty());
  EXPECT_EQ(0, first->Reserved2) << harness.LogText();
  EXPECT_EQ(0, second->Reserved2) << harness.LogText();
  RemoveDirectoryW(Wide(a));
  RemoveDirectoryW(Wide(b));
}

// Random runs of calls over three folders and two blocks, each call naming
// as the next path the one that follows it, or another file, or a path that
// never comes, or none, with stops now and then; checked after every call
// against a model: work is pending exactly when the call named a next path
// in its own folder and was not stopped, and a folder not held holds only
// the files not yet handed over (no filler, no private folder).
TEST(ChainTest, RandomRunsOfCallsLeaveWorkPendingOnlyAsTheModelSays) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("random chains of single ticks");
  ChainSetup setup(60000);
  const std::u16string top = Root(drive) + u"chain-model";
  ASSERT_TRUE(CreateDirectoryW(Wide(top), nullptr));
  const int kFolders = 3;
  std::vector<std::u16string> folders;
  std::vector<std::vector<std::u16string>> remaining(kFolders);
  for (int f = 0; f < kFolders; ++f) {
    folders.push_back(top + u"\\m" + Utf16(std::to_string(f)));
    remaining[f] = MakeFiles(folders[f], "model-", 12);
  }
  uint32_t seed = 20261208;
  auto random = [&seed](uint32_t n) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % n;
  };
  Harness harness;
  Block blocks[2] = {Block(harness.wnd(), 0, kOnePass), Block(harness.wnd(), 0, kOnePass)};
  int current = 0;
  std::u16string announced;  // the path the last call named, when it is still to come
  int calls = 0;
  for (;;) {
    // The path of this call: the one announced, mostly; else any file left.
    std::u16string path;
    int folder = -1;
    for (int f = 0; f < kFolders && !announced.empty(); ++f)
      for (const std::u16string& p : remaining[f])
        if (p == announced && random(5) != 0) path = p, folder = f;
    if (path.empty()) {
      std::vector<int> left;
      for (int f = 0; f < kFolders; ++f)
        if (!remaining[f].empty()) left.push_back(f);
      if (left.empty()) break;
      folder = left[random(uint32_t(left.size()))];
      path = remaining[folder][random(uint32_t(remaining[folder].size()))];
    }
    if (random(8) == 0) current = 1 - current;
    std::erase(remaining[folder], path);
    // What it names next.
    std::u16string next;
    switch (random(6)) {
      case 0: break;
      case 1: next = folders[folder] + u"\\never-there.txt"; break;
      case 2: {
        int other = int(random(kFolders));
        if (!remaining[other].empty()) next = remaining[other][random(uint32_t(remaining[other].size()))];
        break;
      }
      default:
        if (!remaining[folder].empty()) next = remaining[folder][random(uint32_t(remaining[folder].size()))];
    }
    const bool stop = random(10) == 0;
    TWipeParams* block = blocks[current].get();
    block->Active = 1;
    harness.onProgress = [&harness, stop](const ProgressEvent& e) {
      if (stop && e.state == 0 && e.progress == 100) harness.current->Active = 0;
    };
    ASSERT_TRUE(Call(harness, block, path, next));
    ++calls;
    EXPECT_FALSE(Exists(path)) << Narrow(path) << harness.LogText();
    const bool pendingExpected = !next.empty() && !stop && next.rfind(folders[folder] + u"\\", 0) == 0 &&
                                 next.find(u'\\', folders[folder].size() + 1) == std::u16string::npos;
    ASSERT_EQ(pendingExpected, WorkPending()) << "call " << calls << ": " << Narrow(path) << " next " << Narrow(next);
    announced = stop ? u"" : next;
    for (int f = 0; f < kFolders; ++f) {
      std::vector<std::u16string> names = ListNames(folders[f]);
      size_t extra = names.size() - std::min(names.size(), remaining[f].size());
      if (pendingExpected && f == folder) {
        EXPECT_LE(extra, 1u) << "more than the private folder beside the files left";
      } else {
        EXPECT_EQ(0u, extra) << "a filler or private folder left in folder " << f << " after call " << calls;
      }
      EXPECT_EQ(remaining[f].size(), names.size() - extra);
    }
  }
  // The last call named a path in its folder that never came: the waiting
  // thread finishes it.
  gPendingWaitMs = 100;
  WaitWhilePending(harness, false);
  EXPECT_FALSE(WorkPending());
  for (int f = 0; f < kFolders; ++f) {
    EXPECT_TRUE(ListNames(folders[f]).empty()) << f;
    RemoveDirectoryW(Wide(folders[f]));
  }
  RemoveDirectoryW(Wide(top));
  EXPECT_EQ(0, blocks[0]->Reserved2) << harness.LogText();
  EXPECT_EQ(0, blocks[1]->Reserved2) << harness.LogText();
  EXPECT_EQ(size_t(calls), Summaries(harness)) << harness.LogText();
  EXPECT_GT(gFillers, 0);
}

// A call of a chain whose wipe ends on an internal error (thrown) finishes
// the held folder's work with its private folder still open: it is removed,
// not left behind.
TEST(ChainTest, AWipeEndingOnAnInternalErrorStillRemovesTheFoldersPrivateFolder) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("a chained wipe that throws");
  ChainSetup setup(60000);
  std::u16string folder = Root(drive) + u"chain-throw";
  std::vector<std::u16string> paths = MakeFiles(folder, "throw-", 3);
  Harness harness;
  Block block(harness.wnd(), 0, kOnePass);
  ASSERT_TRUE(Call(harness, block.get(), paths[0], paths[1]));
  ASSERT_TRUE(WorkPending());
  ASSERT_EQ(3u, ListNames(folder).size()) << "the private folder was expected beside the two files left";
  gWipeStep = [](WipeStep step, const std::u16string&) {
    if (step == WipeStep::Renaming) throw std::runtime_error("test");
  };
  const bool ran = Call(harness, block.get(), paths[1], paths[2]);
  gWipeStep = nullptr;
  ASSERT_TRUE(ran);
  EXPECT_FALSE(WorkPending());
  EXPECT_TRUE(harness.Logged(u"The wipe of " + paths[1] + u" ended on an internal error")) << harness.LogText();
  // The file whose wipe threw is left (emptied), the next one untouched, and nothing else.
  EXPECT_EQ((std::vector<std::u16string>{u"throw-1.txt", u"throw-2.txt"}), ListNames(folder)) << harness.LogText();
  EXPECT_FALSE(harness.Logged(u"Could not remove the folder ")) << harness.LogText();
  for (size_t i = 1; i < paths.size(); ++i) DeleteFileW(Wide(paths[i]));
  RemoveDirectoryW(Wide(folder));
}

// A wipe ending on an internal error, alone or as the first call of a chain,
// lets go of the folder it opened: removed afterwards, the folder is gone at
// once (Wine removes a folder only when its last handle is closed).
TEST(ChainTest, AWipeEndingOnAnInternalErrorLetsGoOfItsFolder) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("wipes that throw before their folder is let go");
  ChainSetup setup(60000);
  std::u16string folder = Root(drive) + u"throw-alone";
  std::vector<std::u16string> paths = MakeFiles(folder, "alone-", 2);
  Harness harness;
  Block block(harness.wnd(), 0, kOnePass);
  gWipeStep = [](WipeStep step, const std::u16string&) {
    if (step == WipeStep::Renaming) throw std::runtime_error("test");
  };
  const bool alone = Call(harness, block.get(), paths[0]);
  const bool first = Call(harness, block.get(), paths[1], folder + u"\\announced.txt");
  gWipeStep = nullptr;
  ASSERT_TRUE(alone && first);
  EXPECT_FALSE(WorkPending());
  EXPECT_EQ((std::vector<std::u16string>{u"alone-0.txt", u"alone-1.txt"}), ListNames(folder)) << harness.LogText();
  for (const std::u16string& path : paths) EXPECT_TRUE(DeleteFileW(Wide(path)));
  EXPECT_TRUE(RemoveDirectoryW(Wide(folder)));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(Wide(folder))) << "a handle of the folder was left open";
}

HANDLE RefusedFiller(HANDLE, const std::u16string&, DWORD& error) {
  ++gFillers;
  error = ERROR_ACCESS_DENIED;
  return INVALID_HANDLE_VALUE;
}

// The program frees a run's block once a new run starts: work that the
// waiting thread finishes after the run reports to the window alone, even
// when it fails, and never touches the block (here overwritten, as freed
// memory is under Wine's heap checking).
TEST(ChainTest, WorkFinishedAfterItsRunTellsTheWindowAndLeavesTheBlockAlone) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("a chain finished after its run");
  ChainSetup setup(200);
  gCreateFiller = RefusedFiller;
  std::u16string folder = Root(drive) + u"chain-after";
  std::vector<std::u16string> paths = MakeFiles(folder, "after-", 2);
  Harness harness;
  Block block(harness.wnd(), 0, kOnePass);
  ASSERT_TRUE(Call(harness, block.get(), paths[0], paths[1]));
  ASSERT_TRUE(WorkPending());
  EXPECT_EQ(0, block->Reserved2) << harness.LogText();
  harness.current = nullptr;
  std::memset(block.get(), 0xFE, sizeof(TWipeParams));
  WaitWhilePending(harness, true);
  EXPECT_FALSE(WorkPending());
  for (int i = 0; i < 20; ++i) {
    harness.Pump();
    Sleep(5);
  }
  EXPECT_GT(gFillers, 0);
  EXPECT_TRUE(harness.Logged(u"Could not overwrite the old names in " + folder)) << harness.LogText();
  const auto* bytes = reinterpret_cast<const uint8_t*>(block.get());
  EXPECT_EQ(sizeof(TWipeParams), size_t(std::count(bytes, bytes + sizeof(TWipeParams), uint8_t(0xFE))))
      << "the block of the finished run was written to";
  gCreateFiller = SystemCreateFiller;
  DeleteFileW(Wide(paths[1]));
  RemoveDirectoryW(Wide(folder));
}

// The host's path of a path under Wine, in bytes; 0 elsewhere.
size_t HostPathBytes(const std::u16string& path) {
  using UnixNameCall = char*(CDECL*)(LPCWSTR);
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  auto unixName = kernel ? reinterpret_cast<UnixNameCall>(
                               reinterpret_cast<void*>(GetProcAddress(kernel, "wine_get_unix_file_name")))
                         : nullptr;
  char* name = unixName ? unixName(Wide(path)) : nullptr;
  if (!name) return 0;
  size_t bytes = std::strlen(name);
  HeapFree(GetProcessHeap(), 0, name);
  return bytes;
}

// The names an open folder lists now, through a handle of its own.
std::vector<std::u16string> NamesIn(HANDLE folder) {
  std::vector<std::u16string> names;
  DWORD error = 0;
  HANDLE now = OpenFolderAgain(folder, error);
  if (now == INVALID_HANDLE_VALUE) return {u"(not listed)"};
  std::vector<uint64_t> buffer(8192);
  while (ReadFolder(now, nullptr, buffer.data(), ULONG(buffer.size() * 8), error)) {
    for (size_t at = 0;;) {
      const auto* info =
          reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(reinterpret_cast<const uint8_t*>(buffer.data()) + at);
      std::u16string name(reinterpret_cast<const char16_t*>(info->FileName), info->FileNameLength / 2);
      if (name != u"." && name != u"..") names.push_back(name);
      if (info->NextEntryOffset == 0) break;
      at += info->NextEntryOffset;
    }
  }
  CloseHandle(now);
  return names;
}

// Chains of single ticks in folders whose host paths end just short of the
// host's longest path, so that the files, their private folder or the
// fillers pass it (Wine then takes deletions it cannot carry out). A file is
// counted gone without its name being looked up again: each reported wiped
// must be gone, each other one counted as a failure by its own call.
TEST(ChainTest, NearTheHostsLongestPathNoFileIsReportedWipedThatIsStillThere) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("single ticks near the host's longest path");
  const std::u16string top = Root(drive) + u"chain-deep";
  ASSERT_TRUE(CreateDirectoryW(Wide(top), nullptr));
  const size_t hostTop = HostPathBytes(top);
  if (hostTop == 0) QV_SKIP_LOUDLY("the host's path of a folder (only Wine tells it)");
  ChainSetup setup(60000);
  constexpr size_t kHostLongest = 4095;  // bytes of a host path, without its terminator
  constexpr ULONG kAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY;
  constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  Harness harness;
  Block block(harness.wnd(), 0, kOnePass);
  int reportedWiped = 0, notWiped = 0;
  // The parent's host path ends this many bytes short of the longest: the
  // files' own paths fit in all of them, their private folder's names not in
  // the last ones.
  for (size_t shortBy : {60u, 30u, 22u, 16u, 10u}) {
    // Made folder by folder through handles: past the longest path no whole path opens.
    DWORD error = 0;
    std::u16string path = top + u"\\" + Utf16(std::to_string(shortBy));
    ASSERT_TRUE(CreateDirectoryW(Wide(path), nullptr));
    HANDLE folder = CreateFileW(Wide(path), kAccess, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, folder);
    size_t bytes = HostPathBytes(path);
    const size_t target = kHostLongest - shortBy;
    while (bytes < target) {
      // 80 characters of three bytes each, then one name of plain letters for what is left.
      const size_t left = target - bytes - 1;
      std::u16string name = left > 300 ? std::u16string(80, char16_t(0x4E00 + bytes % 64)) : std::u16string(left, u'a');
      HANDLE next = OpenBelow(folder, name, kAccess, kShareAll, kDirectoryOnly, error, kCreateNew);
      ASSERT_NE(INVALID_HANDLE_VALUE, next) << error;
      CloseHandle(folder);
      folder = next;
      path += u"\\" + name;
      bytes += 1 + (left > 300 ? 240 : left);
    }
    std::vector<std::u16string> files;
    for (int i = 0; i < 3; ++i) {
      std::u16string name = u"f" + Utf16(std::to_string(i)) + u".txt";
      HANDLE file = OpenBelow(folder, name, GENERIC_WRITE, 0, kNonDirectoryOnly, error, kCreateNew);
      ASSERT_NE(INVALID_HANDLE_VALUE, file) << error;
      DWORD written = 0;
      ASSERT_TRUE(WriteFile(file, "deep", 4, &written, nullptr));
      CloseHandle(file);
      files.push_back(name);
    }
    for (size_t i = 0; i < files.size(); ++i) {
      const int32_t before = block->Reserved2;
      const size_t logsBefore = harness.logs.size();
      const std::u16string next = i + 1 < files.size() ? path + u"\\" + files[i + 1] : u"";
      ASSERT_TRUE(Call(harness, block.get(), path + u"\\" + files[i], next));
      bool wiped = false;
      for (size_t k = logsBefore; k < harness.logs.size(); ++k)
        wiped = wiped || harness.logs[k] == path + u"\\" + files[i] + u": 1 file and 0 folders wiped";
      const std::vector<std::u16string> names = NamesIn(folder);
      const bool there = std::find(names.begin(), names.end(), files[i]) != names.end() ||
                         names == std::vector<std::u16string>{u"(not listed)"};
      if (wiped) {
        ++reportedWiped;
        EXPECT_FALSE(there) << shortBy << " " << Narrow(files[i]) << " reported wiped, still there\n"
                            << harness.LogText();
      } else {
        ++notWiped;
        EXPECT_GT(block->Reserved2, before) << shortBy << " " << Narrow(files[i]) << " neither wiped nor counted\n"
                                            << harness.LogText();
      }
    }
    EXPECT_FALSE(WorkPending());
    CloseHandle(folder);
  }
  std::printf("near the host's longest path: %d files reported wiped, %d not wiped (counted)\n", reportedWiped,
              notWiped);
  EXPECT_GT(reportedWiped, 0) << harness.LogText();
  EXPECT_GT(notWiped, 0) << "the host's limit was not reached: the test proves nothing\n" << harness.LogText();
}

}  // namespace
}  // namespace qv::engine::test
