// The decoder of RAR 1.5 compressed data (unpack version 15). Its codes are
// fixed, but what they stand for adapts as data is decoded: literals,
// distance high bytes, recent short distances and flag bytes each sit in a
// list ordered by use, and a code names a place in a list. Flag bits choose
// between literals, short matches and long matches; running averages of
// lengths and places choose which of the fixed codes is in use.
#pragma once

#include <cstddef>
#include <cstdint>

#include "unrar/LzWindow.h"
#include "unrar/Unpacker.h"

namespace unrar {

class Unpack15 final : public Unpacker {
 public:
  explicit Unpack15(size_t dictBytes) : dictBytes_(dictBytes) {}
  int unpack(BitInput& in, uint64_t size, bool solid, const DataSink& sink) override;

 private:
  // A list ordered by use: each entry holds a value in its high byte and a
  // use count in its low byte; `next[count]` is where an entry goes when
  // its count rises (entries move up past those with a lower count).
  struct UseList {
    uint16_t entry[256];
    uint8_t next[256];
    void renumber();
    // Counts one use of the entry at `place` and moves it; returns the
    // entry after the count. `limit` is the count that renumbers the list.
    uint16_t use(unsigned place, unsigned limit);
  };

  void reset();
  bool readFlags(BitInput& in);
  bool literal(BitInput& in);
  bool shortMatch(BitInput& in);
  bool longMatch(BitInput& in);
  bool match(uint32_t dist, uint32_t len);
  bool recentMatch(uint32_t dist, uint32_t len);

  size_t dictBytes_;
  LzWindow window_;
  UseList literals_, distances_, flags_;
  uint8_t shortDist_[256];  // recent short distances, most used first
  uint32_t recent_[4] = {};
  unsigned recentPos_ = 0;
  uint32_t lastDist_ = 0, lastLength_ = 0;
  // Running averages and weights that pick the codes.
  unsigned avrPlc_ = 0, avrPlcB_ = 0, avrLn1_ = 0, avrLn2_ = 0, avrLn3_ = 0;
  unsigned literalWeight_ = 0, matchWeight_ = 0;
  unsigned maxDist3_ = 0;
  unsigned literalRun_ = 0;  // literals in a row; a long run switches to literal mode
  bool literalMode_ = false;
  bool altShortCodes_ = false;
  unsigned repeats_ = 0;  // short repeats of the last match in a row
  uint32_t flagBits_ = 0;
  int flagsLeft_ = 0;
};

}  // namespace unrar
