// The file task against drives the test script maps: a folder drive, a
// folder drive on a loop-mounted file system whose image is scanned raw
// after unmounting, and a drive whose root is wiped.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <thread>

#include "EngineHarness.h"
#include "QuorvanellBlockPaths.h"
#include "Removal.h"

namespace qv::engine::test {
namespace {

const std::vector<PassBytes> kThreePasses = {{0x00, 0x20, 0x20, 0x20}, {0xFF, 0, 0, 0}, {0x00, 0x92, 0x49, 0x24}};
const char kContentMarker[] = "QV-CONTENT-MARKER-5e1f0c";
const char kNameMarker[] = "QVNAMEMARK";

std::string MarkerContent(size_t bytes) {
  std::string content;
  while (content.size() < bytes) content += kContentMarker + std::to_string(content.size()) + "\n";
  return content;
}

std::u16string Join(const std::u16string& a, const std::u16string& b) {
  return a.back() == u'\\' ? a + b : a + u"\\" + b;
}

bool MakeFolder(const std::u16string& path) {
  return CreateDirectoryW(reinterpret_cast<const wchar_t*>(path.c_str()), nullptr) != FALSE;
}

// A name carrying the marker the raw scan looks for.
std::u16string Marked(const std::u16string& rest) { return Utf16(kNameMarker) + rest; }

// The mounted image's drive and the drive its volume is read raw through;
// false unless the script mapped both.
bool ImageDrives(char& drive, char& raw) {
  drive = TestDrive("IMAGE_DRIVE");
  raw = TestDrive("IMAGE_RAW");
  return drive && raw;
}

TEST(FileWipeTest, TreeWithMarkersLeavesNoFileNameOrFolder) {
  char drive = 0, raw = 0;
  if (!ImageDrives(drive, raw)) QV_SKIP_LOUDLY("file wipe on a mounted image");
  std::u16string top = Root(drive) + Marked(u"_tree");
  ASSERT_TRUE(MakeFolder(top));
  ASSERT_TRUE(MakeFolder(Join(top, Marked(u"_sub"))));
  ASSERT_TRUE(MakeFolder(Join(top, u"empty")));
  const size_t sizes[] = {0, 1, 4095, 4096, 70000, 1 << 20};
  int files = 0;
  for (size_t size : sizes) {
    std::u16string name = Marked(u"_" + Utf16(std::to_string(size)) + u".txt");
    ASSERT_TRUE(WriteWholeFile(Join(top, name), MarkerContent(size)));
    ASSERT_TRUE(WriteWholeFile(Join(Join(top, Marked(u"_sub")), name), MarkerContent(size)));
    files += 2;
  }
  std::u16string readOnly = Join(top, Marked(u"_readonly.txt"));
  ASSERT_TRUE(WriteWholeFile(readOnly, MarkerContent(9000)));
  ASSERT_TRUE(SetFileAttributesW(reinterpret_cast<const wchar_t*>(readOnly.c_str()), FILE_ATTRIBUTE_READONLY));
  ++files;
  std::vector<uint8_t> image;
  ASSERT_TRUE(ReadVolume(raw, image));
  ASSERT_GT(CountOccurrences(image, kContentMarker), 100u) << "the markers never reached the image";

  Harness harness;
  Block block(harness.wnd(), 0, kThreePasses, top);
  ASSERT_TRUE(harness.RunFile(block.get()));
  EXPECT_EQ(0, block->Reserved2) << harness.LogText();
  EXPECT_FALSE(Exists(top));
  EXPECT_TRUE(ListNames(Root(drive)).empty() || ListNames(Root(drive)) == std::vector<std::u16string>{u"lost+found"});
  EXPECT_EQ(size_t(files), harness.FinishedWiped());
  EXPECT_TRUE(harness.Logged(u"13 files and 3 folders wiped")) << harness.LogText();
  // The raw scan follows in UnmountedImageScan, after the script unmounts.
}

// Files ticked one by one, each call naming the next (the folder's fillers
// then run once, in the last call): the raw scan after the unmount finds none
// of their names either.
TEST(FileWipeTest, SingleTicksNamingTheNextLeaveNoFileName) {
  char drive = 0, raw = 0;
  if (!ImageDrives(drive, raw)) QV_SKIP_LOUDLY("single ticks on a mounted image");
  std::u16string top = Root(drive) + Marked(u"_ticks");
  ASSERT_TRUE(MakeFolder(top));
  std::vector<std::u16string> paths;
  for (int i = 0; i < 24; ++i) {
    paths.push_back(Join(top, Marked(u"_single_" + Utf16(std::to_string(i)) + u".txt")));
    ASSERT_TRUE(WriteWholeFile(paths.back(), MarkerContent(4096)));
  }
  Harness harness;
  Block block(harness.wnd(), 0, kThreePasses);
  for (size_t i = 0; i < paths.size(); ++i) {
    std::u16string next = i + 1 < paths.size() ? paths[i + 1] : u"";
    WriteBlockPaths(*block.get(), paths[i].c_str(), paths[i].size(), next.c_str(), next.size());
    ASSERT_TRUE(harness.RunFile(block.get()));
  }
  EXPECT_EQ(0, block->Reserved2) << harness.LogText();
  EXPECT_EQ(paths.size(), harness.FinishedWiped());
  EXPECT_TRUE(ListNames(top).empty()) << "a filler or the folder for renaming was left";
  // The emptied folder goes too, ticked as a folder.
  Block folder(harness.wnd(), 0, kThreePasses, top);
  ASSERT_TRUE(harness.RunFile(folder.get()));
  EXPECT_FALSE(Exists(top));
  EXPECT_EQ(0, folder->Reserved2) << harness.LogText();
}

TEST(UnmountedImageScanAfterUnmount, NoMarkerOrNameIsLeftInTheImage) {
  char raw = TestDrive("IMAGE_RAW");
  if (!raw) QV_SKIP_LOUDLY("raw scan of the file-wipe image");
  std::vector<uint8_t> image;
  ASSERT_TRUE(ReadVolume(raw, image));
  EXPECT_EQ(0u, CountOccurrences(image, kContentMarker));
  EXPECT_EQ(0u, CountOccurrences(image, kNameMarker));
}

TEST(FileWipeTest, LinksAreRemovedWithoutTouchingTheirTargets) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("links on a folder drive");
  // The script made links\tree with a plain file, a link to links\outside and
  // a link to links\outside\keep.txt.
  std::u16string tree = Root(drive) + u"links\\tree";
  std::u16string keep = Root(drive) + u"links\\outside\\keep.txt";
  std::string before;
  ASSERT_TRUE(ReadWholeFile(keep, before));
  ASSERT_TRUE(Exists(Join(tree, u"flink")));
  Harness harness;
  Block block(harness.wnd(), 0, kThreePasses, tree);
  ASSERT_TRUE(harness.RunFile(block.get()));
  std::string after;
  ASSERT_TRUE(ReadWholeFile(keep, after));
  EXPECT_EQ(before, after) << harness.LogText();
  EXPECT_TRUE(Exists(Root(drive) + u"links\\outside"));
  EXPECT_FALSE(Exists(Join(tree, u"plain.txt")));
  // Each link is removed, or, where the system cannot remove it without
  // reaching its target, reported and left; never followed.
  int left = 0;
  for (const char16_t* name : {u"dlink", u"flink"}) {
    if (!Exists(Join(tree, name))) continue;
    ++left;
    EXPECT_TRUE(harness.Logged(u"Left the link " + Join(tree, name)) ||
                harness.Logged(u"Could not remove the link " + Join(tree, name)))
        << harness.LogText();
  }
  EXPECT_EQ(left, block->Reserved2) << harness.LogText();  // the folder kept for them is no failure of its own
  EXPECT_EQ(left == 0, !Exists(tree));
}

TEST(FileWipeTest, LockedFileIsReportedOnceAndLeftWithTheFoldersHoldingIt) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("locked files on a folder drive");
  std::u16string top = Root(drive) + u"locked";
  ASSERT_TRUE(MakeFolder(top));
  ASSERT_TRUE(MakeFolder(Join(top, u"a")));
  ASSERT_TRUE(MakeFolder(Join(top, u"a\\b")));
  ASSERT_TRUE(WriteWholeFile(Join(top, u"free.txt"), MarkerContent(5000)));
  std::u16string lockedPath = Join(top, u"a\\b\\busy.txt");
  ASSERT_TRUE(WriteWholeFile(lockedPath, MarkerContent(5000)));
  HANDLE holder = CreateFileW(reinterpret_cast<const wchar_t*>(lockedPath.c_str()), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, holder);
  Harness harness;
  Block block(harness.wnd(), 0, kThreePasses, top);
  ASSERT_TRUE(harness.RunFile(block.get()));
  CloseHandle(holder);
  std::string content;
  EXPECT_TRUE(ReadWholeFile(lockedPath, content));
  EXPECT_EQ(MarkerContent(5000), content);
  EXPECT_FALSE(Exists(Join(top, u"free.txt")));
  EXPECT_TRUE(harness.Logged(u"Could not open " + Root(drive) + u"locked\\a\\b\\busy.txt")) << harness.LogText();
  // The three folders holding it stay, said in the log; the one failure is the file's.
  for (const char16_t* kept : {u"locked\\a\\b", u"locked\\a", u"locked"})
    EXPECT_TRUE(harness.Logged(u"Kept the folder " + Root(drive) + kept + u" because")) << harness.LogText();
  EXPECT_EQ(1, block->Reserved2);
  EXPECT_TRUE(harness.Logged(u"1 item could not be wiped")) << harness.LogText();
}

