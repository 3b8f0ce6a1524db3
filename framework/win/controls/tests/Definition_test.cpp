#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "ControlsForm.h"
#include "core/MemoryStream.h"
#include "win/FormDefinition.h"
#include "win/testing/Harness.h"

namespace {

struct TFreeDeleter {
  void operator()(TObject* obj) const {
    if (obj != nullptr) obj->Free();
  }
};
template <class T>
using TOwned = std::unique_ptr<T, TFreeDeleter>;

// The bytes of a BMP file of a w x h bitmap filled with color.
std::string BmpHex(int w, int h, TColor color) {
  TOwned<TBitmap> bitmap(New<TBitmap>());
  bitmap->SetSize(w, h);
  bitmap->Canvas()->Brush()->SetColor(color);
  bitmap->Canvas()->FillRect(Rect(0, 0, w, h));
  TOwned<TMemoryStream> stream(New<TMemoryStream>());
  bitmap->SaveToStream(stream.get());
  std::string hex;
  const auto* bytes = static_cast<const uint8_t*>(stream->Memory());
  char digits[4];
  for (int64_t i = 0; i < stream->Size(); ++i) {
    std::snprintf(digits, sizeof digits, "%02X", bytes[i]);
    hex += digits;
  }
  return hex;
}

// Pictures and image strips travel in definitions as the bytes of a file.
TEST(ControlDefinitionTest, PicturesAndImageStripsLoadFromTheDefinition) {
  Application->Initialize();
  std::string text = "TControlsForm PictureForm {\n"
                     "  ClientWidth = 100; ClientHeight = 60;\n"
                     "  TImage Splash { Left = 0; Top = 0; Width = 20; Height = 10; Picture.Data = {" +
                     BmpHex(20, 10, clRed) +
                     "}; }\n"
                     "  TImageList Flags { Width = 8; Height = 8; ImageStrip = {" +
                     BmpHex(24, 8, clBlue) + "}; }\n}\n";
  TOwned<TControlsForm> form(qvtest::NewFormFromText<TControlsForm>(text));
  auto* image = qvtest::Find<TImage>(form.get(), "Splash");
  ASSERT_NE(dynamic_cast<TBitmap*>(image->Picture()->Graphic()), nullptr);
  EXPECT_EQ(image->Picture()->Width(), 20);
  EXPECT_EQ(image->Picture()->Bitmap()->Canvas()->Pixel(5, 5), clRed);
  auto* flags = qvtest::Find<TImageList>(form.get(), "Flags");
  EXPECT_EQ(flags->Count(), 3);
  // Written back out, the definition reads in again to the same pictures.
  std::string written = WriteFormDefinition(form.get());
  EXPECT_NE(written.find("Picture.Data"), std::string::npos);
  TOwned<TControlsForm> again(qvtest::NewFormFromText<TControlsForm>(written));
  EXPECT_EQ(qvtest::Find<TImage>(again.get(), "Splash")->Picture()->Width(), 20);
  EXPECT_EQ(qvtest::Find<TImageList>(again.get(), "Flags")->Count(), 3);
  // A picture whose data is no picture is a definition error, not a crash.
  std::string bad = "TControlsForm BadForm {\n  TImage Broken { Picture.Data = {FFD8FF0102}; }\n}\n";
  EXPECT_THROW(qvtest::NewFormFromText<TControlsForm>(bad), Exception);
}

}  // namespace
