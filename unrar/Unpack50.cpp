#include "unrar/Unpack50.h"

#include <unistd.h>
#include <algorithm>
#include <cstring>

#include "unrar/CodeLengths.h"
#include "unrar/unrar.h"

namespace unrar {

namespace {

// Decoded bytes are handed out in pieces of about this size.
constexpr uint64_t kFlushChunk = 256u << 10;
// The longest match: length slot 43 with all its extra bits, plus the
// three a long distance adds.
constexpr uint64_t kMaxMatch = 4100;
// A filter covers at most this many bytes; longer ones are damaged data.
constexpr uint32_t kMaxFilterLength = 4u << 20;
// Filters defined but not yet applied; more are damaged data.
constexpr size_t kMaxPendingFilters = 8192;
// Once the stream outgrows the dictionary the window wraps around, and it
// must then also hold a filter block's bytes until the block is complete.
constexpr uint64_t kMinFullWindow = 8u << 20;
// The largest dictionary the format defines (algorithm version 1).
constexpr uint64_t kMaxDictionary = uint64_t(64) << 30;

uint64_t roundUpToPowerOfTwo(uint64_t n) {
  uint64_t p = 1;
  while (p < n) p <<= 1;
  return p;
}

// Reads `n` bits, up to 64, most significant first.
uint64_t wideBits(BitInput& in, unsigned n) {
  uint64_t v = 0;
  while (n > 16) {
    v = v << 16 | in.bits(16);
    n -= 16;
  }
  return v << n | in.bits(n);
}

// A match length from its slot: eight short lengths, then four slots for
// each number of extra bits.
uint32_t slotToLength(BitInput& in, unsigned slot) {
  if (slot < 8) return 2 + slot;
  const unsigned extra = slot / 4 - 1;
  return 2 + ((4u | (slot & 3)) << extra) + in.bits(extra);
}

// ARM BL instructions: their 24-bit word offsets were made absolute.
void filterArm(uint8_t* data, uint32_t size, uint32_t fileOffset) {
  for (uint32_t i = 0; i + 3 < size; i += 4) {
    uint8_t* d = data + i;
    if (d[3] != 0xEB) continue;  // BL, condition "always"
    uint32_t offset = d[0] | uint32_t(d[1]) << 8 | uint32_t(d[2]) << 16;
    offset -= (fileOffset + i) / 4;
    d[0] = uint8_t(offset);
    d[1] = uint8_t(offset >> 8);
    d[2] = uint8_t(offset >> 16);
  }
}

// DELTA: the block holds each channel's byte differences in turn; the
// output interleaves the channels again.
void filterDelta(const uint8_t* in, uint8_t* out, uint32_t size, unsigned channels) {
  uint32_t src = 0;
  for (unsigned ch = 0; ch < channels; ++ch) {
    uint8_t prev = 0;
    for (uint32_t i = ch; i < size; i += channels) out[i] = prev = uint8_t(prev - in[src++]);
  }
}

}  // namespace

Unpack50::Unpack50(uint64_t dictBytes, bool extendedDistances)
    : dictBytes_(dictBytes), distSize_(extendedDistances ? 80 : 64) {}

void Unpack50::setDictionary(uint64_t dictBytes) { dictBytes_ = std::max(dictBytes_, dictBytes); }

uint64_t Unpack50::windowLimit() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return kMaxDictionary;
  return std::min(uint64_t(pages) / 4 * 3 * uint64_t(pageSize), kMaxDictionary);
}

void Unpack50::restart() {
  window_.restart();
  tablesRead_ = false;
  memset(oldDist_, 0, sizeof oldDist_);  // a distance of 0 is never valid
  lastLength_ = 0;
}

int Unpack50::unpack(BitInput& in, uint64_t size, bool solid, const DataSink& sink) {
  if (dictBytes_ > kMaxDictionary) return ERAR_LARGE_DICT;
  if (!solid) restart();
  if (window_.pending()) return ERAR_BAD_DATA;  // the entry before did not end cleanly
  sink_ = &sink;
  filters_.clear();  // filters never reach from one entry into the next
  nextFilter_ = 0;
  fullWindow_ = roundUpToPowerOfTwo(std::max(dictBytes_, kMinFullWindow));
  fileStart_ = window_.pos();
  fileEnd_ = size > UINT64_MAX - fileStart_ ? UINT64_MAX : fileStart_ + size;
  nextFlush_ = fileStart_ + kFlushChunk;
  limit_ = std::min(nextFlush_, fileEnd_);
  if (int r = growWindow(limit_)) return r;

  // An empty entry may come without packed data: the stream's state stays.
  in.peek16();
  if (size == 0 && in.atEnd()) return 0;
  if (int r = readBlockHeader(in)) return r;
  if (int r = decodeBlocks(in)) return r;
  if (fileEnd_ != UINT64_MAX && window_.pos() != fileEnd_) return ERAR_BAD_DATA;  // the stream ended early
  if (int r = flush(window_.pos())) return r;
  // Bytes still held back belong to a filter block that never completed.
  return window_.pending() == 0 ? 0 : ERAR_BAD_DATA;
}

