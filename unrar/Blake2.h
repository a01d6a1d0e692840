// BLAKE2sp, the 256-bit hash RAR 5 can store instead of a CRC-32: eight
// BLAKE2s leaves fed 64-byte blocks in turn, and a root over their digests.
#pragma once

#include <cstddef>
#include <cstdint>

namespace unrar {

class Blake2s {
 public:
  // A leaf (depth 0, `offset` among 8) or the root (depth 1) of BLAKE2sp.
  Blake2s(unsigned nodeOffset, unsigned nodeDepth, bool lastNode);
  void update(const uint8_t* data, size_t size);
  void final(uint8_t out[32]);

 private:
  void compress(const uint8_t block[64], bool last);
  uint32_t h_[8];
  uint64_t counter_ = 0;
  uint8_t buf_[64];
  size_t bufLen_ = 0;
  bool lastNode_;
};

class Blake2sp {
 public:
  Blake2sp();
  void update(const uint8_t* data, size_t size);
  void final(uint8_t out[32]);

 private:
  Blake2s leaves_[8];
  uint64_t position_ = 0;  // bytes hashed so far; picks the leaf of the next block
};

}  // namespace unrar
