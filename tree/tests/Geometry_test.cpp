// Node geometry and hit tests against brute-force models: random trees with
// columns (hidden, fixed, right-to-left, aligned), indent, margins, images,
// check boxes and scroll offsets; display rectangles and the hit information
// of random points.
#include <gtest/gtest.h>

#include <random>

#include "ColumnTree.h"
#include "TreeTestSupport.h"
#include "win/testing/Harness.h"

namespace {

struct GeometryTest : ::testing::Test {
  void SetUp() override {
    Application->Initialize();
    form = New<TForm>(Application);
    form->SetBounds(10, 10, 500, 400);
    tree = New<TColumnTree>(form);
    tree->SetParent(form);
    tree->SetBounds(0, 0, 320, 220);
    tree->SetNodeDataSize(0);
    images = New<TImageList>(form);
    images->SetWidth(16);
    images->SetHeight(16);
    stateImages = New<TImageList>(form);
    stateImages->SetWidth(12);
    stateImages->SetHeight(12);
    twin = New<TVirtualDrawTree>(form);
    twin->SetParent(form);
    twin->SetBounds(0, 225, 320, 120);
    form->Show();
  }
  void TearDown() override { form->Free(); }

  // A random tree: nested children, some expanded, some hidden, random heights and check types.
  void BuildRandomTree(std::mt19937& rng, int count) {
    tree->Clear();
    tree->BeginUpdate();
    std::vector<PVirtualNode> nodes;
    for (int i = 0; i < count; ++i) {
      PVirtualNode parent = nodes.empty() || rng() % 3 == 0 ? nullptr : nodes[rng() % nodes.size()];
      PVirtualNode node = tree->AddChild(parent);
      tree->SetNodeHeight(node, 10 + rng() % 20);
      if (rng() % 4 == 0) node->CheckType = static_cast<TCheckType>(1 + rng() % 4);
      nodes.push_back(node);
    }
    for (PVirtualNode node : nodes) {
      if (rng() % 3 != 0) tree->SetExpanded(node, true);
      if (rng() % 12 == 0) tree->SetIsVisible(node, false);
    }
    tree->EndUpdate();
  }

  // The tree's columns in a real header, scrolled as the tree: the header's
  // own answer to which column lies under a point.
  TVirtualTreeColumns* MirrorColumnsInHeader() {
    TVirtualTreeColumns* columns = twin->Header()->Columns();
    columns->Clear();
    for (const TColumnTree::TColumn& c : tree->columns) columns->Add()->SetWidth(c.Width);
    for (size_t p = 0; p < tree->positions.size(); ++p)
      columns->Items(tree->positions[p])->SetPosition(static_cast<TColumnPosition>(p));
    for (size_t i = 0; i < tree->columns.size(); ++i) {
      TVirtualTreeColumn* c = columns->Items(static_cast<TColumnIndex>(i));
      c->SetOptions(c->Options().Set(coVisible, tree->columns[i].Visible).Set(coFixed, tree->columns[i].Fixed));
    }
    twin->SetBounds(0, 225, tree->ClientWidth() + twin->Width() - twin->ClientWidth(), 120);
    twin->SetOffsetX(tree->OffsetX());
    return columns;
  }

