// Drop-down placement and grip resizing against a simple model, for random
// controls anywhere on (and partly off) a work area, and the child layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "shell/DropDownGeometry.h"

namespace {

// Where the room is, by the plain rules: below if it fits, else above if it
// fits, else the larger side shortened.
struct TModel {
  bool above;
  int height;
};
TModel ModelPlace(const TRect& c, const TRect& work, int height) {
  int below = std::max(0, work.Bottom - c.Bottom), above = std::max(0, c.Top - work.Top);
  if (height <= below) return {false, height};
  if (height <= above) return {true, height};
  return above > below ? TModel{true, above} : TModel{false, below};
}

}  // namespace

TEST(DropDownGeometry, PlacementStaysInTheWorkAreaAndKeepsTheSideRule) {
  std::mt19937 rng(1234);
  auto rnd = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int i = 0; i < 20000; ++i) {
    // A second monitor's work area may start at negative or offset coordinates.
    TRect work{rnd(-2000, 2000), rnd(-1000, 1000), 0, 0};
    work.Right = work.Left + rnd(200, 2000);
    work.Bottom = work.Top + rnd(150, 1200);
    int cw = rnd(20, 600), ch = rnd(15, 40);
    int cx = rnd(work.Left - cw, work.Right), cy = rnd(work.Top - ch, work.Bottom);
    TRect control{cx, cy, cx + cw, cy + ch};
    int width = rnd(0, 2500), height = rnd(0, 1500);
    TDropDownPlacement p = PlaceDropDown(control, work, width, height);
    SCOPED_TRACE(i);
    const TRect& b = p.Bounds;
    ASSERT_GE(b.Left, work.Left);
    ASSERT_LE(b.Right, work.Right);
    ASSERT_GE(b.Top, work.Top);
    ASSERT_LE(b.Bottom, work.Bottom);
    ASSERT_EQ(b.Width(), std::min(width, work.Width()));
    TModel m = ModelPlace(control, work, height);
    ASSERT_EQ(p.Above, m.above);
    ASSERT_EQ(b.Height(), m.height);
    // A control wholly inside the work area gets the drop-down at its edge.
    bool inside = control.Top >= work.Top && control.Bottom <= work.Bottom;
    if (inside && m.height > 0) ASSERT_EQ(p.Above ? b.Bottom : b.Top, p.Above ? control.Top : control.Bottom);
    if (control.Left >= work.Left && control.Left + b.Width() <= work.Right) ASSERT_EQ(b.Left, control.Left);
  }
}

TEST(DropDownGeometry, NearScreenEdges) {
  TRect work{0, 0, 1024, 738};  // a task bar takes the bottom 30 pixels
  // Near the bottom: opens above when that fits.
  TDropDownPlacement p = PlaceDropDown(TRect{100, 700, 400, 723}, work, 300, 140);
  EXPECT_TRUE(p.Above);
  EXPECT_EQ(p.Bounds, (TRect{100, 560, 400, 700}));
  // Too tall for either side: the larger side (above), shortened, top at the work area.
  p = PlaceDropDown(TRect{0, 500, 300, 523}, work, 300, 900);
  EXPECT_TRUE(p.Above);
  EXPECT_EQ(p.Bounds, (TRect{0, 0, 300, 500}));
  // Near the right edge: shifted left into the work area.
  p = PlaceDropDown(TRect{900, 100, 1200, 123}, work, 300, 140);
  EXPECT_FALSE(p.Above);
  EXPECT_EQ(p.Bounds, (TRect{724, 123, 1024, 263}));
  // A second monitor on the left (negative coordinates).
  p = PlaceDropDown(TRect{-1500, 900, -1200, 923}, TRect{-1600, 0, 0, 1000}, 300, 140);
  EXPECT_TRUE(p.Above);
  EXPECT_EQ(p.Bounds, (TRect{-1500, 760, -1200, 900}));
}

TEST(DropDownGeometry, GripKeepsTheSourceEdgeAndTheMinimum) {
  std::mt19937 rng(99);
  auto rnd = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int i = 0; i < 5000; ++i) {
    TRect start{rnd(-500, 500), rnd(-500, 500), 0, 0};
    start.Right = start.Left + rnd(60, 500);
    start.Bottom = start.Top + rnd(60, 500);
    bool above = rnd(0, 1), left = rnd(0, 1);
    int dx = rnd(-800, 800), dy = rnd(-800, 800);
    TRect r = ResizeFromGrabber(start, dx, dy, above, left, 53, 70);
    SCOPED_TRACE(i);
    ASSERT_GE(r.Width(), 53);
    ASSERT_GE(r.Height(), 70);
    // The edges at the source and opposite the grip stay.
    ASSERT_EQ(above ? r.Bottom : r.Top, above ? start.Bottom : start.Top);
    ASSERT_EQ(left ? r.Right : r.Left, left ? start.Right : start.Left);
    // Above the minimum the grip's corner follows the mouse exactly.
    int w = left ? start.Width() - dx : start.Width() + dx;
    int h = above ? start.Height() - dy : start.Height() + dy;
    ASSERT_EQ(r.Width(), std::max(w, 53));
    ASSERT_EQ(r.Height(), std::max(h, 70));
  }
}

TEST(DropDownGeometry, ChildLayout) {
  // 200 x 150 window, 17-pixel bar and grip.
  TDropDownChildLayout below = LayoutDropDownChildren(200, 150, 17, 17, false, false);
  EXPECT_EQ(below.Grabber, (TRect{181, 131, 198, 148}));
  EXPECT_EQ(below.ScrollBar, (TRect{181, 0, 198, 131}));
  EXPECT_EQ(below.List, (TRect{0, 0, 181, 148}));
  EXPECT_EQ(below.ListNoBar, (TRect{0, 0, 198, 148}));
  TDropDownChildLayout aboveLeft = LayoutDropDownChildren(200, 150, 17, 17, true, true);
  EXPECT_EQ(aboveLeft.Grabber, (TRect{0, -1, 17, 16}));
  EXPECT_EQ(aboveLeft.ScrollBar, (TRect{0, 16, 17, 148}));
  EXPECT_EQ(aboveLeft.List, (TRect{17, 0, 198, 148}));
  // Without sizing the grip has no height and the bar runs the full height.
  TDropDownChildLayout fixed = LayoutDropDownChildren(200, 150, 17, 0, false, false);
  EXPECT_TRUE(fixed.Grabber.IsEmpty());
  EXPECT_EQ(fixed.ScrollBar, (TRect{181, 0, 198, 148}));
}
