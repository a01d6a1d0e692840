#include "unrar/Unpacker.h"

#include "unrar/Unpack15.h"
#include "unrar/Unpack20.h"
#include "unrar/Unpack29.h"

namespace unrar {

int unpackFamily(unsigned unpVer) {
  switch (unpVer) {
    case 15: return 15;
    case 20:
    case 26: return 20;
    case 29:
    case 36: return 29;
    default: return 0;
  }
}

std::unique_ptr<Unpacker> makeUnpacker(unsigned unpVer, size_t dictBytes) {
  switch (unpackFamily(unpVer)) {
    case 15: return std::make_unique<Unpack15>(dictBytes);
    case 20: return std::make_unique<Unpack20>(dictBytes);
    case 29: return std::make_unique<Unpack29>(dictBytes);
    default: return nullptr;  // the decoders join here as they are built
  }
}

}  // namespace unrar
