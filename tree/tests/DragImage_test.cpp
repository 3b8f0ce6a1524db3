// The drag image: its alpha channel (colour key and fade), the layered window
// shown, moved and hidden (transparent to the mouse, so the drop target under
// it is still found), restricted moves, the tree's picture of its selected
// nodes, and no handles left behind after many drags.
#include <gtest/gtest.h>

#include <cmath>

#include "HandleWatermark.h"
#include "tree/DragImage.h"
#include "tree/VirtualTrees.h"
#include "win/testing/Harness.h"

namespace {

// A 32-bit picture: background colour with a square of another colour in its middle.
HBITMAP MakePicture(int width, int height, uint32_t background, uint32_t square) {
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  auto* pixels = static_cast<uint32_t*>(bits);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      bool inner = std::abs(x - width / 2) < width / 4 && std::abs(y - height / 2) < height / 4;
      pixels[y * width + x] = inner ? square : background;
    }
  return bitmap;
}

uint32_t ExpectedFade(int x, int y, int width, int height) {
  double s = std::max(width, height);
  double dx = (x - width / 2) / s, dy = (y - height / 2) / s;
  return static_cast<uint32_t>(std::lround(255 * std::exp(-8 * std::sqrt(dx * dx + dy * dy))));
}

class TPictureTree : public TVirtualStringTree {
public:
  using TBaseVirtualTree::PrepareDragImage;
};

struct DragImageTest : ::testing::Test {
  void SetUp() override {
    Application->Initialize();
    OleInitialize(nullptr);
    form = New<TForm>(Application);
    form->SetBounds(0, 0, 420, 320);
    tree = New<TPictureTree>(form);
    tree->SetParent(form);
    tree->SetBounds(0, 0, 400, 300);
    form->Show();
    qvtest::Pump(10);
  }
  void TearDown() override { form->Free(); }
  TForm* form = nullptr;
  TPictureTree* tree = nullptr;
};

}  // namespace

TEST_F(DragImageTest, AlphaChannelHidesTheColourKeyAndFadesFromTheCentre) {
  TVTDragImage image(tree);
  HBITMAP picture = MakePicture(40, 30, 0x00FFFFFF, 0x00102030);
  image.SetColorKey(clWhite);
  image.PrepareDrag(picture, TPoint{100, 100}, TPoint{120, 115}, nullptr);
  DeleteObject(picture);
  ASSERT_TRUE(image.States().Contains(dsPrepared));
  EXPECT_FALSE(image.States().Contains(dsSystemSupport));
  EXPECT_FALSE(image.Visible());  // prepared hidden
  EXPECT_EQ(image.ImageSize(), (TSize{40, 30}));
  // A pixel of exactly the key colour is fully transparent, whatever its place.
  EXPECT_EQ(image.PixelAt(0, 0), 0x00FFFFFFu);
  EXPECT_EQ(image.PixelAt(10, 14) >> 24, 0u);
  // The others fade from the centre (solid there).
  EXPECT_EQ(image.PixelAt(20, 15), 0xFF102030u);
  for (int x = 11; x < 29; x += 3)
    EXPECT_EQ(image.PixelAt(x, 12) >> 24, ExpectedFade(x, 12, 40, 30)) << x;
  // Without a key nothing is transparent outright.
  picture = MakePicture(40, 30, 0x00FFFFFF, 0x00102030);
  image.SetColorKey(clNone);
  image.PrepareDrag(picture, TPoint{100, 100}, TPoint{120, 115}, nullptr);
  DeleteObject(picture);
  EXPECT_EQ(image.PixelAt(0, 0) >> 24, ExpectedFade(0, 0, 40, 30));
  EXPECT_EQ(image.PixelAt(0, 0) & 0xFFFFFF, 0xFFFFFFu);
  image.EndDrag();
  EXPECT_FALSE(image.States().Contains(dsPrepared));
  EXPECT_EQ(image.PixelAt(20, 15), 0u);
}

