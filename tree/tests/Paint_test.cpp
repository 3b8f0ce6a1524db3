// The painting pipeline by pixel probes: a fixed tree (indent, sizes and
// colours set here) painted into a bitmap, with the colours asserted at the
// known coordinates of tree lines, buttons, check images, selection, focus
// rectangle and grid lines, left to right and right to left; the order of the
// paint events; the painting state after a throwing handler; handle counts
// over many repaints.
#include <gtest/gtest.h>

#include <stdexcept>

#include "ColumnTree.h"
#include "HandleWatermark.h"
#include "TreeTestSupport.h"
#include "win/testing/Harness.h"

namespace {

constexpr TColor kLine = clRed;
constexpr TColor kGrid = clBlue;
constexpr TColor kBack = clWhite;

struct PaintTest : ::testing::Test {
  void SetUp() override {
    Application->Initialize();
    form = New<TForm>(Application);
    form->SetBounds(10, 10, 400, 300);
    tree = New<TColumnTree>(form);
    tree->SetParent(form);
    tree->SetBounds(0, 0, 300, 200);
    tree->SetNodeDataSize(0);
    tree->SetColor(kBack);
    tree->Font()->SetColor(clBlack);
    tree->SetLineStyle(lsSolid);
    tree->Colors()->SetTreeLineColor(kLine);
    tree->Colors()->SetGridLineColor(kGrid);
    tree->Colors()->SetUnfocusedSelectionColor(clLime);
    tree->Colors()->SetUnfocusedSelectionBorderColor(clLime);
    tree->Colors()->SetFocusedSelectionColor(clAqua);
    tree->Colors()->SetFocusedSelectionBorderColor(clAqua);
    SetPaint({}, {toThemeAware});
    tree->nodeWidth = [](PVirtualNode, TColumnIndex) { return 20; };
    form->Show();
    target = New<TBitmap>();
  }
  void TearDown() override {
    target->Free();
    form->Free();
  }
  void SetPaint(std::initializer_list<TVTPaintOption> add, std::initializer_list<TVTPaintOption> remove) {
    TVTPaintOptions paint = tree->OptionValues().paint;
    for (TVTPaintOption o : add) paint.Include(o);
    for (TVTPaintOption o : remove) paint.Exclude(o);
    tree->TreeOptions()->SetPaintOptions(paint);
  }
  void IncludeMisc(TVTMiscOption o) {
    TVTMiscOptions misc = tree->OptionValues().misc;
    tree->TreeOptions()->SetMiscOptions(misc.Include(o));
  }
  void IncludeSelection(TVTSelectionOption o) {
    TVTSelectionOptions selection = tree->OptionValues().selection;
    tree->TreeOptions()->SetSelectionOptions(selection.Include(o));
  }
  // Paints the client area into the target bitmap (the window's own options).
  void Render(TVTPaintPassOptions options = WindowPaintOptions()) {
    int w = tree->ClientWidth(), h = tree->ClientHeight();
    target->SetSize(w, h);
    tree->PaintTree(target->Canvas(), TRect{-tree->OffsetX(), 0, w - tree->OffsetX(), h}, TPoint{0, 0}, options,
                    pfDevice, -tree->OffsetY());
  }
  TColor At(int x, int y) { return target->Canvas()->Pixel(x, y); }
  // Two top-level nodes; the first expanded with two children, the second collapsed with one.
  void BuildSmallTree() {
    first = tree->AddChild(nullptr);
    childA = tree->AddChild(first);
    childB = tree->AddChild(first);
    second = tree->AddChild(nullptr);
    tree->AddChild(second);
    tree->SetExpanded(first, true);
  }
  TForm* form = nullptr;
  TColumnTree* tree = nullptr;
  TBitmap* target = nullptr;
  PVirtualNode first = nullptr, childA = nullptr, childB = nullptr, second = nullptr;
};

}  // namespace

