// Scrolling: offsets clamped at the extremes (and to 0 for narrow content),
// wheel deltas of every size, auto-scrolling that stops by itself at all four
// ends, wheel panning with its window and cursors, and the animation clock
// (no busy waiting, a wrapping clock).
#include <gtest/gtest.h>

#include <mmsystem.h>

#include <climits>
#include <random>
#include <vector>

#include "ColumnTree.h"
#include "HandleWatermark.h"
#include "TreeTestSupport.h"
#include "win/graphics/Graphics.h"
#include "win/testing/Harness.h"

namespace {

// A tree whose clock starts just before it wraps; while held it stands at
// heldAt milliseconds after the start.
class TWrappingClockTree : public TColumnTree {
public:
  uint32_t CurrentTick() const override {
    return (held ? start + heldAt : timeGetTime()) + 0xFFFFFFFFu - 150u - start;
  }
  uint32_t start = timeGetTime();
  bool held = false;
  uint32_t heldAt = 0;
};

struct ScrollTest : ::testing::Test {
  void SetUp() override {
    Application->Initialize();
    form = New<TForm>(Application);
    form->SetBounds(10, 10, 400, 300);
    tree = New<TWrappingClockTree>(form);
    tree->SetParent(form);
    tree->SetBounds(0, 0, 300, 200);
    tree->SetNodeDataSize(0);
    form->Show();
  }
  void TearDown() override { form->Free(); }
  // Many rows, and columns wider than the window.
  void MakeLargeTree() {
    std::vector<TColumnTree::TColumn> columns(4);
    for (auto& c : columns) c.Width = 200;
    tree->SetColumns(columns, 0);
    tree->SetRootNodeCount(500);
    tree->UpdateScrollBars(true);
  }
  int LowestX() { return tree->ClientWidth() - static_cast<int>(tree->RangeX()); }
  int LowestY() { return tree->ClientHeight() - static_cast<int>(tree->RangeY()); }
  TForm* form = nullptr;
  TWrappingClockTree* tree = nullptr;
};

}  // namespace

TEST_F(ScrollTest, OffsetsAreClampedToTheContent) {
  MakeLargeTree();
  static int scrolls = 0;
  scrolls = 0;
  tree->OnScroll = [](TBaseVirtualTree*, int, int) { ++scrolls; };
  EXPECT_FALSE(tree->DoSetOffsetXY(TPoint{0, 0}));
  EXPECT_EQ(scrolls, 0);
  EXPECT_TRUE(tree->DoSetOffsetXY(TPoint{INT_MIN / 2, -100000}));
  EXPECT_EQ(tree->OffsetX(), LowestX());
  EXPECT_EQ(tree->OffsetY(), LowestY());
  EXPECT_EQ(scrolls, 1);
  EXPECT_EQ(tree->GetNodeAt(0, tree->ClientHeight() - 1), tree->GetLast());
  tree->DoSetOffsetXY(TPoint{100000, INT_MAX / 2});
  EXPECT_EQ(tree->OffsetX(), 0);
  EXPECT_EQ(tree->OffsetY(), 0);
  // Content narrower than the window never scrolls away from 0.
  tree->SetColumns(std::vector<TColumnTree::TColumn>(1), 0);
  tree->SetRootNodeCount(2);
  tree->UpdateScrollBars(true);
  ASSERT_LT(static_cast<int>(tree->RangeX()), tree->ClientWidth());
  tree->DoSetOffsetXY(TPoint{-50, -50});
  EXPECT_EQ(tree->OffsetX(), 0);
  EXPECT_EQ(tree->OffsetY(), 0);
  tree->DoSetOffsetXY(TPoint{50, 50});
  EXPECT_EQ(tree->OffsetX(), 0);
  EXPECT_EQ(tree->OffsetY(), 0);
}

