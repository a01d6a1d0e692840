#pragma once
// The hot loop of repair: regions of 16-bit words multiplied by constants of
// GF(2^16) and added (XOR) into other regions. Each kernel takes its
// constants in its own prepared form; the fastest one the CPU runs is
// chosen at run time.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace par2 {

// Regions handed to Accumulate are this many bytes long, or a multiple of it.
inline constexpr size_t kRegionBlock = 128;

struct Kernel {
  const char* name;
  size_t preparedBytes;  // room one prepared constant takes
  void (*prepare)(uint16_t constant, uint8_t* out);
  // dst[d] ^= sum over s of constant[d * sources + s] * src[s], word by word
  // (little-endian words), over `bytes` bytes (a multiple of kRegionBlock).
  void (*accumulate)(const uint8_t* prepared, const uint8_t* const* src, size_t sources, uint8_t* const* dst,
                     size_t dsts, size_t bytes);
};

// The kernels this CPU can run, the fastest first; the portable one is last.
std::vector<const Kernel*> AvailableKernels();

// The first of AvailableKernels, or the one LUMESKAR_GF_KERNEL names.
const Kernel& ChosenKernel();

}  // namespace par2