// While the stream is shorter than the window it never wraps around, so
// the window can grow as the stream does, up to its full size.
int Unpack50::growWindow(uint64_t upTo) {
  const uint64_t need = upTo + kMaxMatch + 1;
  if (window_.size() < fullWindow_ && need > window_.size()) {
    const uint64_t want = std::min(fullWindow_, std::max(need, 2 * uint64_t(window_.size())));
    if (roundUpToPowerOfTwo(want) > windowLimit()) return ERAR_LARGE_DICT;
    if (!window_.reserve(size_t(want))) return ERAR_NO_MEMORY;
  }
  // The next run must not overwrite bytes not yet handed out.
  if (need > window_.flushed() + window_.size()) return ERAR_BAD_DATA;
  return 0;
}

int Unpack50::flushIfDue() {
  if (window_.pos() >= nextFlush_) {
    if (int r = flush(std::min(window_.pos(), fileEnd_))) return r;
    nextFlush_ = window_.pos() + kFlushChunk;
  }
  limit_ = std::min(nextFlush_, fileEnd_);
  return growWindow(limit_);
}

// A block starts at a byte boundary: a flags byte (bits in the last byte,
// the width of the size field, last block, tables present), a check byte,
// then the block's size in bytes.
int Unpack50::readBlockHeader(BitInput& in) {
  in.alignByte();
  if (!in.hasBytes(2)) return ERAR_BAD_DATA;
  const uint8_t flags = in.byte();
  const uint8_t check = in.byte();
  const unsigned sizeBytes = ((flags >> 3) & 3) + 1;
  if (sizeBytes == 4) return ERAR_BAD_DATA;
  uint32_t size = 0;
  for (unsigned i = 0; i < sizeBytes; ++i) size |= uint32_t(in.byte()) << (8 * i);
  if (check != uint8_t(0x5A ^ flags ^ size ^ (size >> 8) ^ (size >> 16))) return ERAR_BAD_DATA;
  if (in.overrun()) return ERAR_BAD_DATA;
  const uint64_t start = in.bitPosition();
  blockEnd_ = size == 0 ? start : start + uint64_t(size) * 8 - 8 + (flags & 7) + 1;
  lastBlock_ = flags & 0x40;
  if (flags & 0x80) {
    if (int r = readTables(in)) return r;
  } else if (!tablesRead_) {
    return ERAR_BAD_DATA;
  }
  return in.bitPosition() > blockEnd_ || in.overrun() ? ERAR_BAD_DATA : 0;
}

// The code lengths of all four tables, sent afresh in every table block.
int Unpack50::readTables(BitInput& in) {
  const unsigned total = kMainSize + distSize_ + kLowDistSize + kRepSize;
  uint8_t lengths[kMaxTablesSize];
  if (!ReadCodeLengths(in, lengthCodes_, lengths, total)) return ERAR_BAD_DATA;
  const uint8_t* p = lengths;
  if (!main_.build(p, kMainSize) || !dist_.build(p + kMainSize, distSize_) ||
      !lowDist_.build(p + kMainSize + distSize_, kLowDistSize) ||
      !rep_.build(p + kMainSize + distSize_ + kLowDistSize, kRepSize))
    return ERAR_BAD_DATA;
  tablesRead_ = true;
  return 0;
}

