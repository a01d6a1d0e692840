// Canonical Huffman decoding as RAR 2.0 and 2.9-4 use it: a table is given
// as one code length (0-15, 0 = unused) per symbol; codes are assigned in
// order of length, then symbol, and read most significant bit first.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "unrar/BitInput.h"

namespace unrar {

class HuffmanTable {
 public:
  static constexpr unsigned kMaxLength = 15;
  static constexpr unsigned kQuickBits = 10;

  // Builds the table from `count` code lengths. False when the lengths
  // describe more codes than fit (an over-full table is damaged data); an
  // incomplete table is allowed, and its unused codes decode as errors.
  bool build(const uint8_t* lengths, unsigned count) {
    symbols_.assign(count, 0);
    unsigned lengthCount[kMaxLength + 1] = {};
    for (unsigned i = 0; i < count; ++i) {
      if (lengths[i] > kMaxLength) return false;
      ++lengthCount[lengths[i] & 15];
    }
    lengthCount[0] = 0;
    // limit_[n]: the first code of length n+1, left-aligned in 16 bits.
    uint32_t code = 0;
    unsigned firstIndex[kMaxLength + 1] = {};
    unsigned index = 0;
    for (unsigned n = 1; n <= kMaxLength; ++n) {
      code += lengthCount[n] << (16 - n);
      if (code > 0x10000) return false;
      limit_[n] = code;
      position_[n] = index;
      firstIndex[n] = index;
      base_[n] = limit_[n] - (lengthCount[n] << (16 - n));
      index += lengthCount[n];
    }
    unsigned fill[kMaxLength + 1];
    memcpy(fill, firstIndex, sizeof fill);
    for (unsigned i = 0; i < count; ++i)
      if (lengths[i]) symbols_[fill[lengths[i]]++] = uint16_t(i);
    used_ = index;

    // Quick table: every kQuickBits-bit prefix that holds a whole code,
    // filled code by code; the other prefixes (longer codes or none) take
    // the slow path.
    memset(quickLength_, 0, sizeof quickLength_);
    for (unsigned n = 1; n <= kQuickBits; ++n) {
      const unsigned span = 1u << (kQuickBits - n);
      unsigned q = base_[n] >> (16 - kQuickBits);
      for (unsigned k = 0; k < lengthCount[n]; ++k) {
        const uint16_t symbol = symbols_[position_[n] + k];
        for (unsigned j = 0; j < span; ++j, ++q) {
          quickLength_[q] = uint8_t(n);
          quickSymbol_[q] = symbol;
        }
      }
    }
    return true;
  }

  // Decodes one symbol; -1 for a code that belongs to no symbol.
  int decode(BitInput& in) const {
    uint32_t bits = in.peek16();
    uint32_t q = bits >> (16 - kQuickBits);
    if (unsigned n = quickLength_[q]) {
      in.skip(n);
      return quickSymbol_[q];
    }
    unsigned n = kQuickBits + 1;
    while (n <= kMaxLength && bits >= limit_[n]) ++n;
    if (n > kMaxLength) return -1;
    in.skip(n);
    unsigned pos = position_[n] + ((bits - base_[n]) >> (16 - n));
    return pos < used_ ? symbols_[pos] : -1;
  }

 private:
  uint32_t limit_[kMaxLength + 1] = {};
  uint32_t base_[kMaxLength + 1] = {};
  unsigned position_[kMaxLength + 1] = {};
  std::vector<uint16_t> symbols_;
  unsigned used_ = 0;
  uint8_t quickLength_[1u << kQuickBits] = {};
  uint16_t quickSymbol_[1u << kQuickBits] = {};
};

}  // namespace unrar
