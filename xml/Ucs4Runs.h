#pragma once
// The loops under the reader's runs of text: finding where a run of decoded
// characters stops while copying it out as UTF-16, and summing the sizes of
// ring entries. Several at a time where the processor allows.
#include <cstdint>
#include <string>
#include <string_view>

#include "xml/UnicodeCodec.h"

// A set of ASCII characters a run of text stops at; the end of the input
// (and, for the run loops, any character beyond U+FFFF) always stops it.
class TUcs4StopSet {
public:
  constexpr TUcs4StopSet(std::u16string_view chars) {
    for (char16_t c : chars) {
      bits[c >> 6] |= uint64_t(1) << (c & 63);
      if (listed < kListed) {
        for (uint16_t& lane : lanes[listed]) lane = c;
      }
      ++listed;
    }
    // The unused places repeat the first stop.
    for (int i = listed; i < kListed && listed > 0; ++i) {
      for (int j = 0; j < 8; ++j) lanes[i][j] = lanes[0][j];
    }
  }
  bool Has(UCS4Char c) const { return c < 128 ? (bits[c >> 6] >> (c & 63)) & 1 : c == kUcs4EndOfInput; }

  // One to four stops are also kept eight times over each, for the loops
  // that compare eight characters at once.
  static constexpr int kListed = 4;
  bool Listed() const { return listed >= 1 && listed <= kListed; }
  const uint16_t* Lanes(int i) const { return lanes[i]; }

private:
  uint16_t lanes[kListed][8] = {};
  uint64_t bits[2] = {0, 0};
  int listed = 0;
};

// The first k in [from, to) whose character is in stops or beyond U+FFFF
// (which takes in the end marker), else the larger of from and to; the
// characters before it are copied to into as UTF-16 units. into has room
// for to - from + 8 units (whole blocks of eight may be written).
int32_t CopyUcs4Run(const UCS4Char* chars, int32_t from, int32_t to, const TUcs4StopSet& stops, char16_t* into);

// Sums over the ring entry sizes [from, to) of one reader: the bytes (the low
// seven bits of each size) and the repeats (the sizes with the high bit set).
struct TUcs4SizeSums {
  int64_t bytes = 0;
  int32_t repeats = 0;
};
TUcs4SizeSums SumUcs4Sizes(const uint8_t* sizes, int32_t from, int32_t to);

// Decodes the leading run of ASCII bytes other than CR among the first n of
// data: each byte goes to to as its character, with size 1 in sizes.
// Returns the length of the run.
int32_t DecodeAsciiRun(const uint8_t* data, int32_t n, UCS4Char* to, uint8_t* sizes);
