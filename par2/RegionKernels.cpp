#include "par2/RegionKernels.h"

#include <cstdlib>
#include <cstring>

#include "par2/Gf16.h"
#if defined(LUMESKAR_X86_KERNELS)
#include "par2/RegionKernelsX86.h"
#endif

namespace par2 {

namespace {

// Portable: two 256-entry tables per constant, the products of every low
// byte and of every high byte.
void PrepareTables(uint16_t c, uint8_t* out) {
  uint16_t t[512];
  for (uint32_t b = 0; b < 256; ++b) {
    t[b] = gf16::Multiply(c, static_cast<uint16_t>(b));
    t[256 + b] = gf16::Multiply(c, static_cast<uint16_t>(b << 8));
  }
  std::memcpy(out, t, sizeof t);
}

void AccumulateTables(const uint8_t* prepared, const uint8_t* const* src, size_t sources, uint8_t* const* dst,
                      size_t dsts, size_t bytes) {
  for (size_t d = 0; d < dsts; ++d) {
    for (size_t s = 0; s < sources; ++s) {
      uint16_t t[512];
      std::memcpy(t, prepared + (d * sources + s) * sizeof t, sizeof t);
      const uint8_t* in = src[s];
      uint8_t* out = dst[d];
      for (size_t i = 0; i < bytes; i += 2) {
        const uint16_t p = t[in[i]] ^ t[256 + in[i + 1]];
        out[i] ^= static_cast<uint8_t>(p);
        out[i + 1] ^= static_cast<uint8_t>(p >> 8);
      }
    }
  }
}

// Split nibbles: eight 16-entry tables (low and high byte of the products
// of each nibble of the word), each repeated over a vector of `width` bytes.
template <size_t width>
void PrepareNibbles(uint16_t c, uint8_t* out) {
  for (int part = 0; part < 4; ++part) {  // nibble 0..3 of the word
    for (uint32_t n = 0; n < 16; ++n) {
      const uint16_t p = gf16::Multiply(c, static_cast<uint16_t>(n << (4 * part)));
      for (size_t lane = 0; lane < width; lane += 16) {
        out[part * width + lane + n] = static_cast<uint8_t>(p);             // tables 0..3: low byte
        out[(4 + part) * width + lane + n] = static_cast<uint8_t>(p >> 8);  // tables 4..7: high byte
      }
    }
  }
}

// Affine matrices: each 8x8 block as the instruction wants it, the row of
// result bit i in byte 7 - i, bit k of a row standing for source bit k.
uint64_t Block(uint16_t c, int sourceShift, int resultShift) {
  uint64_t m = 0;
  for (int i = 0; i < 8; ++i) {
    uint64_t row = 0;
    for (int k = 0; k < 8; ++k) {
      const uint16_t column = gf16::Multiply(c, static_cast<uint16_t>(1u << (k + sourceShift)));
      row |= static_cast<uint64_t>((column >> (i + resultShift)) & 1) << k;
    }
    m |= row << (8 * (7 - i));
  }
  return m;
}

void PrepareAffine(uint16_t c, uint8_t* out) {
  const uint64_t m[4] = {Block(c, 0, 0), Block(c, 8, 8), Block(c, 8, 0), Block(c, 0, 8)};
  std::memcpy(out, m, sizeof m);
}

const Kernel kTables{"tables", 1024, PrepareTables, AccumulateTables};
#if defined(LUMESKAR_X86_KERNELS)
const Kernel kGfni512{"gfni-avx512", 32, PrepareAffine, x86::AccumulateGfni512};
const Kernel kGfni256{"gfni-avx2", 32, PrepareAffine, x86::AccumulateGfni256};
const Kernel kAvx512{"shuffle-avx512", 512, PrepareNibbles<64>, x86::AccumulateAvx512};
const Kernel kAvx2{"shuffle-avx2", 256, PrepareNibbles<32>, x86::AccumulateAvx2};
#endif

}  // namespace

std::vector<const Kernel*> AvailableKernels() {
  std::vector<const Kernel*> kernels;
#if defined(LUMESKAR_X86_KERNELS)
  __builtin_cpu_init();
  const bool avx512 = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
  const bool gfni = __builtin_cpu_supports("gfni");
  // Fastest first, as bench_par2 measures them.
  if (gfni && avx512) kernels.push_back(&kGfni512);
  if (gfni && __builtin_cpu_supports("avx2")) kernels.push_back(&kGfni256);
  if (avx512) kernels.push_back(&kAvx512);
  if (__builtin_cpu_supports("avx2")) kernels.push_back(&kAvx2);
#endif
  kernels.push_back(&kTables);
  return kernels;
}

const Kernel& ChosenKernel() {
  static const Kernel* chosen = [] {
    const std::vector<const Kernel*> kernels = AvailableKernels();
    if (const char* wanted = std::getenv("LUMESKAR_GF_KERNEL"))
      for (const Kernel* k : kernels)
        if (std::strcmp(k->name, wanted) == 0) return k;
    return kernels.front();
  }();
  return *chosen;
}

}  // namespace par2
