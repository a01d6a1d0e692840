// Split-nibble shuffle tables with AVX-512BW (compiled with -mavx512bw). Each source
// block's low and high bytes are packed into two planes once, the eight
// 16-entry tables of each constant then give the product's two bytes, and
// the planes are interleaved back only when the sum is added to the
// destination.
#include <immintrin.h>

#include "par2/RegionKernelsX86.h"

namespace par2::x86 {

namespace {

// Tables are read unaligned: callers' buffers need not be.
inline __m512i T(const __m512i* t, int i) { return _mm512_loadu_si512(t + i); }

// Up to four destinations share each source block's unpacking.
template <int G>
void Group(const uint8_t* prepared, const uint8_t* const* src, size_t sources, uint8_t* const* dst, size_t bytes) {
  const __m512i lowByte = _mm512_set1_epi16(0x00FF);
  const __m512i nibble = _mm512_set1_epi8(0x0F);
  for (size_t pos = 0; pos < bytes; pos += 128) {
    __m512i lo[G], hi[G];
    for (int g = 0; g < G; ++g) lo[g] = hi[g] = _mm512_setzero_si512();
    for (size_t s = 0; s < sources; ++s) {
      const __m512i a = _mm512_loadu_si512(reinterpret_cast<const __m512i*>(src[s] + pos));
      const __m512i b = _mm512_loadu_si512(reinterpret_cast<const __m512i*>(src[s] + pos + 64));
      const __m512i l = _mm512_packus_epi16(_mm512_and_si512(a, lowByte), _mm512_and_si512(b, lowByte));
      const __m512i h = _mm512_packus_epi16(_mm512_srli_epi16(a, 8), _mm512_srli_epi16(b, 8));
      const __m512i l0 = _mm512_and_si512(l, nibble), l1 = _mm512_and_si512(_mm512_srli_epi16(l, 4), nibble);
      const __m512i h0 = _mm512_and_si512(h, nibble), h1 = _mm512_and_si512(_mm512_srli_epi16(h, 4), nibble);
      for (int g = 0; g < G; ++g) {
        const __m512i* t = reinterpret_cast<const __m512i*>(prepared + (static_cast<size_t>(g) * sources + s) * 512);
        lo[g] = _mm512_xor_si512(
            lo[g],
            _mm512_xor_si512(_mm512_xor_si512(_mm512_shuffle_epi8(T(t, 0), l0), _mm512_shuffle_epi8(T(t, 1), l1)),
                             _mm512_xor_si512(_mm512_shuffle_epi8(T(t, 2), h0), _mm512_shuffle_epi8(T(t, 3), h1))));
        hi[g] = _mm512_xor_si512(
            hi[g],
            _mm512_xor_si512(_mm512_xor_si512(_mm512_shuffle_epi8(T(t, 4), l0), _mm512_shuffle_epi8(T(t, 5), l1)),
                             _mm512_xor_si512(_mm512_shuffle_epi8(T(t, 6), h0), _mm512_shuffle_epi8(T(t, 7), h1))));
      }
    }
    for (int g = 0; g < G; ++g) {
      __m512i* d = reinterpret_cast<__m512i*>(dst[g] + pos);
      _mm512_storeu_si512(d, _mm512_xor_si512(_mm512_loadu_si512(d), _mm512_unpacklo_epi8(lo[g], hi[g])));
      _mm512_storeu_si512(d + 1, _mm512_xor_si512(_mm512_loadu_si512(d + 1), _mm512_unpackhi_epi8(lo[g], hi[g])));
    }
  }
}

}  // namespace

void AccumulateAvx512(const uint8_t* prepared, const uint8_t* const* src, size_t sources, uint8_t* const* dst,
                      size_t dsts, size_t bytes) {
  size_t d = 0;
  for (; d + 4 <= dsts; d += 4) Group<4>(prepared + d * sources * 512, src, sources, dst + d, bytes);
  switch (dsts - d) {
    case 3: Group<3>(prepared + d * sources * 512, src, sources, dst + d, bytes); break;
    case 2: Group<2>(prepared + d * sources * 512, src, sources, dst + d, bytes); break;
    case 1: Group<1>(prepared + d * sources * 512, src, sources, dst + d, bytes); break;
    default: break;
  }
}

}  // namespace par2::x86
