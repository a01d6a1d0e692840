// RAR 5 header blocks.
#include <unistd.h>
#include <cstring>

#include "unrar/Blocks.h"
#include "unrar/Bytes.h"
#include "unrar/Text.h"
#include "unrar/unrar.h"

namespace unrar {

namespace {

enum : uint64_t { kMain = 1, kFile = 2, kService = 3, kCrypt = 4, kEnd = 5 };
const uint64_t kMaxHeaderSize = 2 * 1024 * 1024;

void parseTimes(ByteCursor& c, FileHeader& f) {
  uint64_t flags = c.vint();
  bool unixFormat = flags & 0x01;
  uint64_t* fields[3] = {&f.mtime, &f.ctime, &f.atime};
  int64_t secs[3] = {0, 0, 0};
  bool present[3];
  for (int i = 0; i < 3; ++i) {
    present[i] = flags & (2u << i);
    if (!present[i]) continue;
    if (unixFormat)
      secs[i] = int64_t(c.u32());
    else {
      uint64_t low = c.u32();
      *fields[i] = low | uint64_t(c.u32()) << 32;
    }
  }
  if (!unixFormat) return;
  for (int i = 0; i < 3; ++i) {
    if (!present[i]) continue;
    int64_t ns = secs[i] * 1000000000LL;
    if (flags & 0x10) ns += c.u32() % 1000000000u;
    *fields[i] = unixNsToFiletime(ns);
  }
}

void parseExtra(ByteCursor& c, FileHeader& f) {
  while (c.ok() && c.left() > 0) {
    uint64_t size = c.vint();
    if (!c.ok() || size == 0 || size > c.left()) return;
    ByteCursor r(c.here(), size_t(size));
    c.skip(size);
    switch (r.vint()) {
      case 1:
        f.encrypted = true;
        f.cryptRecord.assign(r.here(), r.here() + r.left());
        break;
      case 2:
        if (r.vint() == 0 && r.left() >= 32) {
          memcpy(f.blake2, r.here(), 32);
          f.hashType = RAR_HASH_BLAKE2;
        }
        break;
      case 3: parseTimes(r, f); break;
      case 4: {
        r.vint();  // flags, none defined
        uint64_t version = r.vint();
        if (r.ok()) {
          f.hasVersion = true;
          f.version = version;
        }
        break;
      }
      case 5: {
        uint64_t type = r.vint();
        uint64_t flags = r.vint();
        uint64_t len = r.vint();
        std::string target = r.bytes(size_t(len > r.left() ? r.left() + 1 : len));
        if (r.ok() && type >= 1 && type <= 5) {
          f.redirType = unsigned(type);
          f.dirTarget = flags & 1;
          f.redirTarget = toValidUtf8(target);
        }
        break;
      }
      default: break;
    }
  }
}

bool parseFile(ByteCursor& c, Block& b) {
  FileHeader& f = b.file;
  uint64_t fileFlags = c.vint();
  f.unpSize = c.vint();
  f.attr = uint32_t(c.vint());
  uint32_t mtime = (fileFlags & 0x02) ? c.u32() : 0;
  if (fileFlags & 0x04) {
    f.crc = c.u32();
    f.hasCrc = true;
    f.hashType = RAR_HASH_CRC32;
  }
  uint64_t comp = c.vint();
  uint64_t host = c.vint();
  uint64_t nameLen = c.vint();
  if (!c.ok() || nameLen > c.left()) return false;
  f.name = toValidUtf8(c.bytes(size_t(nameLen)));
  f.directory = fileFlags & 0x01;
  f.unknownSize = fileFlags & 0x08;
  f.algoVersion = unsigned(comp & 0x3F);
  f.solid = comp & 0x40;
  f.method = unsigned((comp >> 7) & 7);
  // 128 KiB << n; algorithm version 1 adds n/32 parts of that size.
  f.dictKiB = f.directory ? 0 : uint64_t(128) << ((comp >> 10) & 0x1F);
  if (f.algoVersion == 1) f.dictKiB += f.dictKiB / 32 * ((comp >> 15) & 0x1F);
  f.unpVer = f.algoVersion == 0 ? 50 : 70;
  f.hostOs = host == 0 ? 2 : 3;
  f.unixMode = host == 1;
  if (fileFlags & 0x02) f.mtime = unixNsToFiletime(int64_t(mtime) * 1000000000LL);
  return c.ok();
}

}  // namespace

int readBlock5(int fd, uint64_t offset, uint64_t fileSize, Block& b, const HeaderCrypt* crypt) {
  b = Block{};
  if (offset == fileSize) return ERAR_END_ARCHIVE;
  // The CRC, then the header size (at most 3 bytes) counting from the type.
  auto total = [](const uint8_t* h) -> size_t {
    ByteCursor sizeCursor(h + 4, 3);
    uint64_t headerSize = sizeCursor.vint();
    if (!sizeCursor.ok() || headerSize == 0 || headerSize > kMaxHeaderSize) return 0;
    return size_t(sizeCursor.here() - h) + size_t(headerSize);
  };
  uint64_t span = 0;
  if (int r = readHeaderBytes(fd, offset, fileSize, 7, total, crypt, b.raw, span)) return r;
  uint32_t stored = b.raw[0] | b.raw[1] << 8 | b.raw[2] << 16 | uint32_t(b.raw[3]) << 24;
  if (crc32(0, b.raw.data() + 4, b.raw.size() - 4) != stored) return ERAR_BAD_DATA;
  ByteCursor sizeCursor(b.raw.data() + 4, 3);
  const uint64_t headerSize = sizeCursor.vint();
  const size_t vintLen = size_t(sizeCursor.here() - (b.raw.data() + 4));

  ByteCursor c(b.raw.data() + 4 + vintLen, size_t(headerSize));
  uint64_t type = c.vint();
  uint64_t flags = c.vint();
  uint64_t extraSize = (flags & 0x01) ? c.vint() : 0;
  uint64_t dataSize = (flags & 0x02) ? c.vint() : 0;
  if (!c.ok() || extraSize > c.left()) return ERAR_BAD_DATA;
  ByteCursor body(c.here(), c.left() - size_t(extraSize));
  ByteCursor extra(c.here() + body.left(), size_t(extraSize));

  switch (type) {
    case kMain: {
      b.kind = BlockKind::Main;
      uint64_t af = body.vint();
      if (af & 0x02) {
        b.hasVolumeNumber = true;
        b.volumeNumber = body.vint();
      }
      if (af & 0x01) b.archiveFlags |= ROADF_VOLUME | ROADF_NEWNUMBERING;
      if ((af & 0x01) && !(af & 0x02)) b.archiveFlags |= ROADF_FIRSTVOLUME;
      if (af & 0x04) b.archiveFlags |= ROADF_SOLID;
      if (af & 0x08) b.archiveFlags |= ROADF_RECOVERY;
      if (af & 0x10) b.archiveFlags |= ROADF_LOCK;
      break;
    }
    case kFile:
    case kService:
      b.kind = type == kFile ? BlockKind::File : BlockKind::Service;
      if (!parseFile(body, b)) return ERAR_BAD_DATA;
      parseExtra(extra, b.file);
      if (b.file.encrypted && b.file.cryptRecord.empty()) return ERAR_BAD_DATA;
      b.file.packSize = dataSize;
      b.file.splitBefore = flags & 0x08;
      b.file.splitAfter = flags & 0x10;
      b.file.dosTime = unixToDos(time_t(filetimeToUnixNs(b.file.mtime) / 1000000000LL));
      break;
    case kCrypt:
      b.kind = BlockKind::Encryption;
      b.file.cryptRecord.assign(body.here(), body.here() + body.left());
      break;
    case kEnd:
      b.kind = BlockKind::End;
      b.nextVolume = body.vint() & 0x01;
      break;
    default: break;
  }
  if (!body.ok()) return ERAR_BAD_DATA;
  b.dataOffset = offset + span;
  b.dataSize = dataSize;
  b.nextOffset = dataSize > fileSize - b.dataOffset ? fileSize + 1 : b.dataOffset + dataSize;
  return 0;
}

int64_t findSignature(int fd, uint64_t fileSize, bool& rar5) {
  static const uint8_t sig[6] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07};
  const size_t window = size_t(fileSize < (1u << 20) ? fileSize : (1u << 20));
  std::vector<uint8_t> buf(window + 2);
  size_t got = size_t(pread(fd, buf.data(), buf.size(), 0));
  if (got == size_t(-1)) return -1;
  for (size_t i = 0; i + 7 <= got; ++i) {
    if (buf[i] != sig[0] || memcmp(&buf[i], sig, 6) != 0) continue;
    if (buf[i + 6] == 0x00) {
      rar5 = false;
      return int64_t(i + 7);
    }
    if (buf[i + 6] == 0x01 && i + 8 <= got && buf[i + 7] == 0x00) {
      rar5 = true;
      return int64_t(i + 8);
    }
  }
  return -1;
}

