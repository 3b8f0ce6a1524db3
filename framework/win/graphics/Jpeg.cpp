#include "win/graphics/Jpeg.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/Stream.h"
#include "win/graphics/GraphicsPrivate.h"

extern "C" {
#include <jpeglib.h>
}

namespace {

constexpr uint64_t kMaxPixels = 64ull * 1024 * 1024;

// The decoder reports a fatal error by a long jump back into DecodeJpeg, whose
// frame holds no object with a destructor.
struct TJpegErrorManager {
  jpeg_error_mgr base;
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

extern "C" void JpegErrorExit(j_common_ptr info) {
  auto* manager = reinterpret_cast<TJpegErrorManager*>(info->err);
  (*info->err->format_message)(info, manager->message);
  std::longjmp(manager->jump, 1);
}

// Warnings (a truncated file, say) are mended by the decoder; nothing is printed.
extern "C" void JpegOutputMessage(j_common_ptr) {}

struct TDecoded {
  uint8_t* pixels = nullptr;  // malloc'd BGRX rows, top-down
  int width = 0;
  int height = 0;
  bool grayscale = false;
  char message[JMSG_LENGTH_MAX] = {};
};

// Decodes into result; false with result.message on failure.
bool DecodeJpeg(const uint8_t* data, size_t size, TDecoded* result) {
  jpeg_decompress_struct info;
  TJpegErrorManager errors;
  std::memset(&info, 0, sizeof info);
  info.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = JpegErrorExit;
  errors.base.output_message = JpegOutputMessage;
  errors.message[0] = '\0';
  uint8_t* volatile pixels = nullptr;
  uint8_t* volatile cmykRow = nullptr;
  if (setjmp(errors.jump) != 0) {
    jpeg_destroy_decompress(&info);
    std::free(pixels);
    std::free(cmykRow);
    std::snprintf(result->message, sizeof result->message, "%s", errors.message);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, const_cast<unsigned char*>(data), static_cast<unsigned long>(size));
  jpeg_read_header(&info, TRUE);
  bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRX;
  uint64_t pixelCount = uint64_t{info.image_width} * info.image_height;
  if (info.image_width == 0 || info.image_height == 0 || pixelCount > kMaxPixels) {
    std::snprintf(errors.message, sizeof errors.message, "Image too large: %ux%u", info.image_width,
                  info.image_height);
    std::longjmp(errors.jump, 1);
  }
  jpeg_start_decompress(&info);
  int width = static_cast<int>(info.output_width), height = static_cast<int>(info.output_height);
  pixels = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(width) * height * 4));
  if (cmyk) cmykRow = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(width) * 4));
  if (pixels == nullptr || (cmyk && cmykRow == nullptr)) {
    std::snprintf(errors.message, sizeof errors.message, "Out of memory");
    std::longjmp(errors.jump, 1);
  }
  while (info.output_scanline < info.output_height) {
    uint8_t* row = pixels + static_cast<size_t>(info.output_scanline) * width * 4;
    JSAMPROW target = cmyk ? cmykRow : row;
    jpeg_read_scanlines(&info, &target, 1);
    if (!cmyk) continue;
    // Adobe writes CMYK inverted; each channel times K gives the RGB value.
    for (int x = 0; x < width; ++x) {
      const uint8_t* c = cmykRow + x * 4;
      row[x * 4 + 0] = static_cast<uint8_t>(c[2] * c[3] / 255);
      row[x * 4 + 1] = static_cast<uint8_t>(c[1] * c[3] / 255);
      row[x * 4 + 2] = static_cast<uint8_t>(c[0] * c[3] / 255);
      row[x * 4 + 3] = 0;
    }
  }
  jpeg_finish_decompress(&info);
  result->grayscale = info.num_components == 1;
  jpeg_destroy_decompress(&info);
  std::free(cmykRow);
  result->pixels = pixels;
  result->width = width;
  result->height = height;
  return true;
}

}  // namespace

void TJPEGImage::Create() {
  TGraphic::Create();
  bitmap = New<TBitmap>();
}

TJPEGImage::~TJPEGImage() {
  if (bitmap != nullptr) bitmap->Free();
}

int TJPEGImage::Width() const { return bitmap->Width(); }

int TJPEGImage::Height() const { return bitmap->Height(); }

void TJPEGImage::Assign(TPersistent* source) {
  auto* other = dynamic_cast<TJPEGImage*>(source);
  if (other == nullptr) {
    TGraphic::Assign(source);
    return;
  }
  if (other == this) return;
  bitmap->Assign(other->bitmap);
  data = other->data;
  grayscale = other->grayscale;
  Changed();
}

void TJPEGImage::LoadFromMemory(const uint8_t* bytes, size_t size) {
  if (bytes == nullptr || size < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8)
    throw EInvalidGraphic("JPEG error: Not a JPEG file");
  TDecoded decoded;
  if (!DecodeJpeg(bytes, size, &decoded)) throw EInvalidGraphic(std::string("JPEG error: ") + decoded.message);
  try {
    bitmap->SetPixelFormat(pf32bit);
    bitmap->SetSize(decoded.width, decoded.height);
    for (int y = 0; y < decoded.height; ++y)
      std::memcpy(bitmap->ScanLine(y), decoded.pixels + static_cast<size_t>(y) * decoded.width * 4,
                  static_cast<size_t>(decoded.width) * 4);
  } catch (...) {
    std::free(decoded.pixels);
    throw;
  }
  std::free(decoded.pixels);
  grayscale = decoded.grayscale;
  data.assign(bytes, bytes + size);
  Changed();
}

void TJPEGImage::LoadFromStream(TStream* stream) {
  std::vector<uint8_t> bytes = ReadRestOfStream(stream);
  LoadFromMemory(bytes.data(), bytes.size());
}

void TJPEGImage::SaveToStream(TStream* stream) {
  if (!data.empty()) stream->WriteBuffer(data.data(), static_cast<int32_t>(data.size()));
}

void TJPEGImage::LoadFromResourceName(HINSTANCE instance, const std::u16string& name, const std::u16string& type) {
  HRSRC resource = FindResourceW(instance, WidePtr(name), WidePtr(type));
  if (resource == nullptr) throw EInvalidGraphic("Resource " + WideToAnsi(name) + " not found");
  HGLOBAL loaded = LoadResource(instance, resource);
  const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (bytes == nullptr) throw EInvalidGraphic("Resource " + WideToAnsi(name) + " not found");
  LoadFromMemory(static_cast<const uint8_t*>(bytes), SizeofResource(instance, resource));
}

void TJPEGImage::Draw(TCanvas* canvas, const TRect& r) { bitmap->Draw(canvas, r); }
