#include <gtest/gtest.h>

#include <memory>

#include "win/graphics/Graphics.h"
#include "win/graphics/Jpeg.h"

namespace {

struct TFreeDeleter {
  void operator()(TObject* obj) const {
    if (obj != nullptr) obj->Free();
  }
};
template <class T>
using TOwned = std::unique_ptr<T, TFreeDeleter>;

bool Near(int a, int b) { return std::abs(a - b) <= 24; }

TEST(ResourcePictureTest, PicturesLoadFromTheProgramsResources) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  TOwned<TBitmap> bitmap(New<TBitmap>());
  bitmap->LoadFromResourceName(instance, u"QVTESTBITMAP");
  ASSERT_EQ(bitmap->Width(), 6);
  ASSERT_EQ(bitmap->Height(), 4);
  EXPECT_EQ(bitmap->Canvas()->Pixel(1, 1), clRed);
  EXPECT_EQ(bitmap->Canvas()->Pixel(4, 3), clBlue);
  EXPECT_THROW(bitmap->LoadFromResourceName(instance, u"NOSUCHBITMAP"), EInvalidGraphic);
  EXPECT_EQ(bitmap->Width(), 6);

  TOwned<TJPEGImage> jpeg(New<TJPEGImage>());
  jpeg->LoadFromResourceName(instance, u"QVTESTJPEG");
  ASSERT_EQ(jpeg->Width(), 16);
  ASSERT_EQ(jpeg->Height(), 8);
  auto left = static_cast<COLORREF>(jpeg->Bitmap()->Canvas()->Pixel(2, 4));
  EXPECT_TRUE(Near(GetRValue(left), 255) && Near(GetBValue(left), 0)) << std::hex << left;
  EXPECT_THROW(jpeg->LoadFromResourceName(instance, u"QVTESTJPEG", u"PNG"), EInvalidGraphic);

  TOwned<TIcon> icon(New<TIcon>());
  icon->LoadFromResourceName(instance, u"QVTESTICON", 16);
  EXPECT_EQ(icon->Width(), 16);
  EXPECT_EQ(icon->Height(), 16);
  EXPECT_THROW(icon->LoadFromResourceName(instance, u"NOSUCHICON"), EInvalidGraphic);
}

}  // namespace
