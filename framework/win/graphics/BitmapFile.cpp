#include <cstring>

#include "core/Stream.h"
#include "win/graphics/Graphics.h"
#include "win/graphics/GraphicsPrivate.h"

// BMP files and packed DIBs. Every size in the data is checked against the
// bytes actually present before GDI is asked to read them.

namespace {

constexpr int kMaxSide = 32768;
constexpr int64_t kMaxPixels = 64 * 1024 * 1024;

[[noreturn]] void Invalid() { throw EInvalidGraphic("Bitmap image is not valid"); }

uint32_t ReadU32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }
uint16_t ReadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// The header, masks and palette of a DIB, copied to aligned memory and checked.
struct TDibHeader {
  std::vector<uint8_t> storage;  // BITMAPINFO with its masks and colour table
  int width = 0;
  int height = 0;  // absolute
  size_t bitsSize = 0;  // bytes of pixel data GDI will read

  BITMAPINFO* Info() { return reinterpret_cast<BITMAPINFO*>(storage.data()); }
};

// Reads the header at info (infoSize bytes available there) for pixel data of
// bitsAvailable bytes; raises EInvalidGraphic for anything inconsistent.
TDibHeader ParseDibHeader(const uint8_t* info, size_t infoSize, size_t bitsAvailable) {
  if (infoSize < sizeof(BITMAPINFOHEADER)) Invalid();
  uint32_t headerSize = ReadU32(info);
  if (headerSize < sizeof(BITMAPINFOHEADER) || headerSize > 124 || headerSize > infoSize) Invalid();
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
  bool rle = compression == BI_RLE8 || compression == BI_RLE4;
  if (compression == BI_RLE8 && bitCount != 8) Invalid();
  if (compression == BI_RLE4 && bitCount != 4) Invalid();
  if (compression == BI_BITFIELDS && bitCount != 16 && bitCount != 32) Invalid();
  if (compression != BI_RGB && !rle && compression != BI_BITFIELDS) Invalid();
  if (rle && height < 0) Invalid();
  // Masks sit after a plain header or inside a header of 52 bytes or more.
  if (compression == BI_BITFIELDS && headerSize > sizeof(BITMAPINFOHEADER) && headerSize < 52) Invalid();

  size_t masks = (compression == BI_BITFIELDS && headerSize == sizeof(BITMAPINFOHEADER)) ? 12 : 0;
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
  result.storage.assign(sizeof(BITMAPINFOHEADER) + 12 + colors * 4, 0);
  std::memcpy(result.storage.data(), info, sizeof(BITMAPINFOHEADER));
  std::memcpy(result.storage.data() + sizeof(BITMAPINFOHEADER), info + headerSize, masks + colors * 4);
  if (compression == BI_BITFIELDS && masks == 0)
    std::memcpy(result.storage.data() + sizeof(BITMAPINFOHEADER), info + 40, 12);  // masks inside a V4/V5 header
  BITMAPINFOHEADER& header = result.Info()->bmiHeader;
  header.biSize = sizeof(BITMAPINFOHEADER);
  header.biClrUsed = bitCount <= 8 ? static_cast<DWORD>(colors) : 0;
  header.biSizeImage = static_cast<DWORD>(needed);
  result.width = width;
  result.height = absHeight;
  result.bitsSize = needed;
  return result;
}

}  // namespace

void TBitmap::LoadFromDIB(const uint8_t* data, size_t size) {
  if (data == nullptr) Invalid();
  if (size < sizeof(BITMAPINFOHEADER)) Invalid();
  // In a packed DIB the pixels follow the colour table at once.
  TDibHeader probe = ParseDibHeader(data, size, SIZE_MAX);
  uint32_t headerSize = ReadU32(data);
  size_t masks = (probe.Info()->bmiHeader.biCompression == BI_BITFIELDS && headerSize == 40) ? 12 : 0;
  // A colour table may stand before the pixels at any depth; biClrUsed gives its length.
  uint16_t bitCount = ReadU16(data + 14);
  size_t colors = bitCount <= 8 ? probe.Info()->bmiHeader.biClrUsed : ReadU32(data + 32);
  size_t bitsOffset = headerSize + masks + colors * 4;
  if (bitsOffset > size) Invalid();
  TDibHeader header = ParseDibHeader(data, bitsOffset, size - bitsOffset);
  NewImage(header.width, header.height, pf32bit, false);
  HDC dc = MemoryDC();
  if (dc == nullptr) Invalid();
  SetDIBitsToDevice(dc, 0, 0, header.width, header.height, 0, 0, 0, header.height, data + bitsOffset, header.Info(),
                    DIB_RGB_COLORS);
  Changed();
}

