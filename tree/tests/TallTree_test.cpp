// Trees taller than an int reaches (rows of up to 65,535 pixels, a total
// height up to 2^32 - 1): every row can be scrolled to, found, hit and shown,
// the scroll bar maps its shorter range onto the content's ends, and handlers
// of a toggle see positions of the new structure.
#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <vector>

#include "ColumnTree.h"
#include "TreeTestSupport.h"
#include "tree/ScrollMath.h"
#include "win/testing/Harness.h"

TEST(ScrollMath, BarMappingKeepsTheEndsAndTheOrder) {
  std::mt19937 rng(3);
  const int64_t ranges[] = {0, 100, 5000, kScrollBarLimit, kScrollBarLimit + 1, int64_t(INT_MAX) + 32768,
                            40000ll * 65535, UINT32_MAX};
  for (int64_t range : ranges) {
    for (int client : {0, 199, 1000}) {
      TScrollBarMapping m = MapScrollBar(range, client);
      SCOPED_TRACE(testing::Message() << "range " << range << " client " << client);
      ASSERT_LE(m.max, kScrollBarLimit);
      EXPECT_EQ(m.offsetSpan, std::max<int64_t>(range - client, 0));
      EXPECT_EQ(m.Position(0), 0);
      EXPECT_EQ(m.Offset(0), 0);
      EXPECT_EQ(m.Position(-m.offsetSpan), m.barSpan);
      EXPECT_EQ(m.Offset(m.barSpan), -m.offsetSpan);
      // Past the ends stays at the ends.
      EXPECT_EQ(m.Offset(m.barSpan + 5), -m.offsetSpan);
      EXPECT_EQ(m.Position(1), 0);
      if (range <= kScrollBarLimit) {
        // Pixel for pixel, as the bar always was.
        EXPECT_EQ(m.max, range);
        EXPECT_EQ(m.page, client + 1);
      }
      if (m.barSpan == 0) continue;
      int64_t step = (m.offsetSpan + m.barSpan - 1) / m.barSpan;  // pixels a bar unit stands for
      for (int i = 0; i < 200; ++i) {
        int64_t offset = -static_cast<int64_t>(rng() % (m.offsetSpan + 1));
        int position = m.Position(offset);
        ASSERT_GE(position, 0);
        ASSERT_LE(position, m.barSpan);
        ASSERT_LE(std::abs(m.Offset(position) - offset), step) << offset;
        if (range <= kScrollBarLimit) {
          ASSERT_EQ(m.Offset(position), offset);
        }
        int64_t p = static_cast<int64_t>(rng() % (m.barSpan + 1));
        ASSERT_EQ(m.Position(m.Offset(p)), p);
      }
      for (int64_t p = 1; p <= m.barSpan; p += std::max<int64_t>(1, m.barSpan / 97))
        ASSERT_LT(m.Offset(p), m.Offset(p - 1)) << p;  // farther down, strictly
    }
  }
  EXPECT_EQ(ClampScrollOffset(-1000000, 200, 40000ll * 65535), -1000000);
  EXPECT_EQ(ClampScrollOffset(INT64_MIN / 2, 200, 40000ll * 65535), 200 - 40000ll * 65535);
  EXPECT_EQ(ClampScrollOffset(-5, 200, 100), 0);
  EXPECT_EQ(SaturateToInt(int64_t(INT_MAX) + 1), INT_MAX);
  EXPECT_EQ(SaturateToInt(int64_t(INT_MIN) - 1), INT_MIN);
}

namespace {

struct TallTreeTest : ::testing::Test {
  void SetUp() override {
    Application->Initialize();
    form = New<TForm>(Application);
    form->SetBounds(10, 10, 300, 300);
    tree = New<TColumnTree>(form);
    tree->SetParent(form);
    // Narrow: a painted row is a bitmap as high as the row.
    tree->SetBounds(0, 0, 90, 200);
    tree->SetNodeDataSize(0);
    form->Show();
  }
  void TearDown() override { form->Free(); }
  void MakeTallTree(uint32_t count) {
    tree->SetDefaultNodeHeight(65535);
    tree->SetRootNodeCount(count);
    tree->UpdateScrollBars(true);
  }
  SCROLLINFO Bar() {
    SCROLLINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = SIF_ALL;
    GetScrollInfo(tree->Handle(), SB_VERT, &info);
    return info;
  }
  void Scroll(WORD code) { SendMessageW(tree->Handle(), WM_VSCROLL, MAKEWPARAM(code, 0), 0); }
  int64_t Bottom() { return tree->ClientHeight() - int64_t(tree->RangeY()); }
  TForm* form = nullptr;
  TColumnTree* tree = nullptr;
};

}  // namespace

