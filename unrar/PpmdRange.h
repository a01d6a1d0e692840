// The range decoder under RAR's PPMd model: a carry-less range coder that
// reads whole bytes. Its interval never wraps, so low + range stays within
// 32 bits and normalising always ends; a symbol interval that does not fit
// the total (only damaged data leads there) marks the decoder bad instead.
#pragma once

#include <cstdint>

#include "unrar/BitInput.h"

namespace unrar::ppmd {

class RangeDecoder {
 public:
  static constexpr unsigned kBinTotalBits = 14;

  void init(BitInput& in) {
    low_ = 0;
    range_ = 0xFFFFFFFF;
    code_ = 0;
    bad_ = false;
    for (int i = 0; i < 4; i++) code_ = code_ << 8 | in.byte();
  }

  // The position of the next symbol within `total`: a count below `total`,
  // or `total` or more for damaged data.
  uint32_t threshold(uint32_t total) {
    range_ /= total;
    if (range_ == 0 || bad_) {
      bad_ = true;
      return total;
    }
    total_ = total;
    return (code_ - low_) / range_;
  }
  // Takes the symbol [start, start + size) of the last threshold's total.
  void decode(BitInput& in, uint32_t start, uint32_t size) {
    if (start >= total_ || size == 0 || size > total_ - start) {
      bad_ = true;
      return;
    }
    low_ += start * range_;
    range_ *= size;
    normalize(in);
  }
  // Decodes one binary decision whose 0 has probability size0 / 2^14
  // (0 < size0 < 2^14); true for 0.
  bool bit(BitInput& in, uint32_t size0) {
    uint32_t r = range_ >> kBinTotalBits;
    uint32_t bound = r * size0;
    bool zero = code_ - low_ < bound;
    if (zero) {
      range_ = bound;
    } else {
      low_ += bound;
      range_ = r * ((1u << kBinTotalBits) - size0);
    }
    normalize(in);
    return zero;
  }
  // True once a symbol did not fit: the data is damaged.
  bool bad() const { return bad_; }

 private:
  static constexpr uint32_t kTop = 1u << 24, kBot = 1u << 15;

  void normalize(BitInput& in) {
    for (;;) {
      if ((low_ ^ (low_ + range_)) >= kTop) {
        if (range_ >= kBot) return;
        range_ = (0u - low_) & (kBot - 1);
      }
      code_ = code_ << 8 | in.byte();
      range_ <<= 8;
      low_ <<= 8;
    }
  }

  uint32_t low_ = 0, range_ = 0, code_ = 0, total_ = 0;
  bool bad_ = true;
};

}  // namespace unrar::ppmd