TEST_F(ScrollTest, ScrolledContentIsPaintedWhereItMoved) {
  MakeLargeTree();
  tree->TreeOptions()->SetPaintOptions(tree->OptionValues().paint + TVTPaintOptions{toShowHorzGridLines});
  tree->Colors()->SetGridLineColor(clBlue);
  tree->SetLineStyle(lsSolid);
  tree->Update();
  for (int step = 1; step <= 40; ++step) {
    tree->DoSetOffsetXY(TPoint{0, -step * 7});
    tree->Update();
  }
  // Rows of 18: the grid line of each row is its last pixel row.
  int y = 18 - 1 + tree->OffsetY() % 18 + 18;
  EXPECT_EQ(qvtest::PixelAt(tree->Handle(), 50, y), 0x0000FFu);
  EXPECT_NE(qvtest::PixelAt(tree->Handle(), 50, y + 1), 0x0000FFu);
}

TEST_F(ScrollTest, WheelDeltasOfEverySize) {
  MakeLargeTree();
  UINT lines = 3;
  SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
  for (int delta = 1; delta <= 480; delta += (delta < 130 ? 1 : 17)) {
    tree->DoSetOffsetXY(TPoint{0, 0});
    // Two messages of the same delta: partial notches add up.
    for (int i = 0; i < 2; ++i)
      SendMessageW(tree->Handle(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-delta)), MAKELPARAM(50, 50));
    int notches = 2 * delta / WHEEL_DELTA;
    int expected = std::max(-notches * static_cast<int>(lines) * 18, LowestY());
    ASSERT_EQ(tree->OffsetY(), expected) << "delta " << delta;
    // Scroll back and let the remainder of this round go.
    for (int i = 0; i < 2; ++i)
      SendMessageW(tree->Handle(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(delta)), MAKELPARAM(50, 50));
    ASSERT_EQ(tree->OffsetY(), 0) << "delta " << delta;
  }
}

TEST_F(ScrollTest, AutoScrollStopsAtAllFourEnds) {
  MakeLargeTree();
  TVTAutoOptions autoOptions = tree->OptionValues().autoOptions;
  tree->TreeOptions()->SetAutoOptions(autoOptions.Include(toAutoScroll));
  tree->SetAutoScrollDelay(10);
  tree->ScrollBarOptions()->SetVerticalIncrement(100);
  tree->ScrollBarOptions()->SetHorizontalIncrement(100);
  tree->DoStateChange({tsDrawSelecting});
  struct Case {
    int x, y;  // cursor, client coordinates (beyond an edge)
    TScrollDirection direction;
  } cases[] = {{150, 260, sdDown}, {330, 100, sdRight}, {150, -30, sdUp}, {-30, 100, sdLeft}};
  TPoint start[] = {{0, 0}, {0, 0}, {0, -100000}, {-100000, 0}};
  for (int i = 0; i < 4; ++i) {
    tree->DoSetOffsetXY(start[i]);
    POINT screen{cases[i].x, cases[i].y};
    ClientToScreen(tree->Handle(), &screen);
    SetCursorPos(screen.x, screen.y);
    tree->DoAutoScroll(cases[i].x, cases[i].y);
    ASSERT_TRUE(tree->ScrollDirections().Contains(cases[i].direction)) << i;
    ASSERT_TRUE(qvtest::PumpUntil(
        [&] { return !tree->TreeStates().Contains(tsScrolling) && !tree->TreeStates().Contains(tsScrollPending); },
        5000))
        << "case " << i << " did not stop";
    switch (cases[i].direction) {
      case sdDown: EXPECT_EQ(tree->OffsetY(), LowestY()); break;
      case sdRight: EXPECT_EQ(tree->OffsetX(), LowestX()); break;
      case sdUp: EXPECT_EQ(tree->OffsetY(), 0); break;
      case sdLeft: EXPECT_EQ(tree->OffsetX(), 0); break;
    }
    EXPECT_TRUE(tree->ScrollDirections().Empty());
  }
  tree->DoStateChange({}, {tsDrawSelecting});
  // Nothing scrolls automatically without a rubber band, a drag or panning.
  tree->DoSetOffsetXY(TPoint{0, 0});
  EXPECT_TRUE(tree->DetermineScrollDirections(150, 199).Empty());
}

