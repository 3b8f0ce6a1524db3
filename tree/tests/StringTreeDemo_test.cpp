// The demo form: a two-column string tree with check boxes, images and a
// header over 100,000 nodes, scrolled and resized, saved as screenshots left
// to right and right to left, themed and classic. Pixel probes check where
// the text lands, that a shortened text stays inside its column, and where
// right-to-left text starts.
#include <gtest/gtest.h>

#include "tree/VirtualTrees.h"
#include "win/testing/Harness.h"

namespace {

constexpr uint32_t kRoots = 20000;
constexpr uint32_t kChildren = 4;  // 20,000 x (1 + 4) = 100,000 nodes

// Two 16 x 16 images drawn here: a folder and a document.
TImageList* MakeImages(TComponent* owner) {
  TImageList* list = New<TImageList>(owner);
  list->CreateSize(owner, 16, 16);
  for (int i = 0; i < 2; ++i) {
    TBitmap* b = New<TBitmap>();
    b->SetSize(16, 16);
    TCanvas* c = b->Canvas();
    c->Brush()->SetColor(clFuchsia);
    c->FillRect(TRect{0, 0, 16, 16});
    c->Brush()->SetColor(i == 0 ? TColor(0x0040C0F0) : clWhite);
    c->Pen()->SetColor(i == 0 ? TColor(0x00207090) : clGray);
    if (i == 0)
      c->Rectangle(1, 4, 15, 14);
    else
      c->Rectangle(3, 1, 13, 15);
    list->AddMasked(b, clFuchsia);
    b->Free();
  }
  return list;
}

struct DemoTest : ::testing::Test {
  void SetUp() override {
    Application->Initialize();
    form = New<TForm>(Application);
    form->SetBounds(20, 20, 520, 420);
    form->SetCaption("String tree demo");
    tree = New<TVirtualStringTree>(form);
    tree->SetParent(form);
    tree->SetBounds(4, 4, 500, 370);
    tree->SetAnchors({akLeft, akTop, akRight, akBottom});
    tree->SetColor(clWhite);
    tree->Font()->SetColor(clBlack);
    tree->SetImages(MakeImages(form));
    TTreeOptionValues v = tree->OptionValues();
    tree->TreeOptions()->SetMiscOptions(v.misc.Include(toCheckSupport));
    tree->TreeOptions()->SetPaintOptions(v.paint.Include(toShowTreeLines).Include(toShowButtons).Include(toShowRoot));
    TVTHeader* header = tree->Header();
    TVirtualTreeColumn* name = header->Columns()->Add();
    name->SetText(u"Name");
    name->SetWidth(300);
    TVirtualTreeColumn* size = header->Columns()->Add();
    size->SetText(u"Size");
    size->SetWidth(120);
    size->SetAlignment(taRightJustify);
    header->SetHeight(20);
    header->SetOptions(header->Options().Include(hoVisible).Include(hoShowSortGlyphs).Include(hoHotTrack));
    header->SetSortColumn(0);
    header->SetMainColumn(0);
    tree->OnInitNode = [](TBaseVirtualTree* sender, PVirtualNode parent, PVirtualNode node,
                          TVirtualNodeInitStates& states) {
      if (sender->GetNodeLevel(node) == 0) states.Include(ivsHasChildren);
      node->CheckType = ctCheckBox;
      if (node->Index % 3 == 0) node->CheckState = csCheckedNormal;
    };
    tree->OnInitChildren = [](TBaseVirtualTree*, PVirtualNode, uint32_t& count) { count = kChildren; };
    tree->OnGetText = [](TBaseVirtualTree* sender, PVirtualNode node, TColumnIndex column, TVSTTextType,
                         std::u16string& text) {
      std::string s;
      if (column == 1)
        s = std::to_string((node->Index + 1) * 1024) + " bytes";
      else if (sender->GetNodeLevel(node) == 0)
        s = "Folder " + std::to_string(node->Index + 1);
      else
        s = "Document " + std::to_string(node->Index + 1) + ".txt";
      text.assign(s.begin(), s.end());
    };
    tree->OnGetImageIndex = [](TBaseVirtualTree* sender, PVirtualNode node, TVTImageKind kind, TColumnIndex column,
                               bool&, int& index) {
      if (column == 0 && (kind == ikNormal || kind == ikSelected)) index = sender->GetNodeLevel(node) == 0 ? 0 : 1;
    };
    tree->SetRootNodeCount(kRoots);
    tree->FullExpand();
    form->Show();
    qvtest::Pump(50);
  }
  void TearDown() override { form->Free(); }

