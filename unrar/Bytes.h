// Little-endian and variable-length integer reading over a bounded buffer.
// Every read is checked against the end; a failed read sets ok=false and
// yields 0, so header parsers never touch memory outside the header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace unrar {

class ByteCursor {
 public:
  ByteCursor(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}

  bool ok() const { return ok_; }
  size_t left() const { return size_t(end_ - p_); }
  const uint8_t* here() const { return p_; }

  uint8_t u8() { return uint8_t(take(1)); }
  uint16_t u16() { return uint16_t(take(2)); }
  uint32_t u32() { return uint32_t(take(4)); }

  // RAR 5 vint: 7 bits per byte, least significant first, at most 10 bytes.
  uint64_t vint() {
    uint64_t v = 0;
    for (int i = 0; i < 10; ++i) {
      if (p_ >= end_) break;
      uint8_t b = *p_++;
      if (i < 10 && 7 * i < 64) v |= uint64_t(b & 0x7F) << (7 * i);
      if (!(b & 0x80)) return v;
    }
    ok_ = false;
    return 0;
  }

  std::string bytes(size_t n) {
    if (n > left()) {
      ok_ = false;
      p_ = end_;
      return {};
    }
    std::string s(reinterpret_cast<const char*>(p_), n);
    p_ += n;
    return s;
  }

  void skip(uint64_t n) {
    if (n > left()) {
      ok_ = false;
      p_ = end_;
      return;
    }
    p_ += n;
  }

 private:
  uint64_t take(size_t n) {
    if (n > left()) {
      ok_ = false;
      p_ = end_;
      return 0;
    }
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i) v |= uint64_t(p_[i]) << (8 * i);
    p_ += n;
    return v;
  }

  const uint8_t* p_;
  const uint8_t* end_;
  bool ok_ = true;
};

inline void putLE(std::vector<uint8_t>& out, uint64_t v, int n) {
  for (int i = 0; i < n; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

inline void putVint(std::vector<uint8_t>& out, uint64_t v) {
  do {
    uint8_t b = v & 0x7F;
    v >>= 7;
    out.push_back(v ? uint8_t(b | 0x80) : b);
  } while (v);
}

uint32_t crc32(uint32_t crc, const void* data, size_t size);

}  // namespace unrar
