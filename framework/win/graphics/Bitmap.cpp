#include "win/graphics/Graphics.h"

#include <algorithm>
#include <cstring>

#include "win/graphics/GraphicsPrivate.h"

// TBitmap's pixels, memory DC and canvas; reading and writing BMP data is in
// BitmapFile.cpp.

namespace {

int BitsPerPixel(TPixelFormat format) { return format == pf24bit ? 24 : 32; }

int Stride(int width, TPixelFormat format) { return ((width * BitsPerPixel(format) + 31) / 32) * 4; }

HBITMAP CreateDib(int width, int height, TPixelFormat format, uint8_t** bits) {
  if (format != pf24bit) return CreateDib32(width, height, bits);
  *bits = nullptr;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* pixels = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
  if (bitmap != nullptr) *bits = static_cast<uint8_t*>(pixels);
  return bitmap;
}

}  // namespace

// The canvas of a bitmap: its DC is the bitmap's memory DC, made on demand.
class TBitmapCanvas : public TCanvas {
public:
  void Create(TBitmap* owner_) {
    TCanvas::Create();
    owner = owner_;
  }
  // Called by the bitmap before its memory DC goes away.
  void Release() { SetHandle(nullptr); }

protected:
  void CreateHandle() override {
    HDC dc = owner->MemoryDC();
    if (dc != nullptr) SetHandle(dc);
  }

private:
  TBitmap* owner = nullptr;  // not owned: it owns us
};

void TBitmap::Create() { TGraphic::Create(); }

TBitmap::~TBitmap() {
  Dormant();
  if (canvas != nullptr) canvas->Free();
  if (handle != nullptr) DeleteObject(handle);
}

TCanvas* TBitmap::Canvas() {
  if (canvas == nullptr) {
    auto* made = New<TBitmapCanvas>(this);
    canvas = made;
  }
  return canvas;
}

HDC TBitmap::MemoryDC() {
  if (memoryDC != nullptr) return memoryDC;
  if (handle == nullptr) return nullptr;
  memoryDC = CreateCompatibleDC(nullptr);
  if (memoryDC == nullptr) throw EOutOfResources("Out of system resources");
  oldBitmap = SelectObject(memoryDC, handle);
  return memoryDC;
}

void TBitmap::Dormant() {
  if (canvas != nullptr) static_cast<TBitmapCanvas*>(canvas)->Release();
  if (memoryDC == nullptr) return;
  SelectObject(memoryDC, oldBitmap);
  DeleteDC(memoryDC);
  memoryDC = nullptr;
  oldBitmap = nullptr;
}

void TBitmap::NewImage(int newWidth, int newHeight, TPixelFormat format, bool keepContent) {
  newWidth = std::max(newWidth, 0);
  newHeight = std::max(newHeight, 0);
  uint8_t* newBits = nullptr;
  HBITMAP newHandle = nullptr;
  if (newWidth > 0 && newHeight > 0) {
    newHandle = CreateDib(newWidth, newHeight, format, &newBits);
    if (newHandle == nullptr) throw EOutOfResources("Out of system resources");
    if (keepContent && handle != nullptr) {
      GdiFlush();
      int rows = std::min(height, newHeight);
      int bytes = std::min(Stride(width, pixelFormat), Stride(newWidth, format));
      if (format == pixelFormat) {
        for (int y = 0; y < rows; ++y)
          std::memcpy(newBits + y * Stride(newWidth, format), bits + y * Stride(width, pixelFormat), bytes);
      } else {
        // A bitmap can be selected into one DC only, so ours leaves its memory DC first.
        Dormant();
        TScopedMemoryDC source, dest;
        TScopedSelect s1(source.Get(), handle), s2(dest.Get(), newHandle);
        BitBlt(dest.Get(), 0, 0, std::min(width, newWidth), rows, source.Get(), 0, 0, SRCCOPY);
      }
    }
  }
  if (canvas != nullptr) static_cast<TBitmapCanvas*>(canvas)->Release();
  if (memoryDC != nullptr) {
    // Keep the DC; swap the bitmap selected in it.
    SelectObject(memoryDC, newHandle != nullptr ? newHandle : oldBitmap);
    if (newHandle == nullptr) {
      DeleteDC(memoryDC);
      memoryDC = nullptr;
      oldBitmap = nullptr;
    }
  }
  if (handle != nullptr) DeleteObject(handle);
  handle = newHandle;
  bits = newBits;
  width = newWidth;
  height = newHeight;
  pixelFormat = format;
}

