// A folder swapped again and again with a link to a protected folder, by a
// process of the host, while its files are wiped one by one as the program
// hands them over. The protected folder holds files of the very same names:
// whatever the timing, none of them may be renamed, moved, changed or
// deleted, and a file of the swapped folder counts as wiped only when it is
// gone.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <thread>

#include "EngineHarness.h"
#include "FileCalls.h"
#include "FileWiper.h"
#include "QuorvanellBlockPaths.h"
#include "NtFiles.h"
#include "Text.h"
#include "TreeWiper.h"

namespace qv::engine::test {
namespace {

const std::vector<PassBytes> kOnePass = {{0x00, 0x20, 0x20, 0x20}};
const int kFiles = std::getenv("QV_SWAP_FILES") ? std::atoi(std::getenv("QV_SWAP_FILES")) : 200;

const wchar_t* Wide(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

std::u16string FileName(int i) {
  char name[16];
  std::snprintf(name, sizeof name, "f%03d.txt", i);
  return Utf16(name);
}

// Makes `base`, then the folders below it in the order given (each after
// the folder holding it).
void MakeFolders(const std::u16string& base, std::initializer_list<const char16_t*> below) {
  ASSERT_TRUE(CreateDirectoryW(Wide(base), nullptr));
  for (const char16_t* name : below) ASSERT_TRUE(CreateDirectoryW(Wide(base + name), nullptr)) << Narrow(name);
}

// Files of the same names in the ticked folder and in the protected one,
// their contents numbered or not.
void WriteTwins(const std::u16string& ticked, const std::u16string& guarded, int count, bool numbered) {
  for (int i = 0; i < count; ++i) {
    const std::string number = numbered ? " " + std::to_string(i) : "";
    ASSERT_TRUE(WriteWholeFile(ticked + u"\\" + FileName(i), "ticked" + number));
    ASSERT_TRUE(WriteWholeFile(guarded + u"\\" + FileName(i), "precious" + number));
  }
}

// The reasons the race gives are its own: a rename lost to a swap, and
// fillers a swap kept from going, name another program's move, never what the
// system's look-up met where the path led (nothing, or a folder it could not
// use), nor a path too long.
void ExpectTheSwapNamed(const Harness& harness) {
  for (const std::u16string& line : harness.logs) {
    if (line.find(u" to a random name: ") != std::u16string::npos) {
      for (DWORD error : {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_INVALID_HANDLE, ERROR_NOT_ENOUGH_MEMORY})
        EXPECT_FALSE(line.ends_with(u": " + ErrorText(error))) << Narrow(line);
    }
    if (line.find(u"yet they are still there") != std::u16string::npos)
      EXPECT_NE(std::u16string::npos, line.find(u"(another program moved or replaced the folder")) << Narrow(line);
  }
}

TEST(SwapRaceTest, AFolderSwappedOverAndOverNeverLeadsAStepIntoTheProtectedFolder) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("a folder swapped by the host during single wipes");
  std::u16string base = Root(drive) + u"swaprace";
  ASSERT_NO_FATAL_FAILURE(MakeFolders(base, {u"\\d", u"\\sys"}));
  ASSERT_NO_FATAL_FAILURE(WriteTwins(base + u"\\d", base + u"\\sys", kFiles, true));
  std::map<std::u16string, std::string> protectedBefore;
  FolderContents(base + u"\\sys", protectedBefore);
  ASSERT_EQ(size_t(kFiles), protectedBefore.size());

  ProtectedFolders guard = ProtectedFolders::ForPaths({base + u"\\sys"});
  Harness harness;
  Block block(harness.wnd(), 0, kOnePass);
  std::vector<PassSpec> passes = DecodePasses(&block->Passes[0][0], block->PassCount);
  std::vector<WipeResult> results(kFiles, WipeResult::Stopped);
  std::vector<uint64_t> filesWiped(kFiles, 0);
  ASSERT_TRUE(AskHost(drive, "flip swaprace/d swaprace/dlink swaprace/sys\n"));
  bool ran = harness.RunInProcess(
      [&] {
        for (int i = 0; i < kFiles; ++i) {
          Reporter reporter(block.get());
          TreeWiper wiper(reporter, passes, guard);
          results[i] = wiper.Wipe(base + u"\\d\\" + FileName(i));
          filesWiped[i] = wiper.counts().files;
        }
      },
      600000);
  ASSERT_TRUE(AskHost(drive, "unflip\n"));
  ASSERT_TRUE(ran);

  std::map<std::u16string, std::string> protectedAfter;
  FolderContents(base + u"\\sys", protectedAfter);
  for (const auto& [path, content] : protectedBefore) {
    auto after = protectedAfter.find(path);
    EXPECT_TRUE(after != protectedAfter.end() && after->second == content) << Narrow(path) << " changed: "
        << (after == protectedAfter.end() ? std::string("gone") : after->second);
  }
  for (const auto& [path, content] : protectedAfter)
    EXPECT_EQ(1u, protectedBefore.count(path)) << Narrow(path) << " came into the protected folder";
  if (protectedBefore != protectedAfter) {
    std::map<std::u16string, std::string> inSwapped;
    FolderContents(base + u"\\d", inSwapped);
    std::string listing;
    for (const auto& [path, content] : inSwapped) listing += Narrow(path) + " = " + content + "\n";
    ADD_FAILURE() << listing << harness.LogText();
  }
  std::map<std::u16string, std::string> left;
  FolderContents(base + u"\\d", left);
  int wiped = 0, failed = 0;
  for (int i = 0; i < kFiles; ++i) {
    bool there = left.count(u"\\" + FileName(i)) != 0;
    if (results[i] == WipeResult::Wiped) {
      ++wiped;
      EXPECT_EQ(1u, filesWiped[i]) << i;
    } else {
      ++failed;
      EXPECT_EQ(WipeResult::Failed, results[i]) << i;
    }
    // Counted as wiped only when gone; a file still there was reported as a failure.
    if (filesWiped[i] != 0) {
      EXPECT_FALSE(there) << Narrow(FileName(i)) << " was reported wiped and is still there";
    }
    if (there) {
      EXPECT_EQ(WipeResult::Failed, results[i]) << Narrow(FileName(i));
    }
  }
  // What is left in the swapped folder beside the ticked files (folders made
  // for renaming, kept or not removed) is named in the log.
  for (const auto& [path, content] : left) {
    if (path.back() != u'\\' || path.find(u'\\', 1) != path.size() - 1) continue;
    EXPECT_TRUE(harness.Logged(u"\\d" + path.substr(0, path.size() - 1))) << Narrow(path) << " left unnamed\n"
                                                                            << harness.LogText();
  }
  // Nothing of the protected folder came into the swapped one either.
  for (const auto& [path, content] : left)
    EXPECT_EQ(std::string::npos, content.find("precious")) << Narrow(path) << "\n" << harness.LogText();
  EXPECT_GE(uint32_t(block->Reserved2), uint32_t(failed));
  // Both happened: the swaps reached some runs, and others went through.
  EXPECT_GT(wiped, 0) << harness.LogText();
  EXPECT_GT(failed, 0) << harness.LogText();
  ExpectTheSwapNamed(harness);
  std::string log = harness.LogText();
  int putBack = 0;
  for (size_t at = log.find("was put back"); at != std::string::npos; at = log.find("was put back", at + 1)) ++putBack;
  int leftBeside = 0;
  for (const auto& [path, content] : left) {
    bool ticked = false;
    for (int i = 0; i < kFiles && !ticked; ++i) ticked = path == u"\\" + FileName(i);
    leftBeside += ticked ? 0 : 1;
  }
  std::printf("swapped folder: %d of %d files wiped, %d refused or failed, %d items of another folder put back, "
              "%d entries left beside the ticked files\n",
              wiped, kFiles, failed, putBack, leftBeside);
}

std::shared_ptr<const ProtectedFolders> gRaceGuard;
std::shared_ptr<const ProtectedFolders> RaceGuard() { return gRaceGuard; }

// The same race with the files handed over as the program does now, each call
// naming the next path: the folder is held from call to call and its path
// checked, not reopened, before each file. `above`: the folder above the
// ticked folder is the one swapped, for a link to a folder holding a protected
// folder of the ticked folder's name.
void RaceChainedCalls(const char* name, bool above) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("a folder swapped by the host during chained single wipes");
  const std::string folder = name;
  std::u16string base = Root(drive) + Utf16(folder);
  const std::u16string ticked = base + (above ? u"\\top\\d" : u"\\d");
  const std::u16string guarded = base + (above ? u"\\decoy\\d" : u"\\sys");
  if (above)
    ASSERT_NO_FATAL_FAILURE(MakeFolders(base, {u"\\top", u"\\decoy", u"\\top\\d", u"\\decoy\\d"}));
  else
    ASSERT_NO_FATAL_FAILURE(MakeFolders(base, {u"\\d", u"\\sys"}));
  ASSERT_NO_FATAL_FAILURE(WriteTwins(ticked, guarded, kFiles, true));
  std::map<std::u16string, std::string> protectedBefore;
  FolderContents(guarded, protectedBefore);
  ASSERT_EQ(size_t(kFiles), protectedBefore.size());

