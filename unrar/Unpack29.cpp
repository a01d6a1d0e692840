#include "unrar/Unpack29.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "unrar/CodeLengths.h"
#include "unrar/unrar.h"

namespace unrar {

namespace {

// The window is never smaller than the largest RAR 2.9 dictionary: filter
// blocks and long distances may reach that far whatever the header says.
constexpr size_t kMinWindow = 4u << 20;
// Decoded bytes are handed out in pieces of about this size.
constexpr uint64_t kFlushChunk = 256u << 10;

constexpr uint8_t kLengthBase[28] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  10,  12,  14,  16,  20,
                                     24, 28, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224};
constexpr uint8_t kLengthBits[28] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,
                                     2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};
constexpr uint8_t kShortBase[8] = {0, 4, 8, 16, 32, 64, 128, 192};
constexpr uint8_t kShortBits[8] = {2, 2, 3, 4, 5, 6, 6, 6};

// Distance slots: 4 without extra bits, two each with 1 to 15 extra bits,
// then 14 with 16 and 12 with 18.
struct DistanceSlots {
  std::array<uint32_t, 60> base{};
  std::array<uint8_t, 60> bits{};
  constexpr DistanceSlots() {
    constexpr uint8_t kCounts[19] = {4, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 14, 0, 12};
    uint32_t dist = 0;
    unsigned slot = 0;
    for (unsigned n = 0; n < 19; ++n)
      for (unsigned i = 0; i < kCounts[n]; ++i, ++slot) {
        base[slot] = dist;
        bits[slot] = uint8_t(n);
        dist += 1u << n;
      }
  }
};
constexpr DistanceSlots kDist;

}  // namespace

Unpack29::Unpack29(size_t dictBytes) : dictBytes_(std::max(dictBytes, kMinWindow)) {}

void Unpack29::restart() {
  window_.restart();
  tablesRead_ = false;
  ppmBlock_ = false;
  ppm_.reset();
  escChar_ = 2;
  memset(oldLengths_, 0, sizeof oldLengths_);
  memset(oldDist_, 0, sizeof oldDist_);
  lastLength_ = prevLowDist_ = lowDistRepeats_ = 0;
  filters_.reset();
}

int Unpack29::unpack(BitInput& in, uint64_t size, bool solid, const DataSink& sink) {
  if (!window_.reserve(dictBytes_)) return ERAR_NO_MEMORY;
  if (!solid) restart();
  if (window_.pending()) return ERAR_BAD_DATA;  // the entry before did not end cleanly
  sink_ = &sink;
  error_ = 0;
  fileStart_ = window_.pos();
  fileEnd_ = fileStart_ + size;
  nextFlush_ = fileStart_ + kFlushChunk;
  limit_ = std::min(nextFlush_, fileEnd_);

  // An empty entry may come without packed data: the stream's state stays.
  in.peek16();
  if (size == 0 && in.atEnd()) return 0;
  if (!solid || !tablesRead_)
    if (int r = readBlockHeader(in)) return r;
  for (;;) {
    Stop stop = ppmBlock_ ? decodePpm(in) : decodeLz(in);
    if (stop == kError) return error_ ? error_ : ERAR_BAD_DATA;
    if (stop != kNewBlock) break;
    if (int r = readBlockHeader(in)) {
      // A block that ends with the entry may announce tables that come
      // only with the next entry: the next entry reads them.
      if (window_.pos() != fileEnd_ || !in.pastEnd()) return r;
      tablesRead_ = false;
      break;
    }
  }
  if (window_.pos() != fileEnd_) return ERAR_BAD_DATA;  // the stream ended early
  if (int r = filters_.flush(window_, fileEnd_, fileStart_, sink)) return r;
  // Bytes still held back belong to a filter block that never completed.
  return window_.flushed() == fileEnd_ ? 0 : ERAR_BAD_DATA;
}

// A block starts at a byte boundary: a PPMd block (first bit set) or the
// Huffman tables of an LZ block.
int Unpack29::readBlockHeader(BitInput& in) {
  in.alignByte();
  if (in.overrun()) return ERAR_BAD_DATA;
  if (in.peek16() & 0x8000) {
    if (!ppm_) ppm_ = std::make_unique<PpmdModel>();
    if (int r = ppm_->init(in, escChar_)) return r;
    ppmBlock_ = true;
    tablesRead_ = true;
    return 0;
  }
  ppmBlock_ = false;
  return readTables(in);
}

