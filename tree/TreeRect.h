#pragma once
// A rectangle of tree coordinates (the rubber band): a tree may be taller
// than an int reaches, so the vertical edges are 64-bit; the horizontal ones
// stay ints.
#include <algorithm>
#include <cstdint>

#include "tree/ScrollMath.h"
#include "win/graphics/Types.h"

struct TTreeRect {
  int Left = 0;
  int64_t Top = 0;
  int Right = 0;
  int64_t Bottom = 0;

  int Width() const { return Right - Left; }
  int64_t Height() const { return Bottom - Top; }
  bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  bool operator==(const TTreeRect&) const = default;
  // Left not right of Right, Top not below Bottom.
  TTreeRect Ordered() const {
    return TTreeRect{std::min(Left, Right), std::min(Top, Bottom), std::max(Left, Right), std::max(Top, Bottom)};
  }
  // Both together; an empty one adds nothing.
  TTreeRect Union(const TTreeRect& other) const {
    if (IsEmpty()) return other;
    if (other.IsEmpty()) return *this;
    return TTreeRect{std::min(Left, other.Left), std::min(Top, other.Top), std::max(Right, other.Right),
                     std::max(Bottom, other.Bottom)};
  }
  // Moved by (dx, dy) into an int rectangle (edges beyond an int stop at its ends).
  TRect Shifted(int dx, int64_t dy) const {
    return TRect{Left + dx, SaturateToInt(Top + dy), Right + dx, SaturateToInt(Bottom + dy)};
  }
  static TTreeRect From(const TRect& r) { return TTreeRect{r.Left, r.Top, r.Right, r.Bottom}; }
};
