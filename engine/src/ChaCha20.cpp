#include "ChaCha20.h"

#include <cstring>
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

void QuarterRoundV(__m128i* x, int a, int b, int c, int d) {
  x[a] = _mm_add_epi32(x[a], x[b]); x[d] = RotlV<16>(_mm_xor_si128(x[d], x[a]));
  x[c] = _mm_add_epi32(x[c], x[d]); x[b] = RotlV<12>(_mm_xor_si128(x[b], x[c]));
  x[a] = _mm_add_epi32(x[a], x[b]); x[d] = RotlV<8>(_mm_xor_si128(x[d], x[a]));
  x[c] = _mm_add_epi32(x[c], x[d]); x[b] = RotlV<7>(_mm_xor_si128(x[b], x[c]));
}

// Four blocks at once, one state word of all four per vector lane set.
void FourBlocks(const uint32_t* state, uint64_t counter, uint8_t* out) {
  __m128i x[16];
  __m128i in[16];
  for (int i = 0; i < 16; ++i) in[i] = _mm_set1_epi32(int(state[i]));
  uint32_t lo[4];
  uint32_t hi[4];
  for (int j = 0; j < 4; ++j) {
    uint64_t c = counter + uint64_t(j);
    lo[j] = uint32_t(c);
    hi[j] = uint32_t(c >> 32);
  }
  in[12] = _mm_setr_epi32(int(lo[0]), int(lo[1]), int(lo[2]), int(lo[3]));
  in[13] = _mm_setr_epi32(int(hi[0]), int(hi[1]), int(hi[2]), int(hi[3]));
  for (int i = 0; i < 16; ++i) x[i] = in[i];
  for (int round = 0; round < 10; ++round) {
    QuarterRoundV(x, 0, 4, 8, 12);
    QuarterRoundV(x, 1, 5, 9, 13);
    QuarterRoundV(x, 2, 6, 10, 14);
    QuarterRoundV(x, 3, 7, 11, 15);
    QuarterRoundV(x, 0, 5, 10, 15);
    QuarterRoundV(x, 1, 6, 11, 12);
    QuarterRoundV(x, 2, 7, 8, 13);
    QuarterRoundV(x, 3, 4, 9, 14);
  }
  for (int i = 0; i < 16; ++i) x[i] = _mm_add_epi32(x[i], in[i]);
  // Transpose each group of four words so that block j's words are contiguous.
  for (int g = 0; g < 4; ++g) {
    __m128i a = x[4 * g], b = x[4 * g + 1], c = x[4 * g + 2], d = x[4 * g + 3];
    __m128i ab0 = _mm_unpacklo_epi32(a, b), ab1 = _mm_unpackhi_epi32(a, b);
    __m128i cd0 = _mm_unpacklo_epi32(c, d), cd1 = _mm_unpackhi_epi32(c, d);
    __m128i r0 = _mm_unpacklo_epi64(ab0, cd0), r1 = _mm_unpackhi_epi64(ab0, cd0);
    __m128i r2 = _mm_unpacklo_epi64(ab1, cd1), r3 = _mm_unpackhi_epi64(ab1, cd1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 0 * 64 + 16 * g), r0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 1 * 64 + 16 * g), r1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * 64 + 16 * g), r2);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * 64 + 16 * g), r3);
  }
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
#ifdef __SSE2__
  for (; blocks >= 4; blocks -= 4, counter += 4, out += 4 * kBlockBytes) {
    FourBlocks(state_, counter, out);
  }
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