// The tables are sent as code lengths, themselves Huffman coded with a
// 20-symbol table; each length is a change (mod 16) of the previous
// block's unless the block says to start from zeros.
int Unpack29::readTables(BitInput& in) {
  const uint32_t head = in.peek16();
  in.skip(2);
  prevLowDist_ = lowDistRepeats_ = 0;
  if (!(head & 0x4000)) memset(oldLengths_, 0, sizeof oldLengths_);

  uint8_t lengths[kTablesSize];
  if (!ReadCodeLengths(in, lengthCodes_, lengths, kTablesSize, oldLengths_)) return ERAR_BAD_DATA;
  const uint8_t* p = lengths;
  if (!main_.build(p, kMainSize) || !dist_.build(p + kMainSize, kDistSize) ||
      !lowDist_.build(p + kMainSize + kDistSize, kLowDistSize) ||
      !rep_.build(p + kMainSize + kDistSize + kLowDistSize, kRepSize))
    return ERAR_BAD_DATA;
  memcpy(oldLengths_, lengths, sizeof lengths);
  tablesRead_ = true;
  return 0;
}

bool Unpack29::flushIfDue() {
  if (window_.pos() >= nextFlush_) {
    if (int r = filters_.flush(window_, std::min(window_.pos(), fileEnd_), fileStart_, *sink_)) {
      error_ = r;
      return false;
    }
    nextFlush_ = window_.pos() + kFlushChunk;
  }
  limit_ = std::min(nextFlush_, fileEnd_);
  return true;
}

Unpack29::Stop Unpack29::decodeLz(BitInput& in) {
  for (;;) {
    bool complete = false;  // every byte of the entry is decoded
    if (window_.pos() >= limit_) {
      if (!flushIfDue()) return kError;
      if (window_.pos() > fileEnd_) return kError;  // more output than the entry holds
      complete = window_.pos() == fileEnd_;
      if (complete && in.pastEnd()) return kOutputDone;
    }
    if (in.overrun()) return kError;
    int sym = main_.decode(in);
    if (complete && (in.pastEnd() || (sym != 256 && sym != 257)))
      return kOutputDone;  // only an end-of-file mark or a filter for the next entry may follow
    if (sym < 256) {
      if (sym < 0) return kError;
      window_.put(uint8_t(sym));
      continue;
    }
    if (sym >= 271) {
      sym -= 271;
      uint32_t len = kLengthBase[sym] + 3 + in.bits(kLengthBits[sym]);
      int slot = dist_.decode(in);
      if (slot < 0) return kError;
      uint32_t dist = kDist.base[slot] + 1;
      unsigned extra = kDist.bits[slot];
      if (slot > 9) {
        // Long distances: the upper extra bits as they are, the low 4
        // bits Huffman coded (symbol 16 repeats the last low bits 16 times).
        if (extra > 4) dist += in.bits(extra - 4) << 4;
        if (lowDistRepeats_) {
          --lowDistRepeats_;
          dist += prevLowDist_;
        } else {
          int low = lowDist_.decode(in);
          if (low < 0) return kError;
          if (low == 16) {
            lowDistRepeats_ = 15;
            dist += prevLowDist_;
          } else {
            dist += uint32_t(low);
            prevLowDist_ = uint32_t(low);
          }
        }
      } else {
        dist += in.bits(extra);
      }
      if (dist >= 0x2000) {
        ++len;
        if (dist >= 0x40000) ++len;
      }
      rememberDistance(dist);
      lastLength_ = len;
      if (!window_.copy(dist, len)) return kError;
    } else if (sym == 256) {  // end of block: a new table follows, or the end of the entry
      uint32_t mark = in.peek16();
      if (mark & 0x8000) {
        in.skip(1);
        return kNewBlock;
      }
      in.skip(2);
      tablesRead_ = !(mark & 0x4000);  // set: the next entry starts with tables
      return kFileEnd;
    } else if (sym == 257) {
      if (!readLzFilter(in)) return kError;
    } else if (sym == 258) {  // the last match again
      if (lastLength_ && !window_.copy(oldDist_[0], lastLength_)) return kError;
    } else if (sym < 263) {  // one of the last four distances, with a new length
      unsigned i = unsigned(sym - 259);
      uint32_t dist = oldDist_[i];
      for (; i > 0; --i) oldDist_[i] = oldDist_[i - 1];
      oldDist_[0] = dist;
      int slot = rep_.decode(in);
      if (slot < 0) return kError;
      uint32_t len = kLengthBase[slot] + 2 + in.bits(kLengthBits[slot]);
      lastLength_ = len;
      if (!window_.copy(dist, len)) return kError;
    } else {  // a two-byte match at a short distance
      unsigned i = unsigned(sym - 263);
      uint32_t dist = kShortBase[i] + 1 + in.bits(kShortBits[i]);
      rememberDistance(dist);
      lastLength_ = 2;
      if (!window_.copy(dist, 2)) return kError;
    }
  }
}