  TForm* form = nullptr;
  TColumnTree* tree = nullptr;
  TVirtualDrawTree* twin = nullptr;
  TImageList* images = nullptr;
  TImageList* stateImages = nullptr;
};

int Hash(PVirtualNode node, int column, int salt) {
  return static_cast<int>((reinterpret_cast<uintptr_t>(node) / 4 * 2654435761u + column * 40503u + salt) % 1000u);
}

// The hit information of client point (x, y) worked out from the screen
// intervals of every element of the cell; the column under the point is the
// header's answer.
THitInfo ExpectedHit(TColumnTree& t, TVirtualTreeColumns* header, int x, int y) {
  THitInfo h;
  TRect treeRect = t.GetTreeRect();
  if (x < 0) h.HitPositions.Include(hiToLeft);
  else if (x > treeRect.Right) h.HitPositions.Include(hiToRight);
  if (y < 0) h.HitPositions.Include(hiAbove);
  else if (y > treeRect.Bottom) h.HitPositions.Include(hiBelow);
  if (!h.HitPositions.Empty()) return h;

  // Content coordinates: a row without columns scrolls whole.
  int ax = x - t.OffsetX();
  int64_t top = 0;
  PVirtualNode node = LinearNodeAt(t, y - t.OffsetY(), top);
  if (node == nullptr) {
    h.HitPositions.Include(hiNowhere);
    return h;
  }
  h.HitNode = node;
  int left = 0, right = treeRect.Right;
  bool rtl = t.BiDiMode() != bdLeftToRight;
  TAlignment alignment = t.Alignment();
  if (!t.columns.empty()) {
    h.HitColumn = header->ColumnFromPosition(TPoint{x, 0});
    if (h.HitColumn < 0) {
      h.HitPositions.Include(hiNowhere);
      return h;
    }
    const TColumnTree::TColumn& column = t.columns[h.HitColumn];
    // The cell where the header shows its column, in client coordinates.
    header->GetColumnBounds(h.HitColumn, left, right);
    ax = x;
    rtl = column.BiDiMode != bdLeftToRight;
    alignment = column.Alignment;
  }
  h.HitPositions.Include(hiOnItem);
  // Screen interval of the element that starts `from` pixels after the cell's start edge.
  // Everything between the start edge and an image counts as that image (the
  // margin of a column other than the main column too).
  auto inside = [&](int from, int width) {
    int a = rtl ? right - from - width : left + from;
    return ax >= a && ax < a + width;
  };
  const TTreeOptionValues& o = t.OptionValues();
  bool isMain = h.HitColumn == t.mainColumn;
  int indent = static_cast<int>(t.Indent());
  int indentWidth = isMain ? (static_cast<int>(t.GetNodeLevel(node)) + (o.paint.Contains(toShowRoot) ? 1 : 0)) * indent : 0;
  if (inside(0, indentWidth)) {
    bool button = o.paint.Contains(toShowButtons) && (node->States & vsHasChildren) && inside(indentWidth - indent, indent);
    h.HitPositions.Include(button ? hiOnItemButton : hiOnItemIndent);
    return h;
  }
  if (!isMain && o.misc.Contains(toReportMode)) return h;
  int pos = indentWidth + t.Margin();
  bool check = isMain && o.misc.Contains(toCheckSupport) && node->CheckType != ctNone;
  if (check) pos += t.CheckImages()->Width() + 2;
  if (isMain && inside(indentWidth, pos - indentWidth)) {
    h.HitPositions = {hiOnItem};
    if (check) h.HitPositions.Include(hiOnItemCheckbox);
    return h;
  }
  if (t.StateImages() && t.imageIndex(node, ikState, h.HitColumn) >= 0) {
    pos += t.StateImages()->Width() + 2;
    if (inside(0, pos)) return h.HitPositions.Include(hiOnStateIcon), h;
  }
  if (t.Images() && t.imageIndex(node, ikNormal, h.HitColumn) >= 0) {
    pos += t.Images()->Width() + 2;
    if (inside(0, pos)) return h.HitPositions.Include(hiOnNormalIcon), h;
  }
  int width = t.DoGetNodeWidth(node, h.HitColumn);
  int span = right - left;
  if (width > span - pos) return h.HitPositions.Include(hiOnItemLabel), h;
  int from = alignment == taLeftJustify ? pos : alignment == taRightJustify ? span - width : (pos + span - width) / 2;
  if (inside(from, width)) return h.HitPositions.Include(hiOnItemLabel), h;
  int a = rtl ? right - from - width : left + from;
  h.HitPositions.Include(ax < a ? hiOnItemLeft : hiOnItemRight);
  return h;
}

std::string Describe(const THitInfo& h) {
  std::string s = "node " + std::to_string(reinterpret_cast<uintptr_t>(h.HitNode)) + " column " +
                  std::to_string(h.HitColumn) + " positions";
  for (int i = 0; i < 14; ++i)
    if (h.HitPositions.Contains(static_cast<THitPosition>(i))) s += " " + std::to_string(i);
  return s;
}

}  // namespace

