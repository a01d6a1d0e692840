#include "tools/Rar5Encoder.h"

#include "tools/Rar5Huffman.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <stdexcept>

namespace rarwriter::rar5 {
namespace {

// Table sizes: main (literals, filter, repeat codes, match lengths),
// distance slots, low distance bits, repeat lengths; and the table of tables.
constexpr size_t kMainSize = 306, kDistSize = 64, kLowSize = 16, kLenSize = 44, kLevelSize = 20;
constexpr size_t kAllTables = kMainSize + kDistSize + kLowSize + kLenSize;
constexpr unsigned kLastLengthSymbol = 257, kRepeatSymbol = 258, kMatchSymbol = 262;

constexpr uint32_t kMaxLength = 0x1001;          // the longest length a code can carry
constexpr uint32_t kLookAhead = kMaxLength + 8;  // bytes wanted past a position before coding it
constexpr size_t kBlockTokens = 1 << 17;
constexpr uint32_t kSkipAfter = 128;  // literals in a row before the search thins out

enum Kind : uint8_t { kLiteral, kMatch, kRepeat, kLastLength };

// Matches beyond these distances are decoded one (two, three) bytes longer
// than their length code says.
uint32_t LengthBonus(uint32_t dist) { return (dist > 0x100) + (dist > 0x2000) + (dist > 0x40000); }

struct Slot {
  unsigned symbol, bits;
  uint32_t extra;
};

Slot LengthSlot(uint32_t length) {  // length >= 2
  const uint32_t v = length - 2;
  if (v < 8) return {v, 0, 0};
  const unsigned high = std::bit_width(v) - 1;  // >= 3
  const unsigned bits = high - 2;
  return {4 * (high - 1) + ((v >> bits) & 3), bits, v & ((1u << bits) - 1)};
}

Slot DistanceSlot(uint32_t dist) {  // dist >= 1
  const uint32_t v = dist - 1;
  if (v < 4) return {v, 0, 0};
  const unsigned high = std::bit_width(v) - 1;  // >= 2
  const unsigned bits = high - 1;
  return {2 * high + ((v >> bits) & 1), bits, v & ((1u << bits) - 1)};
}

uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

uint32_t MatchLength(const uint8_t* a, const uint8_t* b, uint32_t max) {
  uint32_t n = 0;
  while (n + 8 <= max) {
    uint64_t x, y;
    std::memcpy(&x, a + n, 8);
    std::memcpy(&y, b + n, 8);
    if (x != y) return n + static_cast<uint32_t>(std::countr_zero(x ^ y) / 8);
    n += 8;
  }
  while (n < max && a[n] == b[n]) ++n;
  return n;
}

// Rough cost in bits of coding a match, for choosing between candidates.
int32_t MatchGain(uint32_t length, uint32_t dist) {
  return static_cast<int32_t>(8 * length) - 10 - static_cast<int32_t>(DistanceSlot(dist).bits) -
         static_cast<int32_t>(LengthSlot(length).bits);
}
int32_t RepeatGain(uint32_t length, uint32_t slot) {
  return static_cast<int32_t>(8 * length) - 6 - static_cast<int32_t>(slot) -
         static_cast<int32_t>(LengthSlot(length).bits);
}

struct LevelSettings {
  unsigned depth, nice;
  bool lazy;
  uint32_t insertLimit;  // longest match whose every position is indexed
};
LevelSettings ForLevel(int level) {
  switch (level) {
    case 1: return {4, 24, false, 16};
    case 2: return {8, 48, false, 32};
    case 3: return {24, 128, true, kMaxLength};
    case 4: return {64, 256, true, kMaxLength};
    default: return {256, kMaxLength, true, kMaxLength};
  }
}

// Run-length codes the concatenated code lengths with the table-of-tables
// symbols: 0-15 a length, 16/17 repeat the previous length 3-10 / 11-138
// times, 18/19 zeros 3-10 / 11-138 times.
struct LevelCode {
  uint8_t symbol, bits;
  uint8_t extra;
};
std::vector<LevelCode> RunLengths(const uint8_t* lengths, size_t count) {
  std::vector<LevelCode> out;
  size_t i = 0;
  while (i < count) {
    const uint8_t v = lengths[i];
    size_t run = 1;
    while (i + run < count && lengths[i + run] == v) ++run;
    size_t left = run;
    if (v == 0) {
      while (left >= 11) {
        size_t n = std::min<size_t>(left, 138);
        if (left - n == 1 || left - n == 2) n = left - 3;  // end on a counted run, not loose zeros
        out.push_back({19, 7, static_cast<uint8_t>(n - 11)});
        left -= n;
      }
      if (left >= 3) {
        out.push_back({18, 3, static_cast<uint8_t>(left - 3)});
        left = 0;
      }
    } else {
      out.push_back({v, 0, 0});
      --left;
      while (left >= 11) {
        size_t n = std::min<size_t>(left, 138);
        out.push_back({17, 7, static_cast<uint8_t>(n - 11)});
        left -= n;
      }
      if (left >= 3) {
        out.push_back({16, 3, static_cast<uint8_t>(left - 3)});
        left = 0;
      }
    }
    for (; left > 0; --left) out.push_back({v, 0, 0});
    i += run;
  }
  return out;
}

}  // namespace

Encoder::Encoder(const EncoderOptions& o) {
  if (o.dictionary < kMinDictionary || !std::has_single_bit(o.dictionary) || o.dictionary > (uint64_t{1} << 31))
    throw std::invalid_argument("rarwriter: the dictionary must be a power of two from 128 KB to 2 GB");
  dict_ = o.dictionary;
  dictMask_ = dict_ - 1;
  // A little short of the full dictionary, so that no decoder has to copy a
  // match from the slot it is about to overwrite.
  maxDist_ = dict_ - kLookAhead;
  const LevelSettings s = ForLevel(o.level);
  depth_ = s.depth;
  niceLength_ = s.nice;
  lazy_ = s.lazy;
  insertLimit_ = s.insertLimit;
  hashBits_ = std::clamp<unsigned>(std::bit_width(dict_) - 3, 15, 22);
  head_.assign(size_t{1} << hashBits_, 0);
  prev_.assign(dict_, 0);
  buf_.resize(dict_ + std::max<uint64_t>(dict_ / 2, (1 << 20) + kLookAhead));
  tokens_.reserve(kBlockTokens);
}

Encoder::~Encoder() = default;

void Encoder::beginEntry(bool solid, ByteSink& out) {
  out_ = &out;
  packed_ = 0;
  headers_.clear();
  if (!solid) entryStart_ = streamStart_ = end_;
  // Repeat distances and the last length are used only once this entry has
  // set them: whether a decoder keeps them across entries is not relied on.
  knownReps_ = 0;
  lastLength_ = 0;
  haveCarry_ = false;
  misses_ = 0;
}

void Encoder::write(const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    if (end_ - bufBase_ == buf_.size()) {
      parse(false);
      slide();
    }
    const size_t n = std::min<uint64_t>(size, buf_.size() - (end_ - bufBase_));
    std::memcpy(buf_.data() + (end_ - bufBase_), p, n);
    end_ += n;
    p += n;
    size -= n;
  }
}

