// Decoders of RAR compressed data (unpack versions 15, 20, 26, 29 and 36 of
// RAR 1.5-4; 50 and 70 of RAR 5, algorithm versions 0 and 1), behind one
// interface. One decoder serves a whole archive, so the
// state of a solid stream (window, tables, models) carries from entry to
// entry, across volumes too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "unrar/BitInput.h"
#include "unrar/DataSink.h"

namespace unrar {

class Unpacker {
 public:
  virtual ~Unpacker() = default;
  // Decodes one entry of `size` bytes from `in`, handing them to `sink` in
  // chunks as they are decoded. With `solid`, the entry continues the
  // stream of the entry before it. Returns 0 or an ERAR_* code:
  // ERAR_BAD_DATA for damaged data, ERAR_UNKNOWN_FORMAT for a feature the
  // decoder does not have, ERAR_NO_MEMORY, or the source's or sink's code.
  // After a failure the next entry must not be solid with this one.
  virtual int unpack(BitInput& in, uint64_t size, bool solid, const DataSink& sink) = 0;
  // An entry that continues the stream may declare a larger dictionary
  // than the stream's first one; decoders whose window follows the
  // dictionary take it.
  virtual void setDictionary(uint64_t /*dictBytes*/) {}
};

// The decoder for `unpVer` with a window of at least `dictBytes`; null for
// a version it does not know.
std::unique_ptr<Unpacker> makeUnpacker(unsigned unpVer, size_t dictBytes);

// Decodes a compressed RAR 4 archive comment (the data of a "CMT"
// sub-block) of `unpSize` bytes and checks it against `crc` (the bits of
// the CRC-32 in `crcMask`: RAR 2.x comments keep only its low 16). False
// when it is damaged or longer than `limit`.
bool decodeRar4Comment(unsigned unpVer, const std::vector<uint8_t>& packed, uint64_t unpSize, uint32_t crc,
                       uint64_t limit, std::string& comment, uint32_t crcMask = 0xFFFFFFFF);

// Unpack versions one decoder object handles alike (a solid stream keeps
// its decoder only while the family stays the same).
int unpackFamily(unsigned unpVer);

}  // namespace unrar