TEST_F(GeometryTest, HitTestsMatchTheBruteForceModelAtRandomPoints) {
  std::mt19937 rng(11);
  tree->SetImages(images);
  tree->SetStateImages(stateImages);
  for (int round = 0; round < 60; ++round) {
    BuildRandomTree(rng, 60);
    tree->SetIndent(10 + rng() % 20);
    tree->SetMargin(rng() % 8);
    TVTPaintOptions paint = tree->OptionValues().paint;
    paint.Set(toShowRoot, rng() % 2).Set(toShowButtons, rng() % 4 != 0);
    tree->TreeOptions()->SetPaintOptions(paint);
    TVTMiscOptions misc = tree->OptionValues().misc;
    misc.Set(toCheckSupport, rng() % 2).Set(toReportMode, rng() % 3 == 0);
    tree->TreeOptions()->SetMiscOptions(misc);
    tree->SetBiDiMode(rng() % 3 == 0 ? bdRightToLeft : bdLeftToRight);
    tree->SetAlignment(static_cast<TAlignment>(rng() % 3));
    int salt = static_cast<int>(rng() % 100);
    tree->nodeWidth = [salt](PVirtualNode n, TColumnIndex c) { return 5 + Hash(n, c, salt) % 120; };
    tree->imageIndex = [salt](PVirtualNode n, TVTImageKind k, TColumnIndex c) {
      return Hash(n, c * 3 + k, salt) % 3 == 0 ? -1 : 1;
    };
    std::vector<TColumnTree::TColumn> columns;
    if (round % 4 != 0) {
      int count = 1 + static_cast<int>(rng() % 5);
      for (int i = 0; i < count; ++i) {
        TColumnTree::TColumn c;
        c.Width = 30 + static_cast<int>(rng() % 150);
        c.Visible = rng() % 5 != 0;
        c.Fixed = i == 0 && rng() % 3 == 0;
        c.Alignment = static_cast<TAlignment>(rng() % 3);
        c.BiDiMode = rng() % 3 == 0 ? bdRightToLeft : bdLeftToRight;
        columns.push_back(c);
      }
    }
    tree->SetColumns(columns, columns.empty() ? NoColumn : static_cast<TColumnIndex>(rng() % columns.size()));
    if (columns.size() > 2) std::shuffle(tree->positions.begin() + (tree->columns[0].Fixed ? 1 : 0),
                                         tree->positions.end(), rng);
    tree->UpdateScrollBars(true);
    tree->SetOffsetX(-static_cast<int>(rng() % 400));
    tree->SetOffsetY(-static_cast<int>(rng() % 2000));
    TVirtualTreeColumns* header = MirrorColumnsInHeader();
    ASSERT_EQ(twin->ClientWidth(), tree->ClientWidth());
    ASSERT_EQ(twin->OffsetX(), tree->OffsetX());
    // Random points, then every pixel of one row across the window.
    int row = static_cast<int>(rng() % 200);
    for (int i = 0; i < 400 + tree->ClientWidth() + 2; ++i) {
      int x = i < 400 ? static_cast<int>(rng() % 700) - 40 : i - 400 - 1;
      int y = i < 400 ? static_cast<int>(rng() % 400) - 40 : row;
      // The pixel column just past a full-row cell belongs to no cell.
      if (tree->columns.empty() && x == tree->GetTreeRect().Right) continue;
      THitInfo actual;
      tree->GetHitTestInfoAt(x, y, true, actual);
      THitInfo expected = ExpectedHit(*tree, header, x, y);
      ASSERT_EQ(Describe(actual), Describe(expected))
          << "round " << round << " at " << x << "," << y << " offset " << tree->OffsetX() << " range "
          << tree->RangeX() << " client " << tree->ClientWidth() << " level "
          << (actual.HitNode ? tree->GetNodeLevel(actual.HitNode) : 0) << " indent " << tree->Indent()
          << " bidi " << tree->BiDiMode();
    }
  }
}

