// The decoder of RAR 2.9-4 data (unpack versions 29 and 36): blocks of LZ
// coded with four Huffman tables (literals and lengths, distances, the low
// bits of distances, lengths of repeated distances) or of PPMd text
// coding, switched at block boundaries, with filters over the output.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "unrar/Huffman.h"
#include "unrar/LzWindow.h"
#include "unrar/Ppmd.h"
#include "unrar/Rar3Filters.h"
#include "unrar/Unpacker.h"

namespace unrar {

class Unpack29 final : public Unpacker {
 public:
  explicit Unpack29(size_t dictBytes);
  int unpack(BitInput& in, uint64_t size, bool solid, const DataSink& sink) override;

 private:
  static constexpr unsigned kMainSize = 299, kDistSize = 60, kLowDistSize = 17, kRepSize = 28;
  static constexpr unsigned kTablesSize = kMainSize + kDistSize + kLowDistSize + kRepSize;

  // What ended a run of the block decoders.
  enum Stop { kError, kFileEnd, kNewBlock, kOutputDone };

  void restart();
  int readBlockHeader(BitInput& in);
  int readTables(BitInput& in);
  Stop decodeLz(BitInput& in);
  Stop decodePpm(BitInput& in);
  bool readLzFilter(BitInput& in);
  bool readPpmFilter(BitInput& in);
  // Writes out what is decoded when the window calls for it; false on error.
  bool flushIfDue();
  void rememberDistance(uint32_t dist) {
    oldDist_[3] = oldDist_[2];
    oldDist_[2] = oldDist_[1];
    oldDist_[1] = oldDist_[0];
    oldDist_[0] = dist;
  }

  size_t dictBytes_;
  LzWindow window_;
  HuffmanTable main_, dist_, lowDist_, rep_;
  HuffmanTable lengthCodes_;  // codes of the table lengths, while reading them
  uint8_t oldLengths_[kTablesSize] = {};
  bool tablesRead_ = false;
  bool ppmBlock_ = false;
  std::unique_ptr<PpmdModel> ppm_;
  int escChar_ = 2;
  uint32_t oldDist_[4] = {};
  uint32_t lastLength_ = 0;
  uint32_t prevLowDist_ = 0, lowDistRepeats_ = 0;
  Rar3Filters filters_;
  std::vector<uint8_t> filterBody_;

  // The entry being decoded.
  const DataSink* sink_ = nullptr;
  uint64_t fileStart_ = 0, fileEnd_ = 0, nextFlush_ = 0;
  uint64_t limit_ = 0;  // the position at which the decoders stop to look around
  int error_ = 0;
};

}  // namespace unrar
