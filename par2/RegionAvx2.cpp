// Split-nibble shuffle tables with AVX2 (compiled with -mavx2). Each source
// block's low and high bytes are packed into two planes once, the eight
// 16-entry tables of each constant then give the product's two bytes, and
// the planes are interleaved back only when the sum is added to the
// destination.
#include <immintrin.h>

#include "par2/RegionKernelsX86.h"

namespace par2::x86 {

namespace {

// Tables are read unaligned: callers' buffers need not be.
inline __m256i T(const __m256i* t, int i) { return _mm256_loadu_si256(t + i); }

// Up to four destinations share each source block's unpacking.
template <int G>
void Group(const uint8_t* prepared, const uint8_t* const* src, size_t sources, uint8_t* const* dst, size_t bytes) {
  const __m256i lowByte = _mm256_set1_epi16(0x00FF);
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  for (size_t pos = 0; pos < bytes; pos += 64) {
    __m256i lo[G], hi[G];
    for (int g = 0; g < G; ++g) lo[g] = hi[g] = _mm256_setzero_si256();
    for (size_t s = 0; s < sources; ++s) {
      const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src[s] + pos));
      const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src[s] + pos + 32));
      const __m256i l = _mm256_packus_epi16(_mm256_and_si256(a, lowByte), _mm256_and_si256(b, lowByte));
      const __m256i h = _mm256_packus_epi16(_mm256_srli_epi16(a, 8), _mm256_srli_epi16(b, 8));
      const __m256i l0 = _mm256_and_si256(l, nibble), l1 = _mm256_and_si256(_mm256_srli_epi16(l, 4), nibble);
      const __m256i h0 = _mm256_and_si256(h, nibble), h1 = _mm256_and_si256(_mm256_srli_epi16(h, 4), nibble);
      for (int g = 0; g < G; ++g) {
        const __m256i* t = reinterpret_cast<const __m256i*>(prepared + (static_cast<size_t>(g) * sources + s) * 256);
        lo[g] = _mm256_xor_si256(
            lo[g],
            _mm256_xor_si256(_mm256_xor_si256(_mm256_shuffle_epi8(T(t, 0), l0), _mm256_shuffle_epi8(T(t, 1), l1)),
                             _mm256_xor_si256(_mm256_shuffle_epi8(T(t, 2), h0), _mm256_shuffle_epi8(T(t, 3), h1))));
        hi[g] = _mm256_xor_si256(
            hi[g],
            _mm256_xor_si256(_mm256_xor_si256(_mm256_shuffle_epi8(T(t, 4), l0), _mm256_shuffle_epi8(T(t, 5), l1)),
                             _mm256_xor_si256(_mm256_shuffle_epi8(T(t, 6), h0), _mm256_shuffle_epi8(T(t, 7), h1))));
      }
    }
    for (int g = 0; g < G; ++g) {
      __m256i* d = reinterpret_cast<__m256i*>(dst[g] + pos);
      _mm256_storeu_si256(d, _mm256_xor_si256(_mm256_loadu_si256(d), _mm256_unpacklo_epi8(lo[g], hi[g])));
      _mm256_storeu_si256(d + 1, _mm256_xor_si256(_mm256_loadu_si256(d + 1), _mm256_unpackhi_epi8(lo[g], hi[g])));
    }
  }
}

}  // namespace

void AccumulateAvx2(const uint8_t* prepared, const uint8_t* const* src, size_t sources, uint8_t* const* dst,
                    size_t dsts, size_t bytes) {
  size_t d = 0;
  for (; d + 4 <= dsts; d += 4) Group<4>(prepared + d * sources * 256, src, sources, dst + d, bytes);
  switch (dsts - d) {
    case 3: Group<3>(prepared + d * sources * 256, src, sources, dst + d, bytes); break;
    case 2: Group<2>(prepared + d * sources * 256, src, sources, dst + d, bytes); break;
    case 1: Group<1>(prepared + d * sources * 256, src, sources, dst + d, bytes); break;
    default: break;
  }
}

}  // namespace par2::x86
