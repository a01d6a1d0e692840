#include "unrar/Blake2.h"

#include <algorithm>
#include <cstring>

namespace unrar {

namespace {

const uint32_t kIv[8] = {0x6A09E667, 0xBB67AE85, 0x3C6EF372, 0xA54FF53A,
                         0x510E527F, 0x9B05688C, 0x1F83D9AB, 0x5BE0CD19};

const uint8_t kSigma[10][16] = {
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, {14, 10, 4, 8, 9, 15, 13, 6, 1, 12, 0, 2, 11, 7, 5, 3},
    {11, 8, 12, 0, 5, 2, 15, 13, 10, 14, 3, 6, 7, 1, 9, 4}, {7, 9, 3, 1, 13, 12, 11, 14, 2, 6, 5, 10, 4, 0, 15, 8},
    {9, 0, 5, 7, 2, 4, 10, 15, 14, 1, 11, 12, 6, 8, 3, 13}, {2, 12, 6, 10, 0, 11, 8, 3, 4, 13, 7, 5, 15, 14, 1, 9},
    {12, 5, 1, 15, 14, 13, 4, 10, 0, 7, 6, 3, 9, 2, 8, 11}, {13, 11, 7, 14, 12, 1, 3, 9, 5, 0, 15, 4, 8, 6, 2, 10},
    {6, 15, 14, 9, 11, 3, 0, 8, 12, 2, 13, 7, 1, 4, 10, 5}, {10, 2, 8, 4, 7, 6, 1, 5, 15, 11, 9, 14, 3, 12, 13, 0},
};

const unsigned kFanout = 8, kDigest = 32;

uint32_t rotr(uint32_t v, unsigned n) { return (v >> n) | (v << (32 - n)); }

uint32_t load32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

}  // namespace

Blake2s::Blake2s(unsigned nodeOffset, unsigned nodeDepth, bool lastNode) : lastNode_(lastNode) {
  // Parameter block: digest length, key length, fanout, depth; leaf length;
  // node offset (48 bits); node depth, inner length; no salt or personalisation.
  uint32_t param[8] = {kDigest | kFanout << 16 | 2u << 24, 0, nodeOffset, nodeDepth << 16 | kDigest << 24, 0, 0, 0, 0};
  for (int i = 0; i < 8; ++i) h_[i] = kIv[i] ^ param[i];
  memset(buf_, 0, sizeof buf_);
}

void Blake2s::compress(const uint8_t block[64], bool last) {
  uint32_t m[16], v[16];
  for (int i = 0; i < 16; ++i) m[i] = load32(block + 4 * i);
  for (int i = 0; i < 8; ++i) {
    v[i] = h_[i];
    v[i + 8] = kIv[i];
  }
  v[12] ^= uint32_t(counter_);
  v[13] ^= uint32_t(counter_ >> 32);
  if (last) {
    v[14] = ~v[14];
    if (lastNode_) v[15] = ~v[15];
  }
  auto g = [&](int r, int i, int a, int b, int c, int d) {
    v[a] = v[a] + v[b] + m[kSigma[r][2 * i]];
    v[d] = rotr(v[d] ^ v[a], 16);
    v[c] = v[c] + v[d];
    v[b] = rotr(v[b] ^ v[c], 12);
    v[a] = v[a] + v[b] + m[kSigma[r][2 * i + 1]];
    v[d] = rotr(v[d] ^ v[a], 8);
    v[c] = v[c] + v[d];
    v[b] = rotr(v[b] ^ v[c], 7);
  };
  for (int r = 0; r < 10; ++r) {
    g(r, 0, 0, 4, 8, 12);
    g(r, 1, 1, 5, 9, 13);
    g(r, 2, 2, 6, 10, 14);
    g(r, 3, 3, 7, 11, 15);
    g(r, 4, 0, 5, 10, 15);
    g(r, 5, 1, 6, 11, 12);
    g(r, 6, 2, 7, 8, 13);
    g(r, 7, 3, 4, 9, 14);
  }
  for (int i = 0; i < 8; ++i) h_[i] ^= v[i] ^ v[i + 8];
}

// A full block is held back until more data arrives: the last block must be
// compressed with the final flag.
void Blake2s::update(const uint8_t* data, size_t size) {
  while (size > 0) {
    if (bufLen_ == sizeof buf_) {
      counter_ += sizeof buf_;
      compress(buf_, false);
      bufLen_ = 0;
    }
    size_t n = std::min(size, sizeof buf_ - bufLen_);
    memcpy(buf_ + bufLen_, data, n);
    bufLen_ += n;
    data += n;
    size -= n;
  }
}

void Blake2s::final(uint8_t out[32]) {
  counter_ += bufLen_;
  memset(buf_ + bufLen_, 0, sizeof buf_ - bufLen_);
  compress(buf_, true);
  for (int i = 0; i < 8; ++i)
    for (int k = 0; k < 4; ++k) out[4 * i + k] = uint8_t(h_[i] >> (8 * k));
}

Blake2sp::Blake2sp()
    : leaves_{{0, 0, false}, {1, 0, false}, {2, 0, false}, {3, 0, false},
              {4, 0, false}, {5, 0, false}, {6, 0, false}, {7, 0, true}} {}

void Blake2sp::update(const uint8_t* data, size_t size) {
  while (size > 0) {
    size_t leaf = size_t(position_ / 64) % kFanout;
    size_t n = std::min<uint64_t>(size, 64 - position_ % 64);
    leaves_[leaf].update(data, n);
    position_ += n;
    data += n;
    size -= n;
  }
}

void Blake2sp::final(uint8_t out[32]) {
  Blake2s root(0, 1, true);
  for (Blake2s& leaf : leaves_) {
    uint8_t digest[32];
    leaf.final(digest);
    root.update(digest, sizeof digest);
  }
  root.final(out);
}

}  // namespace unrar
