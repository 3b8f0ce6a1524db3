// A folder swapped for a link to another folder while the wipe works in it:
// at each step of the run (entering, overwriting, renaming, deleting,
// removing a link, removing a folder) the host side of the test script moves
// the folder away and puts a link to a victim folder in its place. The victim
// holds entries of the very same names; nothing in it may change, and the
// run must report that something could not be wiped.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <thread>

#include "EngineHarness.h"
#include "FileWiper.h"
#include "TreeWiper.h"

namespace qv::engine::test {
namespace {

const std::vector<PassBytes> kOnePass = {{0x00, 0x20, 0x20, 0x20}};

const wchar_t* Wide(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
bool MakeFolder(const std::u16string& path) { return CreateDirectoryW(Wide(path), nullptr) != FALSE; }

struct SwapCase {
  const char* name;
  WipeStep step;
  bool wholeTree;  // else the single file tree\sub\listed.txt is wiped
};

class SwapProofTest : public ::testing::TestWithParam<SwapCase> {};

TEST_P(SwapProofTest, NothingInTheVictimChangesAndTheRunReportsIt) {
  const SwapCase& c = GetParam();
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("folders swapped during a run");
  std::string top = std::string("swapproof-") + c.name;
  std::u16string base = Root(drive) + Utf16(top);
  ASSERT_TRUE(MakeFolder(base));
  for (const char16_t* folder : {u"\\tree", u"\\tree\\sub", u"\\tree\\sub\\inner", u"\\victim", u"\\victim\\inner"})
    ASSERT_TRUE(MakeFolder(base + folder));
  ASSERT_TRUE(WriteWholeFile(base + u"\\tree\\sub\\listed.txt", std::string(200000, 'L')));
  ASSERT_TRUE(WriteWholeFile(base + u"\\outside.txt", "the link's target"));
  for (const char16_t* file : {u"\\victim\\listed.txt", u"\\victim\\flink", u"\\victim\\inner\\keep.txt"})
    ASSERT_TRUE(WriteWholeFile(base + file, "precious " + Narrow(file)));
  if (c.step == WipeStep::RemovingLink) {
    ASSERT_TRUE(AskHost(drive, "link " + top + "/tree/sub/flink ../../outside.txt\n"));
  }
  std::map<std::u16string, std::string> victimBefore;
  FolderContents(base + u"\\victim", victimBefore);
  ASSERT_EQ(4u, victimBefore.size());

  std::u16string sub = base + u"\\tree\\sub";
  int swaps = 0;
  gWipeStep = [&](WipeStep step, const std::u16string& longPath) {
    // The first time the step comes for sub itself or anything in it.
    bool inSub = longPath.find(sub + u"\\") != std::u16string::npos ||
                 (longPath.size() >= sub.size() && longPath.compare(longPath.size() - sub.size(), sub.size(), sub) == 0);
    if (step != c.step || !inSub || swaps > 0) return;
    ++swaps;
    EXPECT_TRUE(AskHost(drive, "swap " + top + "/tree/sub " + top + "/parked " + top + "/victim\n"));
  };
  Harness harness;
  Block block(harness.wnd(), 0, kOnePass);
  std::vector<PassSpec> passes = DecodePasses(&block->Passes[0][0], block->PassCount);
  ProtectedFolders guard = ProtectedFolders::ForPaths({});
  std::u16string target = c.wholeTree ? base + u"\\tree" : sub + u"\\listed.txt";
  ASSERT_TRUE(harness.RunInProcess([&] {
    Reporter reporter(block.get());
    TreeWiper(reporter, passes, guard).Wipe(target);
  }));
  gWipeStep = nullptr;
  ASSERT_EQ(1, swaps) << "the step never came" << harness.LogText();
  std::map<std::u16string, std::string> victimAfter;
  FolderContents(base + u"\\victim", victimAfter);
  EXPECT_EQ(victimBefore, victimAfter) << harness.LogText();
  EXPECT_GE(block->Reserved2, 1) << harness.LogText();
  EXPECT_TRUE(harness.Logged(u"moved or replaced") || harness.Logged(u"replaced by another") ||
              harness.Logged(u"Did not enter") || harness.Logged(u"Left the link"))
      << harness.LogText();
  std::string outside;
  EXPECT_TRUE(ReadWholeFile(base + u"\\outside.txt", outside));
  EXPECT_EQ("the link's target", outside);
}

INSTANTIATE_TEST_SUITE_P(EachStep, SwapProofTest,
                         ::testing::Values(SwapCase{"entering", WipeStep::Entering, true},
                                           SwapCase{"overwriting", WipeStep::Overwriting, true},
                                           SwapCase{"renaming", WipeStep::Renaming, true},
                                           SwapCase{"deleting", WipeStep::Deleting, true},
                                           SwapCase{"link", WipeStep::RemovingLink, true},
                                           SwapCase{"folder", WipeStep::RemovingFolder, true},
                                           SwapCase{"single-overwriting", WipeStep::Overwriting, false},
                                           SwapCase{"single-deleting", WipeStep::Deleting, false}),
                         [](const ::testing::TestParamInfo<SwapCase>& info) {
                           std::string name = info.param.name;
                           for (char& ch : name) ch = ch == '-' ? '_' : ch;
                           return name;
                         });

// Two file systems made alike (mounted by the test script at twins\tree\held
// and twins\victim\held): their roots have the same file ID, and under Wine
// the same volume serial. Just before the file is renamed, the folder holding
// the root being worked in is swapped for a link to the folder holding the
// other: the held folder's path then opens the other root, which only its
// volume tells apart. The other root's file of the same name stays.
TEST(TwinVolumeTest, TheLikeRootOfAnotherVolumeIsNotTakenForTheHeldFolder) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive || !std::getenv("QV_TEST_TWIN_VOLUMES")) QV_SKIP_LOUDLY("two file systems made alike");
  std::u16string twins = Root(drive) + u"twins";
  std::u16string path = twins + u"\\tree\\held\\one.txt";
  ASSERT_TRUE(WriteWholeFile(path, std::string(5000, 'o')));
  ASSERT_TRUE(WriteWholeFile(twins + u"\\victim\\held\\one.txt", "precious"));
  std::vector<std::u16string> victimNames = ListNames(twins + u"\\victim\\held");
  int swaps = 0;
  gWipeStep = [&](WipeStep step, const std::u16string&) {
    if (step != WipeStep::Renaming || swaps++) return;
    EXPECT_TRUE(AskHost(drive, "swap twins/tree twins/parked twins/victim\n"));
  };
  Harness harness;
  Block block(harness.wnd(), 0, kOnePass);
  std::vector<PassSpec> passes = DecodePasses(&block->Passes[0][0], block->PassCount);
  ProtectedFolders guard = ProtectedFolders::ForPaths({});
  ASSERT_TRUE(harness.RunInProcess([&] {
    Reporter reporter(block.get());
    TreeWiper(reporter, passes, guard).Wipe(path);
  }));
  gWipeStep = nullptr;
  ASSERT_EQ(1, swaps) << "the step never came" << harness.LogText();
  std::string kept;
  EXPECT_TRUE(ReadWholeFile(twins + u"\\victim\\held\\one.txt", kept)) << harness.LogText();
  EXPECT_EQ("precious", kept);
  EXPECT_EQ(victimNames, ListNames(twins + u"\\victim\\held")) << harness.LogText();
  EXPECT_EQ(1, block->Reserved2) << harness.LogText();
  EXPECT_TRUE(harness.Logged(u"its folder was moved or replaced")) << harness.LogText();
}

// The folders being worked in are held without delete sharing: a program on
// the same system cannot move them away while their entries are wiped.
TEST(HeldFolderTest, AFolderBeingWipedCannotBeMovedMeanwhile) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("held folders");
  std::u16string base = Root(drive) + u"held";
  ASSERT_TRUE(MakeFolder(base));
  ASSERT_TRUE(MakeFolder(base + u"\\tree"));
  ASSERT_TRUE(MakeFolder(base + u"\\tree\\sub"));
  ASSERT_TRUE(WriteWholeFile(base + u"\\tree\\sub\\a.txt", "a"));
  int tries = 0;
  bool moved = false;
  gWipeStep = [&](WipeStep step, const std::u16string&) {
    if (step != WipeStep::Renaming || tries++) return;
    std::thread other([&] {
      moved = MoveFileExW(Wide(base + u"\\tree\\sub"), Wide(base + u"\\parked"), 0) ||
              MoveFileExW(Wide(base + u"\\tree"), Wide(base + u"\\parked"), 0);
    });
    other.join();
  };
  Harness harness;
  Block block(harness.wnd(), 0, kOnePass);
  std::vector<PassSpec> passes = DecodePasses(&block->Passes[0][0], block->PassCount);
  ProtectedFolders guard = ProtectedFolders::ForPaths({});
  ASSERT_TRUE(harness.RunInProcess([&] {
    Reporter reporter(block.get());
    TreeWiper(reporter, passes, guard).Wipe(base + u"\\tree");
  }));
  gWipeStep = nullptr;
  EXPECT_EQ(1, tries);
  EXPECT_FALSE(moved);
  EXPECT_EQ(0, block->Reserved2) << harness.LogText();
  EXPECT_EQ(std::vector<std::u16string>{}, ListNames(base));
}

}  // namespace
}  // namespace qv::engine::test