TEST_F(PaintTest, TreeLinesAndButtonsAtTheirPixels) {
  BuildSmallTree();
  Render();
  // Rows of 18: first 0, childA 18, childB 36, second 54. Lines meet at y + 9,
  // x = level * 18 + 9; buttons (9 x 9) at x 4, y + 5.
  EXPECT_EQ(At(9, 16), kLine);       // first: down from its centre
  EXPECT_EQ(At(15, 9), kLine);       // first: right of its button
  EXPECT_EQ(At(9, 3), kBack);        // first: nothing above it (first top-level node)
  EXPECT_EQ(At(9, 20), kLine);       // childA: the parent's level runs on
  EXPECT_EQ(At(27, 20), kLine);      // childA: its own level
  EXPECT_EQ(At(33, 27), kLine);      // childA: towards its content
  EXPECT_EQ(At(27, 50), kBack);      // childB is the last child: no line below its centre
  EXPECT_EQ(At(27, 40), kLine);
  EXPECT_EQ(At(20, 24), kBack);
  // Minus on the expanded node, plus on the collapsed one: frame, face, sign.
  EXPECT_EQ(At(4, 5), kLine);
  EXPECT_EQ(At(6, 7), kBack);
  EXPECT_EQ(At(8, 9), clBlack);
  EXPECT_EQ(At(8, 7), kBack);
  EXPECT_EQ(At(8, 54 + 7), clBlack);
  EXPECT_EQ(At(6, 54 + 9), clBlack);
  // No buttons without toShowButtons; dotted lines alternate.
  SetPaint({}, {toShowButtons});
  tree->SetLineStyle(lsDotted);
  Render();
  EXPECT_EQ(At(4, 5), kBack);
  EXPECT_NE(At(9, 20), At(9, 21));
}

TEST_F(PaintTest, RightToLeftTreeLinesStartAtTheRightEdge) {
  BuildSmallTree();
  tree->SetBiDiMode(bdRightToLeft);
  Render();
  int w = std::max(static_cast<int>(tree->RangeX()), tree->ClientWidth());
  EXPECT_EQ(At(w - 9 - 1 + 1, 16), kLine);
  EXPECT_EQ(At(w - 15, 9), kLine);
  EXPECT_EQ(At(w - 27, 20), kLine);
  EXPECT_EQ(At(w - 33, 27), kLine);
  EXPECT_EQ(At(w - 4 - 9 + 4, 9), clBlack);  // minus sign of the first node's button
  EXPECT_EQ(At(9, 16), kBack);
  // The check image and the selection box are mirrored too: check after the
  // indent and margin from the right, the label box left of it.
  IncludeMisc(toCheckSupport);
  second->CheckType = ctCheckBox;
  tree->AddToSelection(second);
  tree->SetHotNode(nullptr);
  Render();
  int checkRight = w - 18 - 4;  // one level of indent (toShowRoot) and the margin
  TBitmap* reference = New<TBitmap>();
  reference->SetSize(16, 16);
  reference->Canvas()->Brush()->SetColor(tree->Focused() ? clAqua : clLime);
  reference->Canvas()->FillRect(TRect{0, 0, 16, 16});
  ImageList_Draw(tree->CheckImages()->Handle(), 9, reference->Canvas()->Handle(), 0, 0, ILD_TRANSPARENT);
  int differences = 0;
  for (int py = 2; py < 14; ++py)
    for (int px = 2; px < 14; ++px)
      if (At(checkRight - 16 + px, 54 + 1 + py) != reference->Canvas()->Pixel(px, py)) ++differences;
  reference->Free();
  EXPECT_EQ(differences, 0);
  int labelRight = checkRight - 16 - 2;
  EXPECT_EQ(At(labelRight - 10, 54 + 9), tree->Focused() ? clAqua : clLime);
  EXPECT_EQ(At(labelRight - 30, 54 + 9), kBack);
}

