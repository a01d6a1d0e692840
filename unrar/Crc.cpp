#include <isa-l/crc.h>

#include "unrar/Bytes.h"

namespace unrar {

// Same value as zlib's crc32(); ISA-L uses carry-less multiply instructions.
uint32_t crc32(uint32_t crc, const void* data, size_t size) {
  return crc32_gzip_refl(crc, static_cast<const unsigned char*>(data), size);
}

}  // namespace unrar