bool preadAll(int fd, void* buf, size_t size, uint64_t offset) {
  auto* p = static_cast<uint8_t*>(buf);
  while (size > 0) {
    ssize_t n = pread(fd, p, size, off_t(offset));
    if (n <= 0) return false;
    p += n;
    size -= size_t(n);
    offset += uint64_t(n);
  }
  return true;
}

}  // namespace unrar

namespace unrar {

int readHeaderBytes(int fd, uint64_t offset, uint64_t fileSize, size_t head,
                    const std::function<size_t(const uint8_t*)>& total, const HeaderCrypt* crypt,
                    std::vector<uint8_t>& raw, uint64_t& span) {
  const uint64_t left = fileSize - offset;
  if (!crypt) {
    uint8_t first[16];
    if (left < head || !preadAll(fd, first, head, offset)) return ERAR_BAD_DATA;
    const size_t size = total(first);
    if (size < head || size > left) return ERAR_BAD_DATA;
    raw.resize(size);
    if (!preadAll(fd, raw.data(), size, offset)) return ERAR_BAD_DATA;
    span = size;
    return 0;
  }
  // The prefix, then the header encrypted in 16-byte blocks; its first
  // block holds enough of it to tell its length.
  const size_t prefix = crypt->prefix;
  uint8_t start[32];
  if (prefix > 16 || left < prefix + 16 || !preadAll(fd, start, prefix + 16, offset)) return ERAR_BAD_DATA;
  std::unique_ptr<Cipher> cipher = crypt->cipherFor(start);
  if (!cipher) return ERAR_NO_MEMORY;
  uint8_t* first = start + prefix;
  cipher->decrypt(first, 16);
  const size_t size = total(first);
  const uint64_t padded = (uint64_t(size) + 15) & ~uint64_t(15);
  if (size < head || padded > left - prefix) {
    wipe(start, sizeof start);
    return ERAR_BAD_DATA;
  }
  raw.assign(size_t(padded), 0);
  memcpy(raw.data(), first, 16);
  wipe(start, sizeof start);
  if (padded > 16 && !preadAll(fd, raw.data() + 16, size_t(padded) - 16, offset + prefix + 16)) return ERAR_BAD_DATA;
  cipher->decrypt(raw.data() + 16, size_t(padded) - 16);
  raw.resize(size);
  span = prefix + padded;
  return 0;
}

}  // namespace unrar
