// The disk and free-space tasks against image-backed raw volumes and a
// loop-mounted file system that the test script maps. The script checks the
// formatted images with fsck.fat afterwards.
#include <gtest/gtest.h>

#include <cstring>

#include "EngineHarness.h"
#include "QuorvanellEngine.h"

namespace qv::engine::test {
namespace {

const char kDeletedMarker[] = "QV-DELETED-MARKER-8b24d9";
const char kKeptMarker[] = "QV-KEPT-MARKER-31c07a";

struct FormatSpec {
  const char16_t* fileSystem;
  int32_t clusterIndex;
  bool quick;
  const char16_t* label;
};

std::unique_ptr<TFormatParams, decltype(&LocalFree)> MakeFormat(HWND wnd, char drive, const FormatSpec& spec) {
  auto* params = static_cast<TFormatParams*>(LocalAlloc(LPTR, sizeof(TFormatParams)));
  params->Drive = drive;
  params->Wnd = uint32_t(reinterpret_cast<uintptr_t>(wnd));
  params->ClusterIndex = spec.clusterIndex;
  params->QuickFormat = spec.quick ? 1 : 0;
  std::u16string fs = spec.fileSystem, label = spec.label;
  std::memcpy(params->FileSystem, fs.c_str(), (fs.size() + 1) * 2);
  std::memcpy(params->VolumeLabel, label.c_str(), (label.size() + 1) * 2);
  return {params, &LocalFree};
}

// Checks the progress of a drive run: within 31 bits, rising, ending full.
void ExpectDriveProgress(const Harness& harness) {
  ASSERT_FALSE(harness.progress.empty());
  int64_t total = -1;
  int32_t last = -1;
  for (const ProgressEvent& e : harness.progress) {
    if (e.lParam != 1) continue;
    EXPECT_GT(e.total, 0);
    EXPECT_LE(e.total, 0x7FFFFFFF);
    if (total >= 0) {
      EXPECT_EQ(total, e.total);
    }
    total = e.total;
    EXPECT_GE(e.progress, last);
    last = e.progress;
  }
  EXPECT_EQ(total, int64_t(last));
}

// A drive wiped and not formatted (stopped, formatting not asked for, or
// failed) is told to hold no file system in the run's last line.
void ExpectLastLineSaysNoFileSystem(const Harness& harness, char drive) {
  ASSERT_FALSE(harness.logs.empty());
  const std::u16string& last = harness.logs.back();
  EXPECT_NE(std::u16string::npos, last.find(std::u16string(1, char16_t(drive)) + u": now holds no file system"))
      << harness.LogText();
}

TEST(DiskWipeTest, EveryByteHoldsTheLastPass) {
  char raw = TestDrive("DISK_RAW");
  if (!raw) QV_SKIP_LOUDLY("disk wipe of an image");
  std::vector<uint8_t> before;
  ASSERT_TRUE(ReadVolume(raw, before));
  Harness harness;
  Block block(harness.wnd(), raw, {{0, 0x20, 0x20, 0x20}, {0xAA, 0, 0, 0}, {0, 0x01, 0x02, 0x03}});
  ASSERT_TRUE(harness.RunDrive(block.get(), [&] { DriveWipeStart(block.get(), nullptr); }));
  EXPECT_EQ(1, harness.done);
  EXPECT_EQ(0, harness.cancelled);
  EXPECT_EQ(0, block->Reserved2) << harness.LogText();
  ExpectDriveProgress(harness);
  ExpectLastLineSaysNoFileSystem(harness, raw);
  std::vector<uint8_t> after;
  ASSERT_TRUE(ReadVolume(raw, after));
  ASSERT_EQ(before.size(), after.size()) << "the image must not grow";
  size_t wrong = 0;
  for (size_t i = 0; i < after.size(); ++i) wrong += after[i] != uint8_t(1 + i % 3) ? 1 : 0;
  EXPECT_EQ(0u, wrong);
}

TEST(DiskWipeTest, RandomLastPassLeavesNoOldContent) {
  char raw = TestDrive("DISK_RAW");
  if (!raw) QV_SKIP_LOUDLY("random disk wipe of an image");
  Harness harness;
  Block block(harness.wnd(), raw, {{0, 0x20, 0x20, 0x20}});
  ASSERT_TRUE(harness.RunDrive(block.get(), [&] { DriveWipeStart(block.get(), nullptr); }));
  EXPECT_EQ(1, harness.done);
  std::vector<uint8_t> after;
  ASSERT_TRUE(ReadVolume(raw, after));
  // The previous content repeated 01 02 03; no 16-byte stretch of it survives.
  size_t run = 0, longest = 0;
  for (size_t i = 0; i < after.size(); ++i) {
    run = after[i] == uint8_t(1 + i % 3) ? run + 1 : 0;
    longest = run > longest ? run : longest;
  }
  EXPECT_LT(longest, 16u);
}

struct FatCase {
  const char* drive;
  FormatSpec spec;
  uint32_t clusterBytes;
  const char* type;
};

class FatFormatTest : public testing::TestWithParam<FatCase> {};

TEST_P(FatFormatTest, WipesThenWritesAFileSystem) {
  const FatCase& c = GetParam();
  char raw = TestDrive(c.drive);
  if (!raw) QV_SKIP_LOUDLY(c.drive);
  Harness harness;
  Block block(harness.wnd(), raw, {{0x00, 0x20, 0x20, 0x20}, {0x5A, 0, 0, 0}});
  auto format = MakeFormat(harness.wnd(), raw, c.spec);
  ASSERT_TRUE(harness.RunDrive(block.get(), [&] { DriveWipeStart(block.get(), format.get()); }));
  EXPECT_EQ(1, harness.done);
  EXPECT_EQ(0, block->Reserved2) << harness.LogText();
  EXPECT_TRUE(harness.Logged(u"Formatting complete")) << harness.LogText();
  EXPECT_FALSE(harness.Logged(u"no file system")) << harness.LogText();
  bool sawFormatEnd = false;
  for (const ProgressEvent& e : harness.progress) sawFormatEnd = sawFormatEnd || (e.lParam == 2 && e.wParam == 100);
  EXPECT_TRUE(sawFormatEnd);
  std::vector<uint8_t> image;
  ASSERT_TRUE(ReadVolume(raw, image));
  EXPECT_EQ(c.clusterBytes, uint32_t(image[11] | image[12] << 8) * image[13]);
  EXPECT_EQ(0x55, image[510]);
  EXPECT_EQ(0x5A, image.back()) << "the data area keeps the last pass";
  size_t typeAt = std::strcmp(c.type, "FAT32   ") == 0 ? 82 : 54;
  EXPECT_EQ(0, std::memcmp(image.data() + typeAt, c.type, 8));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, FatFormatTest,
    testing::Values(FatCase{"FAT32_RAW", {u"FAT32", 1, false, u"QVTEST32"}, 1024, "FAT32   "},
                    FatCase{"FAT16_RAW", {u"FAT", 2, true, u"qv fat16"}, 2048, "FAT16   "},
                    FatCase{"FAT12_RAW", {u"fat", -1, true, u""}, 512, "FAT12   "}));

TEST(DiskWipeTest, UnavailableFormatsAndBadLabelsAreReported) {
  char raw = TestDrive("SPARE_RAW");
  if (!raw) QV_SKIP_LOUDLY("format refusals");
  const struct {
    FormatSpec spec;
    const char16_t* expected;
  } cases[] = {
      {{u"NTFS", 3, true, u""}, u"NTFS formatting is not available on this system"},
      {{u"FAT", 0, true, u"TWELVECHARSX"}, u"longer than the 11 characters"},
      {{u"FAT32", 0, true, u"X"}, u"too small for FAT32"},
      {{u"FAT", 0, true, u""}, u"nothing was formatted"},  // a format block for another drive
  };
  for (const auto& c : cases) {
    Harness harness;
    Block block(harness.wnd(), raw, {{0x11, 0, 0, 0}});
    bool otherDrive = std::u16string(c.expected) == u"nothing was formatted";
    auto format = MakeFormat(harness.wnd(), otherDrive ? 'B' : raw, c.spec);
    ASSERT_TRUE(harness.RunDrive(block.get(), [&] { DriveWipeStart(block.get(), format.get()); }));
    EXPECT_EQ(1, harness.done);
    // The wipe itself succeeded; the formatting's failure comes with the end.
    EXPECT_EQ(0, block->Reserved2);
    EXPECT_NE(std::u16string::npos, harness.formatFailure.find(c.expected)) << harness.LogText();
    EXPECT_TRUE(harness.Logged(c.expected)) << harness.LogText();
    ExpectLastLineSaysNoFileSystem(harness, raw);
    std::vector<uint8_t> image;
    ASSERT_TRUE(ReadVolume(raw, image));
    EXPECT_EQ(std::vector<uint8_t>(image.size(), 0x11), image) << "wiped, left unformatted";
  }
}

TEST(DiskWipeTest, StopEndsWithTheCancelledMessage) {
  char raw = TestDrive("STOP_RAW");
  if (!raw) QV_SKIP_LOUDLY("stopping a disk wipe");
  Harness harness;
  StopAtFirstProgress(harness);
  Block block(harness.wnd(), raw, {{0, 0x20, 0x20, 0x20}, {0xFF, 0, 0, 0}, {0, 0x20, 0x20, 0x20}});
  ASSERT_TRUE(harness.RunDrive(block.get(), [&] { DriveWipeStart(block.get(), nullptr); }));
  EXPECT_EQ(0, harness.done);
  EXPECT_EQ(1, harness.cancelled);
  ASSERT_NE(0u, harness.stopTick);
  EXPECT_LT(harness.endTick - harness.stopTick, 1000u);
  ExpectLastLineSaysNoFileSystem(harness, raw);
}

TEST(DiskWipeTest, StopWhileFormattingEndsCancelledAndUnformatted) {
  char raw = TestDrive("STOP_RAW");
  if (!raw) QV_SKIP_LOUDLY("stopping a format");
  Harness harness;
  harness.onProgress = [&harness](const ProgressEvent& e) {
    if (e.lParam == 2 && harness.current->Active != 0) {
      harness.current->Active = 0;
      harness.stopTick = GetTickCount();
    }
  };
  Block block(harness.wnd(), raw, {{0x77, 0, 0, 0}});
  auto format = MakeFormat(harness.wnd(), raw, {u"FAT32", 3, /*quick=*/false, u"STOPPED"});
  ASSERT_TRUE(harness.RunDrive(block.get(), [&] { DriveWipeStart(block.get(), format.get()); }));
  EXPECT_EQ(0, harness.done);
  EXPECT_EQ(1, harness.cancelled);
  ASSERT_NE(0u, harness.stopTick);
  EXPECT_LT(harness.endTick - harness.stopTick, 1000u);
  EXPECT_TRUE(harness.Logged(u"the drive was not formatted")) << harness.LogText();
  ExpectLastLineSaysNoFileSystem(harness, raw);
  std::vector<uint8_t> image;
  ASSERT_TRUE(ReadVolume(raw, image));
  EXPECT_EQ(0x77, image[0]) << "no boot sector was written";
  EXPECT_EQ(0x77, image[510]);
}

TEST(DiskWipeTest, MissingDriveAndNoPassesEndAsDoneWithAFailure) {
  Harness harness;
  Block noDrive(harness.wnd(), '?', {{0, 0, 0, 0}});
  ASSERT_TRUE(harness.RunDrive(noDrive.get(), [&] { DriveWipeStart(noDrive.get(), nullptr); }));
  EXPECT_EQ(1, harness.done);
  EXPECT_EQ(1, noDrive->Reserved2);
  char raw = TestDrive("SPARE_RAW");
  if (!raw) return;
  Harness second;
  Block noPasses(second.wnd(), raw, {});
  ASSERT_TRUE(second.RunDrive(noPasses.get(), [&] { DriveWipeStart(noPasses.get(), nullptr); }));
  EXPECT_EQ(1, second.done);
  EXPECT_EQ(1, noPasses->Reserved2);
  EXPECT_TRUE(second.Logged(u"No valid wipe passes")) << second.LogText();
  EXPECT_FALSE(second.Logged(u"no file system")) << "nothing was written: " << second.LogText();
}

bool HasWorkFolder(char drive) {
  for (const std::u16string& name : ListNames(Root(drive))) {
    if (name.rfind(u"~QVFREE", 0) == 0) return true;
  }
  return false;
}

TEST(FreeSpaceTest, FillsFreeSpaceAndLeavesNothingBehind) {
  char drive = TestDrive("FREE_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("free-space wipe on a mounted image");
  uint64_t freeBefore = FreeBytes(Root(drive));
  std::vector<std::u16string> namesBefore = ListNames(Root(drive));
  ASSERT_GT(freeBefore, 0u);
  Harness harness;
  Block block(harness.wnd(), drive, {{0xFF, 0, 0, 0}, {0, 0x20, 0x20, 0x20}});
  ASSERT_TRUE(harness.RunDrive(block.get(), [&] { DriveCleanFreeSpace(block.get()); }));
  EXPECT_EQ(1, harness.done);
  EXPECT_EQ(0, block->Reserved2) << harness.LogText();
  ExpectDriveProgress(harness);
  EXPECT_EQ(freeBefore, FreeBytes(Root(drive)));
  EXPECT_EQ(namesBefore, ListNames(Root(drive)));
  std::string kept;
  ASSERT_TRUE(ReadWholeFile(Root(drive) + u"keep.txt", kept));
  EXPECT_NE(std::string::npos, kept.find(kKeptMarker));
  // The raw scan follows in FreeSpaceScanAfterUnmount.
}

TEST(FreeSpaceTest, StopRemovesEveryWorkFile) {
  char drive = TestDrive("FREE_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("stopping a free-space wipe");
  uint64_t freeBefore = FreeBytes(Root(drive));
  Harness harness;
  StopAtFirstProgress(harness);
  Block block(harness.wnd(), drive, {{0, 0x20, 0x20, 0x20}, {0xFF, 0, 0, 0}});
  ASSERT_TRUE(harness.RunDrive(block.get(), [&] { DriveCleanFreeSpace(block.get()); }));
  EXPECT_EQ(0, harness.done);
  EXPECT_EQ(1, harness.cancelled);
  EXPECT_LT(harness.endTick - harness.stopTick, 1000u);
  EXPECT_FALSE(HasWorkFolder(drive));
  EXPECT_EQ(freeBefore, FreeBytes(Root(drive)));
}

// The figure a "Not reached: N bytes" line names; 0 when none does.
uint64_t NamedUnreached(const Harness& harness) {
  for (const std::u16string& line : harness.logs) {
    if (line.rfind(u"Not reached: ", 0) == 0) return std::stoull(Narrow(line.substr(13)));
  }
  return 0;
}

// ext4 keeps about 2% of its blocks from every file, root's too (root may
// write its 5% reserve, and the tests run as root). Whatever deleted data lies
// in the blocks left free stays, and the run must say how much.
TEST(FreeSpaceTest, SpaceTheFileSystemKeepsIsNamedAndCounted) {
  char drive = TestDrive("RESERVE_DRIVE");
  if (!drive) QV_SKIP_LOUDLY("free-space wipe of an ext4 volume with a reserve");
  Harness harness;
  Block block(harness.wnd(), drive, {{0, 0x20, 0x20, 0x20}});
  ASSERT_TRUE(harness.RunDrive(block.get(), [&] { DriveCleanFreeSpace(block.get()); }));
  EXPECT_EQ(1, harness.done);
  // Every work file was flushed, and the loop device writes what it is given
  // into the image file, whose cache any reader shares: no unmount needed.
  std::vector<uint8_t> image;
  ASSERT_TRUE(ReadVolume(drive, image));
  const size_t left = CountOccurrences(image, kDeletedMarker);
  const uint64_t named = NamedUnreached(harness);
  if (left == 0 && named == 0) return;  // every marker reached, nothing held back
  EXPECT_EQ(1, block->Reserved2) << harness.LogText();
  EXPECT_TRUE(harness.Logged(u"(the file system keeps them in reserve for its own use)")) << harness.LogText();
  // A marker line is 93 bytes, so a 1 KiB block holds at most 12 whole
  // markers; the figure is in whole 4 KiB units, and the last work file's
  // last block may keep up to 512 bytes beyond its end.
  EXPECT_LE(left * 85, named + 4096 + 1024) << left << " markers left, " << named << " bytes named";
}

TEST(FreeSpaceScanAfterUnmount, NoDeletedMarkerIsLeftInFreeSpace) {
  char raw = TestDrive("FREE_RAW");
  if (!raw) QV_SKIP_LOUDLY("raw scan of the free-space image");
  std::vector<uint8_t> image;
  ASSERT_TRUE(ReadVolume(raw, image));
  EXPECT_EQ(0u, CountOccurrences(image, kDeletedMarker));
  EXPECT_GT(CountOccurrences(image, kKeptMarker), 0u) << "a file that was not deleted keeps its content";
}

}  // namespace
}  // namespace qv::engine::test