TEST_F(TallTreeTest, EveryRowOfATreeTallerThanAnIntIsReached) {
  for (uint32_t count : {32769u, 40000u}) {
    SCOPED_TRACE(count);
    tree->Clear();
    MakeTallTree(count);
    ASSERT_EQ(tree->RangeY(), count * 65535u);
    int client = tree->ClientHeight();

    tree->SetOffsetY(-1000000);
    EXPECT_EQ(tree->OffsetY(), -1000000);
    PVirtualNode top = tree->GetNodeAt(0, 0);
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->Index, 1000000u / 65535u);

    // The last row is reached, found, hit and placed exactly.
    tree->SetOffsetY(INT64_MIN / 2);
    EXPECT_EQ(tree->OffsetY(), Bottom());
    PVirtualNode last = tree->GetLast();
    TRect row = tree->GetDisplayRect(last, NoColumn, false);
    EXPECT_EQ(row.Top, client - 65535);
    EXPECT_EQ(row.Bottom, client);
    EXPECT_EQ(tree->GetNodeAt(0, client - 1), last);
    THitInfo hit;
    tree->GetHitTestInfoAt(5, client - 1, true, hit);
    EXPECT_EQ(hit.HitNode, last);
    // A row far above gets the nearest int, not a wrapped value.
    EXPECT_EQ(tree->GetDisplayRect(tree->GetFirst(), NoColumn, false).Top, INT_MIN);

    // Painting the bottom reaches the last row.
    static std::vector<PVirtualNode> painted;
    painted.clear();
    tree->OnBeforeItemPaint = [](TBaseVirtualTree*, TCanvas*, PVirtualNode node, TRect, bool&) {
      painted.push_back(node);
    };
    tree->Invalidate();
    UpdateWindow(tree->Handle());
    tree->OnBeforeItemPaint = nullptr;
    EXPECT_NE(std::find(painted.begin(), painted.end(), last), painted.end());

    // The bar stays within what it can hold, and its ends are the content's ends.
    SCROLLINFO info = Bar();
    EXPECT_LE(info.nMax, kScrollBarLimit);
    EXPECT_EQ(info.nPos, info.nMax - static_cast<int>(info.nPage) + 1);
    Scroll(SB_TOP);
    EXPECT_EQ(tree->OffsetY(), 0);
    EXPECT_EQ(Bar().nPos, 0);
    Scroll(SB_BOTTOM);
    EXPECT_EQ(tree->OffsetY(), Bottom());

    // The thumb maps back onto the offset it stands for.
    TScrollBarMapping mapping = MapScrollBar(tree->RangeY(), client);
    for (int64_t position : {mapping.barSpan / 3, mapping.barSpan / 2, mapping.barSpan - 1}) {
      SetScrollPos(tree->Handle(), SB_VERT, static_cast<int>(position), FALSE);
      Scroll(SB_THUMBPOSITION);
      EXPECT_EQ(tree->OffsetY(), mapping.Offset(position)) << position;
      Scroll(SB_ENDSCROLL);
      EXPECT_EQ(Bar().nPos, position);
      EXPECT_EQ(tree->OffsetY(), mapping.Offset(position));
    }

    // Wheel and keyboard steps work beyond 2^31 as well.
    Scroll(SB_BOTTOM);
    SendMessageW(tree->Handle(), WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(20, 20));
    EXPECT_GT(tree->OffsetY(), Bottom());
    EXPECT_LT(tree->OffsetY(), Bottom() + 20 * 65535);
    int64_t before = tree->OffsetY();
    Scroll(SB_LINEDOWN);
    EXPECT_LT(tree->OffsetY(), before);

    // A rubber band held below the window scrolls on to the last row and stops
    // there (the border zone is the default node height: back to a small one).
    tree->SetDefaultNodeHeight(18);
    TVTAutoOptions autoOptions = tree->OptionValues().autoOptions;
    tree->TreeOptions()->SetAutoOptions(autoOptions.Include(toAutoScroll));
    tree->ScrollBarOptions()->SetVerticalIncrement(100);
    tree->SetOffsetY(Bottom() + 250);
    tree->DoStateChange({tsDrawSelPending});
    POINT screen{20, client + 30};
    ClientToScreen(tree->Handle(), &screen);
    SetCursorPos(screen.x, screen.y);
    EXPECT_TRUE(tree->DetermineScrollDirections(20, client + 30).Contains(sdDown));
    tree->DoAutoScroll(20, client + 30);
    EXPECT_TRUE(qvtest::PumpUntil(
        [&] { return !tree->TreeStates().Contains(tsScrolling) && !tree->TreeStates().Contains(tsScrollPending); },
        5000));
    EXPECT_EQ(tree->OffsetY(), Bottom());
    tree->DoStateChange({}, {tsDrawSelPending});

    // Scrolling a row into view works from either end.
    EXPECT_TRUE(tree->ScrollIntoView(tree->GetFirst(), false));
    EXPECT_EQ(tree->OffsetY(), 0);
    PVirtualNode distant = last->PrevSibling;
    EXPECT_TRUE(tree->ScrollIntoView(distant, false));
    TRect shown = tree->GetDisplayRect(distant, NoColumn, false);
    EXPECT_LE(shown.Bottom, client);
    EXPECT_GE(shown.Bottom, client - GetSystemMetrics(SM_CYHSCROLL));
    tree->SetTopNode(distant);
    EXPECT_EQ(tree->OffsetY(), std::max<int64_t>(-int64_t(distant->Index) * 65535, Bottom()));
  }
}