TEST(FileWipeTest, DriveRootIsEmptiedButKept) {
  char drive = TestDrive("ROOT_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("wiping a drive root");
  ASSERT_TRUE(MakeFolder(Root(drive) + u"a"));
  ASSERT_TRUE(WriteWholeFile(Root(drive) + u"a\\one.txt", MarkerContent(3000)));
  ASSERT_TRUE(WriteWholeFile(Root(drive) + u"two.txt", MarkerContent(10)));
  Harness harness;
  // "R:" names the drive's root, not its current folder.
  Block block(harness.wnd(), 0, kThreePasses, std::u16string(1, char16_t(drive)) + u":");
  ASSERT_TRUE(harness.RunFile(block.get()));
  EXPECT_EQ(0, block->Reserved2) << harness.LogText();
  EXPECT_TRUE(Exists(Root(drive)));
  EXPECT_TRUE(ListNames(Root(drive)).empty());
  EXPECT_EQ(2u, harness.FinishedWiped());
}

TEST(FileWipeTest, LongPathsTrailingBackslashAndProgressOfEachFile) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("long paths on a folder drive");
  std::u16string top = Root(drive) + u"long";
  ASSERT_TRUE(MakeFolder(top));
  std::u16string deep = top;
  for (int i = 0; i < 5; ++i) {
    deep = Join(deep, std::u16string(60, char16_t(u'a' + i)));
    ASSERT_TRUE(MakeFolder(u"\\\\?\\" + deep));
  }
  ASSERT_GT(deep.size(), 300u);
  ASSERT_TRUE(WriteWholeFile(u"\\\\?\\" + Join(deep, u"file.bin"), MarkerContent(3 << 20)));
  Harness harness;
  Block block(harness.wnd(), 0, kThreePasses, top + u"\\");  // a trailing backslash names the folder
  ASSERT_TRUE(harness.RunFile(block.get()));
  EXPECT_EQ(0, block->Reserved2) << harness.LogText();
  EXPECT_FALSE(Exists(top));
  ASSERT_EQ(1u, harness.FinishedWiped());
  // Percent rises within the file; the messages point to the file itself.
  // Each folder is finished as removed (State 3), named with a backslash, the deepest first.
  int last = -1;
  std::vector<std::u16string> folders;
  for (const ProgressEvent& e : harness.progress) {
    if (e.state >= 3) {
      if (e.state == 3 && e.progress == 100) folders.push_back(e.path);
      continue;
    }
    EXPECT_GE(e.progress, last);
    last = e.progress;
    EXPECT_EQ(Join(deep, u"file.bin"), e.path);
    EXPECT_EQ(int64_t(MarkerContent(3 << 20).size()), e.total);
  }
  EXPECT_EQ(100, last);
  std::vector<std::u16string> want;
  for (std::u16string at = deep; at.size() >= top.size(); at.resize(at.find_last_of(u'\\'))) want.push_back(at + u'\\');
  EXPECT_EQ(folders, want);
}

