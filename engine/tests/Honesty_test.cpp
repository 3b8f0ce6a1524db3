// What the drive and file tasks report when the medium or the system fails
// them, through the engine's replaceable calls: sectors that cannot be
// written, a flush that fails, no random data, small work files that cannot
// be written, and work files a stopped run cannot remove.
#include <gtest/gtest.h>

#include "DriveTasks.h"
#include "EngineHarness.h"
#include "PassWriter.h"
#include "SystemRandom.h"
#include "TreeWiper.h"

namespace qv::engine::test {
namespace {

const wchar_t* Wide(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

void RunDrive(Harness& harness, TWipeParams* block, bool disk) {
  DriveJob job;
  job.block = block;
  job.drive = block->Drive;
  job.passes = DecodePasses(&block->Passes[0][0], block->PassCount);
  job.guard = ProtectedFolders::ForPaths({});
  harness.current = block;
  ASSERT_TRUE(harness.RunInProcess([&] { disk ? RunDiskWipe(job) : RunFreeSpaceWipe(job); }));
  EXPECT_EQ(1, harness.done + harness.cancelled);
}

// Writes that touch bytes [gBadFrom, gBadTo) of any handle fail as a damaged sector would.
uint64_t gBadFrom = 0, gBadTo = 0;
bool FailingSectors(HANDLE file, const void* data, DWORD length, uint64_t offset, DWORD& written) {
  if (offset < gBadTo && offset + length > gBadFrom) {
    written = 0;
    SetLastError(ERROR_CRC);
    return false;
  }
  return SystemWriteAt(file, data, length, offset, written);
}

// Restores the system's calls however a test ends.
struct SystemCalls {
  ~SystemCalls() {
    gWriteAt = SystemWriteAt;
    gFlush = SystemFlush;
    gRandomSource = SystemRandomSource;
    gCreateWorkFile = SystemCreateWorkFile;
  }
};

TEST(DiskHonestyTest, SectorsThatCannotBeWrittenAreNamedAndCountedOneByOne) {
  char raw = TestDrive("SPARE_RAW");
  if (!raw) QV_SKIP_LOUDLY("failing sectors on an image");
  SystemCalls restore;
  std::vector<uint8_t> before;
  ASSERT_TRUE(ReadVolume(raw, before));
  gBadFrom = 128 * 512;
  gBadTo = 132 * 512;
  gWriteAt = FailingSectors;
  Harness harness;
  Block block(harness.wnd(), raw, {{0x3C, 0, 0, 0}});
  RunDrive(harness, block.get(), /*disk=*/true);
  gWriteAt = SystemWriteAt;
  EXPECT_EQ(1, harness.done);
  EXPECT_EQ(4, block->Reserved2) << harness.LogText();
  EXPECT_TRUE(harness.Logged(u"Sectors 128 to 131 of drive ")) << harness.LogText();
  std::vector<uint8_t> after;
  ASSERT_TRUE(ReadVolume(raw, after));
  ASSERT_EQ(before.size(), after.size());
  size_t wrong = 0;
  for (size_t i = 0; i < after.size(); ++i) {
    const bool bad = i >= gBadFrom && i < gBadTo;
    wrong += after[i] != (bad ? before[i] : 0x3C) ? 1 : 0;
  }
  EXPECT_EQ(0u, wrong) << "every other sector holds the pass; the failed ones keep what they had";
}

TEST(DiskHonestyTest, AFlushThatFailsIsCountedForEveryPass) {
  char raw = TestDrive("SPARE_RAW");
  if (!raw) QV_SKIP_LOUDLY("a failing flush on an image");
  SystemCalls restore;
  gFlush = [](HANDLE) {
    SetLastError(ERROR_IO_DEVICE);
    return false;
  };
  Harness harness;
  Block block(harness.wnd(), raw, {{0x11, 0, 0, 0}, {0x22, 0, 0, 0}});
  RunDrive(harness, block.get(), /*disk=*/true);
  gFlush = SystemFlush;
  EXPECT_EQ(1, harness.done);
  EXPECT_EQ(2, block->Reserved2) << harness.LogText();
  EXPECT_TRUE(harness.Logged(u"Could not flush drive ")) << harness.LogText();
  EXPECT_FALSE(harness.Logged(u"successfully")) << harness.LogText();
}

TEST(DiskHonestyTest, NoRandomDataEndsTheDiskWipeBeforeItWrites) {
  char raw = TestDrive("SPARE_RAW");
  if (!raw) QV_SKIP_LOUDLY("a failing random source on an image");
  SystemCalls restore;
  std::vector<uint8_t> before;
  ASSERT_TRUE(ReadVolume(raw, before));
  gRandomSource = [](uint8_t*, size_t) { return false; };
  Harness harness;
  Block block(harness.wnd(), raw, {{0, 0x20, 0x20, 0x20}});
  RunDrive(harness, block.get(), /*disk=*/true);
  gRandomSource = SystemRandomSource;
  EXPECT_EQ(1, harness.done);
  EXPECT_EQ(1, block->Reserved2) << harness.LogText();
  EXPECT_TRUE(harness.Logged(u"gave no random data")) << harness.LogText();
  std::vector<uint8_t> after;
  ASSERT_TRUE(ReadVolume(raw, after));
  EXPECT_EQ(before, after) << "nothing from a fixed key was written";
}

TEST(FileHonestyTest, NoRandomDataLeavesTheFileWholeAndCountsIt) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("a failing random source in the file task");
  SystemCalls restore;
  std::u16string path = Root(drive) + u"no-random.txt";
  ASSERT_TRUE(WriteWholeFile(path, "kept, since nothing random could be written"));
  gRandomSource = [](uint8_t*, size_t) { return false; };
  Harness harness;
  Block block(harness.wnd(), 0, {{0, 0x20, 0x20, 0x20}});
  std::vector<PassSpec> passes = DecodePasses(&block->Passes[0][0], block->PassCount);
  ProtectedFolders guard = ProtectedFolders::ForPaths({});
  ASSERT_TRUE(harness.RunInProcess([&] {
    Reporter reporter(block.get());
    TreeWiper(reporter, passes, guard).Wipe(path);
  }));
  gRandomSource = SystemRandomSource;
  EXPECT_EQ(1, block->Reserved2) << harness.LogText();
  EXPECT_TRUE(harness.Logged(u"the system gave no random data")) << harness.LogText();
  std::string content;
  ASSERT_TRUE(ReadWholeFile(path, content));
  EXPECT_EQ("kept, since nothing random could be written", content);
  DeleteFileW(Wide(path));
}

// What a flush of a file being wiped found in it: its length, and whether
// every byte held the pass (0x55); a step of the wipe is recorded as length -1.
struct Flushed {
  int64_t size;
  bool pass;
};
std::vector<Flushed> gFlushed;

bool RecordingFlush(HANDLE file) {
  LARGE_INTEGER size = {};
  GetFileSizeEx(file, &size);
  std::string data(size_t(size.QuadPart), '\0');
  OVERLAPPED at = {};
  DWORD read = 0;
  bool pass = data.empty() || (ReadFile(file, data.data(), DWORD(data.size()), &read, &at) && read == data.size() &&
                               data.find_first_not_of('\x55') == std::string::npos);
  gFlushed.push_back({size.QuadPart, pass});
  return SystemFlush(file);
}

TEST(FileHonestyTest, EachFileIsOnTheMediumOverwrittenThenEmptiedBeforeItsNameChanges) {
  char drive = TestDrive("FOLDER_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("the flushes of the file task");
  SystemCalls restore;
  std::u16string folder = Root(drive) + u"durable";
  ASSERT_TRUE(CreateDirectoryW(Wide(folder), nullptr));
  // Inside one cluster, one cluster, and across clusters.
  const std::vector<size_t> sizes = {1, 4096, 5000, 3 * 4096};
  for (size_t i = 0; i < sizes.size(); ++i)
    ASSERT_TRUE(WriteWholeFile(folder + u"\\f" + Utf16(std::to_string(i)), std::string(sizes[i], 'o')));
  gFlushed.clear();
  gFlush = RecordingFlush;
  gWipeStep = [](WipeStep step, const std::u16string&) {
    if (step == WipeStep::Renaming) gFlushed.push_back({-1, false});
  };
  Harness harness;
  Block block(harness.wnd(), 0, {{0x55, 0, 0, 0}});
  std::vector<PassSpec> passes = DecodePasses(&block->Passes[0][0], block->PassCount);
  ProtectedFolders guard = ProtectedFolders::ForPaths({});
  ASSERT_TRUE(harness.RunInProcess([&] {
    Reporter reporter(block.get());
    TreeWiper(reporter, passes, guard).Wipe(folder);
  }));
  gWipeStep = nullptr;
  gFlush = SystemFlush;
  EXPECT_EQ(0, block->Reserved2) << harness.LogText();
  EXPECT_FALSE(Exists(folder));
  // Every rename comes right after a flush of the emptied file, which comes
  // right after a flush of the whole file holding the pass.
  size_t renames = 0;
  for (size_t i = 0; i < gFlushed.size(); ++i) {
    if (gFlushed[i].size != -1) continue;
    ++renames;
    ASSERT_GE(i, 2u);
    EXPECT_EQ(0, gFlushed[i - 1].size) << "rename " << renames;
    EXPECT_GT(gFlushed[i - 2].size, 0) << "rename " << renames;
    EXPECT_TRUE(gFlushed[i - 2].pass) << "rename " << renames;
  }
  EXPECT_EQ(sizes.size(), renames);
}

bool HasWorkFolder(char drive, std::u16string* name = nullptr) {
  for (const std::u16string& entry : ListNames(Root(drive))) {
    if (entry.rfind(u"~QVFREE", 0) != 0) continue;
    if (name) *name = entry;
    return true;
  }
  return false;
}

TEST(FreeSpaceHonestyTest, SmallWorkFilesThatCannotBeWrittenOrFlushedAreReported) {
  char drive = TestDrive("FREE_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("failing small work files");
  SystemCalls restore;
  struct Case {
    WriteAtCall write;
    FlushCall flush;
    const char16_t* expected;
  };
  // Only the small files' writes (at offset 0, 512 bytes) fail: the first
  // stage's chunks are larger.
  const Case cases[] = {
      {[](HANDLE file, const void* data, DWORD length, uint64_t offset, DWORD& written) {
         if (length == 512 && offset == 0) {
           written = 0;
           SetLastError(ERROR_ACCESS_DENIED);
           return false;
         }
         return SystemWriteAt(file, data, length, offset, written);
       },
       SystemFlush, u"Could not write the small work file"},
      // A small write the medium takes (said to be taken here: the first stage
      // may leave no room for real ones), then a flush that fails.
      {[](HANDLE file, const void* data, DWORD length, uint64_t offset, DWORD& written) {
         if (length == 512 && offset == 0) {
           written = length;
           return true;
         }
         return SystemWriteAt(file, data, length, offset, written);
       },
       [](HANDLE file) {
         LARGE_INTEGER size = {};
         GetFileSizeEx(file, &size);
         if (size.QuadPart == 0) {
           SetLastError(ERROR_IO_DEVICE);
           return false;
         }
         return SystemFlush(file);
       },
       u"Could not flush the small work file"},
  };
  for (const Case& c : cases) {
    gWriteAt = c.write;
    gFlush = c.flush;
    Harness harness;
    Block block(harness.wnd(), drive, {{0x00, 0, 0, 0}});
    RunDrive(harness, block.get(), /*disk=*/false);
    gWriteAt = SystemWriteAt;
    gFlush = SystemFlush;
    EXPECT_EQ(1, harness.done);
    EXPECT_EQ(1, block->Reserved2) << harness.LogText();
    EXPECT_TRUE(harness.Logged(c.expected)) << harness.LogText();
    EXPECT_FALSE(HasWorkFolder(drive));
  }
}

TEST(FreeSpaceHonestyTest, AStoppedRunSaysAllWorkFilesWentOnlyWhenTheyDid) {
  char drive = TestDrive("FREE_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("work files a stopped run cannot remove");
  Harness harness;
  HANDLE held = INVALID_HANDLE_VALUE;
  std::u16string folder;
  // At the first progress the work folder is held open without leave to
  // delete it, as a scanner or indexer might hold it, and the run is stopped.
  harness.onProgress = [&](const ProgressEvent&) {
    if (harness.current->Active == 0 || !HasWorkFolder(drive, &folder)) return;
    held = CreateFileW(Wide(Root(drive) + folder), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    harness.current->Active = 0;
  };
  Block block(harness.wnd(), drive, {{0x00, 0, 0, 0}, {0xFF, 0, 0, 0}});
  RunDrive(harness, block.get(), /*disk=*/false);
  ASSERT_NE(INVALID_HANDLE_VALUE, held) << harness.LogText();
  CloseHandle(held);
  EXPECT_EQ(1, harness.cancelled);
  EXPECT_FALSE(harness.Logged(u"all work files were removed")) << harness.LogText();
  EXPECT_TRUE(harness.Logged(u"Could not remove the work folder")) << harness.LogText();
  EXPECT_TRUE(harness.Logged(u"could not be removed")) << harness.LogText();
  RemoveDirectoryW(Wide(Root(drive) + folder));
  EXPECT_FALSE(HasWorkFolder(drive));

  // Nothing held: the same stop says that everything went.
  Harness again;
  StopAtFirstProgress(again);
  Block second(again.wnd(), drive, {{0x00, 0, 0, 0}, {0xFF, 0, 0, 0}});
  RunDrive(again, second.get(), /*disk=*/false);
  EXPECT_EQ(1, again.cancelled);
  EXPECT_TRUE(again.Logged(u"all work files were removed")) << again.LogText();
  EXPECT_FALSE(HasWorkFolder(drive));
}

// The small work files are "S<number>" in the work folder.
bool IsSmallWorkFile(const std::u16string& path) {
  size_t slash = path.rfind(u'\\');
  return slash != std::u16string::npos && path.compare(slash + 1, 1, u"S") == 0;
}

TEST(FreeSpaceHonestyTest, SmallWorkFilesThatCannotBeCreatedAreReportedUnlessTheDiskIsFull) {
  char drive = TestDrive("FREE_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("small work files that cannot be created");
  SystemCalls restore;
  static DWORD gRefusal = 0;
  gCreateWorkFile = [](const std::u16string& path) {
    if (IsSmallWorkFile(path)) {
      SetLastError(gRefusal);
      return INVALID_HANDLE_VALUE;
    }
    return SystemCreateWorkFile(path);
  };
  const struct {
    DWORD error;
    int failures;
  } cases[] = {{ERROR_ACCESS_DENIED, 1}, {ERROR_DISK_FULL, 0}, {ERROR_CANNOT_MAKE, 0}};
  for (const auto& c : cases) {
    gRefusal = c.error;
    Harness harness;
    Block block(harness.wnd(), drive, {{0x00, 0, 0, 0}});
    RunDrive(harness, block.get(), /*disk=*/false);
    EXPECT_EQ(1, harness.done);
    EXPECT_EQ(c.failures, block->Reserved2) << c.error << "\n" << harness.LogText();
    EXPECT_EQ(c.failures != 0, harness.Logged(u"Could not create the small work file")) << harness.LogText();
    EXPECT_FALSE(HasWorkFolder(drive));
  }
}

}  // namespace
}  // namespace qv::engine::test
