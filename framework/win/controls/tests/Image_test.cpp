#include <gtest/gtest.h>

#include <memory>

#include "win/controls/ExtCtrls.h"

namespace {

struct TFreeDeleter {
  void operator()(TObject* obj) const {
    if (obj != nullptr) obj->Free();
  }
};

// Where a 40 x 20 picture goes in a 100 x 100 image control.
TEST(ImageTest, DestRectTable) {
  std::unique_ptr<TImage, TFreeDeleter> image(New<TImage>(nullptr));
  image->SetBounds(0, 0, 100, 100);
  EXPECT_EQ(image->DestRect(), Rect(0, 0, 0, 0));  // no picture
  std::unique_ptr<TBitmap, TFreeDeleter> bitmap(New<TBitmap>());
  bitmap->SetSize(40, 20);
  image->Picture()->SetGraphic(bitmap.get());
  struct Case {
    bool stretch, proportional, center;
    TRect expected;
  } cases[] = {
      {false, false, false, Rect(0, 0, 40, 20)},   {false, false, true, Rect(30, 40, 70, 60)},
      {true, false, false, Rect(0, 0, 100, 100)},  {true, true, false, Rect(0, 0, 100, 50)},
      {true, true, true, Rect(0, 25, 100, 75)},    {false, true, false, Rect(0, 0, 40, 20)},
  };
  for (const Case& c : cases) {
    image->SetStretch(c.stretch);
    image->SetProportional(c.proportional);
    image->SetCenter(c.center);
    EXPECT_EQ(image->DestRect(), c.expected) << c.stretch << c.proportional << c.center;
  }
  // Proportional alone shrinks a picture larger than the control, never enlarges.
  image->SetStretch(false);
  image->SetCenter(false);
  image->SetBounds(0, 0, 20, 20);
  EXPECT_EQ(image->DestRect(), Rect(0, 0, 20, 10));
  image->SetAutoSize(true);
  EXPECT_EQ(image->Width(), 40);
  EXPECT_EQ(image->Height(), 20);
}

}  // namespace
