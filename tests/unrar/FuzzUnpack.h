// libFuzzer body shared by the decoder targets. The input starts with the
// unpacked sizes of two entries (three bytes each, up to 1 MiB) and the
// packed size of the first (two bytes); the packed data follows, the
// second entry's continuing the first as the next entry of a solid archive.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "unrar/Unpacker.h"

inline int fuzzUnpack(unsigned unpVer, const uint8_t* data, size_t size) {
  if (size < 8) return 0;
  auto field = [&](size_t at, size_t bytes) {
    uint64_t v = 0;
    for (size_t i = 0; i < bytes; ++i) v |= uint64_t(data[at + i]) << (8 * i);
    return v;
  };
  const uint64_t sizes[2] = {field(0, 3) & 0xFFFFF, field(3, 3) & 0xFFFFF};
  const size_t firstPacked = std::min<size_t>(field(6, 2), size - 8);
  const uint8_t* parts[2] = {data + 8, data + 8 + firstPacked};
  const size_t lengths[2] = {firstPacked, size - 8 - firstPacked};
  // One decoder for every input, as one serves a whole archive: the first
  // entry is not solid, so it starts the decoder's state afresh.
  static const std::unique_ptr<unrar::Unpacker> unpacker = unrar::makeUnpacker(unpVer, size_t(1) << 20);
  if (!unpacker) abort();
  for (int e = 0; e < 2; ++e) {
    unrar::BitInput in(unrar::memorySource(parts[e], lengths[e]));
    uint64_t produced = 0;
    const int r = unpacker->unpack(in, sizes[e], e == 1, [&](const uint8_t*, size_t n) {
      produced += n;
      return 0;
    });
    if (r) break;
    if (produced != sizes[e]) abort();  // success hands out exactly the entry's size
  }
  return 0;
}
