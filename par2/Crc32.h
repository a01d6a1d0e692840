#pragma once
// CRC-32 of slices (the ZIP/PNG checksum) and its rolling form: the checksum
// of a window of fixed length moved one byte along in constant time, which
// finds slices that inserted or deleted bytes have shifted.
#include <array>
#include <cstddef>
#include <cstdint>

namespace par2 {

// The finished checksum of `length` bytes.
uint32_t Crc32(const void* data, size_t length);

// The checksum of everything before (whose checksum is `crc`) and then
// these `length` bytes.
uint32_t Crc32Continue(uint32_t crc, const void* data, size_t length);

// The checksum of `data` followed by `zeros` zero bytes, from the checksum
// of `data` alone: how a short last slice is checked as if padded.
uint32_t Crc32AppendZeros(uint32_t crc, uint64_t zeros);

class RollingCrc32 {
 public:
  explicit RollingCrc32(size_t window);
  // The checksum of the window after dropping `out` from its front and
  // taking `in` at its back, from the checksum before.
  uint32_t Roll(uint32_t crc, uint8_t out, uint8_t in) const {
    return ~(kByte[(~crc ^ in) & 0xFF] ^ (~crc >> 8) ^ drop_[out]);
  }

 private:
  static const std::array<uint32_t, 256> kByte;
  std::array<uint32_t, 256> drop_{};
};

}  // namespace par2
