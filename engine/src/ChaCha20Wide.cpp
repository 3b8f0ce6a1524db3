#include "ChaCha20Wide.h"

#include <immintrin.h>

namespace qv::engine {
namespace {

#define QV_WIDE __attribute__((target("avx2")))

template <int n>
QV_WIDE inline __m256i Rotl(__m256i v) {
  return _mm256_or_si256(_mm256_slli_epi32(v, n), _mm256_srli_epi32(v, 32 - n));
}

// Rotations by whole bytes move bytes within each word: one shuffle.
QV_WIDE inline __m256i Rotl16(__m256i v) {
  const __m256i order = _mm256_setr_epi8(2, 3, 0, 1, 6, 7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13,
                                         2, 3, 0, 1, 6, 7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13);
  return _mm256_shuffle_epi8(v, order);
}

QV_WIDE inline __m256i Rotl8(__m256i v) {
  const __m256i order = _mm256_setr_epi8(3, 0, 1, 2, 7, 4, 5, 6, 11, 8, 9, 10, 15, 12, 13, 14,
                                         3, 0, 1, 2, 7, 4, 5, 6, 11, 8, 9, 10, 15, 12, 13, 14);
  return _mm256_shuffle_epi8(v, order);
}

QV_WIDE inline void QuarterRound(__m256i& a, __m256i& b, __m256i& c, __m256i& d) {
  a = _mm256_add_epi32(a, b); d = Rotl16(_mm256_xor_si256(d, a));
  c = _mm256_add_epi32(c, d); b = Rotl<12>(_mm256_xor_si256(b, c));
  a = _mm256_add_epi32(a, b); d = Rotl8(_mm256_xor_si256(d, a));
  c = _mm256_add_epi32(c, d); b = Rotl<7>(_mm256_xor_si256(b, c));
}

// Words k .. k+3 of the eight blocks (x[k + i] holds word k + i of block j in
// lane j) go to their places in out: block j's 64 bytes at out + 64 j.
QV_WIDE inline void StoreFourWords(const __m256i* x, int k, uint8_t* out) {
  __m256i t0 = _mm256_unpacklo_epi32(x[k], x[k + 1]);
  __m256i t1 = _mm256_unpackhi_epi32(x[k], x[k + 1]);
  __m256i t2 = _mm256_unpacklo_epi32(x[k + 2], x[k + 3]);
  __m256i t3 = _mm256_unpackhi_epi32(x[k + 2], x[k + 3]);
  // Lane pairs: u[i] holds block i in its low half and block i + 4 in its high half.
  __m256i u[4] = {_mm256_unpacklo_epi64(t0, t2), _mm256_unpackhi_epi64(t0, t2), _mm256_unpacklo_epi64(t1, t3),
                  _mm256_unpackhi_epi64(t1, t3)};
  for (int i = 0; i < 4; ++i) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 64 * i + 4 * k), _mm256_castsi256_si128(u[i]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 64 * (i + 4) + 4 * k), _mm256_extracti128_si256(u[i], 1));
  }
}

}  // namespace

bool WideBlocksAvailable() {
  static const bool available = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return available;
}

QV_WIDE void EightBlocks(const uint32_t* state, uint64_t counter, uint8_t* out) {
  __m256i in[16];
  for (int i = 0; i < 16; ++i) in[i] = _mm256_set1_epi32(int(state[i]));
  uint32_t low[8], high[8];
  for (int j = 0; j < 8; ++j) {
    low[j] = uint32_t(counter + j);
    high[j] = uint32_t((counter + j) >> 32);
  }
  in[12] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(low));
  in[13] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(high));
  __m256i x[16];
  for (int i = 0; i < 16; ++i) x[i] = in[i];
  for (int round = 0; round < 10; ++round) {
    QuarterRound(x[0], x[4], x[8], x[12]);
    QuarterRound(x[1], x[5], x[9], x[13]);
    QuarterRound(x[2], x[6], x[10], x[14]);
    QuarterRound(x[3], x[7], x[11], x[15]);
    QuarterRound(x[0], x[5], x[10], x[15]);
    QuarterRound(x[1], x[6], x[11], x[12]);
    QuarterRound(x[2], x[7], x[8], x[13]);
    QuarterRound(x[3], x[4], x[9], x[14]);
  }
  for (int i = 0; i < 16; ++i) x[i] = _mm256_add_epi32(x[i], in[i]);
  for (int k = 0; k < 16; k += 4) StoreFourWords(x, k, out);
}

}  // namespace qv::engine
