// libFuzzer target: arbitrary bytes as a run of PPMd blocks, read the way
// the RAR 2.9 decoder reads them: a block header, bytes up to the escape
// code that ends the block, then the next block's header, which may go on
// with the same model.
#include <cstddef>
#include <cstdint>

#include "tests/common/FuzzTarget.h"
#include "unrar/BitInput.h"
#include "unrar/Ppmd.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  unrar::BitInput in(unrar::memorySource(data, size));
  unrar::PpmdModel model;
  int escChar = 2;
  // Bounds the work per input: a few bits can stand for many bytes.
  size_t budget = 1 << 18;
  for (;;) {
    if (model.init(in, escChar) != 0) return 0;
    for (;;) {
      if (budget-- == 0) return 0;
      int c = model.decodeChar(in);
      if (c < 0) return 0;
      if (c != escChar) continue;
      c = model.decodeChar(in);
      if (c < 0 || c == 2) return 0;  // damaged, or the end of the stream
      if (c == 0) break;              // the block ends: another header follows
    }
  }
}
