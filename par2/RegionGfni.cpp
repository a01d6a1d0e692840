// GF(2^16) products with the GF(2^8) affine instruction (compiled with
// -mgfni and AVX-512BW). Multiplying a word by a constant is a 16x16 bit
// matrix, four 8x8 blocks: the low byte of the product takes the low byte
// through one block and the high byte through another. Bytes at even
// addresses (low bytes) and at odd ones (high bytes) take different blocks,
// so each product is two affine steps on the block as it is and two on it
// with the bytes of each word swapped, the odd bytes under a mask.
#include <immintrin.h>

#include "par2/RegionKernelsX86.h"

namespace par2::x86 {

namespace {

// Prepared: four matrices, low-from-low, high-from-high, low-from-high,
// high-from-low.
template <int G>
void Group512(const uint8_t* prepared, const uint8_t* const* src, size_t sources, uint8_t* const* dst, size_t bytes) {
  const __m512i swap =
      _mm512_set_epi8(62, 63, 60, 61, 58, 59, 56, 57, 54, 55, 52, 53, 50, 51, 48, 49, 46, 47, 44, 45, 42, 43, 40, 41,
                      38, 39, 36, 37, 34, 35, 32, 33, 30, 31, 28, 29, 26, 27, 24, 25, 22, 23, 20, 21, 18, 19, 16, 17,
                      14, 15, 12, 13, 10, 11, 8, 9, 6, 7, 4, 5, 2, 3, 0, 1);
  const __mmask64 odd = 0xAAAAAAAAAAAAAAAAull;
  for (size_t pos = 0; pos < bytes; pos += 64) {
    __m512i acc[G];
    for (int g = 0; g < G; ++g) acc[g] = _mm512_loadu_si512(dst[g] + pos);
    for (size_t s = 0; s < sources; ++s) {
      const __m512i v = _mm512_loadu_si512(src[s] + pos);
      const __m512i w = _mm512_shuffle_epi8(v, swap);
      for (int g = 0; g < G; ++g) {
        const long long* m = reinterpret_cast<const long long*>(prepared + (static_cast<size_t>(g) * sources + s) * 32);
        __m512i r = _mm512_gf2p8affine_epi64_epi8(v, _mm512_set1_epi64(m[0]), 0);
        r = _mm512_mask_gf2p8affine_epi64_epi8(r, odd, v, _mm512_set1_epi64(m[1]), 0);
        __m512i t = _mm512_gf2p8affine_epi64_epi8(w, _mm512_set1_epi64(m[2]), 0);
        t = _mm512_mask_gf2p8affine_epi64_epi8(t, odd, w, _mm512_set1_epi64(m[3]), 0);
        acc[g] = _mm512_ternarylogic_epi64(acc[g], r, t, 0x96);
      }
    }
    for (int g = 0; g < G; ++g) _mm512_storeu_si512(dst[g] + pos, acc[g]);
  }
}

template <int G>
void Group256(const uint8_t* prepared, const uint8_t* const* src, size_t sources, uint8_t* const* dst, size_t bytes) {
  const __m256i swap = _mm256_set_epi8(14, 15, 12, 13, 10, 11, 8, 9, 6, 7, 4, 5, 2, 3, 0, 1, 14, 15, 12, 13, 10, 11, 8,
                                       9, 6, 7, 4, 5, 2, 3, 0, 1);
  const __m256i odd = _mm256_set1_epi16(static_cast<short>(0xFF00));
  for (size_t pos = 0; pos < bytes; pos += 32) {
    __m256i acc[G];
    for (int g = 0; g < G; ++g) acc[g] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dst[g] + pos));
    for (size_t s = 0; s < sources; ++s) {
      const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src[s] + pos));
      const __m256i w = _mm256_shuffle_epi8(v, swap);
      for (int g = 0; g < G; ++g) {
        const long long* m = reinterpret_cast<const long long*>(prepared + (static_cast<size_t>(g) * sources + s) * 32);
        const __m256i r = _mm256_blendv_epi8(_mm256_gf2p8affine_epi64_epi8(v, _mm256_set1_epi64x(m[0]), 0),
                                             _mm256_gf2p8affine_epi64_epi8(v, _mm256_set1_epi64x(m[1]), 0), odd);
        const __m256i t = _mm256_blendv_epi8(_mm256_gf2p8affine_epi64_epi8(w, _mm256_set1_epi64x(m[2]), 0),
                                             _mm256_gf2p8affine_epi64_epi8(w, _mm256_set1_epi64x(m[3]), 0), odd);
        acc[g] = _mm256_xor_si256(acc[g], _mm256_xor_si256(r, t));
      }
    }
    for (int g = 0; g < G; ++g) _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst[g] + pos), acc[g]);
  }
}

}  // namespace

void AccumulateGfni512(const uint8_t* prepared, const uint8_t* const* src, size_t sources, uint8_t* const* dst,
                       size_t dsts, size_t bytes) {
  size_t d = 0;
  for (; d + 4 <= dsts; d += 4) Group512<4>(prepared + d * sources * 32, src, sources, dst + d, bytes);
  switch (dsts - d) {
    case 3: Group512<3>(prepared + d * sources * 32, src, sources, dst + d, bytes); break;
    case 2: Group512<2>(prepared + d * sources * 32, src, sources, dst + d, bytes); break;
    case 1: Group512<1>(prepared + d * sources * 32, src, sources, dst + d, bytes); break;
    default: break;
  }
}

void AccumulateGfni256(const uint8_t* prepared, const uint8_t* const* src, size_t sources, uint8_t* const* dst,
                       size_t dsts, size_t bytes) {
  size_t d = 0;
  for (; d + 4 <= dsts; d += 4) Group256<4>(prepared + d * sources * 32, src, sources, dst + d, bytes);
  switch (dsts - d) {
    case 3: Group256<3>(prepared + d * sources * 32, src, sources, dst + d, bytes); break;
    case 2: Group256<2>(prepared + d * sources * 32, src, sources, dst + d, bytes); break;
    case 1: Group256<1>(prepared + d * sources * 32, src, sources, dst + d, bytes); break;
    default: break;
  }
}

}  // namespace par2::x86
