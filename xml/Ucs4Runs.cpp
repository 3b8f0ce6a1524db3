#include "xml/Ucs4Runs.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

int32_t CopyUcs4Run(const UCS4Char* chars, int32_t from, int32_t to, const TUcs4StopSet& stops, char16_t* into) {
  int32_t k = from;
#if defined(__SSE2__)
  if (stops.Listed()) {
    const __m128i s0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(stops.Lanes(0)));
    const __m128i s1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(stops.Lanes(1)));
    const __m128i s2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(stops.Lanes(2)));
    const __m128i s3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(stops.Lanes(3)));
    const __m128i zero = _mm_setzero_si128();
    // Packing saturates signed: the values are moved into the signed range and back.
    const __m128i bias32 = _mm_set1_epi32(0x8000);
    const __m128i bias16 = _mm_set1_epi16(static_cast<short>(0x8000));
    for (; k + 8 <= to; k += 8) {
      __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(chars + k));
      __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(chars + k + 4));
      // A character beyond U+FFFF (or the end marker) among the eight: the
      // loop below takes them one by one.
      __m128i bmp = _mm_cmpeq_epi32(_mm_srli_epi32(_mm_or_si128(lo, hi), 16), zero);
      if (_mm_movemask_epi8(bmp) != 0xFFFF) break;
      __m128i units = _mm_add_epi16(_mm_packs_epi32(_mm_sub_epi32(lo, bias32), _mm_sub_epi32(hi, bias32)), bias16);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(into + (k - from)), units);
      __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(units, s0), _mm_cmpeq_epi16(units, s1)),
                                 _mm_or_si128(_mm_cmpeq_epi16(units, s2), _mm_cmpeq_epi16(units, s3)));
      int mask = _mm_movemask_epi8(hit);
      if (mask != 0) return k + __builtin_ctz(mask) / 2;
    }
  }
#endif
  for (; k < to; ++k) {
    UCS4Char c = chars[k];
    if (c >= 0x10000 || stops.Has(c)) return k;
    into[k - from] = static_cast<char16_t>(c);
  }
  return k;
}

TUcs4SizeSums SumUcs4Sizes(const uint8_t* sizes, int32_t from, int32_t to) {
  TUcs4SizeSums sums;
  int32_t k = from;
#if defined(__SSE2__)
  const __m128i low7 = _mm_set1_epi8(0x7F);
  const __m128i one = _mm_set1_epi8(1);
  const __m128i zero = _mm_setzero_si128();
  __m128i bytes = zero, repeats = zero;
  for (; k + 16 <= to; k += 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sizes + k));
    bytes = _mm_add_epi64(bytes, _mm_sad_epu8(_mm_and_si128(v, low7), zero));
    repeats = _mm_add_epi64(repeats, _mm_sad_epu8(_mm_and_si128(_mm_srli_epi16(v, 7), one), zero));
  }
  int64_t lanes[2];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), bytes);
  sums.bytes = lanes[0] + lanes[1];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), repeats);
  sums.repeats = static_cast<int32_t>(lanes[0] + lanes[1]);
#endif
  for (; k < to; ++k) {
    sums.bytes += sizes[k] & 0x7F;
    sums.repeats += sizes[k] >> 7;
  }
  return sums;
}

int32_t DecodeAsciiRun(const uint8_t* data, int32_t n, UCS4Char* to, uint8_t* sizes) {
  int32_t i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i cr = _mm_set1_epi8(0x0D);
  const __m128i ones = _mm_set1_epi8(1);
  for (; i + 16 <= n; i += 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
    // The high bit of a byte beyond ASCII, or of a CR's compare.
    if (_mm_movemask_epi8(_mm_or_si128(v, _mm_cmpeq_epi8(v, cr))) != 0) break;
    __m128i lo = _mm_unpacklo_epi8(v, zero);
    __m128i hi = _mm_unpackhi_epi8(v, zero);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i), _mm_unpacklo_epi16(lo, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i + 4), _mm_unpackhi_epi16(lo, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i + 8), _mm_unpacklo_epi16(hi, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i + 12), _mm_unpackhi_epi16(hi, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(sizes + i), ones);
  }
#endif
  for (; i < n && data[i] < 0x80 && data[i] != 0x0D; ++i) {
    to[i] = data[i];
    sizes[i] = 1;
  }
  return i;
}