TEST_F(DragImageTest, ShownMovedAndHiddenAsALayeredWindowTheMousePassesThrough) {
  TVTDragImage image(tree);
  HBITMAP picture = MakePicture(60, 40, 0x00FFFFFF, 0x000000FF);
  image.SetColorKey(clWhite);
  TPoint origin = tree->ClientToScreen(TPoint{50, 50});
  image.PrepareDrag(picture, origin, TPoint{origin.X + 30, origin.Y + 20}, nullptr);
  DeleteObject(picture);
  HWND window = image.Window();
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_LAYERED);
  EXPECT_TRUE(image.GetDragImageRect().IsEmpty());

  image.ShowDragImage();
  EXPECT_TRUE(image.Visible());
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_EQ(image.GetDragImageRect(), Bounds(origin.X, origin.Y, 60, 40));
  // The tree under the picture is still what the mouse finds.
  POINT centre{origin.X + 30, origin.Y + 20};
  EXPECT_EQ(WindowFromPoint(centre), tree->Handle());

  // Moving the mouse by (+15, -5) moves the picture by as much.
  EXPECT_TRUE(image.WillMove(TPoint{origin.X + 45, origin.Y + 15}));
  EXPECT_TRUE(image.DragTo(TPoint{origin.X + 45, origin.Y + 15}, false));
  RECT r{};
  GetWindowRect(window, &r);
  EXPECT_EQ(r.left, origin.X + 15);
  EXPECT_EQ(r.top, origin.Y - 5);
  EXPECT_FALSE(image.DragTo(TPoint{origin.X + 45, origin.Y + 15}, false));
  EXPECT_TRUE(image.DragTo(TPoint{origin.X + 45, origin.Y + 15}, true));  // forced repaint

  // A move by more than the picture's size is a move like any other.
  image.DragTo(TPoint{origin.X + 245, origin.Y + 215}, false);
  EXPECT_EQ(image.GetDragImageRect(), Bounds(origin.X + 215, origin.Y + 195, 60, 40));

  // Hidden, the picture follows the mouse anyway and shows under it again.
  image.HideDragImage();
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_FALSE(image.WillMove(TPoint{origin.X, origin.Y}));
  EXPECT_TRUE(image.DragTo(TPoint{origin.X + 30, origin.Y + 20}, false));
  image.ShowDragImage();
  EXPECT_EQ(image.GetDragImageRect(), Bounds(origin.X, origin.Y, 60, 40));

  image.EndDrag();
  EXPECT_FALSE(IsWindow(window));
  EXPECT_FALSE(image.Visible());
}

TEST_F(DragImageTest, RestrictedMovesIgnoreTheOtherAxis) {
  TVTDragImage image(tree);
  HBITMAP picture = MakePicture(20, 20, 0, 0x00FF0000);
  image.PrepareDrag(picture, TPoint{10, 10}, TPoint{20, 20}, nullptr);
  DeleteObject(picture);
  image.ShowDragImage();
  image.SetMoveRestriction(dmrHorizontalOnly);
  EXPECT_FALSE(image.WillMove(TPoint{20, 90}));
  EXPECT_FALSE(image.DragTo(TPoint{20, 90}, false));
  EXPECT_TRUE(image.DragTo(TPoint{25, 90}, false));
  EXPECT_EQ(image.ImagePosition(), (TPoint{15, 10}));
  image.SetMoveRestriction(dmrVerticalOnly);
  EXPECT_FALSE(image.WillMove(TPoint{90, 90}));
  EXPECT_TRUE(image.DragTo(TPoint{90, 95}, false));
  EXPECT_EQ(image.ImagePosition(), (TPoint{15, 15}));
}

