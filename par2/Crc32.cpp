#include "par2/Crc32.h"

#include <isa-l/crc.h>

#include "platform/CrcMath.h"

namespace par2 {

namespace {

using platform::crcmath::MultiplyModP;
using platform::crcmath::PowerModP;

std::array<uint32_t, 256> ByteTable() {
  std::array<uint32_t, 256> t{};
  for (uint32_t b = 0; b < 256; ++b) {
    uint32_t c = b;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ platform::crcmath::kPolynomial : c >> 1;
    t[b] = c;
  }
  return t;
}

}  // namespace

const std::array<uint32_t, 256> RollingCrc32::kByte = ByteTable();

uint32_t Crc32(const void* data, size_t length) {
  return crc32_gzip_refl(0, static_cast<const unsigned char*>(data), length);
}

uint32_t Crc32Continue(uint32_t crc, const void* data, size_t length) {
  return crc32_gzip_refl(crc, static_cast<const unsigned char*>(data), length);
}

uint32_t Crc32AppendZeros(uint32_t crc, uint64_t zeros) {
  // The raw register (without the final complement) moved past the zeros.
  const uint32_t shift = PowerModP(platform::crcmath::kXTo8, zeros);
  return ~MultiplyModP(shift, ~crc);
}

RollingCrc32::RollingCrc32(size_t window) {
  // With the raw register R over a window W of length n (started from all
  // ones), R(W + in) without W's first byte `out` differs from R(W + in) by
  // the contribution `out` had, moved past n bytes, and by the start value
  // moved past n + 1 instead of n bytes.
  const uint32_t shiftN = PowerModP(platform::crcmath::kXTo8, window);
  const uint32_t ones = 0xFFFFFFFFu;
  const uint32_t startDifference =
      MultiplyModP(shiftN, MultiplyModP(platform::crcmath::kXTo8, ones)) ^ MultiplyModP(shiftN, ones);
  for (uint32_t b = 0; b < 256; ++b) drop_[b] = MultiplyModP(shiftN, kByte[b]) ^ startDifference;
}

}  // namespace par2
