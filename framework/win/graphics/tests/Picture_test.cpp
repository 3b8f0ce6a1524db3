#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "core/MemoryStream.h"
#include "win/graphics/Graphics.h"
#include "win/graphics/Jpeg.h"

extern "C" {
#include <jpeglib.h>
}

namespace {

struct TFreeDeleter {
  void operator()(TObject* obj) const {
    if (obj != nullptr) obj->Free();
  }
};
template <class T>
using TOwned = std::unique_ptr<T, TFreeDeleter>;

TOwned<TMemoryStream> StreamOf(const std::vector<uint8_t>& bytes) {
  TOwned<TMemoryStream> stream(New<TMemoryStream>());
  if (!bytes.empty()) stream->WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
  stream->SetPosition(0);
  return stream;
}

std::vector<uint8_t> BytesOf(TMemoryStream* stream) {
  const auto* p = static_cast<const uint8_t*>(stream->Memory());
  return std::vector<uint8_t>(p, p + stream->Size());
}

// A 4 x 3 bitmap with a distinct colour per quadrant-ish pixel.
TOwned<TBitmap> SampleBitmap() {
  TOwned<TBitmap> bitmap(New<TBitmap>());
  bitmap->SetSize(4, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) bitmap->Canvas()->SetPixel(x, y, static_cast<TColor>(RGB(x * 60, y * 100, 200)));
  return bitmap;
}

// A JPEG of w x h made by libjpeg: left half red, right half blue (or grey levels).
std::vector<uint8_t> EncodeJpeg(int w, int h, bool grey) {
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* out = nullptr;
  unsigned long outSize = 0;
  jpeg_mem_dest(&info, &out, &outSize);
  info.image_width = static_cast<JDIMENSION>(w);
  info.image_height = static_cast<JDIMENSION>(h);
  info.input_components = grey ? 1 : 3;
  info.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 95, TRUE);
  jpeg_start_compress(&info, TRUE);
  std::vector<unsigned char> row(static_cast<size_t>(w) * (grey ? 1 : 3));
  while (info.next_scanline < info.image_height) {
    for (int x = 0; x < w; ++x) {
      bool left = x < w / 2;
      if (grey) {
        row[x] = left ? 40 : 220;
      } else {
        row[x * 3 + 0] = left ? 255 : 0;
        row[x * 3 + 1] = 0;
        row[x * 3 + 2] = left ? 0 : 255;
      }
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  std::vector<uint8_t> result(out, out + outSize);
  jpeg_destroy_compress(&info);
  std::free(out);
  return result;
}

bool Near(int a, int b) { return std::abs(a - b) <= 24; }

TEST(BitmapTest, SavesAndReadsBackItsPixels) {
  auto bitmap = SampleBitmap();
  TOwned<TMemoryStream> stream(New<TMemoryStream>());
  bitmap->SaveToStream(stream.get());
  stream->SetPosition(0);
  TOwned<TBitmap> copy(New<TBitmap>());
  copy->LoadFromStream(stream.get());
  ASSERT_EQ(copy->Width(), 4);
  ASSERT_EQ(copy->Height(), 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(copy->Canvas()->Pixel(x, y), bitmap->Canvas()->Pixel(x, y)) << x << "," << y;
}

TEST(BitmapTest, ResizeKeepsOverlapAndPixelFormatChangeKeepsContent) {
  auto bitmap = SampleBitmap();
  TColor corner = bitmap->Canvas()->Pixel(1, 1);
  bitmap->SetSize(8, 8);
  EXPECT_EQ(bitmap->Canvas()->Pixel(1, 1), corner);
  EXPECT_EQ(bitmap->Canvas()->Pixel(7, 7), clBlack);
  bitmap->SetPixelFormat(pf24bit);
  EXPECT_EQ(bitmap->PixelFormat(), pf24bit);
  EXPECT_EQ(bitmap->Canvas()->Pixel(1, 1), corner);
  bitmap->SetPixelFormat(pf8bit);  // held as 32 bits
  EXPECT_EQ(bitmap->PixelFormat(), pf32bit);
  EXPECT_EQ(bitmap->Canvas()->Pixel(1, 1), corner);
  bitmap->SetSize(0, 5);
  EXPECT_TRUE(bitmap->Empty());
  EXPECT_EQ(bitmap->Handle(), nullptr);
  EXPECT_THROW(bitmap->ScanLine(0), EInvalidGraphicOperation);
}

// Damaged BMP data: each case raises and keeps the picture that was there.
TEST(BitmapTest, DamagedFilesRaiseAndKeepThePicture) {
  auto good = SampleBitmap();
  TOwned<TMemoryStream> stream(New<TMemoryStream>());
  good->SaveToStream(stream.get());
  const std::vector<uint8_t> file = BytesOf(stream.get());
  auto patched = [&](size_t offset, std::vector<uint8_t> bytes) {
    std::vector<uint8_t> copy = file;
    std::memcpy(&copy[offset], bytes.data(), bytes.size());
    return copy;
  };
  struct Case {
    const char* what;
    std::vector<uint8_t> data;
  } cases[] = {
      {"empty", {}},
      {"wrong magic", patched(0, {'X', 'M'})},
      {"header cut", std::vector<uint8_t>(file.begin(), file.begin() + 20)},
      {"pixels cut", std::vector<uint8_t>(file.begin(), file.end() - 10)},
      {"offset past end", patched(10, {0xFF, 0xFF, 0, 0})},
      {"huge width", patched(18, {0xFF, 0xFF, 0xFF, 0x0F})},
      {"zero height", patched(22, {0, 0, 0, 0})},
      {"odd bit count", patched(28, {7, 0})},
      {"unknown compression", patched(30, {9, 0, 0, 0})},
      {"header size too big", patched(14, {0xFF, 0, 0, 0})},
      {"masks past a short header", patched(14, {44, 0, 0, 0, 4, 0, 0, 0, 3, 0, 0, 0, 1, 0, 32, 0, 3, 0, 0, 0})},
  };
  for (const Case& c : cases) {
    TOwned<TBitmap> bitmap = SampleBitmap();
    auto in = StreamOf(c.data);
    EXPECT_THROW(bitmap->LoadFromStream(in.get()), EInvalidGraphic) << c.what;
    EXPECT_EQ(bitmap->Width(), 4) << c.what;
    EXPECT_EQ(bitmap->Canvas()->Pixel(1, 1), good->Canvas()->Pixel(1, 1)) << c.what;
  }
}

TEST(JpegTest, DecodesColourAndGreyPictures) {
  TOwned<TJPEGImage> jpeg(New<TJPEGImage>());
  std::vector<uint8_t> data = EncodeJpeg(32, 16, /*grey=*/false);
  jpeg->LoadFromMemory(data.data(), data.size());
  ASSERT_EQ(jpeg->Width(), 32);
  ASSERT_EQ(jpeg->Height(), 16);
  EXPECT_FALSE(jpeg->Grayscale());
  COLORREF left = static_cast<COLORREF>(jpeg->Bitmap()->Canvas()->Pixel(4, 8));
  COLORREF right = static_cast<COLORREF>(jpeg->Bitmap()->Canvas()->Pixel(28, 8));
  EXPECT_TRUE(Near(GetRValue(left), 255) && Near(GetGValue(left), 0) && Near(GetBValue(left), 0)) << std::hex << left;
  EXPECT_TRUE(Near(GetRValue(right), 0) && Near(GetGValue(right), 0) && Near(GetBValue(right), 255)) << std::hex << right;

  std::vector<uint8_t> grey = EncodeJpeg(16, 16, /*grey=*/true);
  auto stream = StreamOf(grey);
  jpeg->LoadFromStream(stream.get());
  EXPECT_TRUE(jpeg->Grayscale());
  COLORREF dark = static_cast<COLORREF>(jpeg->Bitmap()->Canvas()->Pixel(2, 2));
  EXPECT_TRUE(Near(GetRValue(dark), 40) && GetRValue(dark) == GetGValue(dark)) << std::hex << dark;

  // It draws like any picture, and is written back as the bytes it was read from.
  TOwned<TBitmap> target(New<TBitmap>());
  target->SetSize(16, 16);
  target->Canvas()->Draw(0, 0, jpeg.get());
  EXPECT_EQ(target->Canvas()->Pixel(2, 2), static_cast<TColor>(dark));
  TOwned<TMemoryStream> out(New<TMemoryStream>());
  jpeg->SaveToStream(out.get());
  EXPECT_EQ(BytesOf(out.get()), grey);
}

TEST(JpegTest, BrokenDataRaisesAClearErrorAndKeepsThePicture) {
  TOwned<TJPEGImage> jpeg(New<TJPEGImage>());
  std::vector<uint8_t> good = EncodeJpeg(8, 8, false);
  jpeg->LoadFromMemory(good.data(), good.size());
  std::vector<uint8_t> headerOnly(good.begin(), good.begin() + 20);
  std::vector<uint8_t> garbage = {0xFF, 0xD8, 0xFF, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
  std::vector<uint8_t> notJpeg = {'B', 'M', 0, 0, 0, 0};
  for (const auto* data : {&headerOnly, &garbage, &notJpeg}) {
    try {
      jpeg->LoadFromMemory(data->data(), data->size());
      ADD_FAILURE() << "no error for " << data->size() << " bytes";
    } catch (const EInvalidGraphic& error) {
      EXPECT_EQ(std::string(error.what()).rfind("JPEG error: ", 0), 0u) << error.what();
      EXPECT_GT(std::strlen(error.what()), std::strlen("JPEG error: ")) << error.what();
    }
    EXPECT_EQ(jpeg->Width(), 8);
  }
  // A file cut short in its pixel data is mended by the decoder (grey rest), not an error.
  std::vector<uint8_t> large = EncodeJpeg(64, 64, false);
  std::vector<uint8_t> cut(large.begin(), large.end() - 100);
  EXPECT_NO_THROW(jpeg->LoadFromMemory(cut.data(), cut.size()));
  EXPECT_EQ(jpeg->Width(), 64);
}

// A one-entry .ico of a 16 x 16 32-bit image, opaque green.
std::vector<uint8_t> GreenIcon() {
  const int size = 16;
  std::vector<uint8_t> ico;
  auto u16 = [&](uint16_t v) { ico.push_back(v & 0xFF), ico.push_back(v >> 8); };
  auto u32 = [&](uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
  uint32_t imageBytes = 40 + size * size * 4 + size * 4;  // header, colour, 1-bit mask (rows padded to 4 bytes)
  u16(0), u16(1), u16(1);
  ico.push_back(size), ico.push_back(size), ico.push_back(0), ico.push_back(0);
  u16(1), u16(32), u32(imageBytes), u32(6 + 16);
  u32(40), u32(size), u32(size * 2), u16(1), u16(32), u32(0), u32(size * size * 4), u32(0), u32(0), u32(0), u32(0);
  for (int i = 0; i < size * size; ++i) ico.push_back(0), ico.push_back(0xC0), ico.push_back(0), ico.push_back(0xFF);
  for (int i = 0; i < size * 4; ++i) ico.push_back(0);
  return ico;
}

TEST(PictureTest, ChoosesTheKindByTheDataAndRejectsOthers) {
  TOwned<TPicture> picture(New<TPicture>());
  auto bmp = SampleBitmap();
  TOwned<TMemoryStream> bmpStream(New<TMemoryStream>());
  bmp->SaveToStream(bmpStream.get());
  bmpStream->SetPosition(0);
  picture->LoadFromStream(bmpStream.get());
  EXPECT_NE(dynamic_cast<TBitmap*>(picture->Graphic()), nullptr);
  EXPECT_EQ(picture->Width(), 4);

  auto jpegStream = StreamOf(EncodeJpeg(10, 6, false));
  picture->LoadFromStream(jpegStream.get());
  EXPECT_NE(dynamic_cast<TJPEGImage*>(picture->Graphic()), nullptr);
  EXPECT_EQ(picture->Height(), 6);

  auto icoStream = StreamOf(GreenIcon());
  picture->LoadFromStream(icoStream.get());
  auto* icon = dynamic_cast<TIcon*>(picture->Graphic());
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(icon->Width(), 16);
  TOwned<TBitmap> target(New<TBitmap>());
  target->SetSize(16, 16);
  target->Canvas()->Draw(0, 0, icon);
  EXPECT_EQ(target->Canvas()->Pixel(8, 8), static_cast<TColor>(RGB(0, 0xC0, 0)));

  auto unknown = StreamOf({'G', 'I', 'F', '8', '9', 'a'});
  EXPECT_THROW(picture->LoadFromStream(unknown.get()), EInvalidGraphic);
  EXPECT_NE(dynamic_cast<TIcon*>(picture->Graphic()), nullptr);  // kept
  std::vector<uint8_t> farOffset = GreenIcon();
  farOffset[18] = 0xFF;  // entry offset far past the end
  std::vector<uint8_t> tinyEntry = GreenIcon();
  tinyEntry[14] = 12, tinyEntry[15] = 0, tinyEntry[16] = 0, tinyEntry[17] = 0;  // 12 bytes: no header
  std::vector<uint8_t> noEntries = GreenIcon();
  noEntries[4] = 0;
  for (const auto* bad : {&farOffset, &tinyEntry, &noEntries}) {
    auto badStream = StreamOf(*bad);
    EXPECT_THROW(picture->LoadFromStream(badStream.get()), EInvalidGraphic);
  }

  // Assigning a picture copies it; the copy lives on its own.
  TOwned<TPicture> copy(New<TPicture>());
  copy->Assign(picture.get());
  EXPECT_NE(copy->Graphic(), picture->Graphic());
  EXPECT_EQ(copy->Width(), 16);
  copy->Assign(nullptr);
  EXPECT_EQ(copy->Graphic(), nullptr);
}

}  // namespace