int Unpack50::decodeBlocks(BitInput& in) {
  for (;;) {
    if (window_.pos() >= limit_) {
      if (window_.pos() > fileEnd_) return ERAR_BAD_DATA;  // more output than the entry holds
      if (int r = flushIfDue()) return r;
    }
    if (in.bitPosition() >= blockEnd_) {
      if (lastBlock_) return 0;
      if (int r = readBlockHeader(in)) return r;
      continue;
    }
    if (in.overrun()) return ERAR_BAD_DATA;
    const int sym = main_.decode(in);
    if (sym < 256) {
      if (sym < 0) return ERAR_BAD_DATA;
      window_.put(uint8_t(sym));
      continue;
    }
    if (sym >= 262) {  // a match with a new distance
      uint32_t len = slotToLength(in, unsigned(sym - 262));
      const int slot = dist_.decode(in);
      if (slot < 0) return ERAR_BAD_DATA;
      uint64_t dist = 1;
      if (slot < 4) {
        dist += unsigned(slot);
      } else {
        const unsigned extra = unsigned(slot) / 2 - 1;
        dist += uint64_t(2 | (slot & 1)) << extra;
        if (extra >= 4) {  // the upper extra bits as they are, the low 4 Huffman coded
          if (extra > 4) dist += wideBits(in, extra - 4) << 4;
          const int low = lowDist_.decode(in);
          if (low < 0) return ERAR_BAD_DATA;
          dist += unsigned(low);
        } else {
          dist += in.bits(extra);
        }
      }
      if (dist > 0x100) {
        ++len;
        if (dist > 0x2000) {
          ++len;
          if (dist > 0x40000) ++len;
        }
      }
      rememberDistance(dist);
      lastLength_ = len;
      if (!window_.copy(size_t(dist), len)) return ERAR_BAD_DATA;
    } else if (sym == 256) {
      if (int r = readFilter(in)) return r;
    } else if (sym == 257) {  // the last match again
      if (lastLength_ && !window_.copy(size_t(oldDist_[0]), lastLength_)) return ERAR_BAD_DATA;
    } else {  // one of the last four distances, with a new length
      unsigned i = unsigned(sym - 258);
      const uint64_t dist = oldDist_[i];
      for (; i > 0; --i) oldDist_[i] = oldDist_[i - 1];
      oldDist_[0] = dist;
      const int slot = rep_.decode(in);
      if (slot < 0) return ERAR_BAD_DATA;
      const uint32_t len = slotToLength(in, unsigned(slot));
      lastLength_ = len;
      if (!window_.copy(size_t(dist), len)) return ERAR_BAD_DATA;
    }
  }
}

// A filter record: where its block starts (ahead of the current position)
// and how long it is, each in 1-4 bytes, then the type, and for DELTA the
// number of channels.
int Unpack50::readFilter(BitInput& in) {
  auto number = [&in] {
    const unsigned bytes = in.bits(2) + 1;
    uint32_t v = 0;
    for (unsigned i = 0; i < bytes; ++i) v |= in.bits(8) << (8 * i);
    return v;
  };
  const uint64_t start = window_.pos() + number();
  const uint32_t length = number();
  const unsigned type = in.bits(3);
  const unsigned channels = type == 0 ? in.bits(5) + 1 : 0;
  if (in.overrun() || type > 3 || length > kMaxFilterLength) return ERAR_BAD_DATA;
  if (length == 0) return 0;  // nothing to transform
  if (start + length > fileEnd_ || filters_.size() - nextFilter_ >= kMaxPendingFilters) return ERAR_BAD_DATA;
  filters_.push_back(Filter{start, length, FilterType(type), uint8_t(channels)});
  return 0;
}

int Unpack50::flush(uint64_t upTo) {
  while (window_.flushed() < upTo) {
    if (nextFilter_ < filters_.size()) {
      const Filter& f = filters_[nextFilter_];
      if (f.start < window_.flushed()) return ERAR_BAD_DATA;  // overlaps bytes already handed out
      if (f.start < upTo) {
        if (f.start > window_.flushed()) {
          if (int r = window_.flush(f.start, *sink_)) return r;
          continue;
        }
        if (f.start + f.length > window_.pos()) return 0;  // wait for the rest of the block
        if (int r = applyFilter(f)) return r;
        window_.markFlushed(f.start + f.length);
        if (++nextFilter_ == filters_.size()) {
          filters_.clear();
          nextFilter_ = 0;
        }
        continue;
      }
    }
    return window_.flush(upTo, *sink_);
  }
  return 0;
}

int Unpack50::applyFilter(const Filter& f) {
  filterIn_.resize(f.length);
  const uint8_t* w = window_.data();
  const size_t first = size_t(f.start & window_.mask());
  const size_t head = std::min<size_t>(f.length, window_.size() - first);
  memcpy(filterIn_.data(), w + first, head);
  memcpy(filterIn_.data() + head, w, f.length - head);  // the part past the window's end
  const uint32_t fileOffset = uint32_t(f.start - fileStart_);
  switch (f.type) {
    case FilterType::Delta:
      filterOut_.resize(f.length);
      filterDelta(filterIn_.data(), filterOut_.data(), f.length, f.channels);
      return (*sink_)(filterOut_.data(), f.length);
    case FilterType::E8:
    case FilterType::E8E9:
      UndoX86Filter(filterIn_.data(), f.length, fileOffset, f.type == FilterType::E8E9, true);
      break;
    case FilterType::Arm: filterArm(filterIn_.data(), f.length, fileOffset); break;
  }
  return (*sink_)(filterIn_.data(), f.length);
}

}  // namespace unrar
