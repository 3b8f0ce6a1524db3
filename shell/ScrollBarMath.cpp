#include "shell/ScrollBarMath.h"

#include <algorithm>

namespace {

constexpr int64_t kInt32Max = INT32_MAX;
constexpr int64_t kInt32Min = INT32_MIN;

int64_t Span(const TScrollRange& range) { return int64_t{range.Max} - range.Min; }

int32_t Clamp32(int64_t value) { return static_cast<int32_t>(std::clamp(value, kInt32Min, kInt32Max)); }

// a * b / c rounded half up, for a, b >= 0 and c > 0 whose product fits in 63 bits.
int64_t MulDivRound(int64_t a, int64_t b, int64_t c) { return (a * b + c / 2) / c; }

void Revalidate(TScrollRange& range) {
  range.PageSize = Clamp32(std::clamp<int64_t>(range.PageSize, 1, Span(range)));
  range.Position = Clamp32(std::clamp<int64_t>(range.Position, range.Min, LargestPosition(range)));
}

bool Contains(const TRect& r, int x, int y) { return x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom; }

}  // namespace

int32_t LargestPosition(const TScrollRange& range) {
  return Clamp32(std::max<int64_t>(range.Min, int64_t{range.Max} - range.PageSize));
}

void SetRangeMax(TScrollRange& range, int32_t value) {
  range.Max = value;
  if (range.Max <= range.Min) {
    if (range.Min == INT32_MAX) {
      range.Max = INT32_MAX;
      range.Min = INT32_MAX - 1;
    } else {
      range.Max = range.Min + 1;
    }
  }
  Revalidate(range);
}

void SetRangeMin(TScrollRange& range, int32_t value) {
  range.Min = value;
  if (range.Min >= range.Max) {
    if (range.Max == INT32_MIN) {
      range.Min = INT32_MIN;
      range.Max = INT32_MIN + 1;
    } else {
      range.Min = range.Max - 1;
    }
  }
  Revalidate(range);
}

void SetRangePageSize(TScrollRange& range, int32_t value) {
  range.PageSize = value;
  Revalidate(range);
}

void SetRangePosition(TScrollRange& range, int32_t value) {
  range.Position = value;
  Revalidate(range);
}

void MoveRangePosition(TScrollRange& range, int64_t delta) {
  range.Position = Clamp32(std::clamp<int64_t>(int64_t{range.Position} + delta, range.Min, LargestPosition(range)));
}

TScrollLayout LayoutScrollBar(int width, int height, const TScrollMetrics& metrics, const TScrollRange& range) {
  TScrollLayout layout;
  width = std::max(width, 0);
  height = std::max(height, 0);
  // Arrows share a bar lower than two of them.
  int arrow = height < 2 * metrics.ArrowHeight ? height / 2 : metrics.ArrowHeight;
  layout.UpArrow = Rect(0, 0, width, arrow);
  layout.DownArrow = Rect(0, height - arrow, width, height);
  layout.Track = Rect(0, arrow, width, std::max(arrow, height - arrow));
  int64_t track = layout.Track.Height();
  int64_t span = Span(range);
  if (track <= 0 || span <= 0) {
    layout.PageUp = layout.PageDown = layout.Thumb = Rect(0, layout.Track.Top, width, layout.Track.Top);
    return layout;
  }
  int64_t thumb = std::max<int64_t>(MulDivRound(track, range.PageSize, span), metrics.MinThumb);
  if (thumb > track) {
    // No room for a thumb: no thumb and no page areas, only the arrows scroll.
    layout.PageUp = layout.PageDown = layout.Thumb = Rect(0, layout.Track.Top, width, layout.Track.Top);
    return layout;
  }
  int64_t offset = MulDivRound(int64_t{range.Position} - range.Min, track, span);
  offset = std::clamp<int64_t>(offset, 0, track - thumb);  // an enlarged thumb stays inside the track
  int top = layout.Track.Top + static_cast<int>(offset);
  layout.HasThumb = true;
  layout.Thumb = Rect(0, top, width, top + static_cast<int>(thumb));
  layout.PageUp = Rect(0, layout.Track.Top, width, top);
  layout.PageDown = Rect(0, layout.Thumb.Bottom, width, layout.Track.Bottom);
  return layout;
}

TScrollBarPart HitTestScrollBar(const TScrollLayout& layout, int x, int y) {
  if (Contains(layout.UpArrow, x, y)) return sbpUpArrow;
  if (Contains(layout.DownArrow, x, y)) return sbpDownArrow;
  if (layout.HasThumb && Contains(layout.Thumb, x, y)) return sbpThumb;
  if (Contains(layout.PageUp, x, y)) return sbpPageUp;
  if (Contains(layout.PageDown, x, y)) return sbpPageDown;
  return sbpNone;
}

int32_t PositionFromY(const TScrollLayout& layout, const TScrollRange& range, int y) {
  int64_t track = layout.Track.Height();
  if (track <= 0) return range.Min;
  int64_t into = std::clamp<int64_t>(int64_t{y} - layout.Track.Top, 0, track);
  int64_t position = range.Min + MulDivRound(into, Span(range), track);
  return Clamp32(std::clamp<int64_t>(position, range.Min, LargestPosition(range)));
}
