// Header blocks of RAR 4 and RAR 5 volumes, parsed into one common form.
// Every header's CRC is checked; sizes are bounded by the volume's size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace unrar {

struct FileHeader {
  std::string name;  // UTF-8, '/' separated
  uint64_t packSize = 0;
  uint64_t unpSize = 0;
  bool unknownSize = false;
  uint32_t crc = 0;
  bool hasCrc = false;
  uint32_t attr = 0;
  unsigned hostOs = 3;    // 2 Windows-type host, 3 Unix-type host
  bool unixMode = false;  // attr holds a Unix st_mode
  uint32_t dosTime = 0;
  uint64_t mtime = 0, ctime = 0, atime = 0;  // FILETIME, 0 when absent
  unsigned unpVer = 0;
  unsigned method = 0;       // 0 store ... 5 best
  unsigned algoVersion = 0;  // RAR 5 compression algorithm version
  uint64_t dictKiB = 0;
  bool splitBefore = false, splitAfter = false, encrypted = false, solid = false, directory = false;
  unsigned redirType = 0;
  std::string redirTarget;  // UTF-8
  bool dirTarget = false;
  unsigned hashType = 0;  // RAR_HASH_*
  uint8_t blake2[32] = {};
  bool hasVersion = false;  // RAR 5 file version record: an older version
  uint64_t version = 0;     // of a file kept beside the current one
};

enum class BlockKind { Main, File, Service, End, Encryption, Other };

struct Block {
  BlockKind kind = BlockKind::Other;
  uint64_t dataOffset = 0;
  uint64_t dataSize = 0;
  uint64_t nextOffset = 0;
  unsigned archiveFlags = 0;  // ROADF_* for the main block
  bool hasVolumeNumber = false;
  uint64_t volumeNumber = 0;  // RAR 5 main block, RAR 4 end block
  bool nextVolume = false;    // end block: another volume follows
  FileHeader file;            // File and Service blocks
  std::vector<uint8_t> raw;   // the header bytes as stored
};

// Finds the RAR signature in the first MiB (self-extracting archives put
// code before it). Returns the offset after the signature, or -1.
int64_t findSignature(int fd, uint64_t fileSize, bool& rar5);

// Reads the block at `offset`. Returns 0, ERAR_END_ARCHIVE when `offset` is
// the end of the volume, or ERAR_BAD_DATA for a truncated or broken header.
int readBlock4(int fd, uint64_t offset, uint64_t fileSize, Block& b);
int readBlock5(int fd, uint64_t offset, uint64_t fileSize, Block& b);

bool preadAll(int fd, void* buf, size_t size, uint64_t offset);

}  // namespace unrar
