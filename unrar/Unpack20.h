// The decoder of RAR 2.0 compressed data (unpack versions 20 and 26): LZ
// with three Huffman tables and a cache of four recent distances, and
// multimedia blocks of up to four interleaved channels coded as
// differences from a predicted sample. A new set of tables may replace the
// current one at any point, given as changes to the old code lengths.
#pragma once

#include <cstddef>
#include <cstdint>

#include "unrar/Audio20.h"
#include "unrar/Huffman.h"
#include "unrar/LzWindow.h"
#include "unrar/Unpacker.h"

namespace unrar {

class Unpack20 final : public Unpacker {
 public:
  explicit Unpack20(size_t dictBytes) : dictBytes_(dictBytes) {}
  int unpack(BitInput& in, uint64_t size, bool solid, const DataSink& sink) override;

 private:
  static constexpr unsigned kMainSymbols = 298, kDistSymbols = 48, kRepSymbols = 28;
  static constexpr unsigned kAudioSymbols = 257, kMaxChannels = 4;

  void reset();
  bool readTables(BitInput& in);
  int decode(BitInput& in, uint64_t end, const DataSink& sink);
  bool match(uint32_t dist, uint32_t len);

  size_t dictBytes_;
  LzWindow window_;
  HuffmanTable pre_, main_, dist_, rep_, audioTables_[kMaxChannels];
  uint8_t lengths_[kAudioSymbols * kMaxChannels] = {};  // kept for the next tables' changes
  bool tablesRead_ = false;
  bool audio_ = false;
  unsigned channels_ = 1, channel_ = 0;
  int crossDelta_ = 0;
  AudioChannel20 audioChannels_[kMaxChannels];
  uint32_t recent_[4] = {};  // recent distances, a ring with recentPos_ the next slot
  unsigned recentPos_ = 0;
  uint32_t lastDist_ = 0, lastLength_ = 0;
};

}  // namespace unrar