TEST_F(DragImageTest, WineRefusesTheSystemHelperSoTheTreeDrawsItself) {
  // With a data object the system's helper is asked first; Wine answers
  // E_NOTIMPL and the picture gets a window of its own.
  IDataObject* data = nullptr;
  ASSERT_EQ(CreateDataCache(nullptr, CLSID_NULL, IID_IDataObject, reinterpret_cast<void**>(&data)), S_OK);
  TVTDragImage image(tree);
  HBITMAP picture = MakePicture(30, 30, 0, 0x0000FF00);
  image.PrepareDrag(picture, TPoint{0, 0}, TPoint{15, 15}, data);
  DeleteObject(picture);
  data->Release();
  if (image.States().Contains(dsSystemSupport)) GTEST_SKIP() << "the system's drag-image helper took the picture";
  EXPECT_NE(image.Window(), nullptr);
  image.ShowDragImage();
  EXPECT_TRUE(image.Visible());
}

TEST_F(DragImageTest, TheTreePaintsItsSelectedNodesAtTheirPlaces) {
  tree->SetRootNodeCount(30);
  tree->OnGetText = [](TBaseVirtualTree*, PVirtualNode node, TColumnIndex, TVSTTextType, std::u16string& text) {
    text = u"node " + std::u16string(1, char16_t(u'A' + node->Index % 26));
  };
  tree->TreeOptions()->SetPaintOptions(tree->TreeOptions()->PaintOptions().Exclude(toShowTreeLines));
  PVirtualNode second = tree->GetFirst()->NextSibling;
  tree->AddToSelection(second);
  tree->SetDragWidth(120);
  tree->SetDragHeight(80);
  // Near the top-left corner the picture is cut at the tree's origin.
  TRect row = tree->GetDisplayRect(second, NoColumn, true);
  TPoint hotSpot{row.Left + 4, row.Top + 2};
  tree->PrepareDragImage(hotSpot, nullptr);
  TVTDragImage* image = tree->DragImage();
  ASSERT_TRUE(image->States().Contains(dsPrepared));
  TPoint screen = tree->ClientToScreen(TPoint{0, 0});
  EXPECT_EQ(image->ImagePosition(), screen);
  EXPECT_EQ(image->ImageSize(), (TSize{hotSpot.X + 60, hotSpot.Y + 40}));
  EXPECT_EQ(image->LastPosition(), tree->ClientToScreen(hotSpot));
  // The background is the colour key; only the selected row has anything else.
  auto opaqueInRows = [&](int top, int bottom) {
    int count = 0;
    for (int y = std::max(top, 0); y < std::min(bottom, image->ImageSize().cy); ++y)
      for (int x = 0; x < image->ImageSize().cx; ++x) count += (image->PixelAt(x, y) >> 24) != 0;
    return count;
  };
  TRect first = tree->GetDisplayRect(tree->GetFirst(), NoColumn, false);
  TRect selected = tree->GetDisplayRect(second, NoColumn, false);
  EXPECT_EQ(opaqueInRows(first.Top, first.Bottom), 0);
  EXPECT_GT(opaqueInRows(selected.Top, selected.Bottom), 20);
  EXPECT_EQ(opaqueInRows(selected.Bottom, selected.Bottom + 30), 0);
  image->EndDrag();

  tree->SetDragImageKind(diNoImage);
  tree->PrepareDragImage(hotSpot, nullptr);
  EXPECT_FALSE(image->States().Contains(dsPrepared));
}

TEST_F(DragImageTest, ManyDragsLeaveNoHandlesBehind) {
  TVTDragImage image(tree);
  auto cycle = [&] {
    HBITMAP picture = MakePicture(200, 350, 0x00FFFFFF, 0x00808080);
    image.PrepareDrag(picture, TPoint{5, 5}, TPoint{105, 180}, nullptr);
    DeleteObject(picture);
    image.ShowDragImage();
    image.DragTo(TPoint{140, 200}, false);
    image.HideDragImage();
    image.EndDrag();
  };
  for (int i = 0; i < 5; ++i) cycle();
  unsigned gdi = GdiWatermark(), user = UserWatermark();
  for (int i = 0; i < 60; ++i) cycle();
  EXPECT_LE(GdiWatermark(), gdi + 10);
  EXPECT_LE(UserWatermark(), user + 10);
}
