#include "unrar/Rar3Filters.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "unrar/Audio20.h"
#include "unrar/Bytes.h"
#include "unrar/CodeLengths.h"
#include "unrar/unrar.h"

namespace unrar {

namespace {

// The filter machine's memory: a block is at most this long, and the
// prediction filters write their output into its upper half.
constexpr uint32_t kMemSize = 0x40000;
constexpr size_t kMaxPrograms = 1024;
constexpr size_t kMaxPending = 8192;
constexpr uint32_t kMaxCode = 0xFFFF;
constexpr uint32_t kMaxUserData = 0x2000 - 0x40;

// MSB-first bits of a filter record held in memory; zeros past its end.
class RecordBits {
 public:
  RecordBits(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  uint32_t peek16() const {
    uint32_t v = 0;
    for (size_t i = 0; i < 3; ++i) {
      size_t at = (bit_ >> 3) + i;
      v = v << 8 | (at < size_ ? data_[at] : 0);
    }
    return (v >> (8 - (bit_ & 7))) & 0xFFFF;
  }
  uint32_t bits(unsigned n) {
    uint32_t v = peek16() >> (16 - n);
    bit_ += n;
    return v;
  }
  // The variable-length numbers of filter records: 2 bits select 4, 8,
  // 16 or 32 bits (8 bits with a marker stand for a small negative value).
  uint32_t number() {
    uint32_t v = peek16();
    switch (v & 0xC000) {
      case 0: bit_ += 6; return (v >> 10) & 0xF;
      case 0x4000:
        if ((v & 0x3C00) == 0) {
          bit_ += 14;
          return 0xFFFFFF00 | ((v >> 2) & 0xFF);
        }
        bit_ += 10;
        return (v >> 6) & 0xFF;
      case 0x8000: bit_ += 2; return bits(16);
      default: {
        bit_ += 2;
        uint32_t high = bits(16);
        return high << 16 | bits(16);
      }
    }
  }
  bool overrun() const { return bit_ > size_ * 8; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t bit_ = 0;
};

uint32_t load32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint32_t bundleBits(const uint8_t* d, unsigned pos, unsigned count) {
  uint32_t v = load32(d + pos / 8) >> (pos & 7);
  return v & (0xFFFFFFFFu >> (32 - count));
}
void setBundleBits(uint8_t* d, uint32_t value, unsigned pos, unsigned count) {
  uint8_t* p = d + pos / 8;
  uint32_t keep = ~((0xFFFFFFFFu >> (32 - count)) << (pos & 7));
  value <<= pos & 7;
  for (int i = 0; i < 4; ++i) {
    p[i] = uint8_t((p[i] & keep) | value);
    keep = keep >> 8 | 0xFF000000u;
    value >>= 8;
  }
}

// Itanium branch targets in 16-byte instruction bundles were made absolute.
void filterItanium(uint8_t* mem, uint32_t size, uint32_t fileOffset) {
  static constexpr uint8_t kBranchSlots[16] = {4, 4, 6, 6, 0, 0, 7, 7, 4, 4, 0, 0, 4, 4, 0, 0};
  fileOffset >>= 4;
  for (uint32_t pos = 0; pos + 21 < size; pos += 16, ++fileOffset) {
    uint8_t* d = mem + pos;
    int kind = (d[0] & 0x1F) - 0x10;
    if (kind < 0) continue;
    uint8_t slots = kBranchSlots[kind];
    for (unsigned i = 0; i < 3; ++i) {
      if (!(slots & (1u << i))) continue;
      unsigned start = i * 41 + 5;
      if (bundleBits(d, start + 37, 4) != 5) continue;
      uint32_t target = bundleBits(d, start + 13, 20);
      setBundleBits(d, (target - fileOffset) & 0xFFFFF, start + 13, 20);
    }
  }
}

// Each channel (every n-th byte) was stored as differences.
bool filterDelta(uint8_t* mem, uint32_t size, uint32_t channels) {
  if (size > kMemSize / 2 || channels == 0 || channels > 1024) return false;
  uint32_t src = 0;
  for (uint32_t c = 0; c < channels; ++c) {
    uint8_t prev = 0;
    for (uint32_t dst = size + c; dst < 2 * size; dst += channels) mem[dst] = prev = uint8_t(prev - mem[src++]);
  }
  return true;
}

// 24-bit pixels predicted from their left and upper neighbours (the
// Paeth choice), with green subtracted from red and blue.
bool filterRgb(uint8_t* mem, uint32_t size, uint32_t rowWidth, uint32_t redPos) {
  const uint32_t width = rowWidth - 3;
  if (size > kMemSize / 2 || size < 3 || width > size || redPos > 2) return false;
  const uint8_t* src = mem;
  uint8_t* dst = mem + size;
  for (uint32_t c = 0; c < 3; ++c) {
    unsigned prev = 0;
    for (uint32_t i = c; i < size; i += 3) {
      unsigned predicted = prev;
      if (i >= width + 3) {
        const uint8_t* up = dst + i - width;
        int upper = up[0], upperLeft = up[-3];
        int guess = int(prev) + upper - upperLeft;
        int pa = std::abs(guess - int(prev)), pb = std::abs(guess - upper), pc = std::abs(guess - upperLeft);
        predicted = (pa <= pb && pa <= pc) ? prev : (pb <= pc ? unsigned(upper) : unsigned(upperLeft));
      }
      dst[i] = uint8_t(predicted - *src++);
      prev = dst[i];
    }
  }
  for (uint32_t i = redPos; i + 2 < size; i += 3) {
    uint8_t green = dst[i + 1];
    dst[i] = uint8_t(dst[i] + green);
    dst[i + 2] = uint8_t(dst[i + 2] + green);
  }
  return true;
}

// Audio samples, one byte per channel, each channel predicted from its
// own last bytes as RAR 2.0 multimedia data is (without the other
// channel's delta).
bool filterAudio(uint8_t* mem, uint32_t size, uint32_t channels) {
  if (size > kMemSize / 2 || channels == 0 || channels > 128) return false;
  const uint8_t* src = mem;
  uint8_t* dst = mem + size;
  for (uint32_t c = 0; c < channels; ++c) {
    AudioPredictor<3> channel(true);
    int unused = 0;
    for (uint32_t i = c; i < size; i += channels) dst[i] = channel.decode(*src++, unused);
  }
  return true;
}

}  // namespace

void Rar3Filters::reset() {
  programs_.clear();
  pending_.clear();
  last_ = 0;
}

Rar3Filters::Type Rar3Filters::identify(const std::vector<uint8_t>& code) {
  struct Known {
    uint32_t size, crc;
    Type type;
  };
  static constexpr Known kKnown[] = {
      {53, 0xAD576887, Type::E8},    {57, 0x3CD7E57E, Type::E8E9}, {120, 0x3769893F, Type::Itanium},
      {29, 0x0E06077D, Type::Delta}, {149, 0x1C2C5DC8, Type::Rgb}, {216, 0xBC85E701, Type::Audio},
  };
  const uint32_t crc = crc32(0, code.data(), code.size());
  for (const Known& k : kKnown)
    if (k.size == code.size() && k.crc == crc) return k.type;
  return Type::Unknown;
}

int Rar3Filters::add(uint8_t flags, const uint8_t* body, size_t size, uint64_t pos) {
  RecordBits in(body, size);
  size_t num = last_;
  if (flags & 0x80) {
    uint32_t n = in.number();
    if (n == 0) {
      reset();  // number 0: every program is forgotten, this one is the first
      num = 0;
    } else {
      num = n - 1;
    }
  }
  if (num > programs_.size() || num >= kMaxPrograms || pending_.size() >= kMaxPending) return ERAR_BAD_DATA;
  last_ = num;
  const bool fresh = num == programs_.size();

  Pending f{};
  uint32_t start = in.number();
  if (flags & 0x40) start += 258;
  f.start = pos + start;
  f.length = (flags & 0x20) ? in.number() : fresh ? 0 : programs_[num].lastLength;
  f.r[4] = f.length;
  if (flags & 0x10) {
    uint32_t mask = in.bits(7);
    for (unsigned i = 0; i < 7; ++i)
      if (mask & (1u << i)) f.r[i] = in.number();
  }
  if (fresh) {
    uint32_t codeSize = in.number();
    if (codeSize == 0 || codeSize > kMaxCode || in.overrun()) return ERAR_BAD_DATA;
    std::vector<uint8_t> code(codeSize);
    for (uint8_t& b : code) b = uint8_t(in.bits(8));
    programs_.push_back({identify(code), f.length});
  } else {
    programs_[num].lastLength = f.length;
  }
  f.type = programs_[num].type;
  if (flags & 0x08) {  // data for the program's own memory: no standard program uses it
    uint32_t dataSize = in.number();
    if (dataSize > kMaxUserData) return ERAR_BAD_DATA;
    for (uint32_t i = 0; i < dataSize; ++i) in.bits(8);
  }
  if (in.overrun() || f.length > kMemSize) return ERAR_BAD_DATA;
  if (f.type == Type::Unknown) return ERAR_UNKNOWN_FORMAT;
  pending_.push_back(f);
  return 0;
}

bool Rar3Filters::run(const Pending& f, uint32_t fileOffset, uint8_t*& out, uint32_t& outSize) {
  uint8_t* mem = mem_.data();
  const uint32_t size = f.r[4];
  if (size != f.length) return false;  // the program would hand out another length
  out = mem;
  outSize = size;
  switch (f.type) {
    case Type::E8: UndoX86Filter(mem, size, fileOffset, false, false); return true;
    case Type::E8E9: UndoX86Filter(mem, size, fileOffset, true, false); return true;
    case Type::Itanium: filterItanium(mem, size, fileOffset); return true;
    case Type::Delta: out = mem + size; return filterDelta(mem, size, f.r[0]);
    case Type::Rgb: out = mem + size; return filterRgb(mem, size, f.r[0], f.r[1]);
    case Type::Audio: out = mem + size; return filterAudio(mem, size, f.r[0]);
    case Type::Unknown: break;
  }
  return false;
}

int Rar3Filters::flush(LzWindow& window, uint64_t upTo, uint64_t fileStart, const DataSink& sink) {
  while (!pending_.empty()) {
    const Pending first = pending_.front();
    if (first.start < window.flushed()) return ERAR_BAD_DATA;  // its bytes are already out
    if (first.start >= upTo) break;
    if (int r = window.flush(first.start, sink)) return r;
    const uint64_t end = first.start + first.length;
    if (end > upTo) return 0;  // the block is not complete yet: hold it back

    // The block into the filter memory (it may wrap around the window).
    if (mem_.empty()) mem_.resize(kMemSize + 4);
    const size_t from = size_t(first.start & window.mask());
    const size_t head = std::min<size_t>(first.length, window.size() - from);
    memcpy(mem_.data(), window.data() + from, head);
    memcpy(mem_.data() + head, window.data(), first.length - head);

    uint8_t* out = nullptr;
    uint32_t outSize = 0;
    Pending f = first;
    pending_.pop_front();
    for (;;) {
      if (!run(f, uint32_t(f.start - fileStart), out, outSize)) return ERAR_BAD_DATA;
      // Filters defined for the same block run on the previous one's output.
      if (pending_.empty() || pending_.front().start != first.start || pending_.front().length != outSize) break;
      if (out != mem_.data()) memmove(mem_.data(), out, outSize);
      f = pending_.front();
      pending_.pop_front();
    }
    if (outSize)
      if (int r = sink(out, outSize)) return r;
    window.markFlushed(end);
  }
  return window.flush(upTo, sink);
}

}  // namespace unrar