TEST_F(PaintTest, CheckImagesInEveryState) {
  IncludeMisc(toCheckSupport);
  struct Case {
    TCheckType type;
    TCheckState state;
    bool disabled, hot;
    int image;
  } cases[] = {
      {ctCheckBox, csUncheckedNormal, false, false, 9},    {ctCheckBox, csUncheckedNormal, false, true, 10},
      {ctCheckBox, csUncheckedPressed, false, true, 11},   {ctCheckBox, csUncheckedNormal, true, false, 12},
      {ctTriStateCheckBox, csCheckedNormal, false, false, 13}, {ctTriStateCheckBox, csCheckedNormal, true, true, 16},
      {ctTriStateCheckBox, csMixedNormal, false, false, 17},   {ctRadioButton, csMixedPressed, false, false, 19},
      {ctRadioButton, csUncheckedNormal, false, false, 1},     {ctRadioButton, csCheckedNormal, false, true, 6},
      {ctButton, csCheckedNormal, false, false, 21},           {ctButton, csUncheckedPressed, false, false, 23},
  };
  std::vector<PVirtualNode> nodes;
  for (const Case& c : cases) {
    PVirtualNode node = tree->AddChild(nullptr);
    node->CheckType = c.type;
    node->CheckState = c.state;
    if (c.disabled) tree->SetDisabled(node, true);
    nodes.push_back(node);
  }
  form->SetBounds(10, 10, 400, 400);
  tree->SetBounds(0, 0, 300, 300);
  TBitmap* reference = New<TBitmap>();
  reference->SetSize(16, 16);
  for (size_t i = 0; i < nodes.size(); ++i) {
    tree->SetHotNode(cases[i].hot ? nodes[i] : nullptr);
    ASSERT_EQ(tree->GetCheckImage(nodes[i]), cases[i].image) << i;
    Render();
    // The image sits after the indent (toShowRoot) and the margin, centred on the row.
    int x = 18 + 4, y = static_cast<int>(i) * 18 + 9 - 8;
    reference->Canvas()->Brush()->SetColor(kBack);
    reference->Canvas()->FillRect(TRect{0, 0, 16, 16});
    ImageList_Draw(tree->CheckImages()->Handle(), cases[i].image, reference->Canvas()->Handle(), 0, 0,
                   ILD_TRANSPARENT);
    int differences = 0;
    for (int py = 0; py < 16; ++py)
      for (int px = 0; px < 16; ++px)
        if (At(x + px, y + py) != reference->Canvas()->Pixel(px, py)) ++differences;
    EXPECT_EQ(differences, 0) << "case " << i;
  }
  reference->Free();
}

TEST_F(PaintTest, SelectionAndFocusRectangle) {
  PVirtualNode node = tree->AddChild(nullptr);
  PVirtualNode next = tree->AddChild(nullptr);
  tree->AddToSelection(node);
  Render();
  // Unfocused: the label box (margin after one indent level, node width 20).
  TColor selection = tree->Focused() ? clAqua : clLime;
  EXPECT_EQ(At(18 + 4 + 10, 9), selection);
  EXPECT_EQ(At(18 + 4 + 30, 9), kBack);
  EXPECT_EQ(At(18 + 4 + 10, 18 + 9), kBack);
  // In the window (read from its own surface, not the screen, which Wine
  // updates later): a single-selection tree repaints the node that a new
  // selection replaced.
  ASSERT_FALSE(tree->OptionValues().selection.Contains(toMultiSelect));
  auto painted = [&](int y) {
    HDC dc = GetDC(tree->Handle());
    COLORREF c = GetPixel(dc, 18 + 4 + 10, y);
    ReleaseDC(tree->Handle(), dc);
    return c;
  };
  tree->Invalidate();
  tree->Update();
  EXPECT_EQ(painted(9), static_cast<COLORREF>(selection));
  tree->AddToSelection(next);
  tree->Update();
  EXPECT_EQ(painted(9), static_cast<COLORREF>(kBack));
  EXPECT_EQ(painted(18 + 9), static_cast<COLORREF>(selection));
  tree->AddToSelection(node);
  // Pop-up mode paints as focused, with the focus rectangle around the box.
  SetPaint({toPopupMode}, {});
  tree->SetFocusedNode(node);
  Render();
  EXPECT_EQ(At(18 + 4 + 10, 9), clAqua);
  int changed = 0;
  for (int x = 22; x < 42; ++x)
    if (At(x, 0) != clAqua) ++changed;
  EXPECT_GT(changed, 5);
  // Full-row selection fills the whole row; hidden selection none.
  IncludeSelection(toFullRowSelect);
  Render();
  EXPECT_EQ(At(200, 9), clAqua);
  SetPaint({toAlwaysHideSelection}, {});
  Render();
  EXPECT_EQ(At(200, 9), kBack);
}