  gRaceGuard = std::make_shared<const ProtectedFolders>(ProtectedFolders::ForPaths({guarded}));
  gFileGuard = RaceGuard;
  Harness harness;
  Block block(harness.wnd(), 0, kOnePass);
  std::vector<int32_t> failures(kFiles, 0);   // counted by each call
  std::vector<bool> reportedWiped(kFiles, false);
  std::vector<bool> ownFailure(kFiles, false);
  ASSERT_TRUE(AskHost(drive, above ? "flip " + folder + "/top " + folder + "/toplink " + folder + "/decoy\n"
                                   : "flip " + folder + "/d " + folder + "/dlink " + folder + "/sys\n"));
  bool allRan = true;
  for (int i = 0; i < kFiles; ++i) {
    std::u16string path = ticked + u"\\" + FileName(i);
    std::u16string next = i + 1 < kFiles ? ticked + u"\\" + FileName(i + 1) : u"";
    WriteBlockPaths(*block.get(), path.c_str(), path.size(), next.c_str(), next.size());
    int32_t before = block->Reserved2;
    size_t logsBefore = harness.logs.size();
    allRan = harness.RunFile(block.get(), 120000, StartFileWipe) && allRan;
    failures[i] = block->Reserved2 - before;
    for (size_t k = logsBefore; k < harness.logs.size(); ++k) {
      const std::u16string& line = harness.logs[k];
      reportedWiped[i] = reportedWiped[i] || (line.find(FileName(i) + u": 1 file and 0 folders wiped") !=
                                                  std::u16string::npos &&
                                              line.find(u"could not") == std::u16string::npos);
      // Its own failure: its summary, or its refusal before it was reached
      // (a call may also count what the folder's deferred work left undone).
      ownFailure[i] = ownFailure[i] ||
                      (line.rfind(path + u": ", 0) == 0 && line.find(u"could not be wiped") != std::u16string::npos) ||
                      line.rfind(u"Could not find " + path, 0) == 0 || line.rfind(u"Did not wipe " + path, 0) == 0;
    }
  }
  ASSERT_TRUE(AskHost(drive, "unflip\n"));
  gFileGuard = SystemGuard;
  ASSERT_TRUE(allRan);
  EXPECT_FALSE(WorkPending());

