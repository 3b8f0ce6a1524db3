// The engine's parts that need no drive: the generator, the pass convention,
// FAT planning and labels, progress units, path classification.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>
#include <vector>

#include "ChaCha20.h"
#include "ChaCha20Wide.h"
#include "DriveTasks.h"
#include "FatLayout.h"
#include "FileWiper.h"
#include "PassPattern.h"
#include "PathNames.h"
#include "SystemRandom.h"

namespace qv::engine {
namespace {

std::vector<uint8_t> Hex(const char* text) {
  std::vector<uint8_t> bytes;
  for (; text[0] && text[1]; text += 2) {
    unsigned value = 0;
    std::sscanf(text, "%2x", &value);
    bytes.push_back(uint8_t(value));
  }
  return bytes;
}

TEST(ChaCha20Test, MatchesThePublishedBlockVector) {
  // Block function test vector of the ChaCha20 standard: counter 1, nonce
  // 00:00:00:09:00:00:00:4a:00:00:00:00 (the first nonce word is the high half
  // of our 64-bit counter).
  uint8_t key[32];
  for (int i = 0; i < 32; ++i) key[i] = uint8_t(i);
  const uint8_t nonce[8] = {0, 0, 0, 0x4a, 0, 0, 0, 0};
  ChaCha20 cipher(key, nonce);
  uint64_t counter = 1 | (uint64_t(0x09000000) << 32);
  std::vector<uint8_t> expected = Hex(
      "10f1e7e4d13b5915500fdd1fa32071c4c7d1f4c733c068030422aa9ac3d46c4e"
      "d2826446079faa0914c2d705d98b02a2b5129cd1de164eb9cbd083e8a2503c4e");
  uint8_t block[64];
  cipher.Blocks(counter, block, 1);
  EXPECT_EQ(0, std::memcmp(block, expected.data(), 64));
  uint8_t four[256];  // the vector path (blocks in pairs) must agree with the one-block path
  cipher.Blocks(counter, four, 4);
  EXPECT_EQ(0, std::memcmp(four, expected.data(), 64));
}

TEST(ChaCha20Test, AnyRangeMatchesTheWholeStream) {
  uint8_t key[32] = {7, 1, 2};
  uint8_t nonce[8] = {9};
  ChaCha20 cipher(key, nonce);
  std::vector<uint8_t> whole(64 * 41);
  cipher.Stream(0, whole.data(), whole.size());
  const size_t cases[][2] = {{0, 1}, {1, 63}, {63, 2}, {64, 64}, {5, 300}, {100, 2000}, {2600, 24}, {0, 64 * 41}};
  for (const auto& c : cases) {
    std::vector<uint8_t> part(c[1]);
    cipher.Stream(c[0], part.data(), part.size());
    EXPECT_EQ(0, std::memcmp(part.data(), whole.data() + c[0], c[1])) << "offset " << c[0] << " length " << c[1];
  }
  // Blocks across the 32-bit boundary of the counter carry into the high word.
  uint8_t a[5 * 64], b[64];
  cipher.Blocks(0xFFFFFFFEull, a, 5);
  cipher.Blocks(0x100000001ull, b, 1);
  EXPECT_EQ(0, std::memcmp(a + 3 * 64, b, 64));
}

// Random runs of blocks at random counters, many across the carry into the
// counter's high word: the eight-block path (where the processor has it) and
// the two-block path give what the one-block path gives block by block.
TEST(ChaCha20Test, EveryPathMatchesTheOneBlockPath) {
  std::mt19937 rng(20);
  uint8_t key[32], nonce[8];
  for (uint8_t& b : key) b = uint8_t(rng());
  for (uint8_t& b : nonce) b = uint8_t(rng());
  ChaCha20 cipher(key, nonce);
  for (int round = 0; round < 200; ++round) {
    size_t blocks = 1 + rng() % 40;
    uint64_t counter = round % 2 ? 0xFFFFFFFFull - rng() % 48 : (uint64_t(rng()) << 32 | rng());
    std::vector<uint8_t> run(blocks * 64), single(blocks * 64);
    cipher.Blocks(counter, run.data(), blocks);
    for (size_t i = 0; i < blocks; ++i) cipher.Blocks(counter + i, single.data() + 64 * i, 1);
    ASSERT_EQ(0, std::memcmp(run.data(), single.data(), run.size()))
        << "counter " << counter << ", " << blocks << " blocks" << (WideBlocksAvailable() ? " (eight-block path)" : "");
  }
}

struct DecodeCase {
  uint8_t record[4];
  PassKind kind;
  uint8_t bytes[3];
};

TEST(PassPatternTest, DecodesTheConvention) {
  const DecodeCase cases[] = {
      {{0x00, 0, 0, 0}, PassKind::Fill, {0, 0, 0}},
      {{0xFF, 0, 0, 0}, PassKind::Fill, {0xFF, 0xFF, 0xFF}},
      {{0x00, 0x20, 0x20, 0x20}, PassKind::Random, {0x20, 0x20, 0x20}},
      {{0x55, 0x20, 0x20, 0x20}, PassKind::Random, {0x20, 0x20, 0x20}},
      {{0x55, 0x92, 0x49, 0x24}, PassKind::Sequence, {0x92, 0x49, 0x24}},
      {{0x00, 0x00, 0x00, 0x01}, PassKind::Sequence, {0x00, 0x00, 0x01}},
      {{0x00, 0x20, 0x20, 0x00}, PassKind::Sequence, {0x20, 0x20, 0x00}},
  };
  for (const DecodeCase& c : cases) {
    PassSpec spec = DecodePass(c.record);
    EXPECT_EQ(c.kind, spec.kind) << int(c.record[0]) << " " << int(c.record[1]);
    EXPECT_EQ(0, std::memcmp(c.bytes, spec.bytes, 3));
  }
}

TEST(PassPatternTest, PassCountOutsideTheBlockGivesNoPasses) {
  uint8_t records[400] = {};
  EXPECT_TRUE(DecodePasses(records, 0).empty());
  EXPECT_TRUE(DecodePasses(records, -1).empty());
  EXPECT_TRUE(DecodePasses(records, 101).empty());
  EXPECT_EQ(100u, DecodePasses(records, 100).size());
}

TEST(PassPatternTest, SequencesFollowTheTargetOffset) {
  const uint8_t record[4] = {0x00, 0x11, 0x22, 0x33};
  PassSource source(DecodePass(record), PassSeed());
  for (uint64_t offset : {0ull, 1ull, 2ull, 47ull, 48ull, 1000001ull}) {
    std::vector<uint8_t> out(101);
    source.Fill(offset, out.data(), out.size());
    for (size_t i = 0; i < out.size(); ++i) {
      ASSERT_EQ(record[1 + (offset + i) % 3], out[i]) << "offset " << offset << " index " << i;
    }
  }
  const uint8_t fill[4] = {0xA5, 0, 0, 0};
  PassSource uniform(DecodePass(fill), PassSeed());
  std::vector<uint8_t> out(77);
  uniform.Fill(5, out.data(), out.size());
  EXPECT_EQ(std::vector<uint8_t>(77, 0xA5), out);
}

TEST(PassPatternTest, RandomPassesDependOnTheirFreshSeed) {
  const uint8_t record[4] = {0, 0x20, 0x20, 0x20};
  PassSeed one, two;
  ASSERT_TRUE(NewPassSeed(one));
  ASSERT_TRUE(NewPassSeed(two));
  std::vector<uint8_t> a(4096), b(4096), c(4096);
  PassSource(DecodePass(record), one).Fill(0, a.data(), a.size());
  PassSource(DecodePass(record), one).Fill(0, c.data(), c.size());
  PassSource(DecodePass(record), two).Fill(0, b.data(), b.size());
  EXPECT_EQ(a, c);
  EXPECT_NE(a, b);
  std::set<uint8_t> values(a.begin(), a.end());
  EXPECT_GT(values.size(), 200u);
}

TEST(PassPatternTest, LargeRandomFillsMatchTheKeystreamAtTheirOffset) {
  // Large buffers are generated in parts on several threads.
  const uint8_t record[4] = {0, 0x20, 0x20, 0x20};
  PassSeed seed;
  ASSERT_TRUE(NewPassSeed(seed));
  PassSource source(DecodePass(record), seed);
  ChaCha20 cipher(seed.key, seed.nonce);
  for (uint64_t offset : {0ull, 5ull, (1ull << 32) + 64}) {
    std::vector<uint8_t> parallel((1 << 20) + 3), serial((1 << 20) + 3);
    source.Fill(offset, parallel.data(), parallel.size());
    cipher.Stream(offset, serial.data(), serial.size());
    EXPECT_EQ(serial, parallel) << offset;
  }
}

struct PlanCase {
  uint64_t bytes;
  uint32_t cluster;
  bool fat32;
  bool ok;
  FatKind kind;
};

TEST(FatLayoutTest, PlansWithinTheLimitsOfEachKind) {
  constexpr uint64_t MiB = 1024 * 1024, GiB = 1024 * MiB;
  const PlanCase cases[] = {
      {1440 * 1024, 512, false, true, FatKind::Fat12},
      {2 * MiB, 512, false, true, FatKind::Fat12},
      {16 * MiB, 2048, false, true, FatKind::Fat16},
      {32 * MiB, 512, false, true, FatKind::Fat16},
      {3 * GiB, 65536, false, true, FatKind::Fat16},
      {4 * GiB, 65536, false, false, FatKind::Fat16},  // one cluster too many for FAT16
      {64 * MiB, 512, false, false, FatKind::Fat16},
      {32 * MiB, 512, true, false, FatKind::Fat32},    // too few clusters for FAT32
      {40 * MiB, 512, true, true, FatKind::Fat32},
      {160 * MiB, 1024, true, true, FatKind::Fat32},
      {3 * GiB, 4096, true, true, FatKind::Fat32},
      {1024 * GiB, 32768, true, true, FatKind::Fat32},
      {2048 * GiB, 32768, true, false, FatKind::Fat32},  // more sectors than FAT can count
      {160 * MiB, 3000, true, false, FatKind::Fat32},  // not a power of two
      {160 * MiB, 131072, false, false, FatKind::Fat16},
  };
  for (const PlanCase& c : cases) {
    std::u16string error;
    std::optional<FatLayout> layout = PlanFat(c.bytes, 512, c.cluster, c.fat32, error);
    ASSERT_EQ(c.ok, layout.has_value()) << c.bytes << " bytes, cluster " << c.cluster;
    if (!layout) {
      EXPECT_FALSE(error.empty());
      continue;
    }
    EXPECT_EQ(c.kind, layout->kind) << c.bytes;
    uint64_t bits = layout->kind == FatKind::Fat12 ? 12 : layout->kind == FatKind::Fat16 ? 16 : 32;
    EXPECT_LE((uint64_t(layout->clusterCount) + 2) * bits, uint64_t(layout->fatSectors) * 512 * 8);
    EXPECT_LE(uint64_t(layout->firstDataSector()) + uint64_t(layout->clusterCount) * layout->sectorsPerCluster,
              layout->totalSectors);
    EXPECT_EQ(c.cluster, layout->clusterBytes());
    if (layout->kind == FatKind::Fat32) {
      EXPECT_EQ(0u, layout->firstDataSector() % layout->sectorsPerCluster);
    }
  }
}

TEST(FatLayoutTest, EntriesOfEveryWidthReadBackAndKeepTheirNeighbours) {
  for (FatKind kind : {FatKind::Fat12, FatKind::Fat16, FatKind::Fat32}) {
    std::vector<uint8_t> fat(128, 0);
    for (uint32_t c = 0; c < 20; ++c) SetFatEntry(kind, fat.data(), c, FatBadCluster(kind) - c);
    for (uint32_t c = 0; c < 20; ++c) EXPECT_EQ(FatBadCluster(kind) - c, GetFatEntry(kind, fat.data(), c));
  }
}

TEST(FatLayoutTest, LabelsFitOrAreRefused) {
  struct LabelCase {
    const char16_t* label;
    const char* stored;  // null: refused
  } cases[] = {
      {u"", "NO NAME    "},       {u"   ", "NO NAME    "}, {u"qvtest", "QVTEST     "},
      {u"ELEVENCHARS", "ELEVENCHARS"}, {u"TWELVECHARSX", nullptr}, {u"A.B", nullptr},
      {u"A*", nullptr},         {u"\u00c4B", nullptr},     {u"My Disk", "MY DISK    "},
  };
  for (const LabelCase& c : cases) {
    uint8_t out[11];
    std::u16string error;
    bool ok = MakeFatLabel(c.label, out, error);
    ASSERT_EQ(c.stored != nullptr, ok);
    if (ok) {
      EXPECT_EQ(0, std::memcmp(out, c.stored, 11));
    } else {
      EXPECT_FALSE(error.empty());
    }
  }
}

TEST(FatLayoutTest, BootSectorCarriesTheLayout) {
  std::u16string error;
  std::optional<FatLayout> layout = PlanFat(160ull << 20, 512, 1024, true, error);
  ASSERT_TRUE(layout);
  uint8_t label[11];
  ASSERT_TRUE(MakeFatLabel(u"QVTEST", label, error));
  uint8_t sector[512];
  BuildBootSector(*layout, label, 0x12345678, sector);
  EXPECT_EQ(0xEB, sector[0]);
  EXPECT_EQ(2, sector[13]);  // sectors per cluster
  EXPECT_EQ(0x55, sector[510]);
  EXPECT_EQ(0xAA, sector[511]);
  EXPECT_EQ(0, std::memcmp(sector + 71, "QVTEST     ", 11));
  EXPECT_EQ(0, std::memcmp(sector + 82, "FAT32   ", 8));
}

TEST(DriveTasksTest, ProgressUnitsKeepTotalWithin31Bits) {
  const uint64_t sizes[] = {0, 512, 1ull << 30, 2000ull << 30, 16ull << 40};
  for (uint64_t size : sizes) {
    for (size_t passes : {size_t(1), size_t(35), size_t(100)}) {
      uint64_t unit = ProgressUnit(size, passes, 512);
      EXPECT_LE((size + unit - 1) / unit * passes, 0x7FFFFFFFull) << size << " x " << passes;
      EXPECT_EQ(0u, unit % 512);
    }
  }
  EXPECT_EQ(512u, ProgressUnit(1ull << 30, 3, 512));  // small drives keep sector units
}

TEST(FileWiperTest, NameSurrogatesAreLinksOtherReparsePointsHoldData) {
  const struct {
    DWORD attributes;
    DWORD tag;
    bool link;
  } cases[] = {
      {FILE_ATTRIBUTE_REPARSE_POINT, 0x8000001B, false},  // an app execution alias is no name surrogate
      {FILE_ATTRIBUTE_REPARSE_POINT, 0x20000000, true},   // any tag with the surrogate bit
      {FILE_ATTRIBUTE_ARCHIVE, 0, false},
      {FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, 0, true},  // kind unknown: never followed
      {FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_SYMLINK, true},
      {FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, IO_REPARSE_TAG_MOUNT_POINT, true},
      {FILE_ATTRIBUTE_REPARSE_POINT, 0xA000001D, true},   // a Linux symbolic link
      {FILE_ATTRIBUTE_REPARSE_POINT, 0x9000001A, false},  // a cloud file holds its own data
      {FILE_ATTRIBUTE_REPARSE_POINT, 0x80000013, false},  // deduplicated
      {FILE_ATTRIBUTE_REPARSE_POINT, 0x80000017, false},  // compressed by the overlay filter
      {FILE_ATTRIBUTE_ARCHIVE, IO_REPARSE_TAG_SYMLINK, false},  // the tag means nothing without the attribute
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.link, IsLinkEntry(c.attributes, c.tag)) << std::hex << c.tag;
    bool reparse = (c.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    EXPECT_EQ(reparse && !c.link, IsDataReparseEntry(c.attributes, c.tag)) << std::hex << c.tag;
  }
}

TEST(PathNamesTest, RootsAreRecognisedInEveryForm) {
  struct RootCase {
    const char16_t* path;
    bool root;
  } cases[] = {
      {u"C:\\", true},        {u"C:", true},          {u"\\\\?\\D:\\", true},     {u"\\\\srv\\share", true},
      {u"\\\\srv\\share\\", true}, {u"\\\\?\\UNC\\srv\\share\\", true}, {u"C:\\a", false},
      {u"\\\\srv\\share\\a", false}, {u"\\\\?\\D:\\a\\", false},
  };
  for (const RootCase& c : cases) EXPECT_EQ(c.root, IsRootPath(c.path)) << std::u16string(c.path).size();
}

TEST(PathNamesTest, RandomNamesKeepTheLengthAndAvoidDeviceNames) {
  for (size_t length : {size_t(1), size_t(3), size_t(4), size_t(12), size_t(255)}) {
    std::u16string name;
    ASSERT_TRUE(RandomName(length, name));
    EXPECT_EQ(length, name.size());
    for (char16_t c : name) EXPECT_TRUE((c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9'));
  }
  for (int i = 0; i < 2000; ++i) {
    std::u16string name;
    ASSERT_TRUE(RandomName(3, name));
    EXPECT_TRUE(name != u"CON" && name != u"PRN" && name != u"AUX" && name != u"NUL");
  }
}

TEST(PathNamesTest, LongFormsNameExactlyWhatWasGiven) {
  struct Case {
    const char16_t* given;
    const char16_t* expected;  // empty: refused
  } cases[] = {
      // Trailing dots and spaces are parts of the name: "dir." is not "dir".
      {u"C:\\dir.", u"\\\\?\\C:\\dir."},
      {u"C:\\bar ", u"\\\\?\\C:\\bar "},
      {u"C:\\d.\\x.txt", u"\\\\?\\C:\\d.\\x.txt"},
      {u"C:\\d. \\..x", u"\\\\?\\C:\\d. \\..x"},
      {u"\\\\?\\C:\\dir.", u"\\\\?\\C:\\dir."},
      {u"C:/x/y", u"\\\\?\\C:\\x\\y"},
      {u"C:\\x\\\\y\\", u"\\\\?\\C:\\x\\y\\"},
      {u"D:", u"\\\\?\\D:\\"},  // the drive, never its current folder
      {u"D:\\", u"\\\\?\\D:\\"},
      {u"\\\\srv\\share\\a.", u"\\\\?\\UNC\\srv\\share\\a."},
      {u"//srv/share/", u"\\\\?\\UNC\\srv\\share\\"},
      {u"\\\\?\\UNC\\srv\\share\\a", u"\\\\?\\UNC\\srv\\share\\a"},
      // Never resolved: a relative path names whatever the current folder is.
      {u"C:\\x\\..\\a", u""},
      {u"C:\\x\\.\\a", u""},
      {u"\\\\?\\C:\\x\\..", u""},
      {u"a.txt", u""},
      {u"D:a.txt", u""},
      {u"\\a.txt", u""},
      {u".\\a", u""},
      {u"", u""},
      {u"\\\\.\\C:", u""},
      {u"\\\\?\\Volume{x}\\a", u""},
      {u"\\\\srv", u""},
  };
  for (const Case& c : cases) {
    std::u16string why;
    std::u16string result = ToLongPath(c.given, &why);
    EXPECT_EQ(std::u16string(c.expected), result) << std::string(c.given, c.given + std::u16string(c.given).size());
    EXPECT_EQ(result.empty(), !why.empty());
  }
  EXPECT_EQ(u"C:\\a", ToDisplayPath(u"\\\\?\\C:\\a"));
  EXPECT_EQ(u"\\\\?\\C:\\", ParentPath(u"\\\\?\\C:\\a"));
}

}  // namespace
}  // namespace qv::engine
