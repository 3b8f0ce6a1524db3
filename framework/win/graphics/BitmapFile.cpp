#include <cstring>

#include "core/Stream.h"
#include "win/graphics/DibHeader.h"
#include "win/graphics/Graphics.h"
#include "win/graphics/GraphicsPrivate.h"

// BMP files and packed DIBs: the headers are checked (DibHeader.cpp) before
// GDI is asked to read the pixels.

namespace {

[[noreturn]] void Invalid() { throw EInvalidGraphic("Bitmap image is not valid"); }

BITMAPINFO* InfoOf(TDibHeader& header) { return reinterpret_cast<BITMAPINFO*>(header.storage.data()); }

}  // namespace

void TBitmap::LoadFromDIB(const uint8_t* data, size_t size) {
  if (data == nullptr) Invalid();
  size_t bitsOffset = 0;
  TDibHeader header = ParsePackedDib(data, size, bitsOffset);
  NewImage(header.width, header.height, pf32bit, false);
  HDC dc = MemoryDC();
  if (dc == nullptr) Invalid();
  SetDIBitsToDevice(dc, 0, 0, header.width, header.height, 0, 0, 0, header.height, data + bitsOffset, InfoOf(header),
                    DIB_RGB_COLORS);
  Changed();
}

void TBitmap::LoadFromStream(TStream* stream) {
  std::vector<uint8_t> file = ReadRestOfStream(stream);
  size_t bitsOffset = 0;
  TDibHeader header = ParseBmpFile(file.data(), file.size(), bitsOffset);
  // Decode into a fresh bitmap first, so a failure keeps the old picture.
  uint8_t* newBits = nullptr;
  HBITMAP decoded = CreateDib32(header.width, header.height, &newBits);
  if (decoded == nullptr) throw EOutOfResources("Out of system resources");
  {
    TScopedMemoryDC dc;
    TScopedSelect select(dc.Get(), decoded);
    SetDIBitsToDevice(dc.Get(), 0, 0, header.width, header.height, 0, 0, 0, header.height, &file[bitsOffset],
                      InfoOf(header), DIB_RGB_COLORS);
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
