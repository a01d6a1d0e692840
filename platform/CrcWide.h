#pragma once
// CRC-32 with 256-bit carry-less multiplies (AVX2 + VPCLMULQDQ), for CPUs
// that have them without AVX-512: there ISA-L falls back to its 128-bit
// kernel, which sums more slowly than the kernel copies a cached file (about
// half the speed of this one). Header-only: the checker and the extraction
// library both use it.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "platform/CrcMath.h"

namespace platform {

// True when this CPU and OS can run Crc32UpdateWide.
inline bool WideCrcAvailable() {
  static const bool available = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("vpclmulqdq");
  return available;
}

// True when long buffers are better summed with Crc32UpdateWide than with
// ISA-L: it can run, and ISA-L would not pick its faster AVX-512 kernel
// (which it does given these four feature sets and VPCLMULQDQ).
inline bool WideCrcPreferred() {
  static const bool preferred =
      WideCrcAvailable() && !(__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
                              __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl"));
  return preferred;
}

// Buffers shorter than this gain nothing from the wide kernel.
inline constexpr size_t kWideCrcMinimum = 256;

// A raw register update (no initial value, no final complement), as
// Crc32Update in release/CRC.h.
using CrcUpdateFn = uint32_t (*)(uint32_t crc, const void* data, size_t length);

namespace crcwide {

// Folding a 128-bit lane forward over D bits multiplies its low (earlier)
// half by x^(D+32) and its high half by x^(D-32), modulo the polynomial;
// the extra shift by one puts the reflected products where the lane's bits
// are. Each lane here moves over four 256-bit registers: D = 1024.
inline constexpr unsigned kFoldBits = 4 * 256;
inline constexpr uint64_t kFoldLow = uint64_t{crcmath::PowerModP(crcmath::kX, kFoldBits + 32)} << 1;
inline constexpr uint64_t kFoldHigh = uint64_t{crcmath::PowerModP(crcmath::kX, kFoldBits - 32)} << 1;
inline constexpr size_t kBlock = 4 * 32;  // bytes taken per round

__attribute__((target("avx2,vpclmulqdq"))) inline __m256i Load(const unsigned char* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

__attribute__((target("avx2,vpclmulqdq"))) inline __m256i Fold(__m256i lanes, __m256i k, const unsigned char* next) {
  const __m256i low = _mm256_clmulepi64_epi128(lanes, k, 0x00);
  const __m256i high = _mm256_clmulepi64_epi128(lanes, k, 0x11);
  return _mm256_xor_si256(_mm256_xor_si256(low, high), Load(next));
}

}  // namespace crcwide

// The raw register after `length` bytes, four 256-bit lanes at a time; only
// to be called when WideCrcAvailable(). `narrow` sums short buffers and the
// last bytes of long ones.
__attribute__((target("avx2,vpclmulqdq"))) inline uint32_t Crc32UpdateWide(uint32_t crc, const void* data,
                                                                           size_t length, CrcUpdateFn narrow) {
  using namespace crcwide;
  auto p = static_cast<const unsigned char*>(data);
  if (length < kWideCrcMinimum) return narrow(crc, p, length);
  const __m256i k = _mm256_set_epi64x(int64_t(kFoldHigh), int64_t(kFoldLow), int64_t(kFoldHigh), int64_t(kFoldLow));
  // The register enters as a change to the first four bytes.
  __m256i x0 = _mm256_xor_si256(Load(p), _mm256_zextsi128_si256(_mm_cvtsi32_si128(static_cast<int>(crc))));
  __m256i x1 = Load(p + 32), x2 = Load(p + 64), x3 = Load(p + 96);
  for (p += kBlock, length -= kBlock; length >= kBlock; p += kBlock, length -= kBlock) {
    x0 = Fold(x0, k, p);
    x1 = Fold(x1, k, p + 32);
    x2 = Fold(x2, k, p + 64);
    x3 = Fold(x3, k, p + 96);
  }
  // The four registers now stand for everything summed so far: their 128
  // bytes, summed from a zero register, give the register of the whole.
  alignas(32) unsigned char rest[kBlock];
  _mm256_store_si256(reinterpret_cast<__m256i*>(rest), x0);
  _mm256_store_si256(reinterpret_cast<__m256i*>(rest + 32), x1);
  _mm256_store_si256(reinterpret_cast<__m256i*>(rest + 64), x2);
  _mm256_store_si256(reinterpret_cast<__m256i*>(rest + 96), x3);
  return narrow(narrow(0, rest, kBlock), p, length);
}

}  // namespace platform