void Encoder::finishEntry() {
  if (cur_ < end_) {
    parse(true);
    // The entry ends with a block of one literal, whose tables give every
    // code one bit. The Unarchiver reads up to 10 bits ahead for each code
    // and fails when they lie past the entry's data; this way the last
    // reads fit in what is there.
    if (!tokens_.empty()) flushBlock(false);
    emitLiteral(cur_++);
    flushBlock(true);
  }
  out_ = nullptr;
}

void Encoder::slide() {
  // Keep the reachable history and the bytes not yet coded.
  uint64_t keep = std::max({bufBase_, cur_ > dict_ ? cur_ - dict_ : 0, entryStart_});
  keep = std::min(keep, cur_);
  std::memmove(buf_.data(), buf_.data() + (keep - bufBase_), end_ - keep);
  bufBase_ = keep;
}

void Encoder::insert(uint64_t pos) {
  const uint32_t h = (Load32(at(pos)) * 2654435761u) >> (32 - hashBits_);
  prev_[pos & dictMask_] = head_[h];
  head_[h] = static_cast<uint32_t>(pos);
}

Encoder::Match Encoder::search(uint64_t pos, uint32_t maxLength) {
  Match best;
  if (maxLength < 2) return best;
  const uint8_t* here = at(pos);
  const uint64_t history = pos - std::max(entryStart_, bufBase_);

  // Repeat distances: the cheapest matches to code.
  for (unsigned i = 0; i < knownReps_; ++i) {
    const uint32_t d = reps_[i];
    if (d > history || d > maxDist_) continue;
    const uint32_t len = MatchLength(here, here - d, maxLength);
    if (len >= 2 && RepeatGain(len, i) > best.gain) best = {len, i, true, RepeatGain(len, i)};
  }
  if (maxLength < 4) return best;

  // Hash chain of earlier positions with the same four bytes.
  const uint32_t h = (Load32(here) * 2654435761u) >> (32 - hashBits_);
  uint32_t cand = head_[h];
  prev_[pos & dictMask_] = cand;
  head_[h] = static_cast<uint32_t>(pos);
  const uint64_t reach = std::min<uint64_t>(history, maxDist_);
  uint32_t longest = best.repeat ? best.length : 3;
  uint32_t lastDist = 0;
  for (unsigned depth = depth_; depth > 0; --depth) {
    const uint32_t d = static_cast<uint32_t>(pos) - cand;
    if (d <= lastDist || d > reach) break;
    lastDist = d;
    const uint8_t* there = here - d;
    if (there[std::min(longest, maxLength - 1)] == here[std::min(longest, maxLength - 1)] &&
        Load32(there) == Load32(here)) {
      const uint32_t len = MatchLength(here, there, maxLength);
      if (len >= 2 + LengthBonus(d) && MatchGain(len, d) > best.gain) {
        best = {len, d, false, MatchGain(len, d)};
        longest = std::max(longest, len);
        if (len >= niceLength_ || len == maxLength) break;
      }
    }
    cand = prev_[cand & dictMask_];
  }
  return best;
}