// A rubber band held still in the bottom edge zone scrolls once the delay
// has passed on the tree's clock; moves inside the zone do not start the
// delay again, and leaving the zone ends the wait.
TEST_F(ScrollTest, ARubberBandHeldInTheEdgeZoneScrollsAfterTheDelay) {
  MakeLargeTree();
  TVTAutoOptions autoOptions = tree->OptionValues().autoOptions;
  tree->TreeOptions()->SetAutoOptions(autoOptions.Include(toAutoScroll));
  TVTSelectionOptions selection = tree->OptionValues().selection;
  tree->TreeOptions()->SetSelectionOptions(selection.Include(toMultiSelect));
  tree->SetAutoScrollDelay(300);
  tree->held = true;
  HWND h = tree->Handle();
  int zone = tree->ClientHeight() - 4;
  // The cursor rests in the zone (the timer scrolls by its place); the moves
  // are messages, so the real cursor sends none that leave the zone.
  POINT inZone{150, zone};
  ClientToScreen(h, &inZone);
  ASSERT_EQ(WindowFromPoint(inZone), h) << "the zone must lie inside the tree, where the delay applies";
  SetCursorPos(inZone.x, inZone.y);
  qvtest::Pump(50);
  auto move = [&](uint32_t at, int x, int y) {
    tree->heldAt = at;
    SendMessageW(h, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, y));
  };
  // Right of a label: the press starts a rubber band.
  SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(150, 40));
  move(0, 150, 100);
  ASSERT_TRUE(tree->TreeStates().Contains(tsDrawSelecting));
  int64_t offset = tree->OffsetY();
  auto scrolled = [&](int ms) { return qvtest::PumpUntil([&] { return tree->OffsetY() != offset; }, ms); };
  for (uint32_t start : {1000u, 5000u}) {
    move(start, 150, zone);
    move(start + 200, 140, zone - 2);
    move(start + 290, 160, zone - 1);
    qvtest::Pump(400);
    EXPECT_EQ(tree->OffsetY(), offset) << "the delay has not passed at " << start;
    move(start + 299, 150, zone);
    EXPECT_TRUE(tree->TreeStates().Contains(tsScrollPending));
    tree->heldAt = start + 301;
    EXPECT_TRUE(scrolled(6000)) << "held still once the delay from " << start << " passed";
    // Leaving the zone stops the scrolling; coming back waits again.
    move(start + 400, 150, 100);
    EXPECT_FALSE(tree->TreeStates().Contains(tsScrollPending) || tree->TreeStates().Contains(tsScrolling));
    offset = tree->OffsetY();
  }
  SendMessageW(h, WM_LBUTTONUP, 0, MAKELPARAM(150, 100));
}

