#include "unrar/Unpack15.h"

#include <algorithm>
#include <array>

#include "unrar/Huffman.h"
#include "unrar/unrar.h"

namespace unrar {

namespace {

// The fixed codes, as the number of codes of each length 1-12; symbols take
// the codes in order (a canonical code).
using CodeCounts = std::array<uint16_t, 12>;
constexpr CodeCounts kLength1 = {0, 2, 1, 2, 2, 4, 5, 4, 4, 8, 0, 224};
constexpr CodeCounts kLength2 = {0, 0, 5, 2, 2, 4, 5, 4, 4, 8, 2, 220};
constexpr CodeCounts kPlace0 = {0, 0, 0, 8, 8, 8, 9, 0, 0, 0, 0, 224};
constexpr CodeCounts kPlace1 = {0, 0, 0, 0, 4, 40, 16, 16, 4, 0, 47, 130};
constexpr CodeCounts kPlace2 = {0, 0, 0, 0, 2, 5, 46, 64, 116, 24, 0, 0};
constexpr CodeCounts kPlace3 = {0, 0, 0, 0, 0, 2, 14, 202, 33, 6, 0, 0};
constexpr CodeCounts kPlace4 = {0, 0, 0, 0, 0, 0, 0, 255, 2, 0, 0, 0};

HuffmanTable fixedTable(const CodeCounts& counts) {
  uint8_t lengths[257];
  unsigned n = 0;
  for (unsigned len = 1; len <= counts.size(); ++len)
    for (unsigned i = 0; i < counts[len - 1]; ++i) lengths[n++] = uint8_t(len);
  HuffmanTable t;
  t.build(lengths, n);
  return t;
}

struct FixedTables {
  HuffmanTable length1 = fixedTable(kLength1), length2 = fixedTable(kLength2);
  HuffmanTable place[5] = {fixedTable(kPlace0), fixedTable(kPlace1), fixedTable(kPlace2), fixedTable(kPlace3),
                           fixedTable(kPlace4)};
};

const FixedTables kFixed;

// The short-match codes 0-14 of the two code sets, left-aligned in a byte.
// One code of each set (1 in the first, 3 in the second) is a bit longer
// in the alternative form the stream can switch to; codes are tried in
// order and the first that matches is taken.
struct ShortCode {
  uint8_t pattern, bits;
};
constexpr ShortCode kShortSet1[15] = {{0x00, 1}, {0xa0, 3}, {0xd0, 4}, {0xe0, 4}, {0xf0, 5},
                                      {0xf8, 6}, {0xfc, 7}, {0xfe, 8}, {0xff, 8}, {0xc0, 4},
                                      {0x80, 4}, {0x90, 5}, {0x98, 6}, {0x9c, 6}, {0xb0, 4}};
constexpr ShortCode kShortSet2[15] = {{0x00, 2}, {0x40, 3}, {0x60, 3}, {0xa0, 3}, {0xd0, 4},
                                      {0xe0, 4}, {0xf0, 5}, {0xf8, 6}, {0xfc, 6}, {0xc0, 4},
                                      {0x80, 4}, {0x90, 5}, {0x98, 6}, {0x9c, 6}, {0xb0, 4}};

// For each next byte of input: the code (low 4 bits) and its length.
using ShortLookup = std::array<uint8_t, 256>;
constexpr ShortLookup shortLookup(const ShortCode (&set)[15], unsigned longer) {
  ShortLookup t{};
  for (unsigned b = 0; b < 256; ++b)
    for (unsigned c = 0; c < 15; ++c) {
      const unsigned bits = set[c].bits + (c == longer);
      const unsigned mask = (0xFF00u >> bits) & 0xFF;
      if (((b ^ set[c].pattern) & mask) == 0) {
        t[b] = uint8_t(c | bits << 4);
        break;
      }
    }
  return t;
}
// [set][alternative form]
constexpr ShortLookup kShortLookup[2][2] = {{shortLookup(kShortSet1, 15), shortLookup(kShortSet1, 1)},
                                            {shortLookup(kShortSet2, 15), shortLookup(kShortSet2, 3)}};
constexpr bool everyByteHasCode(const ShortLookup& t) {
  for (uint8_t v : t)
    if (!(v >> 4)) return false;
  return true;
}
static_assert(everyByteHasCode(kShortLookup[0][0]) && everyByteHasCode(kShortLookup[0][1]) &&
              everyByteHasCode(kShortLookup[1][0]) && everyByteHasCode(kShortLookup[1][1]));

constexpr size_t kMinWindow = size_t(1) << 20;
// Steps between checks for input read past its end, as in Unpack20.cpp.
constexpr unsigned kCheckSteps = 256;

}  // namespace

// Counts fall back to 7 for the first 32 places down to 0 for the last 32.
void Unpack15::UseList::renumber() {
  for (unsigned i = 0; i < 256; ++i) entry[i] = uint16_t((entry[i] & 0xFF00) | (7 - i / 32));
  std::fill(std::begin(next), std::end(next), 0);
  for (unsigned c = 0; c < 7; ++c) next[c] = uint8_t((7 - c) * 32);
}

uint16_t Unpack15::UseList::use(unsigned place, unsigned limit) {
  for (;;) {
    const uint16_t e = entry[place];
    const unsigned count = (e & 0xFF) + 1;
    const uint8_t to = next[e & 0xFF]++;
    if (count < limit) {
      entry[place] = entry[to];
      entry[to] = uint16_t((e & 0xFF00) | count);
      return entry[to];
    }
    renumber();
  }
}

void Unpack15::reset() {
  window_.restart();
  for (unsigned i = 0; i < 256; ++i) {
    literals_.entry[i] = distances_.entry[i] = uint16_t(i << 8);
    flags_.entry[i] = uint16_t(((0x100 - i) & 0xFF) << 8);
    shortDist_[i] = uint8_t(i);
  }
  std::fill(std::begin(literals_.next), std::end(literals_.next), 0);
  std::fill(std::begin(flags_.next), std::end(flags_.next), 0);
  distances_.renumber();
  std::fill(std::begin(recent_), std::end(recent_), 0);
  recentPos_ = 0;
  lastDist_ = lastLength_ = 0;
  avrPlcB_ = avrLn1_ = avrLn2_ = avrLn3_ = 0;
  avrPlc_ = 0x3500;
  maxDist3_ = 0x2001;
  literalWeight_ = matchWeight_ = 0x80;
  literalRun_ = 0;
  altShortCodes_ = false;
}

bool Unpack15::match(uint32_t dist, uint32_t len) {
  lastDist_ = dist;
  lastLength_ = len;
  return window_.copy(dist, len);
}

bool Unpack15::recentMatch(uint32_t dist, uint32_t len) {
  recent_[recentPos_] = dist;
  recentPos_ = (recentPos_ + 1) & 3;
  return match(dist, len);
}

// The next eight flag bits, from the flag byte list.
bool Unpack15::readFlags(BitInput& in) {
  const int place = kFixed.place[2].decode(in);
  if (place < 0 || place > 255) return false;  // the code's last symbol names no place
  flagBits_ = flags_.use(unsigned(place), 0x100) >> 8;
  return true;
}

bool Unpack15::literal(BitInput& in) {
  const FixedTables& t = kFixed;
  const unsigned code = avrPlc_ > 0x75FF ? 4 : avrPlc_ > 0x5DFF ? 3 : avrPlc_ > 0x35FF ? 2 : avrPlc_ > 0x0DFF ? 1 : 0;
  const int sym = t.place[code].decode(in);
  if (sym < 0) return false;
  unsigned place = unsigned(sym) & 0xFF;
  if (literalMode_) {
    // In literal mode place 0 escapes: to flag mode, or a short match.
    if (sym == 0) {
      const uint32_t head = in.peek16();
      if (head & 0x8000) {
        in.skip(1);
        literalRun_ = 0;
        literalMode_ = false;
        return true;
      }
      in.skip(2);
      const uint32_t len = (head & 0x4000) ? 4 : 3;
      const int high = t.place[2].decode(in);
      if (high < 0) return false;
      const uint32_t dist = uint32_t(high) << 5 | in.bits(5);
      return window_.copy(dist, len);
    }
    place = unsigned(sym) - 1;
  } else if (literalRun_++ >= 16 && flagsLeft_ == 0) {
    literalMode_ = true;
  }
  avrPlc_ += place;
  avrPlc_ -= avrPlc_ >> 8;
  literalWeight_ += 16;
  if (literalWeight_ > 0xFF) {
    literalWeight_ = 0x90;
    matchWeight_ >>= 1;
  }
  window_.put(uint8_t(literals_.entry[place] >> 8));
  literals_.use(place, 0xA2);
  return true;
}

bool Unpack15::shortMatch(BitInput& in) {
  literalRun_ = 0;
  if (repeats_ == 2) {
    // After two short repeats a single bit says whether a third follows.
    const bool again = in.bits(1);
    if (again) return match(lastDist_, lastLength_);
    repeats_ = 0;
  }
  const uint8_t look = kShortLookup[avrLn1_ >= 37][altShortCodes_][in.peek16() >> 8];
  const unsigned code = look & 15;
  in.skip(look >> 4);

  if (code < 9) {
    repeats_ = 0;
    avrLn1_ += code;
    avrLn1_ -= avrLn1_ >> 4;
    const int sym = kFixed.place[2].decode(in);
    if (sym < 0) return false;
    const unsigned place = unsigned(sym) & 0xFF;
    const uint8_t dist = shortDist_[place];
    if (place > 0) {  // one step towards the front
      shortDist_[place] = shortDist_[place - 1];
      shortDist_[place - 1] = dist;
    }
    return recentMatch(dist + 1u, code + 2);
  }
  if (code == 9) {
    ++repeats_;
    return match(lastDist_, lastLength_);
  }
  repeats_ = 0;
  if (code == 14) {
    const int sym = kFixed.length2.decode(in);
    if (sym < 0) return false;
    const uint32_t dist = (in.peek16() >> 1) | 0x8000;
    in.skip(15);
    return match(dist, unsigned(sym) + 5);
  }
  // 10-13: one of the recent distances, with a new length.
  const uint32_t dist = recent_[(recentPos_ - (code - 9)) & 3];
  const int sym = kFixed.length1.decode(in);
  if (sym < 0) return false;
  uint32_t len = unsigned(sym) + 2;
  if (len == 0x101 && code == 10) {  // no match: switch the short code form
    altShortCodes_ = !altShortCodes_;
    return true;
  }
  len += (dist > 256) + (dist >= maxDist3_);
  return recentMatch(dist, len);
}

bool Unpack15::longMatch(BitInput& in) {
  const FixedTables& t = kFixed;
  literalRun_ = 0;
  matchWeight_ += 16;
  if (matchWeight_ > 0xFF) {
    matchWeight_ = 0x90;
    literalWeight_ >>= 1;
  }
  const unsigned oldAvrLn2 = avrLn2_;

  uint32_t len;
  if (avrLn2_ >= 122 || avrLn2_ >= 64) {
    const int sym = (avrLn2_ >= 122 ? t.length2 : t.length1).decode(in);
    if (sym < 0) return false;
    len = unsigned(sym);
  } else {
    // Short averages: the length is the count of leading zero bits, or
    // the whole 16 bits when they start with eight zeros.
    const uint32_t head = in.peek16();
    if (head < 0x100) {
      len = head;
      in.skip(16);
    } else {
      len = 0;
      while (!((head << len) & 0x8000)) ++len;
      in.skip(len + 1);
    }
  }
  avrLn2_ += len;
  avrLn2_ -= avrLn2_ >> 5;

  const unsigned code = avrPlcB_ > 0x28FF ? 2 : avrPlcB_ > 0x6FF ? 1 : 0;
  const int place = t.place[code].decode(in);
  if (place < 0) return false;
  avrPlcB_ += unsigned(place);
  avrPlcB_ -= avrPlcB_ >> 8;
  const uint16_t high = distances_.use(unsigned(place) & 0xFF, 0x100) & 0xFF00;
  const uint32_t dist = (high | (in.peek16() >> 8)) >> 1;
  in.skip(7);

  const unsigned oldAvrLn3 = avrLn3_;
  if (len != 1 && len != 4) {
    if (len == 0 && dist <= maxDist3_) {
      ++avrLn3_;
      avrLn3_ -= avrLn3_ >> 8;
    } else if (avrLn3_ > 0) {
      --avrLn3_;
    }
  }
  len += 3 + (dist >= maxDist3_) + (dist <= 256 ? 8 : 0);
  maxDist3_ = (oldAvrLn3 > 0xB0 || (avrPlc_ >= 0x2A00 && oldAvrLn2 < 0x40)) ? 0x7F00 : 0x2001;
  return recentMatch(dist, len);
}

int Unpack15::unpack(BitInput& in, uint64_t size, bool solid, const DataSink& sink) {
  if (!window_.reserve(std::max(dictBytes_, kMinWindow))) return ERAR_NO_MEMORY;
  if (!solid) reset();
  flagsLeft_ = 0;
  flagBits_ = 0;
  literalMode_ = false;
  repeats_ = 0;
  if (size == 0) return 0;

  const uint64_t end = window_.pos() + size;
  const uint64_t flushAt = window_.size() / 2;
  if (!readFlags(in)) return ERAR_BAD_DATA;
  flagsLeft_ = 8;
  // Each flag bit 1 is a literal or a long match, whichever the weights
  // favour; 01 the other of the two; 00 a short match.
  auto nextFlag = [&]() {
    if (--flagsLeft_ < 0) {
      if (!readFlags(in)) return -1;
      flagsLeft_ = 7;
    }
    const int bit = (flagBits_ >> 7) & 1;
    flagBits_ <<= 1;
    return bit;
  };
  // Every step reads input; the checks come every kCheckSteps steps (see
  // Unpack20::decode).
  for (unsigned step = 0; window_.pos() < end; ++step) {
    if (step % kCheckSteps == 0) {
      if (in.overrun()) return ERAR_BAD_DATA;
      if (window_.pending() >= flushAt)
        if (int r = window_.flush(window_.pos(), sink)) return r;
    }
    bool ok;
    if (literalMode_) {
      ok = literal(in);
    } else {
      int bit = nextFlag();
      if (bit < 0) return ERAR_BAD_DATA;
      if (bit) {
        ok = matchWeight_ > literalWeight_ ? longMatch(in) : literal(in);
      } else {
        bit = nextFlag();
        if (bit < 0) return ERAR_BAD_DATA;
        ok = !bit ? shortMatch(in) : matchWeight_ > literalWeight_ ? literal(in) : longMatch(in);
      }
    }
    if (!ok) return ERAR_BAD_DATA;
  }
  if (window_.pos() != end || in.overrun()) return ERAR_BAD_DATA;
  return window_.flush(end, sink);
}

}  // namespace unrar
