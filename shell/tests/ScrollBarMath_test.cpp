// The scroll bar's arithmetic against a reference in wide floating point, for
// random ranges including the ends of the 32-bit span.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <random>

#include "shell/ScrollBarMath.h"

namespace {

// Exact for products below 2^64 (the x87 format keeps 64 bits of mantissa).
using Wide = long double;

int64_t RoundHalfUp(Wide value) { return static_cast<int64_t>(std::floor(value + 0.5L)); }

int32_t RandomValue(std::mt19937& random) {
  static const int32_t extremes[] = {INT32_MIN, INT32_MIN + 1, -1, 0, 1, 100, 65535, 65536, INT32_MAX - 1, INT32_MAX};
  switch (random() % 4) {
    case 0: return extremes[random() % 10];
    case 1: return static_cast<int32_t>(random() % 2001) - 1000;
    default: return static_cast<int32_t>(random());
  }
}

void ExpectValid(const TScrollRange& r) {
  ASSERT_GT(r.Max, r.Min);
  ASSERT_GE(r.PageSize, 1);
  ASSERT_LE(int64_t{r.PageSize}, int64_t{r.Max} - r.Min);
  ASSERT_GE(r.Position, r.Min);
  ASSERT_LE(int64_t{r.Position}, int64_t{r.Max} - r.PageSize);
}

}  // namespace

TEST(ScrollBarMath, SetterRules) {
  TScrollRange r;
  SetRangePageSize(r, 10);
  SetRangePosition(r, 1000);
  EXPECT_EQ(r.Position, 90) << "Max 100, PageSize 10: 90 and no more";
  SetRangeMin(r, 100);
  EXPECT_EQ(r.Min, 99);
  EXPECT_EQ(r.PageSize, 1);
  SetRangeMax(r, 50);
  EXPECT_EQ(r.Max, 100);
  TScrollRange top;
  SetRangeMax(top, INT32_MAX);
  SetRangeMin(top, INT32_MAX);
  EXPECT_EQ(top.Min, INT32_MAX - 1);
  EXPECT_EQ(top.Max, INT32_MAX);
  TScrollRange bottom;
  SetRangeMin(bottom, INT32_MIN);
  SetRangeMax(bottom, INT32_MIN);
  EXPECT_EQ(bottom.Min, INT32_MIN);
  EXPECT_EQ(bottom.Max, INT32_MIN + 1);
  TScrollRange whole;
  SetRangeMin(whole, INT32_MIN);
  SetRangeMax(whole, INT32_MAX);
  SetRangePageSize(whole, INT32_MAX);
  EXPECT_EQ(whole.PageSize, INT32_MAX);
  SetRangePosition(whole, INT32_MAX);
  EXPECT_EQ(whole.Position, 0);  // INT32_MAX - INT32_MAX
  MoveRangePosition(whole, -(int64_t{1} << 40));
  EXPECT_EQ(whole.Position, INT32_MIN);
}

TEST(ScrollBarMath, ZeroLengthTrackDividesNothing) {
  TScrollRange r;
  SetRangeMax(r, INT32_MAX);
  for (int height : {0, 2, 16, 32}) {
    TScrollLayout layout = LayoutScrollBar(17, height, TScrollMetrics{16, 8}, r);
    EXPECT_EQ(layout.Track.Height(), 0) << height;
    EXPECT_FALSE(layout.HasThumb);
    EXPECT_EQ(PositionFromY(layout, r, 5), r.Min);
    EXPECT_EQ(HitTestScrollBar(layout, 3, height - 1), height == 0 ? sbpNone : sbpDownArrow);
  }
  // One pixel of track: still no thumb (it needs more), and no division by zero.
  TScrollLayout thin = LayoutScrollBar(17, 33, TScrollMetrics{16, 8}, r);
  EXPECT_EQ(thin.Track.Height(), 1);
  EXPECT_FALSE(thin.HasThumb);
  EXPECT_EQ(PositionFromY(thin, r, thin.Track.Top), r.Min);
  // Lower than two arrows: each arrow takes half.
  TScrollLayout half = LayoutScrollBar(17, 20, TScrollMetrics{16, 8}, r);
  EXPECT_EQ(half.UpArrow.Height(), 10);
  EXPECT_EQ(half.DownArrow.Top, 10);
}

TEST(ScrollBarMath, RandomRangesAgreeWithTheReference) {
  const int rounds = std::getenv("QV_LONG") != nullptr ? 2000000 : 40000;
  std::mt19937 random(4115);
  const TScrollMetrics metrics{17, 8};
  for (int round = 0; round < rounds; ++round) {
    TScrollRange r;
    // Random setter sequences, in random order.
    for (int i = 0; i < 4; ++i) {
      switch (random() % 4) {
        case 0: SetRangeMin(r, RandomValue(random)); break;
        case 1: SetRangeMax(r, RandomValue(random)); break;
        case 2: SetRangePageSize(r, RandomValue(random)); break;
        default: SetRangePosition(r, RandomValue(random)); break;
      }
      ASSERT_NO_FATAL_FAILURE(ExpectValid(r)) << round;
    }
    int height = static_cast<int>(random() % 5) == 0 ? static_cast<int>(random() % 40) : 40 + static_cast<int>(random() % 4000);
    TScrollLayout layout = LayoutScrollBar(17, height, metrics, r);
    Wide span = Wide(int64_t{r.Max} - r.Min);
    int64_t track = layout.Track.Height();
    ASSERT_EQ(layout.UpArrow.Height() + track + layout.DownArrow.Height(), height);
    if (track == 0) {
      ASSERT_FALSE(layout.HasThumb);
      continue;
    }
    int64_t thumb = std::max<int64_t>(RoundHalfUp(Wide(track) * r.PageSize / span), metrics.MinThumb);
    ASSERT_EQ(layout.HasThumb, thumb <= track) << round;
    if (!layout.HasThumb) continue;
    ASSERT_EQ(layout.Thumb.Height(), thumb) << round;
    int64_t offset = RoundHalfUp(Wide(int64_t{r.Position} - r.Min) * track / span);
    offset = std::min(offset, track - thumb);
    ASSERT_EQ(layout.Thumb.Top, layout.Track.Top + offset) << round;
    ASSERT_EQ(layout.PageUp.Bottom, layout.Thumb.Top);
    ASSERT_EQ(layout.PageDown.Top, layout.Thumb.Bottom);
    ASSERT_LE(layout.Thumb.Bottom, layout.Track.Bottom);
    // The position under random points.
    int y = layout.Track.Top - 5 + static_cast<int>(random() % (track + 10));
    int64_t into = std::clamp<int64_t>(y - layout.Track.Top, 0, track);
    int64_t expected = int64_t{r.Min} + RoundHalfUp(Wide(into) * span / track);
    expected = std::clamp<int64_t>(expected, r.Min, LargestPosition(r));
    ASSERT_EQ(PositionFromY(layout, r, y), expected) << round;
    ASSERT_EQ(HitTestScrollBar(layout, 3, layout.Thumb.Top), sbpThumb);
  }
}
