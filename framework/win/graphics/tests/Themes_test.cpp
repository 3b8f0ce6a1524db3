#include <gtest/gtest.h>

#include <memory>

#include "win/graphics/Graphics.h"
#include "win/graphics/Themes.h"

namespace {

struct TFreeDeleter {
  void operator()(TObject* obj) const {
    if (obj != nullptr) obj->Free();
  }
};

// Pixels of r on bitmap that differ from its white background.
int Inked(TBitmap* bitmap, const TRect& r) {
  int count = 0;
  for (int y = r.Top; y < r.Bottom; ++y)
    for (int x = r.Left; x < r.Right; ++x) count += bitmap->Canvas()->Pixel(x, y) != clWhite ? 1 : 0;
  return count;
}

// Whichever look is active (themed or classic), the common parts draw inside
// their rectangle, and a checked box differs from an unchecked one.
TEST(ThemeServicesTest, CommonPartsDrawInBothLooks) {
  std::unique_ptr<TBitmap, TFreeDeleter> bitmap(New<TBitmap>());
  bitmap->SetSize(120, 20);
  bitmap->Canvas()->Brush()->SetColor(clWhite);
  bitmap->Canvas()->FillRect(Rect(0, 0, 120, 20));
  HDC dc = bitmap->Canvas()->Handle();
  TThemeServices* themes = ThemeServices();
  EXPECT_EQ(themes->Theme(teButton) != nullptr, themes->ThemesEnabled());
  themes->DrawCheckBox(dc, Rect(2, 2, 15, 15), cbsUnchecked, false, false, false);
  themes->DrawCheckBox(dc, Rect(22, 2, 35, 15), cbsChecked, false, false, false);
  themes->DrawRadioButton(dc, Rect(42, 2, 55, 15), true, false, false, false);
  themes->DrawPushButton(dc, Rect(62, 2, 90, 18), false, false, false, true);
  themes->DrawHeaderItem(dc, Rect(92, 2, 118, 18), false, false);
  int unchecked = Inked(bitmap.get(), Rect(2, 2, 15, 15));
  int checked = Inked(bitmap.get(), Rect(22, 2, 35, 15));
  EXPECT_GT(unchecked, 0);
  EXPECT_GT(checked, unchecked);
  EXPECT_GT(Inked(bitmap.get(), Rect(42, 2, 55, 15)), 0);
  EXPECT_GT(Inked(bitmap.get(), Rect(62, 2, 90, 18)), 0);
  EXPECT_GT(Inked(bitmap.get(), Rect(92, 2, 118, 18)), 0);
  // Nothing outside the parts.
  EXPECT_EQ(Inked(bitmap.get(), Rect(16, 0, 21, 20)), 0);
  themes->UpdateThemes();
  EXPECT_EQ(themes->Theme(teButton) != nullptr, themes->ThemesEnabled());
  EXPECT_EQ(themes->ContentRect(dc, TThemedElementDetails{teCount, 1, 1}, Rect(1, 2, 3, 4)), Rect(1, 2, 3, 4));
}

}  // namespace
