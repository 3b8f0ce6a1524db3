#pragma once
// The header checks of BMP files and packed DIBs (window-free): every size in
// the data is checked against the bytes actually present before GDI is asked
// to read them. Failures raise EInvalidGraphic "Bitmap image is not valid".
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/Exception.h"

// A picture's data cannot be read.
QV_DECLARE_EXCEPTION(EInvalidGraphic, Exception);

// The header, masks and colour table of a DIB, copied to aligned memory and checked.
struct TDibHeader {
  // A plain 40-byte BITMAPINFOHEADER (biSize 40, biClrUsed and biSizeImage
  // filled in), 12 bytes for the bit-field masks and the colour table.
  std::vector<uint8_t> storage;
  int width = 0;
  int height = 0;        // absolute
  size_t bitsSize = 0;   // bytes of pixel data GDI will read
  uint32_t colors = 0;   // entries of the colour table
};

inline constexpr size_t kDibInfoHeaderSize = 40;
inline constexpr size_t kBmpFileHeaderSize = 14;

// Reads the header at info (infoSize bytes available there) for pixel data of
// bitsAvailable bytes.
TDibHeader ParseDibHeader(const uint8_t* info, size_t infoSize, size_t bitsAvailable);
// The header of a packed DIB of size bytes (header, masks, colour table, then
// the pixels at once); bitsOffset is where the pixels start.
TDibHeader ParsePackedDib(const uint8_t* data, size_t size, size_t& bitsOffset);
// The header of a BMP file of size bytes; bitsOffset is where the pixels start.
TDibHeader ParseBmpFile(const uint8_t* file, size_t size, size_t& bitsOffset);
