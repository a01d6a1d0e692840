// libFuzzer target: arbitrary bytes as the packed data of one decoder
// family (FUZZ_UNPACK_VERSION: 15, 20, 29 or 50), decoded as one entry and,
// when the first byte says so, a second entry that continues the stream.
// Byte 0: bit 0 = two entries; bytes 1-3: each entry's size (at most 1 MiB).
#include <cstdint>
#include <cstdlib>

#include "tests/common/FuzzTarget.h"
#include "unrar/Unpacker.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const bool twoEntries = data[0] & 1;
  // Bounds the work per input: a few bits can stand for many bytes.
  const uint64_t entrySize = (uint64_t(data[1]) | uint64_t(data[2]) << 8 | uint64_t(data[3]) << 16) & 0xFFFFF;
  data += 4;
  size -= 4;
  const size_t split = twoEntries ? size / 2 : size;
  // One decoder for all inputs, as one serves a whole archive: the first
  // entry is not solid, so nothing carries over from the input before.
  static auto unpacker = unrar::makeUnpacker(FUZZ_UNPACK_VERSION, 4u << 20);
  if (!unpacker) abort();
  for (int entry = 0; entry < (twoEntries ? 2 : 1); ++entry) {
    const uint8_t* packed = entry == 0 ? data : data + split;
    const size_t packedSize = entry == 0 ? split : size - split;
    unrar::BitInput in(unrar::memorySource(packed, packedSize));
    uint64_t produced = 0;
    int r = unpacker->unpack(in, entrySize, entry > 0, [&](const uint8_t*, size_t n) {
      produced += n;
      return 0;
    });
    if (produced > entrySize || (r == 0 && produced != entrySize)) abort();  // exactly the entry's size, or an error
    if (r) return 0;
  }
  return 0;
}