  std::map<std::u16string, std::string> protectedAfter;
  FolderContents(guarded, protectedAfter);
  EXPECT_EQ(protectedBefore, protectedAfter) << harness.LogText();
  std::map<std::u16string, std::string> left;
  FolderContents(ticked, left);
  int wiped = 0, failed = 0;
  for (int i = 0; i < kFiles; ++i) {
    bool there = left.count(u"\\" + FileName(i)) != 0;
    if (reportedWiped[i]) {
      ++wiped;
      EXPECT_FALSE(there) << Narrow(FileName(i)) << " was reported wiped and is still there";
    }
    // A file still there was counted as a failure by its own call, as its own.
    if (there) {
      EXPECT_GT(failures[i], 0) << Narrow(FileName(i)) << "\n" << harness.LogText();
      EXPECT_TRUE(ownFailure[i]) << Narrow(FileName(i)) << " left without a failure of its own\n" << harness.LogText();
    }
    EXPECT_FALSE(reportedWiped[i] && ownFailure[i]) << Narrow(FileName(i));
    failed += failures[i] > 0;
  }
  for (const auto& [path, content] : left)
    EXPECT_EQ(std::string::npos, content.find("precious")) << Narrow(path) << "\n" << harness.LogText();
  // Folders left beside the ticked files (made for renaming) are named in the log.
  for (const auto& [path, content] : left) {
    if (path.back() != u'\\' || path.find(u'\\', 1) != path.size() - 1) continue;
    EXPECT_TRUE(harness.Logged(ticked + path.substr(0, path.size() - 1))) << Narrow(path) << " left unnamed\n"
                                                                          << harness.LogText();
  }
  EXPECT_GT(wiped, 0) << harness.LogText();
  EXPECT_GT(failed, 0) << harness.LogText();
  ExpectTheSwapNamed(harness);
  std::printf("swapped %s, chained calls: %d of %d files wiped, %d with a failure counted, %zu entries left\n",
              above ? "folder above" : "folder", wiped, kFiles, failed, left.size());
}

TEST(SwapRaceTest, ChainedCallsNeverLeadAStepIntoTheProtectedFolder) { RaceChainedCalls("swapchain", false); }

TEST(SwapRaceTest, ChainedCallsWithTheFolderAboveSwappedNeverLeadAStepIntoTheProtectedFolder) {
  RaceChainedCalls("swapabove", true);
}

// The held folder swapped for a link to a protected folder between two calls
// of a chain: the next call finds that the folder's path no longer leads to
// the folder held, does the pending work through the held handle (no filler
// goes where the path leads now) and is handled as a first call: refused.
TEST(SwappedFolder, AChainWhoseFolderWasSwappedBetweenCallsStartsAgainAndIsRefused) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("a chain's folder swapped between calls");
  std::u16string base = Root(drive) + u"chainswap";
  ASSERT_NO_FATAL_FAILURE(MakeFolders(base, {u"\\d", u"\\sys"}));
  ASSERT_NO_FATAL_FAILURE(WriteTwins(base + u"\\d", base + u"\\sys", 2, false));
  gRaceGuard = std::make_shared<const ProtectedFolders>(ProtectedFolders::ForPaths({base + u"\\sys"}));
  gFileGuard = RaceGuard;
  Harness harness;
  Block block(harness.wnd(), 0, kOnePass);
  const std::u16string first = base + u"\\d\\" + FileName(0), second = base + u"\\d\\" + FileName(1);
  WriteBlockPaths(*block.get(), first.c_str(), first.size(), second.c_str(), second.size());
  bool ran = harness.RunFile(block.get(), 120000, StartFileWipe);
  bool held = WorkPending();
  ASSERT_TRUE(AskHost(drive, "swap chainswap/d chainswap/parked chainswap/sys\n"));
  WriteBlockPaths(*block.get(), second.c_str(), second.size(), nullptr, 0);
  ran = harness.RunFile(block.get(), 120000, StartFileWipe) && ran;
  bool heldAfter = WorkPending();
  ASSERT_TRUE(AskHost(drive, "unswap chainswap/d chainswap/parked\n"));
  gFileGuard = SystemGuard;
  ASSERT_TRUE(ran);
  EXPECT_TRUE(held);
  EXPECT_FALSE(heldAfter);
  std::map<std::u16string, std::string> protectedAfter, swapped;
  FolderContents(base + u"\\sys", protectedAfter);
  FolderContents(base + u"\\d", swapped);
  EXPECT_EQ((std::map<std::u16string, std::string>{{u"\\" + FileName(0), "precious"}, {u"\\" + FileName(1), "precious"}}),
            protectedAfter)
      << harness.LogText();
  // The first file wiped, the second left as it was. Under Wine the folder's
  // work, done through its path, cannot be done while the path leads
  // elsewhere: what is left undone (its private folder, its old names) is
  // named and counted, as when the swap comes within one call.
  EXPECT_TRUE(harness.Logged(FileName(0) + u": 1 file and 0 folders wiped")) << harness.LogText();
  EXPECT_EQ(0u, swapped.count(u"\\" + FileName(0)));
  EXPECT_EQ("ticked", swapped[u"\\" + FileName(1)]);
  int undone = 0;
  for (const auto& [path, content] : swapped) {
    if (path == u"\\" + FileName(1)) continue;
    ++undone;
    EXPECT_TRUE(path.back() == u'\\' && harness.Logged(u"Could not remove the folder " + base + u"\\d" +
                                                        path.substr(0, path.size() - 1)))
        << Narrow(path) << " left unnamed\n" << harness.LogText();
  }
  if (harness.Logged(u"Did not overwrite the old names in " + base + u"\\d")) ++undone;
  EXPECT_TRUE(harness.Logged(u"Did not wipe " + second + u": it is, holds or lies in")) << harness.LogText();
  EXPECT_LE(1 + undone, block->Reserved2) << harness.LogText();
}

