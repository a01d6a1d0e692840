#pragma once
// The linear algebra of repair: which recovery slices to use and the
// inverse that turns them back into the missing input slices.
#include <cstdint>
#include <optional>
#include <vector>

namespace par2 {

struct Decoder {
  std::vector<uint32_t> exponents;  // the recovery slices used, one per missing slice
  std::vector<uint16_t> inverse;    // missing x used, row-major: missing j = sum over r of inverse[j][r] * (...)_r
};

// From the missing input slices' indices and the exponents of the recovery
// slices at hand: a set of as many exponents whose equations are
// independent, and the inverse of their matrix. Nothing when the slices at
// hand cannot determine the missing ones.
std::optional<Decoder> MakeDecoder(const std::vector<uint32_t>& missing, const std::vector<uint32_t>& available);

}  // namespace par2