uint32_t Encoder::maxLengthAt(uint64_t pos, bool final) const {
  // At the end of an entry the last byte is left for the final block.
  uint64_t limit = std::min<uint64_t>(end_ - pos - (final ? 1 : 0), kMaxLength);
  // The Unarchiver (1.10) decodes into a window of the dictionary's size and
  // hands out data up to each multiple of it; a match running past one
  // overwrites the start of the window it has not handed out yet when the
  // window is 256 KB or less. Such matches stop at the multiple.
  if (dict_ <= (256 << 10)) limit = std::min<uint64_t>(limit, dict_ - ((pos - streamStart_) & dictMask_));
  return static_cast<uint32_t>(limit);
}

void Encoder::parse(bool final) {
  while (final ? cur_ + 1 < end_ : end_ - cur_ >= kLookAhead) {
    Match m;
    if (haveCarry_) {
      m = carry_;
      haveCarry_ = false;
    } else {
      m = search(cur_, maxLengthAt(cur_, final));
    }
    if (m.gain <= 0) {
      emitLiteral(cur_++);
      // Data without matches (already compressed, random) is searched more
      // and more sparsely; the first match found restores full search.
      if (++misses_ > kSkipAfter) {
        for (uint32_t skip = std::min<uint32_t>((misses_ - kSkipAfter) >> 6, 15);
             skip > 0 && (final ? cur_ + 1 < end_ : end_ - cur_ >= kLookAhead); --skip)
          emitLiteral(cur_++);
      }
      continue;
    }
    misses_ = 0;
    const bool roomForNext = final ? cur_ + 2 < end_ : end_ - (cur_ + 1) >= kLookAhead;
    if (lazy_ && m.length < niceLength_ && roomForNext) {
      // One byte later may start a better match; then this byte goes as a literal.
      Match next = search(cur_ + 1, maxLengthAt(cur_ + 1, final));
      if (next.gain > m.gain + 4) {
        emitLiteral(cur_++);
        carry_ = next;
        haveCarry_ = true;
        continue;
      }
      emitMatch(m);
      for (uint64_t p = cur_ + 2; p < cur_ + m.length; ++p)
        if (end_ - p >= 4) insert(p);
    } else {
      emitMatch(m);
      // The fast levels index only the start of a long match.
      const uint64_t indexed = cur_ + (m.length <= insertLimit_ ? m.length : 1);
      for (uint64_t p = cur_ + 1; p < indexed; ++p)
        if (end_ - p >= 4) insert(p);
    }
    cur_ += m.length;
  }
}

