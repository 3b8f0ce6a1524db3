// What the engine refuses to destroy, and what it must report, on the test
// drives run-engine-tests.sh maps: protected folders and their ancestors
// (also under another letter), hard-linked files, a folder swapped during a
// run, protected volumes, a volume that cannot be locked, a failing random
// source, space a quota or reserve keeps from the work files, a file stopped
// halfway.
#include <gtest/gtest.h>

#include <thread>

#include "DriveTasks.h"
#include "EngineHarness.h"
#include "SystemRandom.h"
#include "TreeWiper.h"
#include "Volume.h"

namespace qv::engine::test {
namespace {

const std::vector<PassBytes> kOnePass = {{0x00, 0x20, 0x20, 0x20}};
const std::vector<PassBytes> kThreePasses = {{0x00, 0x20, 0x20, 0x20}, {0xFF, 0, 0, 0}, {0x00, 0x92, 0x49, 0x24}};

const wchar_t* Wide(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
bool MakeFolder(const std::u16string& path) { return CreateDirectoryW(Wide(path), nullptr) != FALSE; }

std::string Content(const std::u16string& path) {
  std::string content;
  ReadWholeFile(path, content);
  return content;
}

int64_t SizeOf(const std::u16string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!GetFileAttributesExW(Wide(path), GetFileExInfoStandard, &data)) return -1;
  return int64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

// The drive-name forms the log must never show: "R::" or "R:\:".
void ExpectDriveNamedOnce(const Harness& harness) {
  for (const std::u16string& line : harness.logs) {
    EXPECT_EQ(std::u16string::npos, line.find(u"::")) << Narrow(line);
    EXPECT_EQ(std::u16string::npos, line.find(u":\\:")) << Narrow(line);
  }
}

// Runs the file task's tree wiper in this process with the given guard.
void WipeInProcess(Harness& harness, TWipeParams* block, const ProtectedFolders& guard, const std::u16string& path,
                   const std::function<void(const std::u16string&)>& beforeEnter = nullptr) {
  std::vector<PassSpec> passes = DecodePasses(&block->Passes[0][0], block->PassCount);
  ASSERT_TRUE(harness.RunInProcess([&] {
    Reporter reporter(block);
    TreeWiper wiper(reporter, passes, guard);
    wiper.beforeEnter = beforeEnter;
    wiper.Wipe(path);
  }));
}

TEST(ProtectedFolderTest, SystemFoldersAndEveryAncestorAreRefusedUnderAnyLetter) {
  char drive = TestDrive("FOLDER_DRIVE");
  char alias = TestDrive("FOLDER_ALIAS");
  if (!drive || !alias) QV_SKIP_LOUDLY("protected folders on a folder drive");
  std::u16string top = Root(drive) + u"guard";
  for (const char16_t* folder : {u"", u"\\sys", u"\\sys\\windows", u"\\sys\\other", u"\\prog"})
    ASSERT_TRUE(MakeFolder(top + folder));
  const std::u16string files[] = {top + u"\\sys\\windows\\system.ini", top + u"\\sys\\other\\doc.txt",
                                  top + u"\\prog\\program.exe", top + u"\\sys\\beside.txt"};
  for (const std::u16string& file : files) ASSERT_TRUE(WriteWholeFile(file, "content of " + Narrow(file)));
  ProtectedFolders guard = ProtectedFolders::ForPaths({top + u"\\sys\\windows", top + u"\\prog"});

  std::u16string aliasTop = Root(alias) + u"guard";
  const std::u16string refused[] = {top + u"\\sys\\windows", top + u"\\sys", top, Root(drive), top + u"\\prog",
                                    aliasTop + u"\\sys", Root(alias), Root(drive) + u"GUARD\\SYS\\"};
  for (const std::u16string& path : refused) {
    Harness harness;
    Block block(harness.wnd(), 0, kOnePass);
    WipeInProcess(harness, block.get(), guard, path);
    EXPECT_EQ(1, block->Reserved2) << Narrow(path) << "\n" << harness.LogText();
    EXPECT_TRUE(harness.Logged(u"which the system or this program needs")) << harness.LogText();
    for (const std::u16string& file : files) EXPECT_EQ("content of " + Narrow(file), Content(file)) << Narrow(path);
  }
  // Beside them everything stays wipeable.
  Harness harness;
  Block block(harness.wnd(), 0, kOnePass);
  WipeInProcess(harness, block.get(), guard, aliasTop + u"\\sys\\other");
  EXPECT_EQ(0, block->Reserved2) << harness.LogText();
  EXPECT_FALSE(Exists(top + u"\\sys\\other"));
  WipeInProcess(harness, block.get(), guard, top + u"\\sys\\beside.txt");
  EXPECT_EQ(0, block->Reserved2) << harness.LogText();
  EXPECT_FALSE(Exists(top + u"\\sys\\beside.txt"));
  EXPECT_TRUE(Exists(top + u"\\sys\\windows\\system.ini"));
}

TEST(ProtectedFolderTest, ThisSystemGuardsWindowsTheProgramAndTheirRoots) {
  ProtectedFolders guard = ProtectedFolders::ForThisSystem();
  wchar_t windows[MAX_PATH] = {};
  ASSERT_NE(0u, GetWindowsDirectoryW(windows, MAX_PATH));
  wchar_t exe[MAX_PATH] = {};
  ASSERT_NE(0u, GetModuleFileNameW(nullptr, exe, MAX_PATH));
  std::u16string program(reinterpret_cast<const char16_t*>(exe));
  program.resize(program.rfind(u'\\'));
  std::u16string windowsFolder(reinterpret_cast<const char16_t*>(windows));
  // Only looked at, never wiped: identities of the folders and their roots.
  for (const std::u16string& path : {windowsFolder, windowsFolder.substr(0, 3), program, program.substr(0, 3)}) {
    HANDLE handle = CreateFileW(Wide(path), FILE_READ_ATTRIBUTES, 7, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, handle) << Narrow(path);
    HandleFacts facts;
    ASSERT_TRUE(FactsOf(handle, facts));
    CloseHandle(handle);
    EXPECT_NE(nullptr, guard.Covered(facts.identity, u"\\\\?\\X:\\elsewhere")) << Narrow(path);
  }
  const std::u16string* folder = nullptr;
  EXPECT_EQ(ProtectedFolders::DriveKind::Protected, guard.OnDrive(char(windowsFolder[0] & ~0x20), folder));
  char drive = TestDrive("FOLDER_DRIVE");
  if (drive) {
    EXPECT_EQ(ProtectedFolders::DriveKind::Free, guard.OnDrive(drive, folder));
  }
}

TEST(HardLinkTest, AFileWithAnotherNameIsReportedAndLeftWhole) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("hard links on a folder drive");
  std::u16string folder = Root(drive) + u"linked";
  std::u16string elsewhere = Root(drive) + u"linked-elsewhere";
  ASSERT_TRUE(MakeFolder(folder));
  ASSERT_TRUE(MakeFolder(elsewhere));
  std::u16string chosen = folder + u"\\chosen.txt";
  std::u16string other = elsewhere + u"\\other-name.txt";
  ASSERT_TRUE(WriteWholeFile(chosen, "shared data under two names"));
  if (!CreateHardLinkW(Wide(other), Wide(chosen), nullptr)) QV_SKIP_LOUDLY("this system makes no hard links");
  ASSERT_TRUE(WriteWholeFile(folder + u"\\single.txt", "only here"));
  Harness harness;
  Block block(harness.wnd(), 0, kThreePasses, folder);
  ASSERT_TRUE(harness.RunFile(block.get()));
  EXPECT_EQ("shared data under two names", Content(other));
  EXPECT_EQ("shared data under two names", Content(chosen));
  EXPECT_FALSE(Exists(folder + u"\\single.txt"));
  EXPECT_TRUE(harness.Logged(u"(hard links)")) << harness.LogText();
  EXPECT_EQ(1, block->Reserved2) << harness.LogText();  // the file; the folder kept for it is no failure of its own
}

TEST(FolderSwapTest, AFolderReplacedDuringTheRunIsNotEntered) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("a folder swapped during a run");
  std::u16string tree = Root(drive) + u"swap";
  std::u16string victim = Root(drive) + u"swap-victim";
  ASSERT_TRUE(MakeFolder(tree));
  ASSERT_TRUE(MakeFolder(tree + u"\\sub"));
  ASSERT_TRUE(WriteWholeFile(tree + u"\\sub\\listed.txt", "listed"));
  ASSERT_TRUE(MakeFolder(victim));
  ASSERT_TRUE(WriteWholeFile(victim + u"\\precious.txt", "not chosen"));
  ProtectedFolders guard = ProtectedFolders::ForPaths({});
  Harness harness;
  Block block(harness.wnd(), 0, kOnePass);
  int swaps = 0;
  // Between listing "swap" and entering "sub", another thread puts a
  // different folder in its place.
  auto swap = [&](const std::u16string& path) {
    if (path.find(u"\\sub") == std::u16string::npos || swaps++) return;
    std::thread other([&] {
      MoveFileExW(Wide(tree + u"\\sub"), Wide(Root(drive) + u"swap-parked"), 0);
      MoveFileExW(Wide(victim), Wide(tree + u"\\sub"), 0);
    });
    other.join();
  };
  WipeInProcess(harness, block.get(), guard, tree, swap);
  ASSERT_EQ(1, swaps);
  EXPECT_EQ("not chosen", Content(tree + u"\\sub\\precious.txt")) << harness.LogText();
  EXPECT_TRUE(harness.Logged(u"replaced by another folder")) << harness.LogText();
  EXPECT_EQ(1, block->Reserved2) << harness.LogText();  // the folder; its parent kept for it is no failure
}

TEST(FolderSwapTest, ALinkSwappedInDuringTheRunIsNotFollowed) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("a link swapped in during a run");
  std::u16string top = Root(drive) + u"swaplink";
  if (!Exists(top + u"\\tree\\sub\\listed.txt")) QV_SKIP_LOUDLY("the script's link swap is not prepared");
  ProtectedFolders guard = ProtectedFolders::ForPaths({});
  Harness harness;
  Block block(harness.wnd(), 0, kOnePass);
  bool swapped = false;
  // Between listing "tree" and entering "sub", the script puts a link to a
  // folder outside the tree in its place.
  auto swap = [&](const std::u16string& path) {
    if (path.find(u"\\sub") == std::u16string::npos || swapped) return;
    ASSERT_TRUE(WriteWholeFile(top + u"\\.swap-now", ""));
    for (int i = 0; i < 100 && !swapped; ++i) {
      swapped = Exists(top + u"\\.swapped");
      if (!swapped) Sleep(50);
    }
  };
  WipeInProcess(harness, block.get(), guard, top + u"\\tree", swap);
  ASSERT_TRUE(swapped) << "the script did not swap the link in";
  EXPECT_EQ("not chosen\n", Content(Root(drive) + u"swaplink-victim\\precious.txt")) << harness.LogText();
  EXPECT_TRUE(harness.Logged(u"Did not enter the folder " + top + u"\\tree\\sub")) << harness.LogText();
  EXPECT_EQ("listed\n", Content(top + u"\\parked\\listed.txt"));
}