// A click on a node of a docking control ends a pending automatic scroll
// (its timer too); a control dragged the ordinary way keeps it until the
// button is released.
TEST_F(ScrollTest, AClickOnADockingTreeStopsAutoScrolling) {
  MakeLargeTree();
  for (TDragKind kind : {dkDrag, dkDock}) {
    tree->SetDragKind(kind);
    tree->DoStateChange({tsScrollPending, tsScrolling});
    SetTimer(tree->Handle(), 4, 100000, nullptr);
    PVirtualNode node = tree->GetNext(tree->GetFirst());
    TRect text = tree->GetDisplayRect(node, 0, true);
    LPARAM at = MAKELPARAM(text.Left + 2, (text.Top + text.Bottom) / 2);
    SendMessageW(tree->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    EXPECT_EQ(tree->FocusedNode(), node) << kind;
    bool docking = kind == dkDock;
    EXPECT_EQ(tree->TreeStates().Contains(tsScrollPending), !docking) << kind;
    EXPECT_EQ(tree->TreeStates().Contains(tsScrolling), !docking) << kind;
    EXPECT_EQ(KillTimer(tree->Handle(), 4) != FALSE, !docking) << kind;
    SendMessageW(tree->Handle(), WM_LBUTTONUP, 0, at);
    EXPECT_FALSE(tree->TreeStates().Contains(tsScrollPending));
    tree->SetFocusedNode(tree->GetFirst());
  }
}

TEST_F(ScrollTest, WheelPanningWindowCursorsAndSteps) {
  MakeLargeTree();
  TPoint anchor{150, 100};
  tree->StartWheelPanning(anchor);
  EXPECT_TRUE(tree->TreeStates().Contains(tsWheelPanning));
  EXPECT_TRUE(tree->TreeStates().Contains(tsWheelScrolling));
  ASSERT_NE(tree->PanningWindow(), nullptr);
  RECT box;
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(GetWindowRgn(tree->PanningWindow(), region), ERROR);
  GetRgnBox(region, &box);
  DeleteObject(region);
  EXPECT_GT(box.right - box.left, 10);
  EXPECT_LT(box.right - box.left, 33);
  // Inside the dead zone all directions (wider and taller); outside the eight.
  tree->AdjustPanningCursor(anchor.X + 3, anchor.Y - 3);
  EXPECT_EQ(tree->PanningShape(), psMoveAll);
  tree->AdjustPanningCursor(anchor.X + 30, anchor.Y - 30);
  EXPECT_EQ(tree->PanningShape(), psMoveNE);
  tree->AdjustPanningCursor(anchor.X - 30, anchor.Y + 30);
  EXPECT_EQ(tree->PanningShape(), psMoveSW);
  tree->AdjustPanningCursor(anchor.X, anchor.Y + 30);
  EXPECT_EQ(tree->PanningShape(), psMoveS);
  EXPECT_NE(GetCursor(), nullptr);
  // The timer moves the content towards the cursor's side of the anchor.
  POINT screen{anchor.X + 5, anchor.Y + 60};
  ClientToScreen(tree->Handle(), &screen);
  SetCursorPos(screen.x, screen.y);
  tree->DoAutoScroll(anchor.X + 5, anchor.Y + 60);
  EXPECT_TRUE(tree->ScrollDirections().Contains(sdDown));
  ASSERT_TRUE(qvtest::PumpUntil([&] { return tree->OffsetY() < -100; }, 3000));
  EXPECT_EQ(tree->OffsetX(), 0);
  tree->StopWheelPanning();
  EXPECT_FALSE(tree->TreeStates().Contains(tsWheelPanning));
  EXPECT_EQ(tree->PanningWindow(), nullptr);
  int offset = tree->OffsetY();
  qvtest::Pump(100);
  EXPECT_EQ(tree->OffsetY(), offset);
  // Only taller content: north-south in the dead zone.
  tree->SetColumns(std::vector<TColumnTree::TColumn>(1), 0);
  tree->UpdateScrollBars(true);
  tree->StartWheelPanning(anchor);
  tree->AdjustPanningCursor(anchor.X, anchor.Y);
  EXPECT_EQ(tree->PanningShape(), psMoveNS);
  tree->AdjustPanningCursor(anchor.X + 40, anchor.Y + 1);
  EXPECT_EQ(tree->PanningShape(), psMoveS);
  tree->StopWheelPanning();
  // Starting and stopping leaves no handles behind.
  unsigned gdi = GdiWatermark();
  unsigned user = UserWatermark();
  for (int i = 0; i < 100; ++i) {
    tree->StartWheelPanning(anchor);
    tree->AdjustPanningCursor(anchor.X + (i % 3 - 1) * 20, anchor.Y + 20);
    tree->StopWheelPanning();
  }
  EXPECT_LE(GdiWatermark(), gdi + 20);
  EXPECT_LE(UserWatermark(), user + 20);
}

TEST_F(ScrollTest, AnimationWaitsWithoutSpinningAcrossAClockWrap) {
  std::vector<std::pair<int, int>> calls;
  FILETIME created, exited, kernelBefore, userBefore, kernelAfter, userAfter;
  GetThreadTimes(GetCurrentThread(), &created, &exited, &kernelBefore, &userBefore);
  DWORD wallStart = GetTickCount();
  tree->Animate(30, 300, [&](int step, int stepSize, void*) {
    calls.emplace_back(step, stepSize);
    return true;
  }, nullptr);
  DWORD wall = GetTickCount() - wallStart;
  GetThreadTimes(GetCurrentThread(), &created, &exited, &kernelAfter, &userAfter);
  auto ms = [](const FILETIME& a, const FILETIME& b) {
    auto value = [](const FILETIME& f) { return (static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
    return static_cast<int>((value(b) - value(a)) / 10000);
  };
  int cpu = ms(userBefore, userAfter) + ms(kernelBefore, kernelAfter);
  EXPECT_GE(wall, 250u);
  EXPECT_LT(wall, 1500u);
  EXPECT_LT(cpu, 100) << "busy waiting";
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls.back(), std::make_pair(0, 0));  // the end signal
  EXPECT_FALSE(tree->TreeStates().Contains(tsInAnimation));
  // A callback that says stop ends the animation at once (then the end signal).
  calls.clear();
  tree->Animate(30, 300, [&](int step, int stepSize, void*) {
    calls.emplace_back(step, stepSize);
    return stepSize == 0;
  }, nullptr);
  EXPECT_EQ(calls.size(), 2u);
}

TEST_F(ScrollTest, MiddleClickStartsPanningAndAClickEndsIt) {
  MakeLargeTree();
  TVTMiscOptions misc = tree->OptionValues().misc;
  tree->TreeOptions()->SetMiscOptions(misc.Include(toWheelPanning));
  HWND wnd = tree->Handle();
  SendMessageW(wnd, WM_MBUTTONDOWN, MK_MBUTTON, MAKELPARAM(100, 80));
  EXPECT_TRUE(tree->TreeStates().Contains(tsWheelPanning));
  EXPECT_NE(tree->PanningWindow(), nullptr);
  EXPECT_EQ(tree->PanningAnchor(), (TPoint{100, 80}));
  // Released without moving: the content keeps following the cursor until the next click.
  SendMessageW(wnd, WM_MBUTTONUP, 0, MAKELPARAM(100, 80));
  EXPECT_TRUE(tree->TreeStates().Contains(tsWheelScrolling));
  EXPECT_FALSE(tree->TreeStates().Contains(tsWheelPanning));
  EXPECT_NE(tree->PanningWindow(), nullptr);
  POINT screen{105, 150};
  ClientToScreen(wnd, &screen);
  SetCursorPos(screen.x, screen.y);
  tree->DoAutoScroll(105, 150);
  EXPECT_TRUE(tree->ScrollDirections().Contains(sdDown));
  EXPECT_FALSE(tree->TreeStates().Contains(tsScrollPending)) << "panning runs on its own timer";
  ASSERT_TRUE(qvtest::PumpUntil([&] { return tree->OffsetY() < -50; }, 3000));
  SendMessageW(wnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, 80));
  SendMessageW(wnd, WM_LBUTTONUP, 0, MAKELPARAM(100, 80));
  EXPECT_FALSE(tree->TreeStates().Contains(tsWheelScrolling));
  EXPECT_FALSE(tree->TreeStates().Contains(tsWheelPanning));
  EXPECT_FALSE(tree->TreeStates().Contains(tsScrollPending));
  EXPECT_FALSE(tree->TreeStates().Contains(tsScrolling));
  EXPECT_EQ(tree->PanningWindow(), nullptr);
}

TEST_F(ScrollTest, ToggleAnimationSlidesTheRowsBelow) {
  tree->SetRootNodeCount(20);
  PVirtualNode node = tree->GetFirst();
  tree->SetChildCount(node, 6);
  tree->SetAnimationDuration(150);  // also turns toAnimatedToggle on
  ASSERT_TRUE(tree->OptionValues().animation.Contains(toAnimatedToggle));
  static int steps = 0;
  steps = 0;
  tree->OnStateChange = [](TBaseVirtualTree*, TVirtualTreeStates enter, TVirtualTreeStates) {
    if (enter.Contains(tsInAnimation)) ++steps;
  };
  DWORD start = GetTickCount();
  tree->SetExpanded(node, true);
  DWORD expandTime = GetTickCount() - start;
  EXPECT_EQ(steps, 1);
  EXPECT_GE(expandTime, 100u);
  EXPECT_FALSE(tree->TreeStates().Contains(tsInAnimation));
  EXPECT_EQ(tree->RangeY(), 26u * 18);
  tree->Update();
  // After the slide the rows are painted in their final places: the seventh row is node 2.
  int top = 0;
  EXPECT_EQ(tree->GetNodeAt(0, 7 * 18 + 2, true, top), tree->GetNextSibling(node));
  tree->SetExpanded(node, false);
  EXPECT_EQ(steps, 2);
  EXPECT_EQ(tree->RangeY(), 20u * 18);
}

namespace {

// The whole window as it stands (frame and scroll bars included).
std::vector<uint32_t> WindowPixels(HWND window) {
  RECT r;
  GetWindowRect(window, &r);
  int w = r.right - r.left, h = r.bottom - r.top;
  HDC source = GetWindowDC(window);
  HDC memory = CreateCompatibleDC(source);
  uint8_t* bits = nullptr;
  HBITMAP bitmap = CreateDib32(w, h, &bits);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, w, h, source, 0, 0, SRCCOPY);
  GdiFlush();
  const auto* first = reinterpret_cast<const uint32_t*>(bits);
  std::vector<uint32_t> pixels(first, first + w * h);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(window, source);
  return pixels;
}

}  // namespace

