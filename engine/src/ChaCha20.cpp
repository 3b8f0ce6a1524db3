#include "ChaCha20.h"

#include <cstring>

#include "ChaCha20Wide.h"
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace qv::engine {
namespace {

uint32_t LoadLe32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void StoreLe32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

constexpr uint32_t Rotl(uint32_t v, int n) { return (v << n) | (v >> (32 - n)); }

void QuarterRound(uint32_t* x, int a, int b, int c, int d) {
  x[a] += x[b]; x[d] = Rotl(x[d] ^ x[a], 16);
  x[c] += x[d]; x[b] = Rotl(x[b] ^ x[c], 12);
  x[a] += x[b]; x[d] = Rotl(x[d] ^ x[a], 8);
  x[c] += x[d]; x[b] = Rotl(x[b] ^ x[c], 7);
}

#ifdef __SSE2__
template <int n>
__m128i RotlV(__m128i v) {
  return _mm_or_si128(_mm_slli_epi32(v, n), _mm_srli_epi32(v, 32 - n));
}

// A 16-bit rotation swaps the halves of each word: two shuffles, no shifts.
template <>
__m128i RotlV<16>(__m128i v) {
  return _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0xB1), 0xB1);
}

// Half a double round on the rows of one block: the quarter round on all four
// columns (or, after the diagonal shuffle, on all four diagonals) at once.
inline void HalfRound(__m128i& a, __m128i& b, __m128i& c, __m128i& d) {
  a = _mm_add_epi32(a, b); d = RotlV<16>(_mm_xor_si128(d, a));
  c = _mm_add_epi32(c, d); b = RotlV<12>(_mm_xor_si128(b, c));
  a = _mm_add_epi32(a, b); d = RotlV<8>(_mm_xor_si128(d, a));
  c = _mm_add_epi32(c, d); b = RotlV<7>(_mm_xor_si128(b, c));
}

// Turns columns into diagonals (and back): rows b, c, d rotate by 1, 2, 3 words.
inline void ToDiagonals(__m128i& b, __m128i& c, __m128i& d) {
  b = _mm_shuffle_epi32(b, 0x39);
  c = _mm_shuffle_epi32(c, 0x4E);
  d = _mm_shuffle_epi32(d, 0x93);
}

inline void FromDiagonals(__m128i& b, __m128i& c, __m128i& d) {
  b = _mm_shuffle_epi32(b, 0x93);
  c = _mm_shuffle_epi32(c, 0x4E);
  d = _mm_shuffle_epi32(d, 0x39);
}

// Two blocks at once, each held as four rows; two independent chains keep
// the eight vector registers of 32-bit x86 busy.
void TwoBlocks(const uint32_t* state, uint64_t counter, uint8_t* out) {
  const __m128i row0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
  const __m128i row1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
  const __m128i row2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 8));
  uint64_t second = counter + 1;
  const __m128i row3a = _mm_setr_epi32(int(uint32_t(counter)), int(uint32_t(counter >> 32)), int(state[14]),
                                       int(state[15]));
  const __m128i row3b = _mm_setr_epi32(int(uint32_t(second)), int(uint32_t(second >> 32)), int(state[14]),
                                       int(state[15]));
  __m128i a0 = row0, b0 = row1, c0 = row2, d0 = row3a;
  __m128i a1 = row0, b1 = row1, c1 = row2, d1 = row3b;
  for (int round = 0; round < 10; ++round) {
    HalfRound(a0, b0, c0, d0);
    HalfRound(a1, b1, c1, d1);
    ToDiagonals(b0, c0, d0);
    ToDiagonals(b1, c1, d1);
    HalfRound(a0, b0, c0, d0);
    HalfRound(a1, b1, c1, d1);
    FromDiagonals(b0, c0, d0);
    FromDiagonals(b1, c1, d1);
  }
  auto store = [](uint8_t* at, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(at), v); };
  store(out, _mm_add_epi32(a0, row0));
  store(out + 16, _mm_add_epi32(b0, row1));
  store(out + 32, _mm_add_epi32(c0, row2));
  store(out + 48, _mm_add_epi32(d0, row3a));
  store(out + 64, _mm_add_epi32(a1, row0));
  store(out + 80, _mm_add_epi32(b1, row1));
  store(out + 96, _mm_add_epi32(c1, row2));
  store(out + 112, _mm_add_epi32(d1, row3b));
}
#endif

}  // namespace

ChaCha20::ChaCha20(const uint8_t* key, const uint8_t* nonce) {
  state_[0] = 0x61707865;  // "expand 32-byte k"
  state_[1] = 0x3320646e;
  state_[2] = 0x79622d32;
  state_[3] = 0x6b206574;
  for (int i = 0; i < 8; ++i) state_[4 + i] = LoadLe32(key + 4 * i);
  state_[12] = 0;
  state_[13] = 0;
  state_[14] = LoadLe32(nonce);
  state_[15] = LoadLe32(nonce + 4);
}

void ChaCha20::OneBlock(uint64_t counter, uint8_t* out) const {
  uint32_t in[16];
  std::memcpy(in, state_, sizeof in);
  in[12] = uint32_t(counter);
  in[13] = uint32_t(counter >> 32);
  uint32_t x[16];
  std::memcpy(x, in, sizeof x);
  for (int round = 0; round < 10; ++round) {
    QuarterRound(x, 0, 4, 8, 12);
    QuarterRound(x, 1, 5, 9, 13);
    QuarterRound(x, 2, 6, 10, 14);
    QuarterRound(x, 3, 7, 11, 15);
    QuarterRound(x, 0, 5, 10, 15);
    QuarterRound(x, 1, 6, 11, 12);
    QuarterRound(x, 2, 7, 8, 13);
    QuarterRound(x, 3, 4, 9, 14);
  }
  for (int i = 0; i < 16; ++i) StoreLe32(out + 4 * i, x[i] + in[i]);
}

void ChaCha20::Blocks(uint64_t counter, uint8_t* out, size_t blocks) const {
  if (blocks >= 8 && WideBlocksAvailable()) {
    for (; blocks >= 8; blocks -= 8, counter += 8, out += 8 * kBlockBytes) EightBlocks(state_, counter, out);
  }
#ifdef __SSE2__
  for (; blocks >= 2; blocks -= 2, counter += 2, out += 2 * kBlockBytes) TwoBlocks(state_, counter, out);
#endif
  for (; blocks > 0; --blocks, ++counter, out += kBlockBytes) OneBlock(counter, out);
}

void ChaCha20::Stream(uint64_t offset, uint8_t* out, size_t length) const {
  uint8_t block[kBlockBytes];
  uint64_t counter = offset / kBlockBytes;
  size_t skip = size_t(offset % kBlockBytes);
  if (skip != 0 && length > 0) {
    OneBlock(counter++, block);
    size_t n = kBlockBytes - skip < length ? kBlockBytes - skip : length;
    std::memcpy(out, block + skip, n);
    out += n;
    length -= n;
  }
  size_t whole = length / kBlockBytes;
  Blocks(counter, out, whole);
  counter += whole;
  out += whole * kBlockBytes;
  length -= whole * kBlockBytes;
  if (length > 0) {
    OneBlock(counter, block);
    std::memcpy(out, block, length);
  }
}

}  // namespace qv::engine