TEST_F(GeometryTest, DisplayRectanglesMatchTheSumOfHeights) {
  std::mt19937 rng(5);
  tree->SetCacheSpacing(7);
  for (int round = 0; round < 6; ++round) {
    TVTMiscOptions misc = tree->OptionValues().misc;
    tree->TreeOptions()->SetMiscOptions(misc.Set(toVariableNodeHeight, false));
    BuildRandomTree(rng, 300);
    // Later rounds measure the rows as the cache is built, each measuring
    // changing the height of the first row measured (walked already).
    static PVirtualNode earlier;
    earlier = nullptr;
    tree->TreeOptions()->SetMiscOptions(misc.Set(toVariableNodeHeight, round >= 3));
    tree->OnMeasureItem = [](TBaseVirtualTree* sender, TCanvas*, PVirtualNode node, int&) {
      if (earlier != nullptr) sender->SetNodeHeight(earlier, 10 + (earlier->NodeHeight + 7) % 30);
      if (earlier == nullptr) earlier = node;
    };
    // A build a measured height stopped is asked for again.
    ASSERT_TRUE(qvtest::PumpUntil([&] {
      if (!tree->TreeStates().Contains(tsValidating)) tree->ValidateCache();
      return tree->TreeStates().Contains(tsUseCache);
    }, 5000));
    std::vector<TColumnTree::TColumn> columns(3);
    columns[0].Fixed = round % 2 == 0;
    columns[1].Visible = round % 3 != 0;
    tree->SetColumns(round == 0 ? std::vector<TColumnTree::TColumn>{} : columns);
    tree->SetOffsetX(-static_cast<int>(rng() % 100));
    tree->SetOffsetY(-static_cast<int>(rng() % 3000));
    int64_t top = 0;
    for (PVirtualNode node : ShownNodes(*tree)) {
      size_t entries = tree->CacheEntriesUpTo(node);
      if (entries > 0) ASSERT_LE(tree->PositionCache()[entries - 1].AbsoluteTop, top);
      TRect row = tree->GetDisplayRect(node, NoColumn, false);
      ASSERT_EQ(row.Top, top + tree->OffsetY());
      ASSERT_EQ(row.Bottom, row.Top + node->NodeHeight);
      ASSERT_EQ(row.Left, tree->OffsetX());
      for (TColumnIndex c = 0; c < tree->HeaderColumnCount(); ++c) {
        TRect cell = tree->GetDisplayRect(node, c, false);
        int left = tree->ColumnLeft(c) + (tree->columns[c].Fixed ? 0 : tree->OffsetX());
        ASSERT_EQ(cell.Left, left);
        ASSERT_EQ(cell.Right, left + tree->columns[c].Width - 1);
        ASSERT_EQ(cell.Top, row.Top);
      }
      top += node->NodeHeight;
    }
    // Nodes under a collapsed parent or hidden have no rectangle.
    for (PVirtualNode node : AllNodes(*tree))
      if (!tree->IsFullyVisible(node)) ASSERT_TRUE(tree->GetDisplayRect(node, NoColumn, false) == TRect());
  }
}

TEST_F(GeometryTest, TextRectanglesFollowAlignmentAndDirection) {
  tree->SetColumns(std::vector<TColumnTree::TColumn>(2), 0);
  tree->columns[1].Width = 100;
  tree->nodeWidth = [](PVirtualNode, TColumnIndex) { return 30; };
  PVirtualNode node = tree->AddChild(tree->AddChild(nullptr));
  tree->FullExpand();
  // Main column: margin + two levels of indent (toShowRoot).
  TRect main = tree->GetDisplayRect(node, 0, true);
  EXPECT_EQ(main.Left, 4 + 2 * 18);
  EXPECT_EQ(main.Right, main.Left + 30);
  tree->columns[1].Alignment = taRightJustify;
  TRect right = tree->GetDisplayRect(node, 1, true);
  EXPECT_EQ(right.Right, 80 + 100 - 1);
  EXPECT_EQ(right.Left, right.Right - 30);
  tree->columns[1].Alignment = taCenter;
  TRect centre = tree->GetDisplayRect(node, 1, true);
  EXPECT_EQ(centre.Left, (80 + 4 + 179 - 30) / 2);
  // Right to left: the content is taken from the right edge and left alignment shows at the right.
  tree->columns[1].Alignment = taLeftJustify;
  tree->columns[1].BiDiMode = bdRightToLeft;
  TRect rtl = tree->GetDisplayRect(node, 1, true);
  EXPECT_EQ(rtl.Right, 179 - 4);
  EXPECT_EQ(rtl.Left, rtl.Right - 30);
  // A label wider than its cell: clipped to the cell, or unclipped from the start edge.
  tree->nodeWidth = [](PVirtualNode, TColumnIndex) { return 300; };
  EXPECT_EQ(tree->GetDisplayRect(node, 1, true).Left, 80);
  TRect unclipped = tree->GetDisplayRect(node, 1, true, true);
  EXPECT_EQ(unclipped.Right, 175);
  EXPECT_EQ(unclipped.Left, 175 - 300);
  tree->columns[1].BiDiMode = bdLeftToRight;
  EXPECT_EQ(tree->GetDisplayRect(node, 1, true, true).Right, 84 + 300);
}