// A disk or free-space run of the engine's own drive code in this process,
// for the block's drive and passes, guarding the given folders.
void RunDriveInProcess(Harness& harness, TWipeParams* block, bool disk, ProtectedFolders guard = {}) {
  DriveJob job;
  job.block = block;
  job.drive = block->Drive;
  job.passes = DecodePasses(&block->Passes[0][0], block->PassCount);
  job.guard = std::move(guard);
  ASSERT_TRUE(harness.RunInProcess([&] { disk ? RunDiskWipe(job) : RunFreeSpaceWipe(job); }));
  EXPECT_EQ(1, harness.done + harness.cancelled);
  ExpectDriveNamedOnce(harness);
}

TEST(ProtectedVolumeTest, AVolumeHoldingAProtectedFolderIsRefusedUnderAnotherLetter) {
  char drive = TestDrive("GUARD_DRIVE");
  char alias = TestDrive("GUARD_ALIAS");
  if (!drive || !alias) QV_SKIP_LOUDLY("protected volumes");
  ASSERT_TRUE(MakeFolder(Root(drive) + u"windows"));
  ASSERT_TRUE(WriteWholeFile(Root(drive) + u"windows\\system.ini", "the system's own"));
  std::vector<uint8_t> before;
  ASSERT_TRUE(ReadVolume(alias, before));
  Harness harness;
  Block block(harness.wnd(), alias, kOnePass);
  RunDriveInProcess(harness, block.get(), /*disk=*/true, ProtectedFolders::ForPaths({Root(drive) + u"windows"}));
  EXPECT_EQ(1, block->Reserved2) << harness.LogText();
  EXPECT_TRUE(harness.Logged(u"which the system or this program needs")) << harness.LogText();
  std::vector<uint8_t> after;
  ASSERT_TRUE(ReadVolume(alias, after));
  EXPECT_EQ(before, after);
  EXPECT_EQ(std::vector<std::u16string>{u"windows"}, ListNames(Root(drive)));
}

