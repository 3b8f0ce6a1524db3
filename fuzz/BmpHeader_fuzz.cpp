// BMP files and packed DIBs (pictures in form definitions, resources and
// files): the header checks accept or refuse any bytes; what they accept
// describes pixel data that lies wholly inside the bytes given, in sizes
// GDI can be handed (the info block and its colour table as long as it says,
// image sides and pixel count within the bounds, rows as wide as the depth).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "win/graphics/DibHeader.h"

namespace {

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "BmpHeader_fuzz: %s\n", what);
  std::abort();
}

uint32_t U32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 1 << 20) return 0;
  bool packed = data[0] & 1;
  // The rest in a buffer of its own size, so that any read past it is caught.
  std::vector<uint8_t> bytes(data + 1, data + size);
  size_t bitsOffset = 0;
  TDibHeader header;
  try {
    header = packed ? ParsePackedDib(bytes.data(), bytes.size(), bitsOffset)
                    : ParseBmpFile(bytes.data(), bytes.size(), bitsOffset);
  } catch (const EInvalidGraphic&) {
    return 0;
  }
  Check(header.width > 0 && header.width <= 32768 && header.height > 0 && header.height <= 32768, "image sides");
  Check(int64_t{header.width} * header.height <= 64 * 1024 * 1024, "pixel count");
  Check(header.bitsSize > 0 && bitsOffset <= bytes.size() && header.bitsSize <= bytes.size() - bitsOffset,
        "pixel data past the end");
  Check(header.storage.size() == 40 + 12 + size_t{header.colors} * 4, "info block size");
  const uint8_t* info = header.storage.data();
  Check(U32(info) == 40, "biSize");
  Check(U32(info + 20) == header.bitsSize, "biSizeImage");
  uint16_t bitCount = static_cast<uint16_t>(info[14] | (info[15] << 8));
  uint32_t compression = U32(info + 16);
  if (bitCount <= 8) Check(U32(info + 32) == header.colors && header.colors <= (1u << bitCount), "colour count");
  if (compression == 0 || compression == 3) {
    size_t stride = ((size_t{static_cast<uint32_t>(header.width)} * bitCount + 31) / 32) * 4;
    Check(header.bitsSize == stride * header.height, "rows of the wrong width");
  }
  // What GDI reads: every byte of the pixel data.
  volatile uint8_t last = bytes[bitsOffset + header.bitsSize - 1];
  (void)last;
  return 0;
}
