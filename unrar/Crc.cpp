#include <isa-l/crc.h>

#include "platform/CrcWide.h"
#include "unrar/Bytes.h"

namespace unrar {

namespace {

// ISA-L's CRC on a raw register (no complement in or out).
uint32_t rawIsal(uint32_t crc, const void* data, size_t size) {
  return size ? ~crc32_gzip_refl(~crc, static_cast<const unsigned char*>(data), size) : crc;
}

}  // namespace

// Same value as zlib's crc32(); ISA-L uses carry-less multiply instructions,
// and CPUs with 256-bit ones but without AVX-512 take the wider kernel.
uint32_t crc32(uint32_t crc, const void* data, size_t size) {
  if (size >= platform::kWideCrcMinimum && platform::WideCrcPreferred())
    return ~platform::Crc32UpdateWide(~crc, data, size, rawIsal);
  return crc32_gzip_refl(crc, static_cast<const unsigned char*>(data), size);
}

}  // namespace unrar