TEST(ProtectedVolumeTest, TheFreeSpaceOfTheSystemVolumeIsWiped) {
  // The drive holds "the Windows folder": its free space is the commonest
  // thing to wipe, and nothing of the system's is touched.
  char drive = TestDrive("GUARD_DRIVE");
  char alias = TestDrive("GUARD_ALIAS");
  if (!drive || !alias) QV_SKIP_LOUDLY("the free space of a protected volume");
  CreateDirectoryW(Wide(Root(drive) + u"windows"), nullptr);
  ASSERT_TRUE(WriteWholeFile(Root(drive) + u"windows\\system.ini", "the system's own"));
  const uint64_t freeBefore = FreeBytes(Root(drive));
  for (char letter : {drive, alias}) {
    Harness harness;
    Block block(harness.wnd(), letter, kOnePass);
    RunDriveInProcess(harness, block.get(), /*disk=*/false, ProtectedFolders::ForPaths({Root(drive) + u"windows"}));
    EXPECT_EQ(1, harness.done);
    EXPECT_EQ(0, block->Reserved2) << harness.LogText();
    EXPECT_TRUE(harness.Logged(u"Free space overwritten")) << harness.LogText();
    EXPECT_EQ(std::vector<std::u16string>{u"windows"}, ListNames(Root(drive)));
    EXPECT_EQ("the system's own", Content(Root(drive) + u"windows\\system.ini"));
    EXPECT_EQ(freeBefore, FreeBytes(Root(drive)));
  }
}

