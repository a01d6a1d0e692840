#pragma once
// Byte-level encoding of the RAR 4 and RAR 5 blocks the stored-archive writer
// emits. Every function returns a complete block (header CRC included); the
// writer decides where the blocks go.
#include "tools/RarWriter.h"

#include <cstdint>
#include <string>

namespace rarwriter::blocks {

using Bytes = std::string;

inline constexpr char kRar4Signature[] = "Rar!\x1a\x07\x00";      // 7 bytes
inline constexpr char kRar5Signature[] = "Rar!\x1a\x07\x01\x00";  // 8 bytes

// Archive-wide facts every main and end block needs.
struct ArchiveInfo {
  Format format = Format::Rar5;
  Host host = Host::Unix;
  bool volumeSet = false;  // written with a volume size
  bool newNumbering = false;
  bool solid = false;
  bool encryptedHeaders = false;
};

// One piece of an entry: the whole entry, or the part of a split entry that
// lies in one volume.
struct EntryPart {
  const RarEntry* entry = nullptr;
  uint64_t unpackedSize = 0;  // size of the whole entry
  uint64_t partSize = 0;      // bytes of this part
  uint32_t crc = 0;           // CRC of the part (split, not last) or of the whole entry
  bool splitBefore = false;
  bool splitAfter = false;
  bool solid = false;  // continues the solid stream of earlier entries
  bool breakHeaderCrc = false;
};

Bytes Signature(Format format);
// Optional block written right after the signature (RAR 5 header encryption).
Bytes PreMainBlock(const ArchiveInfo& info);
Bytes MainBlock(const ArchiveInfo& info, size_t volumeIndex);
Bytes CommentBlock(const ArchiveInfo& info, const std::string& comment);
Bytes FileBlock(const ArchiveInfo& info, const EntryPart& part);
Bytes EndBlock(const ArchiveInfo& info, size_t volumeIndex, bool lastVolume);

// MS-DOS date and time of `unixTime` in local time (1980-01-01 at the earliest).
uint32_t DosTime(int64_t unixTime);

}  // namespace rarwriter::blocks
