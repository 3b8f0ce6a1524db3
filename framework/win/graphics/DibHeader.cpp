#include "win/graphics/DibHeader.h"

#include <cstring>

namespace {

constexpr int kMaxSide = 32768;
constexpr int64_t kMaxPixels = 64 * 1024 * 1024;
// biCompression values.
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitfields = 3;
// Offsets of the BITMAPINFOHEADER fields written back.
constexpr size_t kBiSize = 0;
constexpr size_t kBiSizeImage = 20;
constexpr size_t kBiClrUsed = 32;
constexpr size_t kMasksSize = 12;

[[noreturn]] void Invalid() { throw EInvalidGraphic("Bitmap image is not valid"); }

uint32_t ReadU32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }
uint16_t ReadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
void WriteU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

TDibHeader ParseDibHeader(const uint8_t* info, size_t infoSize, size_t bitsAvailable) {
  if (infoSize < kDibInfoHeaderSize) Invalid();
  uint32_t headerSize = ReadU32(info);
  if (headerSize < kDibInfoHeaderSize || headerSize > 124 || headerSize > infoSize) Invalid();
  int32_t width = static_cast<int32_t>(ReadU32(info + 4));
  int32_t height = static_cast<int32_t>(ReadU32(info + 8));
  uint16_t planes = ReadU16(info + 12);
  uint16_t bitCount = ReadU16(info + 14);
  uint32_t compression = ReadU32(info + 16);
  uint32_t sizeImage = ReadU32(info + 20);
  uint32_t colorsUsed = ReadU32(info + 32);
  if (planes != 1 || width <= 0 || height == 0 || height == INT32_MIN) Invalid();
  int absHeight = height < 0 ? -height : height;
  if (width > kMaxSide || absHeight > kMaxSide || int64_t{width} * absHeight > kMaxPixels) Invalid();
  bool bitCountOk = bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 16 || bitCount == 24 ||
                    bitCount == 32;
  if (!bitCountOk) Invalid();
  bool rle = compression == kBiRle8 || compression == kBiRle4;
  if (compression == kBiRle8 && bitCount != 8) Invalid();
  if (compression == kBiRle4 && bitCount != 4) Invalid();
  if (compression == kBiBitfields && bitCount != 16 && bitCount != 32) Invalid();
  if (compression != kBiRgb && !rle && compression != kBiBitfields) Invalid();
  if (rle && height < 0) Invalid();
  // Masks sit after a plain header or inside a header of 52 bytes or more.
  if (compression == kBiBitfields && headerSize > kDibInfoHeaderSize && headerSize < 52) Invalid();

  size_t masks = (compression == kBiBitfields && headerSize == kDibInfoHeaderSize) ? kMasksSize : 0;
  size_t colors = colorsUsed;
  if (bitCount <= 8) {
    size_t maxColors = size_t{1} << bitCount;
    if (colors == 0 || colors > maxColors) colors = maxColors;
  } else if (colors > 256) {
    Invalid();
  }
  size_t tableEnd = headerSize + masks + colors * 4;
  if (tableEnd > infoSize) Invalid();

  size_t stride = ((static_cast<size_t>(width) * bitCount + 31) / 32) * 4;
  size_t needed = rle ? sizeImage : stride * absHeight;
  if (needed == 0 || needed > bitsAvailable) Invalid();

  TDibHeader result;
  // GDI gets a plain BITMAPINFOHEADER; the larger headers only add fields it can do without.
  result.storage.assign(kDibInfoHeaderSize + kMasksSize + colors * 4, 0);
  uint8_t* out = result.storage.data();
  std::memcpy(out, info, kDibInfoHeaderSize);
  std::memcpy(out + kDibInfoHeaderSize, info + headerSize, masks + colors * 4);
  if (compression == kBiBitfields && masks == 0)
    std::memcpy(out + kDibInfoHeaderSize, info + 40, kMasksSize);  // masks inside a V4/V5 header
  WriteU32(out + kBiSize, kDibInfoHeaderSize);
  WriteU32(out + kBiClrUsed, bitCount <= 8 ? static_cast<uint32_t>(colors) : 0);
  WriteU32(out + kBiSizeImage, static_cast<uint32_t>(needed));
  result.width = width;
  result.height = absHeight;
  result.bitsSize = needed;
  result.colors = static_cast<uint32_t>(colors);
  return result;
}

TDibHeader ParsePackedDib(const uint8_t* data, size_t size, size_t& bitsOffset) {
  if (size < kDibInfoHeaderSize) Invalid();
  // In a packed DIB the pixels follow the colour table at once.
  TDibHeader probe = ParseDibHeader(data, size, SIZE_MAX);
  uint32_t headerSize = ReadU32(data);
  uint32_t compression = ReadU32(data + 16);
  size_t masks = (compression == kBiBitfields && headerSize == kDibInfoHeaderSize) ? kMasksSize : 0;
  // A colour table may stand before the pixels at any depth; biClrUsed gives its length.
  uint16_t bitCount = ReadU16(data + 14);
  size_t colors = bitCount <= 8 ? probe.colors : ReadU32(data + 32);
  bitsOffset = headerSize + masks + colors * 4;
  if (bitsOffset > size) Invalid();
  return ParseDibHeader(data, bitsOffset, size - bitsOffset);
}

TDibHeader ParseBmpFile(const uint8_t* file, size_t size, size_t& bitsOffset) {
  if (size < kBmpFileHeaderSize + kDibInfoHeaderSize || file[0] != 'B' || file[1] != 'M') Invalid();
  bitsOffset = ReadU32(file + 10);
  if (bitsOffset < kBmpFileHeaderSize + kDibInfoHeaderSize || bitsOffset > size) Invalid();
  return ParseDibHeader(file + kBmpFileHeaderSize, bitsOffset - kBmpFileHeaderSize, size - bitsOffset);
}