TEST_F(PaintTest, GridLinesAndColumnColours) {
  std::vector<TColumnTree::TColumn> columns(2);
  columns[1].ParentColor = false;
  columns[1].Color = clYellow;
  tree->SetColumns(columns, 0);
  SetPaint({toShowHorzGridLines, toShowVertGridLines}, {});
  tree->AddChild(nullptr);
  tree->AddChild(nullptr);
  Render();
  EXPECT_EQ(At(79, 5), kGrid);    // right edge of column 0
  EXPECT_EQ(At(159, 5), kGrid);   // right edge of column 1
  EXPECT_EQ(At(40, 17), kGrid);   // bottom of row 0
  EXPECT_EQ(At(120, 30), clYellow);
  EXPECT_EQ(At(120, 100), clYellow);  // the column colour continues below the nodes
  EXPECT_EQ(At(79, 100), kBack);      // without full grid lines none below
  SetPaint({toFullVertGridLines}, {});
  Render();
  EXPECT_EQ(At(79, 100), kGrid);
  // Right of the last column every pixel column below the nodes is painted.
  target->Canvas()->Brush()->SetColor(clFuchsia);
  target->Canvas()->FillRect(TRect{0, 0, target->Width(), target->Height()});
  tree->PaintTree(target->Canvas(), TRect{0, 0, target->Width(), target->Height()}, TPoint{0, 0},
                  WindowPaintOptions());
  EXPECT_EQ(At(159, 100), kGrid);
  for (int x = 160; x < 170; ++x) EXPECT_EQ(At(x, 100), kBack) << "x " << x;
  // A right-to-left cell that is empty gives up its pixel column without a line.
  tree->columns[1].BiDiMode = bdRightToLeft;
  tree->cellEmpty = [](PVirtualNode, TColumnIndex c) { return c == 1; };
  Render();
  EXPECT_EQ(At(159, 5), kBack);
  EXPECT_EQ(At(158, 5), clYellow);
  EXPECT_EQ(At(79, 5), kGrid);
  // The window's paint: a fixed column stays while the rest scrolls.
  tree->columns[0].Fixed = true;
  tree->columns[1].Width = 250;
  tree->columns[1].BiDiMode = bdLeftToRight;
  tree->UpdateScrollBars(true);
  tree->SetOffsetX(-100);
  tree->Invalidate();
  tree->Update();
  auto screen = [&](int x, int y) {
    uint32_t c = qvtest::PixelAt(tree->Handle(), x, y);
    return static_cast<TColor>(((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF));
  };
  EXPECT_EQ(screen(79, 5), kGrid);
  ASSERT_LT(tree->OffsetX(), -20);
  EXPECT_EQ(screen(80 + 250 + tree->OffsetX() - 1, 5), kGrid);
  EXPECT_EQ(screen(100, 5), clYellow);
}

TEST_F(PaintTest, EventsInOrderAndMeasuredOnce) {
  static std::string log;
  log.clear();
  tree->OnBeforePaint = [](TBaseVirtualTree*, TCanvas*) { log += "B"; };
  tree->OnMeasureItem = [](TBaseVirtualTree*, TCanvas*, PVirtualNode, int& height) {
    log += "M";
    height = 25;
  };
  tree->OnBeforeItemErase = [](TBaseVirtualTree*, TCanvas*, PVirtualNode, TRect, TColor&, TItemEraseAction&) {
    log += "E";
  };
  tree->OnBeforeCellPaint = [](TBaseVirtualTree*, TCanvas*, PVirtualNode, TColumnIndex, TRect) { log += "C"; };
  tree->OnDrawNode = [](TBaseVirtualTree*, const TVTPaintInfo&) { log += "N"; };
  tree->OnAfterCellPaint = [](TBaseVirtualTree*, TCanvas*, PVirtualNode, TColumnIndex, TRect) { log += "c"; };
  tree->OnAfterItemPaint = [](TBaseVirtualTree*, TCanvas*, PVirtualNode, TRect) { log += "i"; };
  tree->OnPaintBackground = [](TBaseVirtualTree*, TCanvas*, TRect, bool&) { log += "G"; };
  tree->OnAfterPaint = [](TBaseVirtualTree*, TCanvas*) { log += "A"; };
  tree->SetRootNodeCount(2);
  Render();
  EXPECT_EQ(log, "BMECNciMECNciGA");
  EXPECT_EQ(tree->GetFirst()->NodeHeight, 25);
  log.clear();
  Render();
  EXPECT_EQ(log, "BECNciECNciGA");
}

TEST_F(PaintTest, ThrowingHandlerLeavesNoPaintingState) {
  tree->SetRootNodeCount(3);
  tree->OnDrawNode = [](TBaseVirtualTree*, const TVTPaintInfo&) { throw std::runtime_error("handler"); };
  EXPECT_THROW(Render(), std::runtime_error);
  EXPECT_FALSE(tree->TreeStates().Contains(tsPainting));
  tree->OnDrawNode = nullptr;
  Render();
  EXPECT_EQ(At(100, 100), kBack);
}

TEST_F(PaintTest, OnlySelectedRowsAndZeroSizeBackground) {
  tree->SetRootNodeCount(3);
  PVirtualNode middle = tree->GetNext(tree->GetFirst());
  tree->AddToSelection(middle);
  target->SetSize(tree->ClientWidth(), 54);
  target->Canvas()->Brush()->SetColor(clFuchsia);
  target->Canvas()->FillRect(TRect{0, 0, target->Width(), 54});
  tree->PaintTree(target->Canvas(), TRect{0, 0, tree->ClientWidth(), 54}, TPoint{0, 0}, {ppSelection, ppSelectedOnly});
  EXPECT_EQ(At(100, 5), clFuchsia);   // unselected rows are skipped...
  EXPECT_EQ(At(100, 18 + 5), kBack);  // ...yet the selected one keeps its place
  EXPECT_EQ(At(18 + 4 + 10, 18 + 9), tree->Focused() ? clAqua : clLime);
  // The same rows through a 24-bit row bitmap.
  tree->PaintTree(target->Canvas(), TRect{0, 0, tree->ClientWidth(), 54}, TPoint{0, 0}, {ppSelection}, pf24bit);
  EXPECT_EQ(At(100, 5), kBack);
  EXPECT_EQ(At(18 + 4 + 10, 18 + 9), tree->Focused() ? clAqua : clLime);
  // A background picture without pixels is no picture.
  TBitmap* empty = New<TBitmap>();
  TPicture* picture = New<TPicture>();
  picture->SetGraphic(empty);
  tree->SetBackground(picture);
  SetPaint({toShowBackground}, {});
  Render();
  EXPECT_EQ(At(100, 100), kBack);
  picture->Free();
  empty->Free();
}

TEST_F(PaintTest, TiledBackgroundStaysWithTheWindow) {
  tree->SetRootNodeCount(40);
  TBitmap* tile = New<TBitmap>();
  tile->SetSize(10, 10);
  tile->Canvas()->Brush()->SetColor(clGreen);
  tile->Canvas()->FillRect(TRect{0, 0, 10, 10});
  tile->Canvas()->Brush()->SetColor(clNavy);
  tile->Canvas()->FillRect(TRect{0, 0, 5, 5});
  TPicture* picture = New<TPicture>();
  picture->SetGraphic(tile);
  tree->SetBackground(picture);
  SetPaint({toShowBackground}, {});
  Render();
  EXPECT_EQ(At(201, 31), clNavy);
  EXPECT_EQ(At(206, 36), clGreen);
  tree->SetOffsetY(-37);
  Render();
  EXPECT_EQ(At(201, 31), clNavy);
  picture->Free();
  tile->Free();
}

TEST_F(PaintTest, WindowPaintsAndHandleCountsStayFlat) {
  BuildSmallTree();
  IncludeMisc(toCheckSupport);
  first->CheckType = ctTriStateCheckBox;
  tree->Invalidate();
  tree->Update();
  EXPECT_EQ(qvtest::PixelAt(tree->Handle(), 9, 16), static_cast<uint32_t>(0xFF0000));
  qvtest::SaveScreenshot(form->Handle(), "tree_paint_small");
  for (int i = 0; i < 20; ++i) {
    tree->Invalidate();
    tree->Update();
  }
  unsigned gdi = GdiWatermark();
  unsigned user = UserWatermark();
  for (int i = 0; i < 1000; ++i) {
    tree->SetOffsetY(i % 2 == 0 ? -10 : 0);
    tree->Invalidate();
    tree->Update();
  }
  EXPECT_LE(GdiWatermark(), gdi + 20);
  EXPECT_LE(UserWatermark(), user + 20);
}

TEST_F(PaintTest, DisabledAndBlendedImagesLeaveTheListAlone) {
  // One 16 x 16 image, solid red, in a list whose background colour is someone else's business.
  TImageList* list = New<TImageList>(form);
  TBitmap* red = New<TBitmap>();
  red->SetSize(16, 16);
  red->Canvas()->Brush()->SetColor(clRed);
  red->Canvas()->FillRect(TRect{0, 0, 16, 16});
  list->Add(red, nullptr);
  red->Free();
  list->SetBkColor(clNone);
  tree->SetImages(list);
  tree->imageIndex = [](PVirtualNode, TVTImageKind kind, TColumnIndex) { return kind == ikOverlay ? -1 : 0; };
  tree->SetRootNodeCount(3);
  PVirtualNode disabled = tree->GetNext(tree->GetFirst());
  tree->SetDisabled(disabled, true);
  PVirtualNode ghost = tree->GetLast();
  tree->SetSelected(ghost, true);
  SetPaint({toUseBlendedImages, toGhostedIfUnfocused}, {});
  Render();
  // Images sit after one indent and the margin, centred on the 18-pixel rows.
  int x = 18 + 4 + 8, y = 9;
  EXPECT_EQ(At(x, y), clRed);
  TColor grey = At(x, 18 + y);
  int r = grey & 0xFF, g = (grey >> 8) & 0xFF, b = (grey >> 16) & 0xFF;
  EXPECT_EQ(r, g);  // greyed: no hue left
  EXPECT_EQ(g, b);
  EXPECT_GT(r, 0x80);
  // Selected and blended: half red, half the highlight colour.
  TColor blended = At(x, 36 + y);
  EXPECT_NE(blended, clRed);
  COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
  EXPECT_NEAR(blended & 0xFF, (0xFF + GetRValue(highlight)) / 2, 2);
  EXPECT_EQ(list->BkColor(), clNone);
}

TEST_F(PaintTest, MeasuringMayAskForARepaintWithoutReentering) {
  static TColumnTree* measured = nullptr;
  static int depth = 0, deepest = 0;
  measured = tree;
  depth = deepest = 0;
  tree->OnBeforePaint = [](TBaseVirtualTree*, TCanvas*) { deepest = std::max(deepest, ++depth); };
  tree->OnAfterPaint = [](TBaseVirtualTree*, TCanvas*) { --depth; };
  tree->OnMeasureItem = [](TBaseVirtualTree*, TCanvas*, PVirtualNode, int& height) {
    height = 30;
    measured->Repaint();  // paints synchronously: must not run the pipeline inside itself
  };
  tree->SetRootNodeCount(5);
  tree->Invalidate();
  tree->Update();
  qvtest::Pump(50);
  EXPECT_EQ(deepest, 1);
  EXPECT_EQ(tree->GetFirst()->NodeHeight, 30);
  EXPECT_FALSE(tree->TreeStates().Contains(tsPainting));
}

TEST_F(PaintTest, BlendedSelectionAndRubberBand) {
  tree->SetRootNodeCount(8);
  tree->AddToSelection(tree->GetFirst());
  SetPaint({toUseBlendedSelection}, {});
  Render();
  // Half white, half the selection colour (factor 128).
  TColor selection = tree->Focused() ? clAqua : clLime;
  auto mix = [](int back, int front) { return (back * 128 + front * 128) >> 8; };
  TColor label = At(18 + 4 + 10, 9);
  EXPECT_NEAR(label & 0xFF, mix(0xFF, selection & 0xFF), 1);
  EXPECT_NEAR((label >> 8) & 0xFF, mix(0xFF, (selection >> 8) & 0xFF), 1);
  EXPECT_NEAR((label >> 16) & 0xFF, mix(0xFF, (selection >> 16) & 0xFF), 1);
  // A blended rubber band over rows and the area below them, framed in its border colour.
  tree->SetDrawSelectionMode(smBlendedRectangle);
  tree->Colors()->SetSelectionRectangleBlendColor(clBlue);
  tree->Colors()->SetSelectionRectangleBorderColor(clNavy);
  tree->SetRubberBand(TRect{100, 50, 200, 180});
  tree->DoStateChange({tsDrawSelecting});
  Render();
  tree->DoStateChange({}, {tsDrawSelecting});
  EXPECT_EQ(At(100, 120), clNavy);   // left edge of the frame
  EXPECT_EQ(At(150, 179), clNavy);   // bottom edge, below the last row (8 x 18 = 144)
  TColor inside = At(150, 100);
  EXPECT_NEAR((inside >> 16) & 0xFF, mix(0xFF, 0xFF), 1);  // blue stays full
  EXPECT_NEAR(inside & 0xFF, mix(0xFF, 0), 1);             // red halves
  EXPECT_EQ(At(150, 40), kBack);
}