  void Classic() {
    TTreeOptionValues v = tree->OptionValues();
    tree->TreeOptions()->SetPaintOptions(v.paint.Exclude(toThemeAware));
    tree->DoStateChange({}, {tsUseThemes});
  }
  void Show(const std::string& name) {
    RedrawWindow(form->Handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    qvtest::Pump(30);
    qvtest::SaveScreenshot(form->Handle(), name);
  }
  // Pixels of the text colour (black) inside r of the painted client area.
  int TextPixels(TBitmap* bitmap, const TRect& r) {
    int count = 0;
    for (int y = std::max(r.Top, 0); y < std::min(r.Bottom, bitmap->Height()); ++y)
      for (int x = std::max(r.Left, 0); x < std::min(r.Right, bitmap->Width()); ++x)
        if (bitmap->Canvas()->Pixel(x, y) == clBlack) ++count;
    return count;
  }
  TBitmap* Render() {
    TBitmap* bitmap = New<TBitmap>();
    int w = tree->ClientWidth(), h = tree->ClientHeight();
    bitmap->SetSize(w, h);
    tree->PaintTree(bitmap->Canvas(), TRect{-tree->OffsetX(), 0, w - tree->OffsetX(), h}, TPoint{0, 0},
                    WindowPaintOptions(), pfDevice, -tree->OffsetY());
    return bitmap;
  }

  TForm* form = nullptr;
  TVirtualStringTree* tree = nullptr;
};

TEST_F(DemoTest, HundredThousandNodesScrolledAndResized) {
  EXPECT_EQ(tree->RootNode()->TotalCount - 1, kRoots * (1 + kChildren));
  Show("demo_ltr_themed");
  tree->SetOffsetY(-static_cast<int>(tree->RangeY() / 2));
  PVirtualNode top = tree->GetTopNode();
  ASSERT_NE(top, nullptr);
  EXPECT_GT(top->Parent == tree->RootNode() ? top->Index : top->Parent->Index, kRoots / 3);
  Show("demo_ltr_themed_scrolled");
  form->SetBounds(20, 20, 380, 300);
  qvtest::Pump(30);
  EXPECT_LT(tree->ClientWidth(), 420);
  Show("demo_ltr_themed_resized");
  Classic();
  Show("demo_ltr_classic");
}

TEST_F(DemoTest, TextLandsInItsCellsLeftToRight) {
  // A tree this large finds display rectangles through its position cache.
  ASSERT_TRUE(tree->TreeStates().Contains(tsUseCache));
  Classic();
  TBitmap* bitmap = Render();
  PVirtualNode first = tree->GetFirst();
  TRect nameText = tree->GetDisplayRect(first, 0, /*textOnly=*/true);
  TRect sizeCell = tree->GetDisplayRect(first, 1, /*textOnly=*/false);
  EXPECT_GT(TextPixels(bitmap, nameText), 10);
  // The size column is right-aligned: its left third stays empty, its right third has text.
  TRect sizeLeft = sizeCell, sizeRight = sizeCell;
  sizeLeft.Right = sizeCell.Left + sizeCell.Width() / 3;
  sizeRight.Left = sizeCell.Right - sizeCell.Width() / 3;
  EXPECT_EQ(TextPixels(bitmap, sizeLeft), 0);
  EXPECT_GT(TextPixels(bitmap, sizeRight), 10);
  bitmap->Free();
}

TEST_F(DemoTest, ShortenedTextStaysInsideItsColumn) {
  Classic();
  tree->Header()->Columns()->Items(0)->SetWidth(90);
  tree->Header()->Columns()->Items(1)->SetAlignment(taLeftJustify);
  tree->OnGetText = [](TBaseVirtualTree*, PVirtualNode, TColumnIndex column, TVSTTextType, std::u16string& text) {
    text = column == 0 ? u"A very long file name that cannot fit.txt" : u"";
  };
  tree->InvalidateNode(tree->GetFirst());
  TBitmap* bitmap = Render();
  PVirtualNode first = tree->GetFirst();
  TRect nameCell = tree->GetDisplayRect(first, 0, false);
  TRect sizeCell = tree->GetDisplayRect(first, 1, false);
  EXPECT_GT(TextPixels(bitmap, nameCell), 5);
  EXPECT_EQ(TextPixels(bitmap, sizeCell), 0) << "no text runs over into the next column";
  bitmap->Free();
}

TEST_F(DemoTest, RightToLeftTextStartsAtTheRight) {
  Classic();
  tree->SetBiDiMode(bdRightToLeft);
  for (int i = 0; i < 2; ++i) tree->Header()->Columns()->Items(i)->SetBiDiMode(bdRightToLeft);
  tree->Header()->Columns()->Items(1)->SetAlignment(taLeftJustify);  // mirrored: right
  Show("demo_rtl_classic");
  TBitmap* bitmap = Render();
  PVirtualNode first = tree->GetFirst();
  TRect cell = tree->GetDisplayRect(first, 1, false);
  TRect left = cell, right = cell;
  left.Right = cell.Left + cell.Width() / 3;
  right.Left = cell.Right - cell.Width() / 3;
  EXPECT_EQ(TextPixels(bitmap, left), 0);
  EXPECT_GT(TextPixels(bitmap, right), 10);
  bitmap->Free();
  TVTPaintOptions paint = tree->OptionValues().paint;
  tree->TreeOptions()->SetPaintOptions(paint.Include(toThemeAware));
  tree->DoStateChange({tsUseThemes});
  Show("demo_rtl_themed");
}

TEST_F(DemoTest, ShortenedRightToLeftTextKeepsItsStartAtTheRight) {
  Classic();
  TVirtualTreeColumn* size = tree->Header()->Columns()->Items(1);
  size->SetBiDiMode(bdRightToLeft);
  size->SetAlignment(taLeftJustify);  // mirrored: the reading edge is the right
  size->SetWidth(90);
  tree->OnGetText = [](TBaseVirtualTree*, PVirtualNode, TColumnIndex column, TVSTTextType, std::u16string& text) {
    text = column == 1 ? u"WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW" : u"";
  };
  TBitmap* bitmap = Render();
  PVirtualNode first = tree->GetFirst();
  TRect cell = tree->GetDisplayRect(first, 1, false);
  TRect name = tree->GetDisplayRect(first, 0, false);
  TRect start = cell;
  start.Left = cell.Right - cell.Width() / 3;
  EXPECT_GT(TextPixels(bitmap, start), 3) << "the start of the text at the right";
  // The name column is empty next to it (its check box and images sit at its far end).
  EXPECT_EQ(TextPixels(bitmap, TRect{cell.Left - 40, name.Top, cell.Left, name.Bottom}), 0)
      << "nothing runs over the left";
  // The ellipsis sits at the left end: the leftmost text pixels are its dots, a few pixels tall.
  int leftmost = cell.Right;
  for (int x = cell.Left; x < cell.Right && leftmost == cell.Right; ++x)
    for (int y = cell.Top; y < cell.Bottom; ++y)
      if (bitmap->Canvas()->Pixel(x, y) == clBlack) {
        leftmost = x;
        break;
      }
  ASSERT_LT(leftmost, cell.Right);
  int tall = TextPixels(bitmap, TRect{leftmost, cell.Top, leftmost + 1, cell.Bottom});
  EXPECT_LE(tall, 3) << "a dot, not a letter";
  bitmap->Free();
}

}  // namespace
