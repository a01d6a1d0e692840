#include "unrar/Unpack20.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "unrar/unrar.h"

namespace unrar {

namespace {

// A code's value is its base plus as many following bits as the code has
// extra bits; the bases run on without gaps, so they follow from the bits.
template <size_t N>
struct CodeTable {
  std::array<uint8_t, N> bits{};
  std::array<uint32_t, N> base{};
};

template <size_t N, class Bits>
constexpr CodeTable<N> codeTable(Bits bitsOf) {
  CodeTable<N> t;
  uint32_t next = 0;
  for (size_t i = 0; i < N; ++i) {
    t.bits[i] = bitsOf(i);
    t.base[i] = next;
    next += 1u << t.bits[i];
  }
  return t;
}

// Lengths: eight without extra bits, then four codes for each width 1-5.
constexpr auto kLengths = codeTable<28>([](size_t i) { return uint8_t(i < 8 ? 0 : (i - 4) / 4); });
// Distances: four without extra bits, two for each width 1-15, then 16 bits.
constexpr auto kDistances =
    codeTable<48>([](size_t i) { return uint8_t(i < 4 ? 0 : std::min<size_t>(16, (i - 2) / 2)); });
// Distances of the two-byte matches.
constexpr auto kShortDistances = codeTable<8>([](size_t i) {
  constexpr uint8_t bits[8] = {2, 2, 3, 4, 5, 6, 6, 6};
  return bits[i];
});
static_assert(kLengths.base[27] == 224 && kDistances.base[47] == 983040 && kShortDistances.base[7] == 192);

// Symbols of the main table past the literals.
constexpr int kRepeatLast = 256;   // the last match again
constexpr int kFirstRecent = 257;  // 257-260: a recent distance with a new length
constexpr int kFirstShort = 261;   // 261-268: a two-byte match
constexpr int kNewTables = 269;
constexpr int kFirstLong = 270;  // 270-297: a length code, then a distance

// Decoding steps between two checks for input read past its end (and for
// a window to hand out): few enough that the longest matches cannot fill
// half a window in between.
constexpr unsigned kCheckSteps = 256;

// The window covers the largest distance the codes can express.
constexpr size_t kMinWindow = size_t(1) << 20;

}  // namespace

void Unpack20::reset() {
  window_.restart();
  memset(lengths_, 0, sizeof lengths_);
  tablesRead_ = audio_ = false;
  channels_ = 1;
  channel_ = 0;
  crossDelta_ = 0;
  for (AudioChannel20& c : audioChannels_) c = AudioChannel20();
  memset(recent_, 0, sizeof recent_);
  recentPos_ = 0;
  lastDist_ = lastLength_ = 0;
}

// A table set starts with two flags (multimedia block; keep the old code
// lengths, which the new ones are then added to, modulo 16), the channel
// count of a multimedia block, and 19 four-bit lengths of the code that
// codes the code lengths: 0-15 a length change, 16 the previous length
// 3-6 times, 17 and 18 runs of 3-10 and 11-138 zeros.
bool Unpack20::readTables(BitInput& in) {
  tablesRead_ = false;
  const uint32_t head = in.peek16();
  audio_ = head & 0x8000;
  if (!(head & 0x4000)) memset(lengths_, 0, sizeof lengths_);
  in.skip(2);
  unsigned count = kMainSymbols + kDistSymbols + kRepSymbols;
  if (audio_) {
    channels_ = ((head >> 12) & 3) + 1;
    if (channel_ >= channels_) channel_ = 0;
    in.skip(2);
    count = kAudioSymbols * channels_;
  }
  uint8_t preLengths[19];
  for (uint8_t& l : preLengths) l = uint8_t(in.bits(4));
  if (!pre_.build(preLengths, 19)) return false;

  for (unsigned i = 0; i < count;) {
    if (in.overrun()) return false;
    const int sym = pre_.decode(in);
    if (sym < 0) return false;
    if (sym < 16) {
      lengths_[i] = (lengths_[i] + sym) & 15;
      ++i;
      continue;
    }
    unsigned run;
    uint8_t value = 0;
    if (sym == 16) {
      if (i == 0) return false;
      run = in.bits(2) + 3;
      value = lengths_[i - 1];
    } else {
      run = sym == 17 ? in.bits(3) + 3 : in.bits(7) + 11;
    }
    for (const unsigned stop = std::min(count, i + run); i < stop;) lengths_[i++] = value;
  }
  if (in.overrun()) return false;

  if (audio_) {
    for (unsigned c = 0; c < channels_; ++c)
      if (!audioTables_[c].build(lengths_ + c * kAudioSymbols, kAudioSymbols)) return false;
  } else if (!main_.build(lengths_, kMainSymbols) || !dist_.build(lengths_ + kMainSymbols, kDistSymbols) ||
             !rep_.build(lengths_ + kMainSymbols + kDistSymbols, kRepSymbols)) {
    return false;
  }
  tablesRead_ = true;
  return true;
}

bool Unpack20::match(uint32_t dist, uint32_t len) {
  recent_[recentPos_] = dist;
  recentPos_ = (recentPos_ + 1) & 3;
  lastDist_ = dist;
  lastLength_ = len;
  return window_.copy(dist, len);  // false for a repeat before any match
}

// Decodes up to stream position `end`, handing out the window's bytes as
// half of it fills. Every step reads input, so damaged data that runs past
// its end is caught by a check every kCheckSteps steps (between checks at
// most kCheckSteps longest matches come out, far less than half a window).
int Unpack20::decode(BitInput& in, uint64_t end, const DataSink& sink) {
  const uint64_t flushAt = window_.size() / 2;
  for (unsigned step = 0; window_.pos() < end; ++step) {
    if (step % kCheckSteps == 0) {
      if (in.overrun()) return ERAR_BAD_DATA;
      if (window_.pending() >= flushAt)
        if (int r = window_.flush(window_.pos(), sink)) return r;
    }
    if (audio_) {
      const int sym = audioTables_[channel_].decode(in);
      if (sym < 0) return ERAR_BAD_DATA;
      if (sym == 256) {
        if (!readTables(in)) return ERAR_BAD_DATA;
        continue;
      }
      window_.put(audioChannels_[channel_].decode(uint8_t(sym), crossDelta_));
      if (++channel_ == channels_) channel_ = 0;
      continue;
    }

    const int sym = main_.decode(in);
    if (sym < kRepeatLast) {
      if (sym < 0) return ERAR_BAD_DATA;
      window_.put(uint8_t(sym));
      continue;
    }
    bool ok;
    if (sym >= kFirstLong) {
      const unsigned l = unsigned(sym - kFirstLong);
      uint32_t len = kLengths.base[l] + 3 + in.bits(kLengths.bits[l]);
      const int d = dist_.decode(in);
      if (d < 0) return ERAR_BAD_DATA;
      const uint32_t dist = kDistances.base[d] + 1 + in.bits(kDistances.bits[d]);
      len += (dist >= 0x2000) + (dist >= 0x40000);
      ok = match(dist, len);
    } else if (sym == kNewTables) {
      ok = readTables(in);
    } else if (sym == kRepeatLast) {
      ok = match(lastDist_, lastLength_);
    } else if (sym < kFirstShort) {
      const uint32_t dist = recent_[(recentPos_ - 1 - unsigned(sym - kFirstRecent)) & 3];  // newest first
      const int l = rep_.decode(in);
      if (l < 0) return ERAR_BAD_DATA;
      uint32_t len = kLengths.base[l] + 2 + in.bits(kLengths.bits[l]);
      len += (dist >= 0x101) + (dist >= 0x2000) + (dist >= 0x40000);
      ok = match(dist, len);
    } else {
      const unsigned s = unsigned(sym - kFirstShort);
      ok = match(kShortDistances.base[s] + 1 + in.bits(kShortDistances.bits[s]), 2);
    }
    if (!ok) return ERAR_BAD_DATA;
  }
  // A match running past the end of the entry is not what a compressor writes.
  return window_.pos() == end ? 0 : ERAR_BAD_DATA;
}

int Unpack20::unpack(BitInput& in, uint64_t size, bool solid, const DataSink& sink) {
  if (!window_.reserve(std::max(dictBytes_, kMinWindow))) return ERAR_NO_MEMORY;
  if (!solid) reset();
  if (size == 0) return 0;
  const uint64_t end = window_.pos() + size;
  int r = tablesRead_ || readTables(in) ? decode(in, end, sink) : ERAR_BAD_DATA;
  if (r == 0 && in.overrun()) r = ERAR_BAD_DATA;
  if (r == 0) r = window_.flush(end, sink);
  if (r) {
    tablesRead_ = false;
    return r;
  }
  // The tables of the next entry of a solid stream may follow this entry's
  // data. Fewer than five bytes left are only the padding of the last byte.
  if (in.hasBytes(5)) {
    const int sym = audio_ ? audioTables_[channel_].decode(in) : main_.decode(in);
    if (sym == (audio_ ? 256 : kNewTables)) readTables(in);
  }
  return 0;
}

}  // namespace unrar