// A folder of small files: every file ends with a message of its own naming
// it (what the wizard counts and shows), while the messages of files at work
// come at most one per throttle interval (50 ms), not one per file.
TEST(FileWipeTest, SmallFilesEachFinishByNameWhileWorkMessagesAreThrottled) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("many small files on a folder drive");
  std::u16string top = Root(drive) + u"small";
  ASSERT_TRUE(MakeFolder(top));
  std::vector<std::u16string> paths;
  for (int i = 0; i < 100; ++i) {
    paths.push_back(Join(top, u"f" + Utf16(std::to_string(i)) + u".txt"));
    ASSERT_TRUE(WriteWholeFile(paths.back(), MarkerContent(100 + i)));
  }
  Harness harness;
  Block block(harness.wnd(), 0, {{0x00, 0x20, 0x20, 0x20}}, top);
  DWORD begin = GetTickCount();
  ASSERT_TRUE(harness.RunFile(block.get()));
  DWORD elapsed = GetTickCount() - begin;
  EXPECT_EQ(0, block->Reserved2) << harness.LogText();
  EXPECT_FALSE(Exists(top));
  std::vector<std::u16string> finished;
  size_t working = 0;
  for (const ProgressEvent& e : harness.progress) {
    if (e.state == 0 && e.progress == 100) finished.push_back(e.path);
    if (e.state == 1) ++working;
  }
  std::sort(finished.begin(), finished.end());
  std::sort(paths.begin(), paths.end());
  EXPECT_EQ(paths, finished);
  EXPECT_LE(working, 2 + elapsed / 50) << elapsed << " ms";
}