void Encoder::emitLiteral(uint64_t pos) {
  tokens_.push_back({*at(pos), 0, kLiteral});
  if (tokens_.size() >= kBlockTokens) flushBlock(false);
}

void Encoder::emitMatch(const Match& m) {
  if (m.repeat) {
    const uint32_t slot = m.dist, dist = reps_[slot];
    if (slot == 0 && m.length == lastLength_) {
      tokens_.push_back({m.length, 0, kLastLength});
    } else {
      tokens_.push_back({m.length, slot, kRepeat});
      for (uint32_t i = slot; i > 0; --i) reps_[i] = reps_[i - 1];
      reps_[0] = dist;
    }
  } else {
    tokens_.push_back({m.length, m.dist, kMatch});
    reps_[3] = reps_[2];
    reps_[2] = reps_[1];
    reps_[1] = reps_[0];
    reps_[0] = m.dist;
    knownReps_ = std::min(knownReps_ + 1, 4u);
  }
  lastLength_ = m.length;
  if (tokens_.size() >= kBlockTokens) flushBlock(false);
}

void Encoder::flushBlock(bool last) {
  uint32_t freq[kAllTables] = {};
  uint32_t* mainFreq = freq;
  uint32_t* distFreq = freq + kMainSize;
  uint32_t* lowFreq = distFreq + kDistSize;
  uint32_t* lenFreq = lowFreq + kLowSize;
  for (const Token& t : tokens_) {
    switch (t.kind) {
      case kLiteral: mainFreq[t.length]++; break;
      case kLastLength: mainFreq[kLastLengthSymbol]++; break;
      case kRepeat:
        mainFreq[kRepeatSymbol + t.dist]++;
        lenFreq[LengthSlot(t.length).symbol]++;
        break;
      case kMatch: {
        mainFreq[kMatchSymbol + LengthSlot(t.length - LengthBonus(t.dist)).symbol]++;
        const Slot d = DistanceSlot(t.dist);
        distFreq[d.symbol]++;
        if (d.bits >= 4) lowFreq[d.extra & 15]++;
        break;
      }
    }
  }
  // Each of the four tables gets its own length-limited canonical code.
  std::vector<uint8_t> lengths;
  std::vector<uint16_t> codes;
  for (size_t offset = 0; size_t size : {kMainSize, kDistSize, kLowSize, kLenSize}) {
    const auto tableLengths = CodeLengths(freq + offset, size);
    const auto tableCodes = CanonicalCodes(tableLengths.data(), size);
    lengths.insert(lengths.end(), tableLengths.begin(), tableLengths.end());
    codes.insert(codes.end(), tableCodes.begin(), tableCodes.end());
    offset += size;
  }
  const uint16_t* mainCode = codes.data();
  const uint16_t* distCode = mainCode + kMainSize;
  const uint16_t* lowCode = distCode + kDistSize;
  const uint16_t* lenCode = lowCode + kLowSize;
  const uint8_t* mainLen = lengths.data();
  const uint8_t* distLen = mainLen + kMainSize;
  const uint8_t* lowLen = distLen + kDistSize;
  const uint8_t* lenLen = lowLen + kLowSize;

  // The tables: first the 20 table-of-tables lengths as 4-bit values (15 is
  // followed by 0 for a real 15, or by n for n + 2 zeros), then the 430
  // lengths in its code.
  const auto runs = RunLengths(lengths.data(), lengths.size());
  uint32_t levelFreq[kLevelSize] = {};
  for (const auto& r : runs) levelFreq[r.symbol]++;
  const auto levelLen = CodeLengths(levelFreq, kLevelSize);
  const auto levelCode = CanonicalCodes(levelLen.data(), kLevelSize);
  BitWriter bits;
  for (size_t i = 0; i < kLevelSize;) {
    if (levelLen[i] == 0) {
      size_t zeros = 1;
      while (i + zeros < kLevelSize && levelLen[i + zeros] == 0 && zeros < 17) ++zeros;
      if (zeros >= 3) {
        bits.put(15, 4);
        bits.put(static_cast<uint32_t>(zeros - 2), 4);
        i += zeros;
        continue;
      }
    }
    bits.put(levelLen[i], 4);
    if (levelLen[i] == 15) bits.put(0, 4);
    ++i;
  }
  for (const auto& r : runs) {
    bits.put(levelCode[r.symbol], levelLen[r.symbol]);
    if (r.bits) bits.put(r.extra, r.bits);
  }

  for (const Token& t : tokens_) {
    switch (t.kind) {
      case kLiteral: bits.put(mainCode[t.length], mainLen[t.length]); break;
      case kLastLength: bits.put(mainCode[kLastLengthSymbol], mainLen[kLastLengthSymbol]); break;
      case kRepeat: {
        const unsigned sym = kRepeatSymbol + t.dist;
        bits.put(mainCode[sym], mainLen[sym]);
        const Slot l = LengthSlot(t.length);
        bits.put(lenCode[l.symbol], lenLen[l.symbol]);
        if (l.bits) bits.put(l.extra, l.bits);
        break;
      }
      case kMatch: {
        const Slot l = LengthSlot(t.length - LengthBonus(t.dist));
        const unsigned sym = kMatchSymbol + l.symbol;
        bits.put(mainCode[sym], mainLen[sym]);
        if (l.bits) bits.put(l.extra, l.bits);
        const Slot d = DistanceSlot(t.dist);
        bits.put(distCode[d.symbol], distLen[d.symbol]);
        if (d.bits >= 4) {
          if (d.bits > 4) bits.put(d.extra >> 4, d.bits - 4);
          bits.put(lowCode[d.extra & 15], lowLen[d.extra & 15]);
        } else if (d.bits) {
          bits.put(d.extra, d.bits);
        }
        break;
      }
    }
  }
  tokens_.clear();

  // Block header: flags (tables present, last block, size bytes - 1, bits
  // used in the last byte - 1), a check byte, then the size.
  const uint64_t bitCount = bits.bitCount();
  const std::string& body = bits.finish();
  const uint32_t size = static_cast<uint32_t>(body.size());
  if (size >= (1u << 24)) throw std::logic_error("rarwriter: block too large");
  const unsigned sizeBytes = size < 0x100 ? 1 : size < 0x10000 ? 2 : 3;
  const unsigned lastBits = static_cast<unsigned>(bitCount - 8 * (size - 1));
  const uint8_t flags = static_cast<uint8_t>(0x80 | (last ? 0x40 : 0) | ((sizeBytes - 1) << 3) | (lastBits - 1));
  char header[5];
  header[0] = static_cast<char>(flags);
  uint8_t check = 0x5A ^ flags;
  for (unsigned i = 0; i < sizeBytes; ++i) {
    const uint8_t b = static_cast<uint8_t>(size >> (8 * i));
    header[2 + i] = static_cast<char>(b);
    check ^= b;
  }
  header[1] = static_cast<char>(check);
  headers_.push_back({packed_, 2 + sizeBytes});
  out_->write(header, 2 + sizeBytes);
  out_->write(body.data(), body.size());
  packed_ += 2 + sizeBytes + body.size();
}

}  // namespace rarwriter::rar5
