#include "win/testing/Png.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(Png, ChecksumsMatchKnownValues) {
  const char* iend = "IEND";
  EXPECT_EQ(Crc32(reinterpret_cast<const uint8_t*>(iend), 4), 0xAE426082u);
  const char* wiki = "Wikipedia";
  EXPECT_EQ(Adler32(reinterpret_cast<const uint8_t*>(wiki), std::strlen(wiki)), 0x11E60398u);
  EXPECT_EQ(Adler32(nullptr, 0), 1u);
}

TEST(Png, EncodesHeaderAndStoredBlocksOverTheBlockLimit) {
  // 200 x 120 RGB rows are 72120 bytes: two stored blocks.
  std::vector<uint32_t> pixels(200 * 120, 0x102030);
  std::vector<uint8_t> png = EncodePng(200, 120, pixels);
  const uint8_t signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  ASSERT_GT(png.size(), 72120u);
  EXPECT_EQ(0, std::memcmp(png.data(), signature, 8));
  EXPECT_EQ(0, std::memcmp(png.data() + 12, "IHDR", 4));
  EXPECT_EQ(png[19], 200);  // width, low byte
  EXPECT_EQ(png[23], 120);  // height, low byte
  // zlib header, then a non-final stored block of 65535 bytes.
  size_t idat = 8 + 25;
  EXPECT_EQ(0, std::memcmp(png.data() + idat + 4, "IDAT", 4));
  EXPECT_EQ(png[idat + 8], 0x78);
  EXPECT_EQ(png[idat + 10], 0);
  EXPECT_EQ(png[idat + 11], 0xFF);
  EXPECT_EQ(png[idat + 12], 0xFF);
  EXPECT_EQ(png[idat + 15], 0);     // filter byte of the first row
  EXPECT_EQ(png[idat + 16], 0x10);  // red of the first pixel
  EXPECT_EQ(0, std::memcmp(png.data() + png.size() - 8, "IEND", 4));
}