// PPMd blocks code bytes; the escape character introduces the codes that
// end the block or the entry, define a filter, or copy a match.
Unpack29::Stop Unpack29::decodePpm(BitInput& in) {
  for (;;) {
    bool complete = false;
    if (window_.pos() >= limit_) {
      if (!flushIfDue()) return kError;
      if (window_.pos() > fileEnd_) return kError;
      complete = window_.pos() == fileEnd_;
      if (complete && in.pastEnd()) return kOutputDone;
    }
    if (in.overrun()) return kError;
    int ch = ppm_->decodeChar(in);
    if (ch >= 0 && ch == escChar_) {
      int code = ppm_->decodeChar(in);
      if (code < 0) {
        ch = -1;
      } else if (code == 0) {
        return kNewBlock;
      } else if (code == 2) {
        return kFileEnd;
      } else if (code == 3) {
        if (!readPpmFilter(in)) return kError;
        continue;
      } else if (complete) {
        return kOutputDone;
      } else if (code == 4) {
        uint32_t dist = 0;
        int len = 0;
        for (int i = 0; i < 4 && len >= 0; ++i) {
          int b = ppm_->decodeChar(in);
          if (b < 0)
            len = -1;
          else if (i < 3)
            dist = dist << 8 | uint32_t(b);
          else
            len = b;
        }
        if (len < 0 || !window_.copy(dist + 2, uint32_t(len) + 32)) return kError;
        continue;
      } else if (code == 5) {
        int len = ppm_->decodeChar(in);
        if (len < 0 || !window_.copy(1, uint32_t(len) + 4)) return kError;
        continue;
      }
      // any other code: the escape character itself
    }
    if (complete) {
      if (ch < 0) tablesRead_ = false;  // the model is lost: the next entry needs a new one
      return kOutputDone;
    }
    if (ch < 0) return kError;
    window_.put(uint8_t(ch));
  }
}

// A filter record in the LZ stream: a flags byte, the body's length (in
// the flags, or in one or two bytes after them), the body.
bool Unpack29::readLzFilter(BitInput& in) {
  uint8_t flags = uint8_t(in.bits(8));
  uint32_t length = (flags & 7) + 1u;
  if (length == 7)
    length = in.bits(8) + 7;
  else if (length == 8)
    length = in.bits(16);
  filterBody_.resize(length);
  for (uint8_t& b : filterBody_) b = uint8_t(in.bits(8));
  if (in.overrun()) return false;
  error_ = filters_.add(flags, filterBody_.data(), length, window_.pos());
  return error_ == 0;
}

// The same record in a PPMd block, every byte PPMd coded.
bool Unpack29::readPpmFilter(BitInput& in) {
  int flags = ppm_->decodeChar(in);
  if (flags < 0) return false;
  uint32_t length = (uint32_t(flags) & 7) + 1;
  if (length >= 7) {
    int b = ppm_->decodeChar(in);
    if (b < 0) return false;
    if (length == 7) {
      length = uint32_t(b) + 7;
    } else {
      int low = ppm_->decodeChar(in);
      if (low < 0) return false;
      length = uint32_t(b) << 8 | uint32_t(low);
    }
  }
  filterBody_.resize(length);
  for (uint8_t& b : filterBody_) {
    int c = ppm_->decodeChar(in);
    if (c < 0) return false;
    b = uint8_t(c);
  }
  error_ = filters_.add(uint8_t(flags), filterBody_.data(), length, window_.pos());
  return error_ == 0;
}

}  // namespace unrar
