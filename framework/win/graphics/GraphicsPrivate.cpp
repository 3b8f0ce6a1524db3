#include "win/graphics/GraphicsPrivate.h"

#include "core/Exception.h"
#include "core/Stream.h"

std::vector<uint8_t> ReadRestOfStream(TStream* stream) {
  if (stream == nullptr) throw EReadError("Stream read error");
  int64_t remaining = stream->Size() - stream->Position();
  if (remaining <= 0) return {};
  if (remaining > 0x7FFFFFFF) throw EReadError("Stream read error");
  std::vector<uint8_t> data(static_cast<size_t>(remaining));
  stream->ReadBuffer(data.data(), static_cast<int32_t>(remaining));
  return data;
}

HBITMAP CreateDib32(int width, int height, uint8_t** bits) {
  *bits = nullptr;
  if (width <= 0 || height <= 0) return nullptr;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* pixels = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
  if (bitmap == nullptr) return nullptr;
  *bits = static_cast<uint8_t*>(pixels);
  return bitmap;
}