void TBitmap::LoadFromStream(TStream* stream) {
  std::vector<uint8_t> file = ReadRestOfStream(stream);
  if (file.size() < 14 + sizeof(BITMAPINFOHEADER) || file[0] != 'B' || file[1] != 'M') Invalid();
  uint32_t bitsOffset = ReadU32(&file[10]);
  if (bitsOffset < 14 + sizeof(BITMAPINFOHEADER) || bitsOffset > file.size()) Invalid();
  TDibHeader header = ParseDibHeader(&file[14], bitsOffset - 14, file.size() - bitsOffset);
  // Decode into a fresh bitmap first, so a failure keeps the old picture.
  uint8_t* newBits = nullptr;
  HBITMAP decoded = CreateDib32(header.width, header.height, &newBits);
  if (decoded == nullptr) throw EOutOfResources("Out of system resources");
  {
    TScopedMemoryDC dc;
    TScopedSelect select(dc.Get(), decoded);
    SetDIBitsToDevice(dc.Get(), 0, 0, header.width, header.height, 0, 0, 0, header.height, &file[bitsOffset],
                      header.Info(), DIB_RGB_COLORS);
  }
  NewImage(header.width, header.height, pf32bit, false);
  GdiFlush();
  std::memcpy(bits, newBits, static_cast<size_t>(header.width) * header.height * 4);
  DeleteObject(decoded);
  Changed();
}

void TBitmap::SaveToStream(TStream* stream) {
  int bpp = pixelFormat == pf24bit ? 24 : 32;
  size_t stride = ((static_cast<size_t>(width) * bpp + 31) / 32) * 4;
  size_t imageSize = stride * height;
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  file.bfSize = static_cast<DWORD>(file.bfOffBits + imageSize);
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;  // bottom-up, as most readers expect
  info.biPlanes = 1;
  info.biBitCount = static_cast<WORD>(bpp);
  info.biCompression = BI_RGB;
  info.biSizeImage = static_cast<DWORD>(imageSize);
  stream->WriteBuffer(&file, sizeof file);
  stream->WriteBuffer(&info, sizeof info);
  if (handle == nullptr) return;
  GdiFlush();
  for (int y = height - 1; y >= 0; --y) stream->WriteBuffer(bits + stride * y, static_cast<int32_t>(stride));
}

void TBitmap::LoadFromResourceName(HINSTANCE instance, const std::u16string& name) {
  HRSRC resource = FindResourceW(instance, WidePtr(name), reinterpret_cast<LPCWSTR>(RT_BITMAP));
  if (resource == nullptr) throw EInvalidGraphic("Resource " + WideToAnsi(name) + " not found");
  HGLOBAL loaded = LoadResource(instance, resource);
  const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (data == nullptr) Invalid();
  LoadFromDIB(static_cast<const uint8_t*>(data), SizeofResource(instance, resource));
}

void TBitmap::LoadFromResourceID(HINSTANCE instance, int id) {
  HRSRC resource = FindResourceW(instance, MAKEINTRESOURCEW(id), reinterpret_cast<LPCWSTR>(RT_BITMAP));
  if (resource == nullptr) throw EInvalidGraphic("Resource " + std::to_string(id) + " not found");
  HGLOBAL loaded = LoadResource(instance, resource);
  const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (data == nullptr) Invalid();
  LoadFromDIB(static_cast<const uint8_t*>(data), SizeofResource(instance, resource));
}