// Bars that come and go as rows and columns change: once the window has
// painted what is pending, it shows what a full repaint of it shows, and
// each bar is there exactly when the content needs it.
TEST_F(ScrollTest, BarsThatComeAndGoAreDrawnAsAFullRepaintDrawsThem) {
  std::mt19937 rng(5);
  const uint32_t counts[] = {2, 6, 40, 500};
  const int widths[] = {60, 140, 450};
  for (int step = 0; step < 30; ++step) {
    std::vector<TColumnTree::TColumn> columns(2);
    for (auto& c : columns) c.Width = widths[rng() % 3];
    tree->SetColumns(columns, 0);
    tree->SetRootNodeCount(counts[rng() % 4]);
    tree->UpdateScrollBars(true);
    qvtest::Pump(30);
    std::vector<uint32_t> shown = WindowPixels(tree->Handle());
    LONG_PTR style = GetWindowLongPtrW(tree->Handle(), GWL_STYLE);
    EXPECT_EQ((style & WS_VSCROLL) != 0, tree->ClientHeight() < static_cast<int>(tree->RangeY())) << step;
    EXPECT_EQ((style & WS_HSCROLL) != 0, tree->ClientWidth() < static_cast<int>(tree->RangeX())) << step;
    RedrawWindow(tree->Handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    std::vector<uint32_t> full = WindowPixels(tree->Handle());
    // Not the square where two bars meet: Wine leaves it as it was when one
    // bar comes beside the other (with every way of updating the bars).
    RECT window, client{0, 0, tree->ClientWidth(), tree->ClientHeight()};
    GetWindowRect(tree->Handle(), &window);
    MapWindowPoints(tree->Handle(), nullptr, reinterpret_cast<POINT*>(&client), 2);
    int width = window.right - window.left;
    for (size_t i = 0; i < full.size() && i < shown.size(); ++i) {
      int x = static_cast<int>(i) % width + window.left, y = static_cast<int>(i) / width + window.top;
      if (x >= client.right && y >= client.bottom) full[i] = shown[i];
    }
    EXPECT_TRUE(shown == full) << "step " << step;
  }
}
