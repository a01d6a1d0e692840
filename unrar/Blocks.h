// Header blocks of RAR 4 and RAR 5 volumes, parsed into one common form.
// Every header's CRC is checked; sizes are bounded by the volume's size.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "unrar/Crypt.h"

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
  bool hasSalt = false;     // RAR 3 encrypted entry: its key's salt
  uint8_t salt[8] = {};
  std::vector<uint8_t> cryptRecord;  // RAR 5 encrypted entry: its encryption record
};

enum class BlockKind { Main, File, Service, End, Encryption, Other };

struct Block {
  BlockKind kind = BlockKind::Other;
  uint64_t dataOffset = 0;
  uint64_t dataSize = 0;
  uint64_t nextOffset = 0;
  unsigned archiveFlags = 0;  // ROADF_* for the main block
  bool hasVolumeNumber = false;
  uint64_t volumeNumber = 0;    // RAR 5 main block, RAR 4 end block
  bool nextVolume = false;      // end block: another volume follows
  FileHeader file;              // File and Service blocks
  std::vector<uint8_t> raw;     // the header bytes (decrypted when encrypted)
  unsigned encryptVersion = 0;  // RAR 3 main block: the encryption version it names, 0 if none
};

// The cipher of an encrypted header: every header of such an archive is
// preceded by `prefix` bytes (RAR 3: its salt, RAR 5: its IV) from which
// `cipherFor` makes the cipher for that header. A null cipher means no key
// can be had (no memory); the header is then reported as unreadable.
struct HeaderCrypt {
  size_t prefix = 0;
  std::function<std::unique_ptr<Cipher>(const uint8_t* prefix)> cipherFor;
};

// Finds the RAR signature in the first MiB (self-extracting archives put
// code before it). Returns the offset after the signature, or -1.
int64_t findSignature(int fd, uint64_t fileSize, bool& rar5);

// Reads the block at `offset`. Returns 0, ERAR_END_ARCHIVE when `offset` is
// the end of the volume, or ERAR_BAD_DATA for a truncated or broken header.
// With `crypt`, the header is decrypted first and the block's data starts
// after the header's padding to a whole cipher block.
int readBlock4(int fd, uint64_t offset, uint64_t fileSize, Block& b, const HeaderCrypt* crypt = nullptr);
int readBlock5(int fd, uint64_t offset, uint64_t fileSize, Block& b, const HeaderCrypt* crypt = nullptr);

// Reads the header at `offset` into `raw`: `head` bytes first, from which
// `total` tells the header's whole length (0 when they cannot start a
// header), then the rest. `span` is what the header takes up in the file:
// its length, or with `crypt` the prefix and the header padded to 16 bytes.
int readHeaderBytes(int fd, uint64_t offset, uint64_t fileSize, size_t head,
                    const std::function<size_t(const uint8_t*)>& total, const HeaderCrypt* crypt,
                    std::vector<uint8_t>& raw, uint64_t& span);

bool preadAll(int fd, void* buf, size_t size, uint64_t offset);

}  // namespace unrar