TEST(FileWipeTest, UnusableBlocksAreReportedAndTouchNothing) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("bad parameter blocks");
  std::u16string victim = Root(drive) + u"victim.txt";
  ASSERT_TRUE(WriteWholeFile(victim, "keep me"));
  struct BadCase {
    const char* what;
    std::vector<PassBytes> passes;
    bool fillPath;
    int passCount;
    const char16_t* expected;
  } cases[] = {
      {"no passes", {}, false, 0, u"No valid wipe passes"},
      {"101 passes", {{0, 0, 0, 0}}, false, 101, u"No valid wipe passes"},
      {"path without end", kThreePasses, true, 3, u"longer than 4095"},
      {"missing path", kThreePasses, false, 3, u"Could not find"},
      {"relative path", kThreePasses, false, 3, u"Not a usable path"},
  };
  for (const BadCase& c : cases) {
    Harness harness;
    std::u16string path = std::strcmp(c.what, "missing path") == 0    ? Root(drive) + u"nothing-here"
                          : std::strcmp(c.what, "relative path") == 0 ? u"victim.txt"
                                                                      : victim;
    Block block(harness.wnd(), 0, c.passes, path);
    block->PassCount = c.passCount;
    if (c.fillPath) {
      for (int i = 0; i < kBlockTextChars; ++i) block->Path[i] = u'a';
    }
    ASSERT_TRUE(harness.RunFile(block.get())) << c.what;
    EXPECT_EQ(1, block->Reserved2) << c.what;
    EXPECT_TRUE(harness.Logged(c.expected)) << c.what << "\n" << harness.LogText();
    std::string content;
    EXPECT_TRUE(ReadWholeFile(victim, content) && content == "keep me") << c.what;
  }
}

TEST(FileWipeTest, StopEndsTheRunPromptlyAndLeavesTheFile) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("stopping a file wipe");
  std::u16string folder = Root(drive) + u"stop";
  ASSERT_TRUE(MakeFolder(folder));
  std::u16string big = Join(folder, u"big.bin");
  ASSERT_TRUE(WriteWholeFile(big, std::string(256 << 20, 'x')));
  Harness harness;
  StopAtFirstProgress(harness);
  Block block(harness.wnd(), 0, kThreePasses, big);
  ASSERT_TRUE(harness.RunFile(block.get()));
  ASSERT_NE(0u, harness.stopTick);
  EXPECT_LT(harness.endTick - harness.stopTick, 1000u);
  EXPECT_TRUE(harness.Logged(u"Stopped")) << harness.LogText();
  EXPECT_EQ(0u, harness.FinishedWiped());
  // Left under its own name: nothing renamed, nothing created beside it.
  EXPECT_EQ(std::vector<std::u16string>{u"big.bin"}, ListNames(folder));
  DeleteFileW(reinterpret_cast<const wchar_t*>(big.c_str()));
}

}  // namespace
}  // namespace qv::engine::test

namespace qv::engine::test {
namespace {

TEST(RemovalTest, DeletionWaitsForAHolderThatLetsGoSoon) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("deletion retries on a folder drive");
  std::u16string path = Root(drive) + u"held.txt";
  ASSERT_TRUE(WriteWholeFile(path, "held"));
  // A scanner's way of holding a file: open, without sharing deletion.
  HANDLE holder = CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, holder);
  if (DeleteFileW(reinterpret_cast<const wchar_t*>(path.c_str()))) GTEST_SKIP() << "this system deletes held files";
  std::thread releaser([holder] {
    Sleep(150);
    CloseHandle(holder);
  });
  EXPECT_TRUE(DeleteFileRetrying(path));
  releaser.join();
  EXPECT_FALSE(Exists(path));
  // A lasting refusal gives up with the system's error.
  EXPECT_FALSE(DeleteFileRetrying(Root(drive) + u"no-such-file.txt"));
  EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), GetLastError());
}

}  // namespace
}  // namespace qv::engine::test