void TBitmap::SetWidth(int value) { SetSize(value, height); }

void TBitmap::SetHeight(int value) { SetSize(width, value); }

void TBitmap::SetSize(int newWidth, int newHeight) {
  if (newWidth == width && newHeight == height) return;
  NewImage(newWidth, newHeight, pixelFormat, /*keepContent=*/true);
  Changed();
}

void TBitmap::SetPixelFormat(TPixelFormat value) {
  if (value != pf24bit) value = pf32bit;
  if (value == pixelFormat) return;
  NewImage(width, height, value, /*keepContent=*/true);
  Changed();
}

void TBitmap::SetHandle(HBITMAP source) {
  if (source == nullptr) {
    NewImage(0, 0, pixelFormat, false);
    Changed();
    return;
  }
  if (source == handle) return;
  BITMAP info{};
  if (GetObjectW(source, sizeof info, &info) == 0) throw EInvalidGraphic("Bitmap image is not valid");
  int w = info.bmWidth, h = std::abs(static_cast<int>(info.bmHeight));
  NewImage(w, h, pf32bit, false);
  if (handle != nullptr) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, source, 0, h, bits, &bi, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
  }
  Changed();
}

uint8_t* TBitmap::ScanLine(int y) {
  if (handle == nullptr || y < 0 || y >= height) throw EInvalidGraphicOperation("Scan line index out of range");
  GdiFlush();
  return bits + static_cast<size_t>(y) * Stride(width, pixelFormat);
}

TColor TBitmap::TransparentColor() {
  if (transparentMode == tmFixed && transparentColor != clDefault) return transparentColor;
  if (handle == nullptr) return clDefault;
  return Canvas()->Pixel(0, height - 1);
}

void TBitmap::SetTransparentColor(TColor value) {
  if (value == transparentColor) return;
  transparentColor = value;
  transparentMode = value == clDefault ? tmAuto : tmFixed;
  Changed();
}

void TBitmap::SetTransparentMode(TTransparentMode value) {
  if (value == transparentMode) return;
  transparentMode = value;
  if (value == tmAuto) transparentColor = clDefault;
  Changed();
}

void TBitmap::Assign(TPersistent* source) {
  if (source == this) return;
  if (auto* other = dynamic_cast<TBitmap*>(source)) {
    NewImage(other->width, other->height, other->pixelFormat, false);
    if (handle != nullptr) {
      GdiFlush();
      std::memcpy(bits, other->bits, static_cast<size_t>(Stride(width, pixelFormat)) * height);
    }
    transparentColor = other->transparentColor;
    transparentMode = other->transparentMode;
    TGraphic::SetTransparent(other->Transparent());
    Changed();
    return;
  }
  if (auto* graphic = dynamic_cast<TGraphic*>(source)) {
    NewImage(graphic->Width(), graphic->Height(), pf32bit, false);
    if (handle != nullptr) {
      Canvas()->Brush()->SetColor(clWhite);
      Canvas()->FillRect(Rect(0, 0, width, height));
      Canvas()->Draw(0, 0, graphic);
    }
    Changed();
    return;
  }
  TGraphic::Assign(source);
}

void TBitmap::Draw(TCanvas* target, const TRect& r) {
  if (handle == nullptr) return;
  HDC source = MemoryDC();
  HDC dest = target->Handle();
  if (Transparent()) {
    TransparentBlt(dest, r.Left, r.Top, r.Width(), r.Height(), source, 0, 0, width, height,
                   ColorToRGB(TransparentColor()));
    return;
  }
  if (r.Width() == width && r.Height() == height) {
    BitBlt(dest, r.Left, r.Top, width, height, source, 0, 0, target->CopyMode());
    return;
  }
  int oldMode = SetStretchBltMode(dest, HALFTONE);
  SetBrushOrgEx(dest, 0, 0, nullptr);
  StretchBlt(dest, r.Left, r.Top, r.Width(), r.Height(), source, 0, 0, width, height, target->CopyMode());
  SetStretchBltMode(dest, oldMode);
}