// The held folder moved into a protected folder between two calls of a
// chain, a link to it put at its old path: the path still leads to the folder
// held, yet it lies in the protected folder now. The next calls (a ticked
// folder, then a file) are handled as first ones and refused; nothing in the
// protected folder is wiped.
TEST(SwappedFolder, AChainWhoseFolderWasMovedIntoAProtectedFolderAndLinkedBackIsRefused) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("a chain's folder moved into a protected folder between calls");
  std::u16string base = Root(drive) + u"chainmove";
  ASSERT_NO_FATAL_FAILURE(MakeFolders(base, {u"\\d", u"\\d\\sub", u"\\sys"}));
  ASSERT_TRUE(WriteWholeFile(base + u"\\sys\\keep.txt", "precious"));
  ASSERT_TRUE(WriteWholeFile(base + u"\\d\\sub\\inner.txt", "ticked"));
  for (int i = 0; i < 2; ++i) ASSERT_TRUE(WriteWholeFile(base + u"\\d\\" + FileName(i), "ticked"));
  gRaceGuard = std::make_shared<const ProtectedFolders>(ProtectedFolders::ForPaths({base + u"\\sys"}));
  gFileGuard = RaceGuard;
  Harness harness;
  Block block(harness.wnd(), 0, kOnePass);
  const std::vector<std::u16string> paths = {base + u"\\d\\" + FileName(0), base + u"\\d\\sub",
                                             base + u"\\d\\" + FileName(1)};
  WriteBlockPaths(*block.get(), paths[0].c_str(), paths[0].size(), paths[1].c_str(), paths[1].size());
  bool ran = harness.RunFile(block.get(), 120000, StartFileWipe);
  const bool held = WorkPending();
  ASSERT_TRUE(AskHost(drive, "swap chainmove/d chainmove/sys/d chainmove/sys/d\n"));
  WriteBlockPaths(*block.get(), paths[1].c_str(), paths[1].size(), paths[2].c_str(), paths[2].size());
  ran = harness.RunFile(block.get(), 120000, StartFileWipe) && ran;
  WriteBlockPaths(*block.get(), paths[2].c_str(), paths[2].size(), nullptr, 0);
  ran = harness.RunFile(block.get(), 120000, StartFileWipe) && ran;
  const bool heldAfter = WorkPending();
  std::map<std::u16string, std::string> inProtected;
  FolderContents(base + u"\\sys", inProtected);
  ASSERT_TRUE(AskHost(drive, "unswap chainmove/d chainmove/sys/d\n"));
  gFileGuard = SystemGuard;
  ASSERT_TRUE(ran);
  EXPECT_TRUE(held);
  EXPECT_FALSE(heldAfter);
  EXPECT_TRUE(harness.Logged(FileName(0) + u": 1 file and 0 folders wiped")) << harness.LogText();
  // What now lies in the protected folder stays as it was, and nothing else
  // is left there (the private folder and the fillers of the first call are gone).
  EXPECT_EQ((std::map<std::u16string, std::string>{{u"\\keep.txt", "precious"},
                                                    {u"\\d\\", ""},
                                                    {u"\\d\\sub\\", ""},
                                                    {u"\\d\\sub\\inner.txt", "ticked"},
                                                    {u"\\d\\" + FileName(1), "ticked"}}),
            inProtected)
      << harness.LogText();
  for (size_t i = 1; i < paths.size(); ++i)
    EXPECT_TRUE(harness.Logged(u"Did not wipe " + paths[i] + u": it is, holds or lies in " + base + u"\\sys"))
        << harness.LogText();
  // Nothing is made in the folder where it lies now: the first file's old
  // name is not overwritten, and that is counted too.
  EXPECT_TRUE(harness.Logged(u"Did not overwrite the old names in " + base + u"\\d: it was moved or replaced"))
      << harness.LogText();
  EXPECT_EQ(3, block->Reserved2) << harness.LogText();
}

