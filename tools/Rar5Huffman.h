#pragma once
// The bit-level pieces of the RAR 5 LZ stream: a writer that packs bits most
// significant first (the order the decoder reads them in), and canonical
// Huffman codes limited to 15 bits, the longest the format can describe.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace rarwriter::rar5 {

inline constexpr unsigned kMaxCodeLength = 15;

class BitWriter {
 public:
  // Appends the low `count` bits of `value` (count <= 32), highest bit first.
  void put(uint32_t value, unsigned count) {
    acc_ = (acc_ << count) | (value & ((uint64_t{1} << count) - 1));
    pending_ += count;
    while (pending_ >= 8) {
      pending_ -= 8;
      bytes_.push_back(static_cast<char>(acc_ >> pending_));
    }
    acc_ &= (uint64_t{1} << pending_) - 1;
  }
  uint64_t bitCount() const { return bytes_.size() * 8 + pending_; }
  // Pads the last byte with zero bits; returns the bytes written.
  const std::string& finish() {
    if (pending_) put(0, 8 - pending_);
    return bytes_;
  }
  void clear() {
    bytes_.clear();
    acc_ = 0;
    pending_ = 0;
  }

 private:
  std::string bytes_;
  uint64_t acc_ = 0;
  unsigned pending_ = 0;
};

// Code lengths for symbols with the given frequencies, none longer than
// `maxLength`; unused symbols get 0. A single used symbol gets length 1.
std::vector<uint8_t> CodeLengths(const uint32_t* freq, size_t count, unsigned maxLength = kMaxCodeLength);

// Canonical codes for `lengths`: shorter codes first, equal lengths in
// symbol order. Unused symbols get code 0.
std::vector<uint16_t> CanonicalCodes(const uint8_t* lengths, size_t count);

}  // namespace rarwriter::rar5
