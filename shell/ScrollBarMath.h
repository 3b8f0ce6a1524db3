#pragma once
// The arithmetic of the owner-drawn scroll bar, free of window handles: the range
// rules of Min, Max, PageSize and Position, the vertical layout of arrows,
// track and thumb, hit tests and the position under a point. Products are
// taken in 64 bits, so a range as wide as the whole 32-bit span cannot
// overflow, and a track of zero length divides nothing.
#include <cstdint>

#include "win/graphics/Types.h"

struct TScrollRange {
  int32_t Min = 0;
  int32_t Max = 100;
  int32_t PageSize = 1;
  int32_t Position = 0;
};

// Max - PageSize, the largest position (never below Min).
int32_t LargestPosition(const TScrollRange& range);
// The setters' rules; each leaves PageSize and Position valid for the new range.
// Max not above Min becomes Min + 1 (Min gives way at the top of the 32-bit span).
void SetRangeMax(TScrollRange& range, int32_t value);
// Min not below Max becomes Max - 1 (Max gives way at the bottom of the span).
void SetRangeMin(TScrollRange& range, int32_t value);
// Limited to 1 .. Max - Min.
void SetRangePageSize(TScrollRange& range, int32_t value);
// Limited to Min .. LargestPosition.
void SetRangePosition(TScrollRange& range, int32_t value);
// Position moved by delta (saturating), then limited.
void MoveRangePosition(TScrollRange& range, int64_t delta);

enum TScrollBarPart { sbpNone, sbpUpArrow, sbpDownArrow, sbpThumb, sbpPageUp, sbpPageDown };

// The system's sizes the layout needs.
struct TScrollMetrics {
  int ArrowHeight = 16;  // SM_CYVSCROLL
  int MinThumb = 8;      // SM_CYVTHUMB div 2
};

struct TScrollLayout {
  TRect UpArrow, DownArrow, Track, Thumb, PageUp, PageDown;
  bool HasThumb = false;
};

// The parts of a width x height bar for range.
TScrollLayout LayoutScrollBar(int width, int height, const TScrollMetrics& metrics, const TScrollRange& range);
// The part at (x, y); sbpNone outside the bar.
TScrollBarPart HitTestScrollBar(const TScrollLayout& layout, int x, int y);
// The position whose thumb top is at y (clamped to the track), rounded and
// limited to the largest position; Min for a track of zero length.
int32_t PositionFromY(const TScrollLayout& layout, const TScrollRange& range, int y);