TEST(ProtectedVolumeTest, ADriveThatCannotBeIdentifiedIsRefused) {
  char bare = TestDrive("BARE_RAW");
  if (!bare) QV_SKIP_LOUDLY("a drive without a readable root");
  std::vector<uint8_t> before;
  ASSERT_TRUE(ReadVolume(bare, before));
  for (bool disk : {true, false}) {
    Harness harness;
    Block block(harness.wnd(), bare, kOnePass);
    RunDriveInProcess(harness, block.get(), disk, ProtectedFolders::ForThisSystem());
    EXPECT_EQ(1, block->Reserved2) << harness.LogText();
    // The free-space task needs a root to write its work files into.
    EXPECT_TRUE(harness.Logged(disk ? u"cannot be identified" : u"Could not read the free space")) << harness.LogText();
  }
  std::vector<uint8_t> after;
  ASSERT_TRUE(ReadVolume(bare, after));
  EXPECT_EQ(before, after);
}

TEST(VolumeLockTest, AVolumeThatCannotBeLockedIsNotWiped) {
  char raw = TestDrive("SPARE_RAW");
  if (!raw) QV_SKIP_LOUDLY("a volume that cannot be locked");
  std::vector<uint8_t> before;
  ASSERT_TRUE(ReadVolume(raw, before));
  gLockVolume = [](HANDLE) { return false; };  // files are open on it
  Harness harness;
  Block block(harness.wnd(), raw, kOnePass);
  RunDriveInProcess(harness, block.get(), /*disk=*/true);
  gLockVolume = SystemLockVolume;
  EXPECT_EQ(1, harness.done);
  EXPECT_EQ(1, block->Reserved2);
  EXPECT_TRUE(harness.Logged(u"could not be locked: files on it are open")) << harness.LogText();
  std::vector<uint8_t> after;
  ASSERT_TRUE(ReadVolume(raw, after));
  EXPECT_EQ(before, after);
}

// The names in a drive's root, without the file system's own folder.
std::vector<std::u16string> RootNames(char drive) {
  std::vector<std::u16string> names = ListNames(Root(drive));
  std::erase(names, u"lost+found");
  return names;
}

char gFullDrive = 0;

