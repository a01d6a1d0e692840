#pragma once
// Byte-level encoding of the RAR 4 and RAR 5 blocks the writer emits. Every
// function returns a complete block (header CRC included); the writer decides
// where the blocks go.
#include "tools/Rar5Crypt.h"
#include "tools/RarWriter.h"

#include <array>
#include <cstdint>
#include <optional>
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
  const rar5::Keys* headerKeys = nullptr;  // RAR 5 headers encrypted for real
};

// An entry whose data is encrypted for real: its key and the IV of its data.
struct CryptRecord {
  const rar5::Keys* keys = nullptr;
  rar5::Iv iv{};
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
  uint64_t compression = 0;                       // RAR 5 method and dictionary bits
  std::optional<std::array<uint8_t, 32>> blake2;  // a hash record instead of the CRC
  const CryptRecord* crypt = nullptr;
};

Bytes Signature(Format format);
// Optional block written right after the signature (RAR 5 header encryption).
Bytes PreMainBlock(const ArchiveInfo& info);
Bytes MainBlock(const ArchiveInfo& info, size_t volumeIndex);
Bytes CommentBlock(const ArchiveInfo& info, const std::string& comment);
Bytes FileBlock(const ArchiveInfo& info, const EntryPart& part);
Bytes EndBlock(const ArchiveInfo& info, size_t volumeIndex, bool lastVolume);
// A header block as it goes into the archive: with RAR 5 header encryption,
// a fresh IV followed by the block encrypted (padded to whole AES blocks).
Bytes Protect(const ArchiveInfo& info, const Bytes& block);
// RAR 5 compression information: the method (0 stores, 1-5) and the
// dictionary size.
uint64_t CompressionInfo(int method, uint64_t dictionary);

// MS-DOS date and time of `unixTime` in local time (1980-01-01 at the earliest).
uint32_t DosTime(int64_t unixTime);

}  // namespace rarwriter::blocks
