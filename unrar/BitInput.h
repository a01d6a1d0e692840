// Bit-level reading of an entry's packed data, most significant bit first,
// as every RAR decoder reads it. The packed bytes are pulled from a
// source in blocks (across volume boundaries: the source hides them), so
// memory stays bounded whatever the entry's size.
//
// Reading past the end of the data yields zero bits. A decoder that keeps
// reading there is looking at damaged or truncated data: overrun() tells it
// so, and it must stop with ERAR_BAD_DATA.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

namespace unrar {

// Pulls the next packed bytes of the entry into `buf` (at most `size`);
// `got` == 0 means the entry's packed data has ended. Returns 0 or an
// ERAR_* code (a read error or a missing volume).
using PackedSource = std::function<int(uint8_t* buf, size_t size, size_t& got)>;

// A source over packed bytes already in memory.
inline PackedSource memorySource(const uint8_t* data, size_t size) {
  return [data, size, offset = size_t(0)](uint8_t* buf, size_t max, size_t& got) mutable {
    got = max < size - offset ? max : size - offset;
    memcpy(buf, data + offset, got);
    offset += got;
    return 0;
  };
}

class BitInput {
 public:
  // Zero bytes a decoder may read past the end before it is told about it:
  // the widest look-ahead of any decoder (a 16-bit peek from the last bit).
  static constexpr size_t kSlack = 8;

  explicit BitInput(PackedSource source, size_t blockSize = 64 * 1024)
      : source_(std::move(source)), buf_(blockSize + kPad, 0), block_(blockSize) {}

  // The next 16 bits from the current position, without consuming them.
  [[gnu::always_inline]] uint32_t peek16() {
    if (pos_ + 4 > end_) refill();
    uint32_t v = uint32_t(buf_[pos_]) << 16 | uint32_t(buf_[pos_ + 1]) << 8 | buf_[pos_ + 2];
    return (v >> (8 - bit_)) & 0xFFFF;
  }
  // The next 32 bits (for decoders that read wide fields at once).
  uint32_t peek32() {
    if (pos_ + 5 > end_) refill();
    uint64_t v = uint64_t(buf_[pos_]) << 32 | uint64_t(buf_[pos_ + 1]) << 24 | uint64_t(buf_[pos_ + 2]) << 16 |
                 uint64_t(buf_[pos_ + 3]) << 8 | buf_[pos_ + 4];
    return uint32_t(v >> (8 - bit_));
  }
  void skip(unsigned bits) {
    bit_ += bits;
    pos_ += bit_ >> 3;
    bit_ &= 7;
  }
  // Reads `n` bits, 0 <= n <= 16.
  uint32_t bits(unsigned n) {
    if (n == 0) return 0;
    uint32_t v = peek16() >> (16 - n);
    skip(n);
    return v;
  }
  // Reads one byte-aligned byte (PPMd and filter data read whole bytes).
  uint8_t byte() {
    if (pos_ + 1 > end_) refill();
    return buf_[pos_++];
  }
  void alignByte() {
    if (bit_) {
      bit_ = 0;
      ++pos_;
    }
  }

  // True once the decoder has read more than kSlack bytes past the end of
  // the packed data, or the source failed: the data is damaged or cut short.
  bool overrun() const { return error_ != 0 || (eof_ && consumed() > total_ + kSlack); }
  // True when every packed byte has been consumed (ignoring a partial byte).
  bool atEnd() const { return eof_ && consumed() >= total_; }
  // True once a bit past the last packed byte has been read: what was
  // decoded last came (at least in part) from the zeros behind the data.
  bool pastEnd() const { return eof_ && consumed() * 8 + bit_ > total_ * 8; }
  // True when at least `n` (at most kSlack) packed bytes lie ahead,
  // counting the byte the read position is in.
  bool hasBytes(size_t n) {
    if (pos_ + n > end_) refill();
    return !eof_ || consumed() + n <= total_;
  }
  // The source's error code, 0 when it has none.
  int error() const { return error_; }
  // Packed bytes consumed so far (whole bytes).
  uint64_t consumed() const { return base_ + pos_; }
  // Bits consumed so far.
  uint64_t bitPosition() const { return consumed() * 8 + bit_; }

 private:
  static constexpr size_t kPad = 64;

  // Moves the unread bytes to the front and reads more behind them. Past
  // the end the buffer holds zeros, and a decoder reading on keeps getting
  // zeros while overrun() reports it.
  [[gnu::noinline]] void refill() {
    if (eof_) {
      // Only zeros lie ahead: start the buffer over at the read position.
      base_ += pos_;
      pos_ = 0;
      std::fill(buf_.begin(), buf_.end(), 0);
      return;
    }
    size_t keep = end_ > pos_ ? end_ - pos_ : 0;
    if (pos_ > 0) {
      memmove(buf_.data(), buf_.data() + pos_, keep);
      base_ += pos_;
      pos_ = 0;
    }
    end_ = keep;
    while (end_ < block_ && !eof_) {
      size_t got = 0;
      if (int r = source_(buf_.data() + end_, block_ - end_, got)) {
        error_ = r;
        eof_ = true;
        break;
      }
      if (got == 0) eof_ = true;
      end_ += got;
      total_ += got;
    }
    if (eof_) {
      std::fill(buf_.begin() + long(end_), buf_.end(), 0);
      end_ = buf_.size();  // the zeros past the data are readable
    }
  }

  PackedSource source_;
  std::vector<uint8_t> buf_;
  size_t block_;
  size_t pos_ = 0, end_ = 0;
  unsigned bit_ = 0;
  uint64_t base_ = 0;   // stream offset of buf_[0]
  uint64_t total_ = 0;  // packed bytes the source delivered
  bool eof_ = false;
  int error_ = 0;
};

}  // namespace unrar