// The held folder renamed between two calls to a name differing only in case
// ("Data" to "data"): the path of the next call opens it still where names
// are looked up without case, yet the folder named is not there. The call is
// refused as a first call would be.
TEST(SwappedFolder, AChainWhoseFolderWasRenamedInCaseBetweenCallsIsRefused) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("a chain's folder renamed in case between calls");
  std::u16string base = Root(drive) + u"chaincase";
  ASSERT_NO_FATAL_FAILURE(MakeFolders(base, {u"\\Data"}));
  for (int i = 0; i < 2; ++i) ASSERT_TRUE(WriteWholeFile(base + u"\\Data\\" + FileName(i), "ticked"));
  Harness harness;
  Block block(harness.wnd(), 0, kOnePass);
  const std::u16string first = base + u"\\Data\\" + FileName(0), second = base + u"\\Data\\" + FileName(1);
  WriteBlockPaths(*block.get(), first.c_str(), first.size(), second.c_str(), second.size());
  bool ran = harness.RunFile(block.get(), 120000, StartFileWipe);
  const bool held = WorkPending();
  // "data" made, then the link-free rename: the file goes and "Data" takes its name.
  ASSERT_TRUE(AskHost(drive, "file chaincase/data x\nunswap chaincase/data chaincase/Data\n"));
  std::vector<std::u16string> names = ListNames(base);
  if (names != std::vector<std::u16string>{u"data"}) QV_SKIP_LOUDLY("the host could not rename the folder in case");
  WriteBlockPaths(*block.get(), second.c_str(), second.size(), nullptr, 0);
  ran = harness.RunFile(block.get(), 120000, StartFileWipe) && ran;
  ASSERT_TRUE(ran);
  EXPECT_TRUE(held);
  EXPECT_FALSE(WorkPending());
  std::string content;
  EXPECT_TRUE(ReadWholeFile(base + u"\\data\\" + FileName(1), content)) << harness.LogText();
  EXPECT_EQ("ticked", content);
  EXPECT_TRUE(harness.Logged(u"Could not find " + second + u": the folder " + base + u"\\Data is not there"))
      << harness.LogText();
  // No filler is made in it (under Wine they could not be deleted again, by
  // the path the folder was opened by, which leads nowhere now): its old
  // names are left, and that is counted. Its private folder, which cannot be
  // removed for the same reason, is named and counted.
  EXPECT_TRUE(harness.Logged(u"Did not overwrite the old names in " + base + u"\\Data: it was moved or replaced"))
      << harness.LogText();
  int undone = 0;
  for (const std::u16string& name : ListNames(base + u"\\data")) {
    if (name == FileName(1)) continue;
    ++undone;
    EXPECT_TRUE(harness.Logged(u"Could not remove the folder " + base + u"\\Data\\" + name))
        << Narrow(name) << " left unnamed\n" << harness.LogText();
  }
  EXPECT_EQ(2 + undone, block->Reserved2) << harness.LogText();
}

}  // namespace
}  // namespace qv::engine::test

