#pragma once
// Scroll arithmetic of the tree (Win32-free). Node heights go to 65,535 and
// the total height to 2^32 - 1 pixels: more than an int holds, and more than
// a scroll bar's positions hold. The vertical offset is kept in 64 bits, and
// a range taller than kScrollBarLimit is mapped linearly onto a shorter bar
// whose ends stay the content's ends.
#include <algorithm>
#include <climits>
#include <cstdint>

// value, or the nearest int.
inline int SaturateToInt(int64_t value) { return static_cast<int>(std::clamp<int64_t>(value, INT_MIN, INT_MAX)); }

// The offset (0 or negative) nearest to wanted that keeps the content in
// view: at least client - range, at most 0 (content shorter than the client
// stays at 0).
inline int64_t ClampScrollOffset(int64_t wanted, int64_t client, int64_t range) {
  return std::min<int64_t>(std::max<int64_t>(wanted, client - range), 0);
}

// Scroll deltas handed to a scroll notification: a jump beyond this is
// reported as this (the content moved by more than any window is high).
constexpr int64_t kMaxReportedScroll = int64_t(1) << 30;
inline int ReportedScroll(int64_t delta) {
  return static_cast<int>(std::clamp<int64_t>(delta, -kMaxReportedScroll, kMaxReportedScroll));
}

// The largest range a bar shows pixel for pixel; a taller one is divided down.
// Well below INT_MAX, so that the bar's own thumb arithmetic cannot overflow.
constexpr int64_t kScrollBarLimit = int64_t(1) << 30;

// How a content range of one axis appears on a scroll bar.
struct TScrollBarMapping {
  int max = 0;             // the bar's maximum (its minimum is 0)
  int page = 0;            // the bar's page
  int64_t barSpan = 0;     // the highest position the bar can take
  int64_t offsetSpan = 0;  // the farthest the content scrolls (minus the lowest offset)

  // The bar position for an offset (0 or negative); the ends map onto the ends.
  int Position(int64_t offset) const {
    if (offsetSpan <= 0 || barSpan <= 0) return 0;
    int64_t distance = std::clamp<int64_t>(-offset, 0, offsetSpan);
    return static_cast<int>((distance * barSpan + offsetSpan / 2) / offsetSpan);
  }
  // The offset for a bar position (clamped to the bar).
  int64_t Offset(int64_t position) const {
    if (offsetSpan <= 0 || barSpan <= 0) return 0;
    int64_t p = std::clamp<int64_t>(position, 0, barSpan);
    return -((p * offsetSpan + barSpan / 2) / barSpan);
  }
};

// The mapping of range pixels of content seen through client pixels. Up to
// kScrollBarLimit the bar counts pixels (maximum = range, page = client + 1).
inline TScrollBarMapping MapScrollBar(int64_t range, int client) {
  TScrollBarMapping m;
  range = std::max<int64_t>(range, 0);
  int64_t divisor = range <= kScrollBarLimit ? 1 : (range + kScrollBarLimit - 1) / kScrollBarLimit;
  int64_t page = std::max<int64_t>(int64_t(client) + 1, 0);
  m.max = static_cast<int>(range / divisor);
  m.page = static_cast<int>(divisor == 1 ? page : std::max<int64_t>(page / divisor, 1));
  m.barSpan = std::max<int64_t>(int64_t(m.max) - m.page + 1, 0);
  m.offsetSpan = std::max<int64_t>(range - client, 0);
  return m;
}
