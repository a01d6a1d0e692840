#include "unrar/OldComment.h"

#include <algorithm>

#include "unrar/Bytes.h"
#include "unrar/Unpacker.h"

namespace unrar {

namespace {

constexpr size_t kMainHeaderSize = 13;
// Type 0x75; then the unpacked size (2 bytes), the unpack version, the
// method and the low 16 bits of the text's CRC-32 (2 bytes).
constexpr size_t kCommentHeaderSize = 13;
constexpr unsigned kCommentType = 0x75;
constexpr unsigned kStored = 0x30, kBest = 0x35;

}  // namespace

bool readOldComment(const std::vector<uint8_t>& mainHeader, uint64_t limit, std::string& text) {
  if (mainHeader.size() < kMainHeaderSize + kCommentHeaderSize) return false;
  const uint8_t* h = mainHeader.data() + kMainHeaderSize;
  const size_t size = h[5] | h[6] << 8;
  const size_t unpSize = h[7] | h[8] << 8;
  const unsigned unpVer = h[9], method = h[10], crc = h[11] | h[12] << 8;
  if (h[2] != kCommentType || size < kCommentHeaderSize || size > mainHeader.size() - kMainHeaderSize) return false;
  const uint8_t* packed = h + kCommentHeaderSize;
  const size_t packedSize = size - kCommentHeaderSize;

  std::string out;
  if (method == kStored) {
    out.assign(reinterpret_cast<const char*>(packed), packedSize);
    if ((crc32(0, out.data(), out.size()) & 0xFFFF) != crc) return false;
  } else if (method > kBest || !decodeRar4Comment(unpVer, std::vector<uint8_t>(packed, packed + packedSize), unpSize,
                                                  crc, unpSize, out, 0xFFFF)) {
    return false;
  }
  text = out.substr(0, size_t(std::min<uint64_t>(limit, out.size())));
  return true;
}

}  // namespace unrar