// A collapse or expansion handler asks for positions: the answers are those
// of the structure it is told about, not of a position cache built before
// (the watched row lies past a cache entry that the toggle moved). Also with
// measured rows and the watched row expanded, the view scrolled down to its
// children: the cache rebuilt there measures the rows and then updates the
// scroll bars, which ask for the row at the top (far down) of a cache in use.
TEST_F(TallTreeTest, ToggleHandlersSeePositionsOfTheNewStructure) {
 for (bool measured : {false, true}) {
  SCOPED_TRACE(measured ? "measured rows, the watched row expanded" : "fixed rows");
  tree->Clear();
  TVTMiscOptions misc = tree->OptionValues().misc;
  tree->TreeOptions()->SetMiscOptions(misc.Set(toVariableNodeHeight, measured));
  tree->SetRootNodeCount(3000);
  PVirtualNode first = tree->GetFirst();
  tree->SetChildCount(first, 6000);
  tree->SetExpanded(first, true);
  PVirtualNode watched = first;
  for (int i = 0; i < 2500; ++i) watched = tree->GetNextSibling(watched);
  if (measured) {
    tree->SetChildCount(watched, 4);
    tree->SetExpanded(watched, true);
    tree->SetOffsetY(0);
  }
  int height = static_cast<int>(tree->DefaultNodeHeight());
  auto cacheBuilt = [&] {
    tree->ValidateCache();
    return qvtest::PumpUntil([&] { return tree->TreeStates().Contains(tsUseCache); }, 5000);
  };

  static TColumnTree* current = nullptr;
  static PVirtualNode seen = nullptr;
  static std::vector<int> tops;
  current = tree;
  seen = watched;
  tops.clear();
  auto record = [](TBaseVirtualTree*, PVirtualNode) {
    tops.push_back(current->GetDisplayRect(seen, NoColumn, false).Top);
  };
  tree->OnCollapsed = record;
  tree->OnExpanded = record;
  ASSERT_TRUE(cacheBuilt());
  tree->SetExpanded(first, false);
  ASSERT_TRUE(cacheBuilt());
  tree->SetExpanded(first, true);
  tree->OnCollapsed = nullptr;
  tree->OnExpanded = nullptr;
  ASSERT_EQ(tops.size(), 2u);
  EXPECT_EQ(tops[0], height * 2500);
  EXPECT_EQ(tops[1], height * 8500);
  EXPECT_EQ(tree->GetDisplayRect(watched, NoColumn, false).Top, height * 8500);
 }
}

// The menu key with the focused row far below the window: the menu's place
// is asked for below the window, not above it (no overflow on the way).
TEST_F(TallTreeTest, TheMenuOfAFarRowIsAskedForOnItsSide) {
  MakeTallTree(40000);
  tree->SetFocusedNode(tree->GetLast());
  tree->SetOffsetY(0);
  static int asked = 0;
  static TPoint place;
  asked = 0;
  tree->OnGetPopupMenu = [](TBaseVirtualTree*, PVirtualNode, TColumnIndex, TPoint p, bool&, TComponent*&) {
    ++asked;
    place = p;
  };
  SendMessageW(tree->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(tree->Handle()), -1);
  tree->OnGetPopupMenu = nullptr;
  ASSERT_EQ(asked, 1);
  EXPECT_GE(place.Y, tree->ClientHeight());
}

// A rubber band drawn at the bottom of a tree taller than an int reaches
// selects the row under it (the band is kept in the tree's own coordinates).
TEST_F(TallTreeTest, ARubberBandAtTheBottomSelectsTheRowsUnderIt) {
  MakeTallTree(40000);
  TVTSelectionOptions selection = tree->OptionValues().selection;
  tree->TreeOptions()->SetSelectionOptions(selection.Include(toMultiSelect));
  tree->SetOffsetY(INT64_MIN / 2);
  ASSERT_EQ(tree->OffsetY(), Bottom());
  int client = tree->ClientHeight();
  HWND window = tree->Handle();
  int x = tree->ClientWidth() - 5, top = client / 4, bottom = client / 2;
  SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, top));
  ASSERT_TRUE(tree->TreeStates().Contains(tsDrawSelPending) || tree->TreeStates().Contains(tsDrawSelecting));
  SendMessageW(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x - 30, bottom));
  EXPECT_TRUE(tree->TreeStates().Contains(tsDrawSelecting));
  UpdateWindow(window);  // the band is painted where it is
  SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(x - 30, bottom));
  PVirtualNode last = tree->GetLast();
  EXPECT_TRUE(tree->GetSelected(last));
  EXPECT_FALSE(tree->GetSelected(last->PrevSibling));
  EXPECT_EQ(tree->SelectedCount(), 1u);
}
