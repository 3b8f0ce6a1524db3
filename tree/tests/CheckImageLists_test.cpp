// The shared check image lists are drawn one by one when first asked for:
// making trees draws none; a tree draws the list of its kind when it paints
// checks or is asked for it; a list drawn alone, in any order, has the pixels
// it has when all are drawn together in kind order. Each runs in a child
// process, where no list has been drawn yet.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <vector>

#include "tree/VirtualTrees.h"
#include "win/testing/Harness.h"

namespace {

const TCheckImageKind kKinds[] = {ckLightCheck, ckDarkCheck, ckLightTick,
                                  ckDarkTick,   ckFlat,      ckXP,
                                  ckSystem,     ckSystemFlat};

int DrawnCount() {
  return static_cast<int>(
      std::count_if(std::begin(kKinds), std::end(kKinds), CheckImageListDrawn));
}

// Every image of the list drawn on white and on black (so the mask counts),
// pixel by pixel, after its size and count.
std::vector<uint32_t> Pixels(TCustomImageList *list) {
  std::vector<uint32_t> result{uint32_t(list->Width()),
                               uint32_t(list->Height()),
                               uint32_t(list->Count())};
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = list->Width();
  info.bmiHeader.biHeight = -list->Height();
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void *bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap =
      CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, bitmap);
  const size_t count = size_t(list->Width()) * list->Height();
  for (int i = 0; i < list->Count(); ++i) {
    for (int background : {WHITE_BRUSH, BLACK_BRUSH}) {
      RECT all{0, 0, list->Width(), list->Height()};
      FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(background)));
      ImageList_Draw(list->Handle(), i, dc, 0, 0, ILD_TRANSPARENT);
      GdiFlush();
      const uint32_t *p = static_cast<const uint32_t *>(bits);
      result.insert(result.end(), p, p + count);
    }
  }
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  return result;
}

} // namespace

namespace {

int TreesDrawOnlyTheListTheyShow() {
  int failures = 0;
  Application->Initialize();
  TForm *form = New<TForm>(Application);
  form->SetBounds(10, 10, 300, 200);
  auto *plain = New<TVirtualDrawTree>(form);
  auto *checked = New<TVirtualDrawTree>(form);
  checked->SetParent(form);
  checked->SetBounds(0, 0, 250, 150);
  checked->SetCheckImageKind(ckSystemFlat);
  checked->SetCheckImageKind(ckDarkTick);
  checked->TreeOptions()->SetMiscOptions(
      checked->TreeOptions()->MiscOptions().Include(toCheckSupport));
  checked->SetRootNodeCount(3);
  if (!SharedResourcesReady() || DrawnCount() != 0)
    failures |= 1;
  // Showing the form paints the checks of the tree's kind only.
  for (PVirtualNode node = checked->GetFirst(); node != nullptr;
       node = checked->GetNext(node))
    checked->SetCheckType(node, ctCheckBox);
  form->Show();
  qvtest::Pump(100);
  if (!CheckImageListDrawn(ckDarkTick) || DrawnCount() != 1)
    failures |= 2;
  // A system set brings the list it takes its push buttons from.
  plain->SetCheckImageKind(ckSystem);
  if (DrawnCount() != 1)
    failures |= 4;
  if (plain->CheckImages() != GetCheckImageListFor(ckSystem) ||
      plain->CheckImages() == nullptr)
    failures |= 8;
  if (!CheckImageListDrawn(ckSystem) || !CheckImageListDrawn(ckDarkCheck) ||
      DrawnCount() != 3)
    failures |= 16;
  // The same list object every time it is asked for.
  if (GetCheckImageListFor(ckDarkTick) != checked->CheckImages())
    failures |= 32;
  form->Free();
  return failures;
}

// Differential: rounds of set-up, asking for the lists in a random order
// (and only some of them), against the first round, which asks for all in
// kind order right after set-up as the trees once drew them.
int DrawnAloneInAnyOrderAsAllTogether() {
  int failures = 0;
  Application->Initialize();
  std::vector<std::vector<uint32_t>> reference;
  std::mt19937 rng(36);
  for (int round = 0; round < 12; ++round) {
    SetUpSharedResources();
    if (DrawnCount() != 0)
      failures |= 1;
    std::vector<int> order{0, 1, 2, 3, 4, 5, 6, 7};
    size_t asked = order.size();
    if (round > 0) {
      std::shuffle(order.begin(), order.end(), rng);
      asked = 1 + rng() % order.size();
    }
    for (size_t i = 0; i < asked; ++i) {
      std::vector<uint32_t> pixels =
          Pixels(GetCheckImageListFor(kKinds[order[i]]));
      if (round == 0)
        reference.push_back(pixels);
      else if (pixels != reference[order[i]])
        failures |= 2;
    }
    ReleaseSharedResources();
  }
  return failures;
}

} // namespace

TEST(CheckImageLists, TreesDrawOnlyTheListTheyShow) {
  EXPECT_EXIT(std::exit(100 + TreesDrawOnlyTheListTheyShow()),
              ::testing::ExitedWithCode(100), "");
}

TEST(CheckImageLists, DrawnAloneInAnyOrderAsAllTogether) {
  EXPECT_EXIT(std::exit(100 + DrawnAloneInAnyOrderAsAllTogether()),
              ::testing::ExitedWithCode(100), "");
}
