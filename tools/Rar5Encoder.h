#pragma once
// RAR 5 LZ compressor: hash-chain match finder (greedy, or lazy by one byte
// from level 3 on) and the format's Huffman-coded blocks. Each entry's packed
// data is a run of blocks, each with its own tables; the last block of an
// entry carries the last-block flag. A solid stream keeps the history (and
// the decoder's repeat distances) from one entry to the next.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace rarwriter::rar5 {

inline constexpr uint64_t kMinDictionary = 128 << 10;

// Receives the packed bytes.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual void write(const char* data, size_t size) = 0;
};

struct EncoderOptions {
  int level = 3;                   // 1 (fastest) … 5 (best), the header's method
  uint64_t dictionary = 4u << 20;  // 128 KB << n; the farthest a match reaches
};

// Where a block header sits in an entry's packed data. A volume must not end
// inside one, nor right behind it (a block keeps at least one byte with its
// header), or libarchive cannot join the block across volumes.
struct BlockHeaderSpan {
  uint64_t offset;
  uint32_t length;
};

class Encoder {
 public:
  explicit Encoder(const EncoderOptions& options);
  ~Encoder();
  Encoder(const Encoder&) = delete;
  Encoder& operator=(const Encoder&) = delete;

  // Starts an entry. `solid` continues from the entries before it; otherwise
  // no match reaches back before this entry.
  void beginEntry(bool solid, ByteSink& out);
  void write(const void* data, size_t size);
  // Codes what is left of the entry; its last block is flagged as such.
  void finishEntry();

  // Block headers of the current (or just finished) entry.
  const std::vector<BlockHeaderSpan>& blockHeaders() const { return headers_; }
  uint64_t packedSize() const { return packed_; }
  uint64_t dictionary() const { return dict_; }

 private:
  struct Token {
    uint32_t length;  // literal: the byte
    uint32_t dist;    // match: the distance; repeat: the cache slot
    uint8_t kind;
  };
  struct Match {
    uint32_t length = 0;
    uint32_t dist = 0;  // distance, or cache slot for a repeat
    bool repeat = false;
    int32_t gain = 0;  // estimated bits saved over literals
  };

  uint32_t maxLengthAt(uint64_t pos, bool final) const;
  void parse(bool final);
  Match search(uint64_t pos, uint32_t maxLength);
  void insert(uint64_t pos);
  void emitLiteral(uint64_t pos);
  void emitMatch(const Match& m);
  void flushBlock(bool last);
  void slide();
  const uint8_t* at(uint64_t pos) const { return buf_.data() + (pos - bufBase_); }

  uint64_t dict_, maxDist_, dictMask_;
  unsigned depth_, niceLength_;
  bool lazy_;
  uint32_t insertLimit_;
  uint32_t misses_ = 0;  // positions searched in a row without a match
  unsigned hashBits_;
  std::vector<uint8_t> buf_;  // history and look-ahead, from bufBase_
  uint64_t bufBase_ = 0, end_ = 0, cur_ = 0;
  uint64_t entryStart_ = 0;   // matches reach no further back
  uint64_t streamStart_ = 0;  // where the decoder's window starts filling
  std::vector<uint32_t> head_, prev_;
  uint32_t reps_[4] = {};
  unsigned knownReps_ = 0;  // cache slots filled in this entry
  uint32_t lastLength_ = 0;
  Match carry_;  // the lazy look-ahead's match at cur_, if any
  bool haveCarry_ = false;
  std::vector<Token> tokens_;
  ByteSink* out_ = nullptr;
  uint64_t packed_ = 0;
  std::vector<BlockHeaderSpan> headers_;
};

}  // namespace rarwriter::rar5