TEST(FreeSpaceHonestyTest, AFailingRandomSourceFailsTheRandomPass) {
  char drive = TestDrive("FREE_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("free-space wipe with a failing random source");
  gFullDrive = drive;
  // Random data until the drive is full: the small files written then get none.
  gRandomSource = [](uint8_t* out, size_t length) {
    return FreeBytes(Root(gFullDrive)) >= (1u << 20) && SystemRandomSource(out, length);
  };
  Harness harness;
  Block block(harness.wnd(), drive, kOnePass);
  RunDriveInProcess(harness, block.get(), /*disk=*/false);
  gRandomSource = SystemRandomSource;
  EXPECT_EQ(1, block->Reserved2) << harness.LogText();
  EXPECT_TRUE(harness.Logged(u"gave no random data")) << harness.LogText();
  EXPECT_EQ(std::vector<std::u16string>{u"keep.txt"}, RootNames(drive));
}

// What the volume reports once the work files are written, in place of its
// own figures after the first query.
struct LeftCase {
  uint64_t held;  // free, yet kept from this user's files
  uint64_t open;  // free and available, yet refused
  uint64_t unit;
  QuotaKind quota;
  int failures;
  const char16_t* reason;  // nullptr: nothing may be named as not reached
};
const LeftCase* gLeft = nullptr;

TEST(FreeSpaceHonestyTest, SpaceTheWorkFilesDidNotReachIsNamedWithItsReason) {
  char drive = TestDrive("FREE_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("free-space wipe of a volume reporting space left");
  const LeftCase cases[] = {
      {16u << 20, 0, 4096, QuotaKind::Enforced, 1, u"(a disk quota keeps them from this user's files)"},
      {1u << 20, 0, 4096, QuotaKind::None, 1, u"(the file system keeps them in reserve for its own use)"},
      {2u << 20, 0, 4096, QuotaKind::Unknown, 1, u"(a disk quota or a reserve of the file system keeps them"},
      // More free than the engine could fill, all of it available.
      {0, 3u << 20, 4096, QuotaKind::None, 1, u"(the drive refused more data although it reported them free"},
      {1u << 20, 8192, 4096, QuotaKind::None, 1, u"1048576 bytes: the file system keeps them in reserve"},
      {4095, 0, 4096, QuotaKind::Enforced, 0, nullptr},  // less than one allocation unit is no space
  };
  static int queries = 0;
  for (const LeftCase& c : cases) {
    gLeft = &c;
    queries = 0;
    gDiskFreeSpace = [](const std::u16string& root, VolumeSpace& space) {
      if (!SystemDiskFreeSpace(root, space)) return false;
      if (queries++ == 0) return true;
      space.available = gLeft->open;
      space.free = gLeft->open + gLeft->held;
      space.unit = gLeft->unit;
      space.quota = gLeft->quota;
      return true;
    };
    Harness harness;
    Block block(harness.wnd(), drive, kOnePass);
    RunDriveInProcess(harness, block.get(), /*disk=*/false);
    gDiskFreeSpace = SystemDiskFreeSpace;
    EXPECT_EQ(1, harness.done);
    EXPECT_EQ(c.failures, block->Reserved2) << harness.LogText();
    EXPECT_EQ(c.reason != nullptr, harness.Logged(u"Not reached: " + Utf16(std::to_string(c.held + c.open)) +
                                                  u" bytes of the free space of drive"))
        << harness.LogText();
    if (c.reason) {
      EXPECT_TRUE(harness.Logged(c.reason)) << harness.LogText();
    }
    EXPECT_EQ(c.quota == QuotaKind::Enforced && c.reason, harness.Logged(u"quota keeps")) << harness.LogText();
    EXPECT_EQ(std::vector<std::u16string>{u"keep.txt"}, RootNames(drive));
  }
}

TEST(StoppedFileTest, AFileStoppedHalfwayKeepsItsLength) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("stopping inside a file");
  std::u16string path = Root(drive) + u"halfway.bin";
  const size_t size = (96 << 20) + 1;  // the first pass also writes the slack past the end
  ASSERT_TRUE(WriteWholeFile(path, std::string(size, 'h')));
  Harness harness;
  harness.onProgress = [&harness](const ProgressEvent& e) {
    if (e.state == 1 && e.progress >= 34 && harness.current->Active != 0) harness.current->Active = 0;
  };
  Block block(harness.wnd(), 0, kThreePasses, path);
  ASSERT_TRUE(harness.RunFile(block.get()));
  EXPECT_TRUE(harness.Logged(u"Stopped")) << harness.LogText();
  EXPECT_EQ(int64_t(size), SizeOf(path));
  DeleteFileW(Wide(path));
}

}  // namespace
}  // namespace qv::engine::test
