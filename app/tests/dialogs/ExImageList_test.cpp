// The image list with disabled images: disabled drawing from the second list,
// the framework's greyed look without one, and the link between the lists.
#include "DialogsFixture.h"
#include "ExImageList.h"
#include "SelectLanguageForm.h"
#include "win/graphics/Graphics.h"

namespace {

struct FreeLater {
  void operator()(TObject* o) const {
    if (o != nullptr) o->Free();
  }
};

// A list of one solid 16 x 16 image of colour.
void FillSolid(TCustomImageList* list, TColor color) {
  TBitmap* bmp = New<TBitmap>();
  bmp->SetSize(16, 16);
  bmp->Canvas()->Brush()->SetColor(color);
  bmp->Canvas()->FillRect(TRect(0, 0, 16, 16));
  list->Add(bmp, nullptr);
  bmp->Free();
}

// The colour (0x00BBGGRR) at (8, 8) after drawing image 0 of list onto a white bitmap.
COLORREF DrawnColour(TCustomImageList* list, bool enabled) {
  TBitmap* bmp = New<TBitmap>();
  bmp->SetSize(16, 16);
  bmp->Canvas()->Brush()->SetColor(clWhite);
  bmp->Canvas()->FillRect(TRect(0, 0, 16, 16));
  list->Draw(bmp->Canvas(), 0, 0, 0, enabled);
  COLORREF c = GetPixel(bmp->Canvas()->Handle(), 8, 8);
  bmp->Free();
  return c;
}

using ExImageListTest = DialogsTest;

TEST_F(ExImageListTest, DisabledImagesComeFromTheSecondList) {
  auto* list = New<TexImageList>(nullptr);
  auto* disabled = New<TImageList>(nullptr);
  FillSolid(list, clRed);
  FillSolid(disabled, clBlue);
  EXPECT_EQ(DrawnColour(list, true), RGB(255, 0, 0));
  COLORREF greyed = DrawnColour(list, false);
  EXPECT_NE(greyed, RGB(255, 0, 0));
  EXPECT_EQ(GetRValue(greyed), GetGValue(greyed));  // the framework's grey

  list->SetDisabledImages(disabled);
  EXPECT_EQ(DrawnColour(list, false), RGB(0, 0, 255));
  // An enabled draw never touches the disabled list.
  EXPECT_EQ(DrawnColour(list, true), RGB(255, 0, 0));

  // Freeing the disabled list clears the link; drawing falls back to grey.
  disabled->Free();
  EXPECT_EQ(list->DisabledImages(), nullptr);
  EXPECT_EQ(DrawnColour(list, false), greyed);
  list->Free();
}

TEST_F(ExImageListTest, ChangesOfTheCurrentDisabledListOnly) {
  auto* list = New<TexImageList>(nullptr);
  auto* first = New<TImageList>(nullptr);
  auto* second = New<TImageList>(nullptr);
  static int changes = 0;
  changes = 0;
  list->OnChange = TNotifyEvent(+[](TObject*) { ++changes; });
  list->SetDisabledImages(first);
  FillSolid(first, clGreen);
  EXPECT_EQ(changes, 1);
  list->SetDisabledImages(second);
  FillSolid(first, clGreen);
  EXPECT_EQ(changes, 1);
  FillSolid(second, clGreen);
  EXPECT_EQ(changes, 2);
  // The list goes first: the disabled list no longer knows it.
  list->Free();
  FillSolid(second, clGreen);
  first->Free();
  second->Free();
}

TEST(ExImageListColour, SpecialColours) {
  EXPECT_EQ(GetRGBColor(clNone), CLR_NONE);
  EXPECT_EQ(GetRGBColor(clDefault), CLR_DEFAULT);
  EXPECT_EQ(GetRGBColor(static_cast<TColor>(0x00123456)), 0x00123456u);
}

// The language dialog's list pictures, enabled above and disabled below, for a person to look at.
TEST_F(ExImageListTest, Screenshot) {
  auto* form = New<TForm>(Application);
  form->SetClientSize(120, 40);
  auto* dialog = New<TLanguageSelectForm>(Application);
  auto* list = qvtest::Find<TexImageList>(dialog, "exImageList1");
  form->Show();
  qvtest::Pump(50);
  TCanvas* canvas = New<TCanvas>();
  HDC dc = GetDC(form->Handle());
  canvas->SetHandle(dc);
  for (int i = 0; i < list->Count(); ++i) {
    list->Draw(canvas, 4 + i * 18, 2, i, true);
    list->Draw(canvas, 4 + i * 18, 22, i, false);
  }
  canvas->SetHandle(nullptr);
  canvas->Free();
  ReleaseDC(form->Handle(), dc);
  if (list->Count() > 0) qvtest::SaveScreenshot(form->Handle(), "dialogs_image_list_disabled");
  EXPECT_EQ(list->Count(), 6);
  form->Free();
  dialog->Free();
}

}  // namespace
