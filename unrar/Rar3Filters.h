// RAR 2.9-4 filters: transforms the compressor applied to blocks of the
// output (x86 call addresses, Itanium branches, delta, RGB and audio
// prediction). The stream defines each filter as a small program for a
// virtual machine; the archivers only ever write six standard programs,
// which are recognised by the length and CRC-32 of their byte code and run
// here natively. A block's output is held back until the whole block is
// decoded, then filtered and handed out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "unrar/DataSink.h"
#include "unrar/LzWindow.h"

namespace unrar {

class Rar3Filters {
 public:
  // A new stream: forgets the programs and the pending filters.
  void reset();

  // Reads one filter record: `flags` is its first byte, `body` the bytes
  // after its length field; `pos` is the window position at which the
  // record was decoded (block starts are relative to it). Returns 0,
  // ERAR_BAD_DATA or ERAR_UNKNOWN_FORMAT (a program that is not standard).
  int add(uint8_t flags, const uint8_t* body, size_t size, uint64_t pos);

  // Hands out the window's bytes up to `upTo`, running every filter whose
  // block is complete by then. Stops before a block not yet complete (its
  // bytes are handed out on a later call). `fileStart` is the window
  // position of the entry's first byte (the x86 filters see offsets in the
  // file). Returns 0, ERAR_BAD_DATA or the sink's code.
  int flush(LzWindow& window, uint64_t upTo, uint64_t fileStart, const DataSink& sink);

 private:
  enum class Type : uint8_t { Unknown, E8, E8E9, Itanium, Delta, Rgb, Audio };
  struct Program {
    Type type;
    uint32_t lastLength;
  };
  struct Pending {
    uint64_t start;
    uint32_t length;
    Type type;
    uint32_t r[7];
  };

  static Type identify(const std::vector<uint8_t>& code);
  // Runs `f` on the first bytes of mem_; sets the filtered bytes' place.
  bool run(const Pending& f, uint32_t fileOffset, uint8_t*& out, uint32_t& outSize);

  std::vector<Program> programs_;
  std::deque<Pending> pending_;
  size_t last_ = 0;           // program of the previous record
  std::vector<uint8_t> mem_;  // the block being filtered and the output (made on first use)
};

}  // namespace unrar
