#include <gtest/gtest.h>

#include <memory>

#include "win/graphics/Graphics.h"
#include "win/graphics/ImgList.h"

namespace {

struct TFreeDeleter {
  void operator()(TObject* obj) const {
    if (obj != nullptr) obj->Free();
  }
};
template <class T>
using TOwned = std::unique_ptr<T, TFreeDeleter>;

// A 16 x 16 image: a red square on a fuchsia (transparent) background.
TOwned<TBitmap> RedSquare() {
  TOwned<TBitmap> image(New<TBitmap>());
  image->SetSize(16, 16);
  image->Canvas()->Brush()->SetColor(clFuchsia);
  image->Canvas()->FillRect(Rect(0, 0, 16, 16));
  image->Canvas()->Brush()->SetColor(clRed);
  image->Canvas()->FillRect(Rect(4, 4, 12, 12));
  return image;
}

TOwned<TBitmap> Target(TColor background) {
  TOwned<TBitmap> target(New<TBitmap>());
  target->SetSize(40, 20);
  target->Canvas()->Brush()->SetColor(background);
  target->Canvas()->FillRect(Rect(0, 0, 40, 20));
  return target;
}

class TCountingClient : public TObject {
public:
  void Changed(TObject*) { ++changes; }
  int changes = 0;
};

TEST(ImageListTest, DrawsMaskedImagesEnabledAndGreyedWhenDisabled) {
  TOwned<TImageList> list(New<TImageList>(nullptr));
  auto image = RedSquare();
  EXPECT_EQ(list->AddMasked(image.get(), clFuchsia), 0);
  EXPECT_EQ(list->Count(), 1);
  auto target = Target(clWhite);
  list->Draw(target->Canvas(), 0, 0, 0, /*enabled=*/true);
  list->Draw(target->Canvas(), 20, 0, 0, /*enabled=*/false);
  EXPECT_EQ(target->Canvas()->Pixel(8, 8), clRed);
  EXPECT_EQ(target->Canvas()->Pixel(1, 1), clWhite);  // transparent part shows the target
  auto disabled = static_cast<COLORREF>(target->Canvas()->Pixel(28, 8));
  EXPECT_NE(disabled, static_cast<COLORREF>(clRed));
  EXPECT_EQ(GetRValue(disabled), GetGValue(disabled));  // grey
  EXPECT_EQ(GetGValue(disabled), GetBValue(disabled));
  EXPECT_LT(GetRValue(disabled), 0xFF);
  EXPECT_EQ(target->Canvas()->Pixel(21, 1), clWhite);
  // Indexes out of range draw nothing.
  list->Draw(target->Canvas(), 0, 0, 5);
  list->Draw(target->Canvas(), 0, 0, -1);
  EXPECT_EQ(target->Canvas()->Pixel(8, 8), clRed);
}

// A list with a disabled look of its own: it paints disabled images blue.
class TBlueWhenDisabled : public TImageList {
protected:
  void DoDraw(int index, TCanvas* canvas, int x, int y, UINT style, bool enabled) override {
    if (enabled) return TImageList::DoDraw(index, canvas, x, y, style, enabled);
    canvas->Brush()->SetColor(clBlue);
    canvas->FillRect(Rect(x, y, x + Width(), y + Height()));
  }
};

TEST(ImageListTest, StyledDrawingBlendsPerPixelAndKeepsTheListsColours) {
  TOwned<TImageList> list(New<TImageList>(nullptr));
  auto image = RedSquare();
  list->AddMasked(image.get(), clFuchsia);
  list->SetBkColor(clNone);
  auto target = Target(clWhite);
  // Half red, half blue where the image covers; the target where it does not.
  list->DrawStyled(target->Canvas(), 0, 0, 0, ILD_TRANSPARENT | ILD_BLEND50, clBlue, /*enabled=*/true);
  auto blended = static_cast<COLORREF>(target->Canvas()->Pixel(8, 8));
  EXPECT_NEAR(GetRValue(blended), 0x7F, 1);
  EXPECT_NEAR(GetBValue(blended), 0x7F, 1);
  EXPECT_EQ(target->Canvas()->Pixel(1, 1), clWhite);
  list->DrawStyled(target->Canvas(), 20, 0, 0, ILD_TRANSPARENT, clNone, /*enabled=*/false);
  auto grey = static_cast<COLORREF>(target->Canvas()->Pixel(28, 8));
  EXPECT_EQ(GetRValue(grey), GetBValue(grey));
  EXPECT_EQ(list->BkColor(), clNone);
  EXPECT_EQ(list->BlendColor(), clNone);
  // A derived list's own disabled look is used.
  TOwned<TBlueWhenDisabled> own(New<TBlueWhenDisabled>(nullptr));
  own->AddMasked(image.get(), clFuchsia);
  own->DrawStyled(target->Canvas(), 0, 0, 0, ILD_TRANSPARENT, clNone, /*enabled=*/false);
  EXPECT_EQ(target->Canvas()->Pixel(1, 1), clBlue);
}

TEST(ImageListTest, IconsAndReplacements) {
  TOwned<TImageList> list(New<TImageList>(nullptr));
  TOwned<TIcon> icon(New<TIcon>());
  icon->LoadFromResourceName(GetModuleHandleW(nullptr), u"QVTESTICON", 16);
  EXPECT_EQ(list->AddIcon(icon.get()), 0);
  auto image = RedSquare();
  EXPECT_EQ(list->AddMasked(image.get(), clFuchsia), 1);
  EXPECT_EQ(image->Canvas()->Pixel(1, 1), clFuchsia);  // the caller's bitmap is left as it was
  auto target = Target(clWhite);
  list->Draw(target->Canvas(), 0, 0, 0);
  EXPECT_EQ(target->Canvas()->Pixel(8, 8), static_cast<TColor>(RGB(0, 0xC0, 0)));
  list->ReplaceIcon(1, icon.get());
  list->Draw(target->Canvas(), 20, 0, 1);
  EXPECT_EQ(target->Canvas()->Pixel(28, 8), static_cast<TColor>(RGB(0, 0xC0, 0)));
  TOwned<TBitmap> copy(New<TBitmap>());
  list->GetBitmap(0, copy.get());
  EXPECT_EQ(copy->Width(), 16);
  EXPECT_EQ(copy->Canvas()->Pixel(8, 8), static_cast<TColor>(RGB(0, 0xC0, 0)));
  EXPECT_EQ(list->AddIcon(nullptr), -1);
  EXPECT_EQ(list->Add(nullptr, nullptr), -1);
  list->SetWidth(32);  // a new size empties the list
  EXPECT_EQ(list->Count(), 0);
}

TEST(ImageListTest, ChangeLinksHearOfChangesUntilUnregistered) {
  TOwned<TImageList> list(New<TImageList>(nullptr));
  TOwned<TCountingClient> client(New<TCountingClient>());
  TOwned<TChangeLink> link(New<TChangeLink>());
  link->OnChange = MakeEvent<&TCountingClient::Changed>(client.get());
  list->RegisterChanges(link.get());
  auto image = RedSquare();
  list->Add(image.get(), nullptr);
  EXPECT_EQ(client->changes, 1);
  list->BeginUpdate();
  list->Add(image.get(), nullptr);
  list->Delete(0);
  EXPECT_EQ(client->changes, 1);
  list->EndUpdate();
  EXPECT_EQ(client->changes, 2);
  link.reset();  // a freed link leaves the list
  list->Clear();
  EXPECT_EQ(list->Count(), 0);
}

TEST(ImageListTest, SharedHandleOutlivesTheList) {
  HIMAGELIST shared = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 1, 1);
  {
    TOwned<TImageList> list(New<TImageList>(nullptr));
    list->SetShareImages(true);
    list->SetHandle(shared);
    auto image = RedSquare();
    list->AddMasked(image.get(), clFuchsia);
    EXPECT_EQ(list->Width(), 16);
  }
  EXPECT_EQ(ImageList_GetImageCount(shared), 1);
  EXPECT_TRUE(ImageList_Destroy(shared));
}

TEST(ImageListTest, ImageStripRoundTrips) {
  TOwned<TImageList> list(New<TImageList>(nullptr));
  auto image = RedSquare();
  list->AddMasked(image.get(), clFuchsia);
  list->AddMasked(image.get(), clFuchsia);
  std::vector<uint8_t> strip = list->ImageStrip();
  TOwned<TImageList> copy(New<TImageList>(nullptr));
  copy->SetImageStrip(strip);
  EXPECT_EQ(copy->Count(), 2);
  auto target = Target(clWhite);
  copy->Draw(target->Canvas(), 0, 0, 1);
  EXPECT_EQ(target->Canvas()->Pixel(8, 8), clRed);
  EXPECT_EQ(target->Canvas()->Pixel(1, 1), clWhite);
  EXPECT_THROW(copy->SetImageStrip({1, 2, 3}), EInvalidGraphic);
}

}  // namespace
