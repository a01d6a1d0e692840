// The decoder of RAR 5 data (algorithm versions 0 and 1): blocks of LZ
// coded with four Huffman tables (literals and lengths, distances, the low
// bits of distances, lengths of repeated distances), each block led by a
// small header with a check byte, and DELTA, E8, E8E9 and ARM filters over
// the output. Version 1 has more distance slots (dictionaries past 4 GB).
//
// The window grows with the stream up to the dictionary's size: a small
// entry costs memory for its own size, not for what its header declares.
#pragma once

#include <cstdint>
#include <vector>

#include "unrar/Huffman.h"
#include "unrar/LzWindow.h"
#include "unrar/Unpacker.h"

namespace unrar {

class Unpack50 final : public Unpacker {
 public:
  // `extendedDistances`: algorithm version 1.
  Unpack50(uint64_t dictBytes, bool extendedDistances);
  void setDictionary(uint64_t dictBytes) override;
  int unpack(BitInput& in, uint64_t size, bool solid, const DataSink& sink) override;

  // The largest window this machine gives a stream: part of its memory,
  // and never more than the format's largest dictionary.
  static uint64_t windowLimit();

 private:
  static constexpr unsigned kMainSize = 306, kLowDistSize = 16, kRepSize = 44;
  static constexpr unsigned kMaxDistSize = 80;
  static constexpr unsigned kMaxTablesSize = kMainSize + kMaxDistSize + kLowDistSize + kRepSize;

  enum class FilterType : uint8_t { Delta, E8, E8E9, Arm };
  struct Filter {
    uint64_t start;  // window position of the block's first byte
    uint32_t length;
    FilterType type;
    uint8_t channels;  // DELTA
  };

  void restart();
  int readBlockHeader(BitInput& in);
  int readTables(BitInput& in);
  int decodeBlocks(BitInput& in);
  int readFilter(BitInput& in);
  // Hands out the decoded bytes up to `upTo`, filtered where a filter
  // covers them; a filter block not yet decoded in full holds back the
  // bytes from its start on.
  int flush(uint64_t upTo);
  int applyFilter(const Filter& f);
  // Writes out what is due and makes room for the next run of decoding.
  int flushIfDue();
  int growWindow(uint64_t upTo);
  void rememberDistance(uint64_t dist) {
    oldDist_[3] = oldDist_[2];
    oldDist_[2] = oldDist_[1];
    oldDist_[1] = oldDist_[0];
    oldDist_[0] = dist;
  }

  uint64_t dictBytes_;
  const unsigned distSize_;
  LzWindow window_;
  uint64_t fullWindow_ = 0;  // the window once the stream is longer than the dictionary
  HuffmanTable main_, dist_, lowDist_, rep_;
  HuffmanTable lengthCodes_;  // codes of the table lengths, while reading them
  bool tablesRead_ = false;
  uint64_t oldDist_[4] = {};
  uint32_t lastLength_ = 0;

  // The block being decoded.
  uint64_t blockEnd_ = 0;  // bit position after its last bit
  bool lastBlock_ = false;

  // The entry being decoded.
  const DataSink* sink_ = nullptr;
  std::vector<Filter> filters_;  // in stream order
  size_t nextFilter_ = 0;        // the first not yet applied
  std::vector<uint8_t> filterIn_, filterOut_;
  uint64_t fileStart_ = 0, fileEnd_ = 0, nextFlush_ = 0;
  uint64_t limit_ = 0;  // the position at which the decoder stops to look around
};

}  // namespace unrar
