// RAR 1.5 - 4.x header blocks.
#include <unistd.h>
#include <cstring>

#include "unrar/Blocks.h"
#include "unrar/Bytes.h"
#include "unrar/Text.h"
#include "unrar/unrar.h"

namespace unrar {

namespace {

enum : uint8_t { kMain = 0x73, kFile = 0x74, kNewSub = 0x7A, kEnd = 0x7B };

// Extended times: for mtime, ctime, atime a 4-bit mode (present, +1 s,
// count of 100 ns fraction bytes) and, except for mtime, a DOS time. A
// field cut short is ignored as a whole: the entry keeps the times it has.
void parseExtTime(ByteCursor c, FileHeader& f) {
  unsigned flags = c.u16();
  uint64_t times[3] = {f.mtime, f.ctime, f.atime};
  uint64_t* fields[3] = {&times[0], &times[1], &times[2]};
  for (int i = 0; i < 4 && c.ok(); ++i) {
    unsigned mode = flags >> ((3 - i) * 4);
    if (!(mode & 8)) continue;
    uint32_t dos = i == 0 ? f.dosTime : c.u32();
    unsigned count = mode & 3;
    uint32_t fraction = 0;
    for (unsigned j = 0; j < count; ++j) fraction |= uint32_t(c.u8()) << ((j + 3 - count) * 8);
    if (i == 3 || !c.ok()) continue;
    int64_t secs = int64_t(dosToUnix(dos)) + ((mode & 4) ? 1 : 0);
    *fields[i] = unixNsToFiletime(secs * 1000000000LL) + fraction;
  }
  if (!c.ok()) return;
  f.mtime = times[0];
  f.ctime = times[1];
  f.atime = times[2];
}

void parseFile(ByteCursor& c, unsigned flags, Block& b) {
  FileHeader& f = b.file;
  uint32_t packLow = c.u32();
  uint32_t unpLow = c.u32();
  unsigned host = c.u8();
  f.crc = c.u32();
  f.hasCrc = true;
  f.dosTime = c.u32();
  f.unpVer = c.u8();
  unsigned method = c.u8();
  f.method = method >= 0x30 ? method - 0x30 : method;
  unsigned nameSize = c.u16();
  f.attr = c.u32();
  uint64_t packHigh = 0, unpHigh = 0;
  if (flags & 0x0100) {
    packHigh = c.u32();
    unpHigh = c.u32();
  }
  f.packSize = packLow | packHigh << 32;
  f.unpSize = unpLow | unpHigh << 32;
  std::string raw = c.bytes(nameSize);
  if (flags & 0x0400) {
    f.hasSalt = c.left() >= 8;
    if (f.hasSalt) memcpy(f.salt, c.here(), 8);
    c.skip(8);
  }
  f.mtime = unixNsToFiletime(int64_t(dosToUnix(f.dosTime)) * 1000000000LL);
  if (flags & 0x1000) parseExtTime(c, f);

  f.name = (flags & 0x0200) ? decodeRar4Name(raw) : toValidUtf8(raw);
  for (char& ch : f.name)
    if (ch == '\\') ch = '/';
  f.hostOs = host <= 2 ? 2 : 3;  // MS-DOS, OS/2 and Windows keep DOS attributes
  f.unixMode = host == 3;
  f.splitBefore = flags & 0x0001;
  f.splitAfter = flags & 0x0002;
  f.encrypted = flags & 0x0004;
  f.solid = flags & 0x0010;
  unsigned dictBits = (flags >> 5) & 7;
  f.directory = dictBits == 7 || (f.unixMode ? (f.attr & 0170000) == 0040000 : (f.attr & 0x10) != 0);
  f.dictKiB = f.directory ? 0 : uint64_t(64) << dictBits;
  if (f.unixMode && (f.attr & 0170000) == 0120000) f.redirType = FSREDIR_UNIXSYMLINK;
  f.hashType = RAR_HASH_CRC32;
}

}  // namespace

int readBlock4(int fd, uint64_t offset, uint64_t fileSize, Block& b, const HeaderCrypt* crypt) {
  b = Block{};
  if (offset == fileSize) return ERAR_END_ARCHIVE;
  uint64_t span = 0;
  auto total = [](const uint8_t* h) -> size_t {
    size_t size = h[5] | h[6] << 8;
    return size < 7 ? 0 : size;
  };
  if (int r = readHeaderBytes(fd, offset, fileSize, 7, total, crypt, b.raw, span)) return r;
  const uint8_t* base = b.raw.data();
  unsigned crc = base[0] | base[1] << 8;
  unsigned type = base[2];
  unsigned flags = base[3] | base[4] << 8;
  const size_t size = b.raw.size();
  // An old-style main header may embed a comment that its CRC leaves out.
  bool crcOk = (crc32(0, b.raw.data() + 2, size - 2) & 0xFFFF) == crc ||
               (type == kMain && size > 13 && (crc32(0, b.raw.data() + 2, 11) & 0xFFFF) == crc);
  if (!crcOk) return ERAR_BAD_DATA;

  ByteCursor c(b.raw.data() + 7, size - 7);
  uint64_t dataSize = 0;
  switch (type) {
    case kMain:
      b.kind = BlockKind::Main;
      b.archiveFlags = flags & 0x01FF;
      if ((flags & 0x0200) && size > 13) b.encryptVersion = b.raw[13];
      break;
    case kFile:
    case kNewSub:
      b.kind = type == kFile ? BlockKind::File : BlockKind::Service;
      parseFile(c, flags, b);
      if (!c.ok()) return ERAR_BAD_DATA;
      dataSize = b.file.packSize;
      break;
    case kEnd:
      b.kind = BlockKind::End;
      b.nextVolume = flags & 0x0001;
      if (flags & 0x0002) c.u32();
      if (flags & 0x0008) {
        b.hasVolumeNumber = true;
        b.volumeNumber = c.u16();
      }
      break;
    default:
      if (flags & 0x8000) dataSize = c.u32();
      break;
  }
  b.dataOffset = offset + span;
  if (dataSize > fileSize - b.dataOffset) {
    // A part that runs past the end of its volume is damaged; the caller
    // sees it as such when it reads the data.
    b.dataSize = dataSize;
    b.nextOffset = fileSize + 1;
    return 0;
  }
  b.dataSize = dataSize;
  b.nextOffset = b.dataOffset + dataSize;
  return 0;
}

}  // namespace unrar
