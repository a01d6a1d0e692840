// The PPMd variant H model of RAR 2.9-4 archives: the text blocks of their
// compressed data are coded with it (an order-N context model over bytes
// driving a range decoder). The model lives in an arena the stream sizes
// (1-256 MB); when the arena is full the model starts over. In a solid
// stream one model carries from block to block and entry to entry.
#pragma once

#include <cstdint>
#include <memory>

#include "unrar/BitInput.h"

namespace unrar {

class PpmdModel {
 public:
  PpmdModel();
  ~PpmdModel();
  PpmdModel(const PpmdModel&) = delete;
  PpmdModel& operator=(const PpmdModel&) = delete;

  // Reads a PPMd block header at the current (byte-aligned) position: the
  // flags byte (0x80 = PPMd block, 0x20 = a new model: a memory-size byte
  // follows, 0x40 = an escape-char byte follows; low 5 bits = order), the
  // memory byte before the escape byte, then starts the range decoder.
  // Without 0x20 the previous model goes on (an error if there is none).
  // Returns 0, ERAR_BAD_DATA or ERAR_NO_MEMORY; `escChar` is updated when
  // the block sets it (the caller starts it at 2 for a new stream).
  int init(BitInput& in, int& escChar);
  // Decodes one byte, or -1 for damaged data (after which init() must
  // start a new model before the next decodeChar()).
  int decodeChar(BitInput& in);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace unrar