namespace qv::engine::test {
namespace {

// A system renaming by path, with the folder swapped within the call, moves
// the item of the same name of the folder swapped in instead of the ticked
// one: the stand-in call does exactly that once. With `swapBack`, the folder
// stays swapped for a moment and turns back, as under a swapping process, and
// the item goes back where it came from; without, it cannot be found again
// and stays, untouched, in the folder made for renaming, which the log names.
struct DisplacedCase {
  const char* name;
  bool swapBack;
};

class DisplacedTest : public ::testing::TestWithParam<DisplacedCase> {};

std::u16string gVictim;
char gDrive = 0;
std::string gTop;
bool gSwapBack = false;
std::thread gTurnBack;

bool RenameAnotherInstead(HANDLE, HANDLE folder, const std::u16string& name, DWORD& error) {
  gRename = RenameBelow;
  HANDLE victim = CreateFileW(Wide(gVictim), DELETE | FILE_READ_ATTRIBUTES, 7, nullptr, OPEN_EXISTING, 0, nullptr);
  bool moved = victim != INVALID_HANDLE_VALUE && RenameBelow(victim, folder, name, error);
  if (victim != INVALID_HANDLE_VALUE) CloseHandle(victim);
  if (!moved) return false;
  if (gSwapBack) {
    EXPECT_TRUE(AskHost(gDrive, "swap " + gTop + "/d " + gTop + "/parked " + gTop + "/sys\n"));
    gTurnBack = std::thread([] {
      Sleep(60);
      EXPECT_TRUE(AskHost(gDrive, "unswap " + gTop + "/d " + gTop + "/parked\n"));
    });
  }
  error = 0;
  return true;
}

TEST_P(DisplacedTest, TheOtherItemIsPutBackOrLeftUntouchedAndTheTickedFileKept) {
  const DisplacedCase& c = GetParam();
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("an item renamed in place of the ticked one");
  gDrive = drive;
  gTop = std::string("displaced-") + c.name;
  gSwapBack = c.swapBack;
  std::u16string base = Root(drive) + Utf16(gTop);
  ASSERT_NO_FATAL_FAILURE(MakeFolders(base, {u"\\d", u"\\sys"}));
  ASSERT_TRUE(WriteWholeFile(base + u"\\d\\f.txt", "ticked"));
  ASSERT_TRUE(WriteWholeFile(base + u"\\sys\\f.txt", "precious"));
  gVictim = base + u"\\sys\\f.txt";
  Harness harness;
  Block block(harness.wnd(), 0, kOnePass);
  std::vector<PassSpec> passes = DecodePasses(&block->Passes[0][0], block->PassCount);
  ProtectedFolders guard = ProtectedFolders::ForPaths({base + u"\\sys"});
  WipeResult result = WipeResult::Wiped;
  gRename = RenameAnotherInstead;
  ASSERT_TRUE(harness.RunInProcess([&] {
    Reporter reporter(block.get());
    result = TreeWiper(reporter, passes, guard).Wipe(base + u"\\d\\f.txt");
  }));
  if (gTurnBack.joinable()) gTurnBack.join();
  gRename = RenameBelow;
  EXPECT_EQ(WipeResult::Failed, result);
  EXPECT_EQ(1, block->Reserved2) << harness.LogText();
  std::string ticked;
  EXPECT_TRUE(ReadWholeFile(base + u"\\d\\f.txt", ticked)) << harness.LogText();
  EXPECT_EQ("", ticked) << "overwritten and emptied, not deleted";
  std::map<std::u16string, std::string> protectedAfter, swapped;
  FolderContents(base + u"\\sys", protectedAfter);
  FolderContents(base + u"\\d", swapped);
  if (c.swapBack) {
    EXPECT_TRUE(harness.Logged(u"that item was put back unchanged")) << harness.LogText();
    EXPECT_EQ((std::map<std::u16string, std::string>{{u"\\f.txt", "precious"}}), protectedAfter);
    EXPECT_EQ((std::map<std::u16string, std::string>{{u"\\f.txt", ""}}), swapped) << harness.LogText();
    return;
  }
  EXPECT_TRUE(harness.Logged(u"was left unchanged as")) << harness.LogText();
  EXPECT_TRUE(protectedAfter.empty());
  int kept = 0;
  for (const auto& [path, content] : swapped) {
    if (content != "precious") continue;
    ++kept;
    EXPECT_TRUE(harness.Logged(Utf16("\\d" + Narrow(path)))) << Narrow(path) << "\n" << harness.LogText();
  }
  EXPECT_EQ(1, kept) << harness.LogText();
}

INSTANTIATE_TEST_SUITE_P(SwappedFolder, DisplacedTest,
                         ::testing::Values(DisplacedCase{"swapped_back", true}, DisplacedCase{"not_found", false}),
                         [](const ::testing::TestParamInfo<DisplacedCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qv::engine::test

namespace qv::engine::test {
namespace {

// What a held folder's handle lists and opens once its path leads elsewhere,
// and that a listing is read as the folder is at that moment.
TEST(SwappedFolder, AHeldFolderListsAndOpensWhatItHolds) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("a held folder swapped for a link");
  std::u16string base = Root(drive) + u"heldlist";
  ASSERT_NO_FATAL_FAILURE(MakeFolders(base, {u"\\d", u"\\sys"}));
  ASSERT_TRUE(WriteWholeFile(base + u"\\d\\mine.txt", "mine"));
  ASSERT_TRUE(WriteWholeFile(base + u"\\sys\\theirs.txt", "theirs"));
  HANDLE held = CreateFileW(Wide(base + u"\\d"), FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES, 7,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  ASSERT_TRUE(AskHost(drive, "swap heldlist/d heldlist/parked heldlist/sys\n"));
  bool mine = false, theirs = false;
  DWORD error = 0;
  EXPECT_TRUE(ListsName(held, u"mine.txt", mine, error));
  EXPECT_TRUE(ListsName(held, u"theirs.txt", theirs, error));
  HANDLE opened = OpenBelow(held, u"mine.txt", FILE_READ_ATTRIBUTES, 7, 0, error);
  const bool opens = opened != INVALID_HANDLE_VALUE;
  if (opens) CloseHandle(opened);
  // Listed again as it is now, not as it was (the system keeps the first list
  // of a handle).
  bool later = false, gone = true;
  ASSERT_TRUE(WriteWholeFile(base + u"\\parked\\later.txt", "later"));
  ASSERT_TRUE(DeleteFileW(Wide(base + u"\\parked\\mine.txt")));
  EXPECT_TRUE(ListsName(held, u"later.txt", later, error));
  EXPECT_TRUE(ListsName(held, u"mine.txt", gone, error));
  std::printf("held folder swapped: lists mine %d theirs %d, opens mine %d, later %d, deleted %d\n", mine, theirs,
              opens, later, gone);
  EXPECT_TRUE(later);
  EXPECT_FALSE(gone);
  CloseHandle(held);
  EXPECT_TRUE(AskHost(drive, "unswap heldlist/d heldlist/parked\n"));
  EXPECT_TRUE(mine);
  EXPECT_FALSE(theirs);
  EXPECT_TRUE(opens);
}

}  // namespace
}  // namespace qv::engine::test
