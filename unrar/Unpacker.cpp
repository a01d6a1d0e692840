#include "unrar/Unpacker.h"

#include "unrar/Bytes.h"
#include "unrar/Unpack15.h"
#include "unrar/Unpack20.h"
#include "unrar/Unpack29.h"
#include "unrar/Unpack50.h"

namespace unrar {

int unpackFamily(unsigned unpVer) {
  switch (unpVer) {
    case 15: return 15;
    case 20:
    case 26: return 20;
    case 29:
    case 36: return 29;
    case 50: return 50;
    case 70: return 70;
    default: return 0;
  }
}

std::unique_ptr<Unpacker> makeUnpacker(unsigned unpVer, size_t dictBytes) {
  switch (unpackFamily(unpVer)) {
    case 15: return std::make_unique<Unpack15>(dictBytes);
    case 20: return std::make_unique<Unpack20>(dictBytes);
    case 29: return std::make_unique<Unpack29>(dictBytes);
    case 50: return std::make_unique<Unpack50>(dictBytes, false);
    case 70: return std::make_unique<Unpack50>(dictBytes, true);
    default: return nullptr;
  }
}

bool decodeRar4Comment(unsigned unpVer, const std::vector<uint8_t>& packed, uint64_t unpSize, uint32_t crc,
                       uint64_t limit, std::string& comment, uint32_t crcMask) {
  if (unpSize > limit) return false;
  auto unpacker = makeUnpacker(unpVer, 0);
  if (!unpacker) return false;
  BitInput in(memorySource(packed.data(), packed.size()));
  std::string text;
  int r = unpacker->unpack(in, unpSize, false, [&](const uint8_t* data, size_t size) {
    text.append(reinterpret_cast<const char*>(data), size);
    return 0;
  });
  if (r != 0 || text.size() != unpSize || (crc32(0, text.data(), text.size()) & crcMask) != crc) return false;
  comment = std::move(text);
  return true;
}

}  // namespace unrar