TEST_F(GeometryTest, AutoSpanColumnsReportTheTextCell) {
  tree->SetColumns(std::vector<TColumnTree::TColumn>(3), 0);
  TVTAutoOptions autoOptions = tree->OptionValues().autoOptions;
  tree->TreeOptions()->SetAutoOptions(autoOptions.Include(toAutoSpanColumns));
  tree->cellEmpty = [](PVirtualNode, TColumnIndex c) { return c != 0; };
  tree->nodeWidth = [](PVirtualNode, TColumnIndex) { return 200; };
  tree->AddChild(nullptr);
  THitInfo hit;
  tree->GetHitTestInfoAt(200, 5, true, hit);
  EXPECT_EQ(hit.HitColumn, 0);
  EXPECT_TRUE(hit.HitPositions.Contains(hiOnItemLabel));
}

TEST_F(GeometryTest, MaxRightExtendAsksOnlyTheRowsInTheClientArea) {
  // Without columns the horizontal range is the widest node among the rows
  // the client area shows, wherever the tree is scrolled to.
  std::mt19937 rng(17);
  tree->SetColumns({});
  int asked = 0;
  tree->nodeWidth = [&](PVirtualNode node, TColumnIndex) {
    ++asked;
    return Hash(node, 0, 3) / 4;
  };
  for (int round = 0; round < 8; ++round) {
    BuildRandomTree(rng, 400);
    int64_t total = 0;
    for (PVirtualNode node : ShownNodes(*tree)) total += node->NodeHeight;
    tree->SetOffsetY(-static_cast<int>(rng() % std::max<int64_t>(1, total)));
    int clientHeight = tree->ClientHeight();
    int expected = 0, rows = 0;
    int64_t top = tree->OffsetY();
    for (PVirtualNode node : ShownNodes(*tree)) {
      if (top < clientHeight && top + node->NodeHeight > 0) {
        int levels = static_cast<int>(tree->GetNodeLevel(node)) + 1;  // toShowRoot
        expected = std::max(expected, levels * static_cast<int>(tree->Indent()) + Hash(node, 0, 3) / 4);
        ++rows;
      }
      top += node->NodeHeight;
    }
    asked = 0;
    EXPECT_EQ(tree->GetMaxRightExtend(), expected + static_cast<int>(tree->Margin())) << "round " << round;
    EXPECT_LE(asked, rows) << "round " << round;
  }
}

TEST_F(GeometryTest, ScrollIntoViewBringsACellBesideTheFixedColumns) {
  std::vector<TColumnTree::TColumn> columns(4);
  columns[0].Width = 80;
  columns[0].Fixed = true;
  columns[1].Width = 250;
  columns[2].Width = 100;
  columns[3].Width = 200;
  tree->SetColumns(columns, 0);
  PVirtualNode node = tree->AddChild(nullptr);
  tree->AddChild(nullptr);
  tree->SetFocusedNode(node);
  tree->SetFocusedColumn(2);
  tree->SetOffsetX(0);
  EXPECT_TRUE(tree->ScrollIntoView(node, false, true));
  EXPECT_EQ(tree->OffsetX(), -250) << "column 2 starts right of the fixed column";
  EXPECT_FALSE(tree->ScrollIntoView(node, false, true)) << "already there";
  // Back to a column left of where the view stands.
  tree->SetFocusedColumn(1);
  tree->ScrollIntoView(node, false, true);
  EXPECT_EQ(tree->OffsetX(), 0);
}

TEST_F(GeometryTest, EdgesOfTheHitTest) {
  PVirtualNode parent = tree->AddChild(nullptr);
  PVirtualNode child = tree->AddChild(parent);
  THitInfo hit;
  tree->GetHitTestInfoAt(-1, 5, true, hit);
  EXPECT_TRUE(hit.HitPositions.Contains(hiToLeft));
  EXPECT_EQ(hit.HitNode, nullptr);
  EXPECT_TRUE(tree->GetDisplayRect(child, NoColumn, false) == TRect());
  // Indent left of the button area, then the button (toShowRoot: the parent's only level).
  tree->GetHitTestInfoAt(2, 5, true, hit);
  EXPECT_TRUE(hit.HitPositions.Contains(hiOnItemButton));
  TVTPaintOptions paint = tree->OptionValues().paint;
  tree->TreeOptions()->SetPaintOptions(paint.Exclude(toShowButtons));
  tree->GetHitTestInfoAt(2, 5, true, hit);
  EXPECT_TRUE(hit.HitPositions.Contains(hiOnItemIndent));
  tree->GetHitTestInfoAt(5, 200, true, hit);
  EXPECT_TRUE(hit.HitPositions.Contains(hiNowhere));
  EXPECT_EQ(tree->GetMaxColumnWidth(NoColumn), 18 + 4 + 20);
}

