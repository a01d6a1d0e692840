#include "tools/RarWriterBlocks.h"

#include <ctime>
#include <stdexcept>

namespace rarwriter::blocks {
namespace {

// RAR 4 block types and flags.
constexpr uint8_t kMainHead = 0x73, kFileHead = 0x74, kNewSubHead = 0x7A, kEndArc = 0x7B;
constexpr uint16_t kLongBlock = 0x8000, kSkipIfUnknown = 0x4000;
constexpr uint16_t kMhdVolume = 0x0001, kMhdSolid = 0x0008, kMhdNewNumbering = 0x0010, kMhdPassword = 0x0080,
                   kMhdFirstVolume = 0x0100;
constexpr uint16_t kLhdSplitBefore = 0x0001, kLhdSplitAfter = 0x0002, kLhdPassword = 0x0004, kLhdSolid = 0x0010,
                   kLhdDirectory = 0x00E0, kLhdLarge = 0x0100, kLhdUnicode = 0x0200, kLhdSalt = 0x0400;
constexpr uint16_t kEarcNextVolume = 0x0001, kEarcVolNumber = 0x0008;
constexpr uint8_t kRar4HostWin32 = 2, kRar4HostUnix = 3;
constexpr uint8_t kRar4UnpVer = 29, kMethodStore = 0x30;

// RAR 5 block types and flags.
constexpr uint64_t kType5Main = 1, kType5File = 2, kType5Service = 3, kType5Crypt = 4, kType5End = 5;
constexpr uint64_t kHfl5Extra = 0x0001, kHfl5Data = 0x0002, kHfl5SplitBefore = 0x0008, kHfl5SplitAfter = 0x0010;
constexpr uint64_t kMhfl5Volume = 0x0001, kMhfl5VolNumber = 0x0002, kMhfl5Solid = 0x0004;
constexpr uint64_t kFhfl5Directory = 0x0001, kFhfl5UnixTime = 0x0002, kFhfl5Crc = 0x0004;
constexpr uint64_t kCompSolid = 0x0040;
constexpr uint64_t kExtraCrypt = 0x01, kExtraHash = 0x02, kExtraRedir = 0x05;
constexpr uint64_t kCryptPswCheck = 0x0001, kCryptTweakedChecksums = 0x0002;
constexpr uint64_t kHashBlake2sp = 0;
constexpr uint64_t kRedirUnixSymlink = 1, kRedirWinSymlink = 2;
constexpr uint64_t kEndfl5NextVolume = 0x0001;

// Unix st_mode values and Windows attributes used as defaults.
constexpr uint32_t kModeFile = 0100644, kModeDir = 040755, kModeLink = 0120777;
constexpr uint32_t kWinArchive = 0x20, kWinDirectory = 0x10;

void Put8(Bytes& b, uint8_t v) { b.push_back(static_cast<char>(v)); }
void Put16(Bytes& b, uint16_t v) {
  Put8(b, v & 0xFF);
  Put8(b, v >> 8);
}
void Put32(Bytes& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
void PutVint(Bytes& b, uint64_t v) {
  do {
    uint8_t byte = v & 0x7F;
    v >>= 7;
    Put8(b, byte | (v ? 0x80 : 0));
  } while (v);
}
void Poke16(Bytes& b, size_t at, uint16_t v) {
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>(v >> 8);
}

// Finishes a RAR 4 block whose first two bytes are the CRC placeholder.
Bytes SealRar4(Bytes block, bool breakCrc = false) {
  uint16_t crc = Crc32(0, block.data() + 2, block.size() - 2) & 0xFFFF;
  Poke16(block, 0, breakCrc ? static_cast<uint16_t>(~crc) : crc);
  return block;
}

// Builds a RAR 5 block: CRC32, header size, then `body` (type onwards).
Bytes SealRar5(const Bytes& body, bool breakCrc = false) {
  Bytes sized;
  PutVint(sized, body.size());
  sized += body;
  uint32_t crc = Crc32(0, sized.data(), sized.size());
  Bytes block;
  Put32(block, breakCrc ? ~crc : crc);
  return block + sized;
}

bool IsAscii(const std::string& s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

uint32_t DefaultAttributes(Host host, const RarEntry& e) {
  if (host == Host::Windows) return e.isDir ? kWinDirectory : kWinArchive;
  if (e.isDir) return kModeDir;
  return e.linkTarget.empty() || e.redirType > kRedirWinSymlink ? kModeFile : kModeLink;
}

uint32_t Attributes(Host host, const RarEntry& e) { return e.attributes ? *e.attributes : DefaultAttributes(host, e); }

// The fields shared by RAR 4 file and service headers.
Bytes Rar4FileLike(uint8_t type, uint16_t flags, uint64_t packSize, uint64_t unpSize, uint8_t host, uint32_t crc,
                   uint32_t ftime, uint32_t attr, const std::string& name) {
  const bool large = packSize > 0xFFFFFFFFull || unpSize > 0xFFFFFFFFull;
  if (large) flags |= kLhdLarge;
  if (!IsAscii(name)) flags |= kLhdUnicode;  // a name without NUL is UTF-8
  Bytes b;
  Put16(b, 0);
  Put8(b, type);
  Put16(b, flags | kLongBlock);
  Put16(b, 0);  // size, filled below
  Put32(b, static_cast<uint32_t>(packSize));
  Put32(b, static_cast<uint32_t>(unpSize));
  Put8(b, host);
  Put32(b, crc);
  Put32(b, ftime);
  Put8(b, kRar4UnpVer);
  Put8(b, kMethodStore);
  Put16(b, static_cast<uint16_t>(name.size()));
  Put32(b, attr);
  if (large) {
    Put32(b, static_cast<uint32_t>(packSize >> 32));
    Put32(b, static_cast<uint32_t>(unpSize >> 32));
  }
  b += name;
  if (flags & kLhdSalt) b += std::string("\x5a\x17\x42\x99\x01\x23\x45\x67", 8);
  if (b.size() > 0xFFFF) throw std::runtime_error("rarwriter: name too long for RAR 4");
  Poke16(b, 5, static_cast<uint16_t>(b.size()));
  return b;
}

Bytes Rar4File(const ArchiveInfo& info, const EntryPart& p) {
  const RarEntry& e = *p.entry;
  uint16_t flags = 0;
  if (p.splitBefore) flags |= kLhdSplitBefore;
  if (p.splitAfter) flags |= kLhdSplitAfter;
  if (e.encrypted) flags |= kLhdPassword | kLhdSalt;
  if (p.solid) flags |= kLhdSolid;
  if (e.isDir) flags |= kLhdDirectory;
  std::string name = e.name;
  for (char& c : name)
    if (c == '/') c = '\\';
  // A Unix link keeps its target as the entry's data.
  const uint8_t host = info.host == Host::Windows ? kRar4HostWin32 : kRar4HostUnix;
  return SealRar4(Rar4FileLike(kFileHead, flags, p.partSize, p.unpackedSize, host, p.crc, DosTime(e.mtime),
                               Attributes(info.host, e), name),
                  p.breakHeaderCrc);
}

// Common tail of RAR 5 file and service headers, from the file flags on.
Bytes Rar5FileFields(uint64_t fileFlags, uint64_t unpSize, uint32_t attr, std::optional<uint32_t> mtime,
                     std::optional<uint32_t> crc, uint64_t compInfo, Host host, const std::string& name) {
  Bytes b;
  PutVint(b, fileFlags | (mtime ? kFhfl5UnixTime : 0) | (crc ? kFhfl5Crc : 0));
  PutVint(b, unpSize);
  PutVint(b, attr);
  if (mtime) Put32(b, *mtime);
  if (crc) Put32(b, *crc);
  PutVint(b, compInfo);
  PutVint(b, host == Host::Windows ? 0 : 1);
  PutVint(b, name.size());
  b += name;
  return b;
}

Bytes Rar5Record(uint64_t type, const Bytes& data) {
  Bytes inner;
  PutVint(inner, type);
  inner += data;
  Bytes r;
  PutVint(r, inner.size());
  return r + inner;
}

// Encryption parameters as the file record and the archive encryption header
// both start: version (0 = AES-256), flags, log2 of the key derivation rounds,
// salt, [IV], password check value.
Bytes CryptFields(const rar5::Keys& k, const rar5::Iv* iv, uint64_t flags) {
  Bytes c;
  PutVint(c, 0);
  PutVint(c, flags | kCryptPswCheck);
  Put8(c, static_cast<uint8_t>(k.kdfLog2));
  c.append(reinterpret_cast<const char*>(k.salt.data()), k.salt.size());
  if (iv) c.append(reinterpret_cast<const char*>(iv->data()), iv->size());
  c.append(reinterpret_cast<const char*>(k.check.data()), k.check.size());
  return c;
}

Bytes Rar5Extra(const ArchiveInfo& info, const EntryPart& p) {
  const RarEntry& e = *p.entry;
  Bytes extra;
  if (p.crypt) {
    // The stored checksums are tweaked with the key, so that they tell
    // nothing about the plain contents.
    extra += Rar5Record(kExtraCrypt, CryptFields(*p.crypt->keys, &p.crypt->iv, kCryptTweakedChecksums));
  } else if (e.encrypted) {
    Bytes c;
    PutVint(c, 0);                 // encryption version: AES-256
    PutVint(c, 0x01);              // a password check value follows
    Put8(c, 15);                   // log2 of the key derivation iterations
    c += std::string(16, '\x5a');  // salt
    c += std::string(16, '\x17');  // initialisation vector
    c += std::string(12, '\x42');  // password check value
    extra += Rar5Record(kExtraCrypt, c);
  }
  if (p.blake2) {
    Bytes h;
    PutVint(h, kHashBlake2sp);
    h.append(reinterpret_cast<const char*>(p.blake2->data()), p.blake2->size());
    extra += Rar5Record(kExtraHash, h);
  }
  if (!e.linkTarget.empty()) {
    Bytes r;
    PutVint(r, e.redirType ? e.redirType : info.host == Host::Windows ? kRedirWinSymlink : kRedirUnixSymlink);
    PutVint(r, 0);  // flags: the target is not a folder
    PutVint(r, e.linkTarget.size());
    r += e.linkTarget;
    extra += Rar5Record(kExtraRedir, r);
  }
  return extra;
}

// Header flags, extra size and data size in front of the type-specific fields.
Bytes Rar5Head(uint64_t type, uint64_t flags, const Bytes& extra, uint64_t dataSize, bool withData) {
  Bytes b;
  PutVint(b, type);
  if (!extra.empty()) flags |= kHfl5Extra;
  if (withData) flags |= kHfl5Data;
  PutVint(b, flags);
  if (!extra.empty()) PutVint(b, extra.size());
  if (withData) PutVint(b, dataSize);
  return b;
}

Bytes Rar5File(const ArchiveInfo& info, const EntryPart& p) {
  const RarEntry& e = *p.entry;
  uint64_t flags = 0;
  if (p.splitBefore) flags |= kHfl5SplitBefore;
  if (p.splitAfter) flags |= kHfl5SplitAfter;
  const Bytes extra = Rar5Extra(info, p);
  // Readers expect the data size field in every file header, even when 0.
  Bytes body = Rar5Head(kType5File, flags, extra, p.partSize, true);
  std::optional<uint32_t> crc;
  if (!e.isDir && !p.blake2) crc = p.crc;
  body += Rar5FileFields(e.isDir ? kFhfl5Directory : 0, p.unpackedSize, Attributes(info.host, e),
                         static_cast<uint32_t>(e.mtime), crc, p.compression | (p.solid ? kCompSolid : 0), info.host,
                         e.name);
  body += extra;
  return SealRar5(body, p.breakHeaderCrc);
}

}  // namespace

uint32_t DosTime(int64_t unixTime) {
  time_t t = static_cast<time_t>(unixTime);
  struct tm tm {};
  if (!localtime_r(&t, &tm) || tm.tm_year < 80) return (0u << 25) | (1u << 21) | (1u << 16);
  return (static_cast<uint32_t>(tm.tm_year - 80) << 25) | (static_cast<uint32_t>(tm.tm_mon + 1) << 21) |
         (static_cast<uint32_t>(tm.tm_mday) << 16) | (static_cast<uint32_t>(tm.tm_hour) << 11) |
         (static_cast<uint32_t>(tm.tm_min) << 5) | static_cast<uint32_t>(tm.tm_sec / 2);
}

Bytes Signature(Format format) { return format == Format::Rar4 ? Bytes(kRar4Signature, 7) : Bytes(kRar5Signature, 8); }

Bytes PreMainBlock(const ArchiveInfo& info) {
  if (info.format == Format::Rar4 || !info.encryptedHeaders) return {};
  Bytes body;
  if (info.headerKeys) {
    PutVint(body, kType5Crypt);
    PutVint(body, 0);  // header flags
    body += CryptFields(*info.headerKeys, nullptr, 0);
    return SealRar5(body);
  }
  PutVint(body, kType5Crypt);
  PutVint(body, 0);     // header flags
  PutVint(body, 0);     // encryption version
  PutVint(body, 0x01);  // password check present
  Put8(body, 15);
  body += std::string(16, '\x5a');
  body += std::string(12, '\x42');
  return SealRar5(body);
}

Bytes MainBlock(const ArchiveInfo& info, size_t volumeIndex) {
  if (info.format == Format::Rar4) {
    uint16_t flags = 0;
    if (info.volumeSet) flags |= kMhdVolume;
    if (info.volumeSet && volumeIndex == 0) flags |= kMhdFirstVolume;
    if (info.volumeSet && info.newNumbering) flags |= kMhdNewNumbering;
    if (info.solid) flags |= kMhdSolid;
    if (info.encryptedHeaders) flags |= kMhdPassword;
    Bytes b;
    Put16(b, 0);
    Put8(b, kMainHead);
    Put16(b, flags);
    Put16(b, 13);
    Put16(b, 0);
    Put32(b, 0);
    return SealRar4(b);
  }
  uint64_t flags = 0;
  if (info.volumeSet) flags |= kMhfl5Volume;
  if (info.volumeSet && volumeIndex > 0) flags |= kMhfl5VolNumber;
  if (info.solid) flags |= kMhfl5Solid;
  Bytes body;
  PutVint(body, kType5Main);
  PutVint(body, 0);
  PutVint(body, flags);
  if (flags & kMhfl5VolNumber) PutVint(body, volumeIndex);
  return SealRar5(body);
}

Bytes CommentBlock(const ArchiveInfo& info, const std::string& comment) {
  const uint32_t crc = Crc32(0, comment.data(), comment.size());
  if (info.format == Format::Rar4) {
    // A stored "CMT" sub-block, as RAR 3 and later keep archive comments.
    const uint8_t host = info.host == Host::Windows ? kRar4HostWin32 : kRar4HostUnix;
    return SealRar4(Rar4FileLike(kNewSubHead, 0, comment.size(), comment.size(), host, crc, 0, 0, "CMT")) + comment;
  }
  Bytes body = Rar5Head(kType5Service, 0, {}, comment.size(), true);
  body += Rar5FileFields(0, comment.size(), 0, std::nullopt, crc, 0, info.host, "CMT");
  return SealRar5(body) + comment;
}

Bytes FileBlock(const ArchiveInfo& info, const EntryPart& part) {
  return info.format == Format::Rar4 ? Rar4File(info, part) : Rar5File(info, part);
}

Bytes EndBlock(const ArchiveInfo& info, size_t volumeIndex, bool lastVolume) {
  if (info.format == Format::Rar4) {
    uint16_t flags = kSkipIfUnknown;
    if (!lastVolume) flags |= kEarcNextVolume;
    if (info.volumeSet) flags |= kEarcVolNumber;
    Bytes b;
    Put16(b, 0);
    Put8(b, kEndArc);
    Put16(b, flags);
    Put16(b, info.volumeSet ? 9 : 7);
    if (info.volumeSet) Put16(b, static_cast<uint16_t>(volumeIndex));
    return SealRar4(b);
  }
  Bytes body;
  PutVint(body, kType5End);
  PutVint(body, 0);
  PutVint(body, lastVolume ? 0 : kEndfl5NextVolume);
  return SealRar5(body);
}

Bytes Protect(const ArchiveInfo& info, const Bytes& block) {
  if (!info.headerKeys || block.empty()) return block;
  const rar5::Iv iv = rar5::RandomIv();
  return Bytes(reinterpret_cast<const char*>(iv.data()), iv.size()) + rar5::EncryptPadded(*info.headerKeys, iv, block);
}

uint64_t CompressionInfo(int method, uint64_t dictionary) {
  unsigned log = 0;
  while ((uint64_t{128} << 10 << log) < dictionary) ++log;
  return static_cast<uint64_t>(method) << 7 | static_cast<uint64_t>(log) << 10;
}

}  // namespace rarwriter::blocks
