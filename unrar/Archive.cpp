#include "unrar/Archive.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <optional>

#include "platform/AlignedBuffer.h"
#include "platform/VolumeName.h"
#include "unrar/Blake2.h"
#include "unrar/Bytes.h"
#include "unrar/Crypt20.h"
#include "unrar/OldComment.h"
#include "unrar/Output.h"
#include "unrar/ReadAhead.h"
#include "unrar/Text.h"

namespace unrar {

namespace {

const uint64_t kCommentLimit = 256 * 1024;        // longer comments are cut
const uint64_t kLinkTargetLimit = 64 * 1024;      // RAR 4 symlink data
const uint64_t kMaxDictKiB = uint64_t(64) << 20;  // the format's largest dictionary, 64 GiB
const size_t kMaxVolumes = 100000;
const size_t kNameBuffer = 2048;  // volume name buffer handed to callbacks
// Stored data moves in chunks that stay in the CPU's second-level cache
// between the read, the CRC and the write of the same bytes (1 MiB chunks
// measured markedly slower than 512 KiB ones).
const size_t kIoChunk = 512 * 1024;

// The entry of `path`'s folder whose name matches with letter case ignored
// (the first in sorted order), for volumes whose names differ in case.
std::string findIgnoringCase(const std::string& path) {
  size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  DIR* d = opendir(dir.c_str());
  if (!d) return {};
  std::string best;
  while (dirent* e = readdir(d))
    if (strcasecmp(e->d_name, base.c_str()) == 0 && (best.empty() || best > e->d_name)) best = e->d_name;
  closedir(d);
  if (best.empty()) return {};
  return slash == std::string::npos ? best : path.substr(0, slash + 1) + best;
}

int readBlockAt(bool rar5, int fd, uint64_t size, uint64_t offset, Block& b, const HeaderCrypt* crypt = nullptr) {
  return rar5 ? readBlock5(fd, offset, size, b, crypt) : readBlock4(fd, offset, size, b, crypt);
}

}  // namespace

Archive::~Archive() {
  if (fd_ >= 0) close(fd_);
}

void Archive::setPassword(const char* password) { keys_.setPassword(password, password ? strlen(password) : 0); }

// Opens a volume; a name that differs from the file's only in letter case
// is replaced by the file's own, so the name reported in the header records
// is one that opens.
int Archive::openVolume(std::string& path, int& fd, uint64_t& size) {
  // Opened without blocking: a FIFO or a device in a volume's place is
  // refused below instead of waiting for a writer.
  std::string name = path;
  fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0 && errno == ENOENT) {
    name = findIgnoringCase(path);
    if (!name.empty()) fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  }
  if (fd < 0) return ERAR_EOPEN;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    fd = -1;
    return ERAR_EOPEN;
  }
  size = uint64_t(st.st_size);
  path = name;
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);  // volumes are read front to back
  return 0;
}

int Archive::readBlock(uint64_t offset, Block& b) {
  return readBlockAt(rar5_, fd_, volSize_, offset, b, headerCrypt_.get());
}

// RAR 5 headers encrypted: the archive encryption block in front of the
// main block names the salt, the rounds and (usually) a password check.
int Archive::headerCrypt5(const Block& encryption, std::unique_ptr<HeaderCrypt>& crypt) {
  Rar5CryptInfo info;
  if (!parseRar5CryptInfo(encryption.file.cryptRecord.data(), encryption.file.cryptRecord.size(), false, info) ||
      info.log2Count > kMaxRar5Log2Count)
    return ERAR_UNKNOWN_FORMAT;
  if (int r = needPassword()) return r;
  const Rar5Key* key = keys_.rar5(info.salt, info.log2Count);
  if (!key) return ERAR_NO_MEMORY;
  if (!rar5PasswordMatches(*key, info)) return ERAR_BAD_PASSWORD;
  auto shared = std::make_shared<Rar5Key>(*key);
  crypt = std::make_unique<HeaderCrypt>();
  crypt->prefix = 16;  // each header's IV
  crypt->cipherFor = [shared](const uint8_t* iv) { return makeRar5Cipher(*shared, iv); };
  return 0;
}

// RAR 3 headers encrypted: each header after the main one starts with the
// salt of its own key.
std::unique_ptr<HeaderCrypt> Archive::headerCrypt3() {
  auto crypt = std::make_unique<HeaderCrypt>();
  crypt->prefix = 8;
  crypt->cipherFor = [this](const uint8_t* salt) -> std::unique_ptr<Cipher> {
    const Rar3Key* key = keys_.rar3(salt, encryptVersion_ >= 36);
    return key ? makeRar3Cipher(*key) : nullptr;
  };
  return crypt;
}

// The main block of a volume at `pos` (after the signature), through the
// encryption block in front of it when its headers are encrypted.
int Archive::readMain(int fd, uint64_t size, uint64_t pos, Block& main, std::unique_ptr<HeaderCrypt>& crypt) {
  crypt.reset();
  if (readBlockAt(rar5_, fd, size, pos, main) != 0) return ERAR_BAD_DATA;
  if (main.kind == BlockKind::Encryption) {
    if (!rar5_) return ERAR_BAD_DATA;
    const Block encryption = std::move(main);
    main = Block{};
    main.archiveFlags = ROADF_ENCHEADERS;
    if (int r = headerCrypt5(encryption, crypt)) return r;
    // Without a check value a wrong password shows only here, as a main
    // block that fails its CRC.
    const int r = readBlockAt(rar5_, fd, size, encryption.nextOffset, main, crypt.get());
    main.archiveFlags |= ROADF_ENCHEADERS;
    if (r) return ERAR_BAD_DATA;
  } else if (main.kind == BlockKind::Main && !rar5_ && (main.archiveFlags & ROADF_ENCHEADERS)) {
    if (int r = needPassword()) return r;
    encryptVersion_ = main.encryptVersion;
    crypt = headerCrypt3();
  }
  return main.kind == BlockKind::Main ? 0 : ERAR_BAD_DATA;
}

int Archive::open(const std::string& path, unsigned mode, unsigned opFlags) {
  mode_ = mode;
  opFlags_ = opFlags;
  std::string first = path;
  if (openVolume(first, fd_, volSize_)) return ERAR_EOPEN;
  volPath_ = first;
  int64_t sig = findSignature(fd_, volSize_, rar5_);
  if (sig < 0) return ERAR_BAD_ARCHIVE;
  firstOffset_ = uint64_t(sig) - (rar5_ ? 8 : 7);  // the signature itself
  Block b;
  std::unique_ptr<HeaderCrypt> crypt;
  const int r = readMain(fd_, volSize_, uint64_t(sig), b, crypt);
  flags_ = b.archiveFlags;
  if (r) return r;
  headerCrypt_ = std::move(crypt);
  volNumber_ = b.volumeNumber;
  pos_ = b.nextOffset;
  volumes_.push_back(volPath_);
  if (headerCrypt_ && !rar5_) {
    // Nothing tells a wrong password from damage before the first header
    // after the main one is decrypted and fails its check.
    Block next;
    if (readBlock(pos_, next) == ERAR_BAD_DATA) return ERAR_BAD_DATA;
  }
  if (!rar5_ && (flags_ & ROADF_COMMENT)) hasComment_ = readOldComment(b.raw, kCommentLimit, comment_);
  return readComment(pos_);
}

// The archive comment is a "CMT" service block before the first file.
int Archive::readComment(uint64_t pos) {
  for (int blocks = 0; blocks < 64; ++blocks) {
    Block b;
    if (readBlock(pos, b) != 0) return 0;  // damage there is reported by the header walk
    pos = b.nextOffset;
    if (b.kind == BlockKind::File || b.kind == BlockKind::End) return 0;
    if (b.kind != BlockKind::Service || b.file.name != "CMT" || b.file.encrypted) continue;
    if (b.dataSize > volSize_ - std::min(volSize_, b.dataOffset) || b.dataSize > 16 * kCommentLimit) return 0;
    std::vector<uint8_t> packed(size_t(b.dataSize));
    if (!preadAll(fd_, packed.data(), packed.size(), b.dataOffset)) return 0;
    std::string text;
    if (b.file.method == 0) {
      if (b.file.hasCrc && crc32(0, packed.data(), packed.size()) != b.file.crc) return 0;
      text.assign(packed.begin(), packed.end());
    } else if (rar5_ ||
               !decodeRar4Comment(b.file.unpVer, packed, b.file.unpSize, b.file.crc, 16 * kCommentLimit, text)) {
      return 0;
    }
    comment_ = text.substr(0, std::min<size_t>(text.size(), kCommentLimit));
    hasComment_ = true;
    flags_ |= ROADF_COMMENT;
    return 0;
  }
  return 0;
}

int Archive::needPassword() {
  if (keys_.hasPassword()) return 0;
  if (UNRARCALLBACK cb = callbacks.callback) {
    wchar_t wide[128] = {};
    if (cb(UCM_NEEDPASSWORDW, callbacks.userData, LPARAM(wide), 128) == -1) return ERAR_MISSING_PASSWORD;
    wide[127] = 0;
    if (wide[0]) {
      std::string utf8 = wideToUtf8(wide);
      setPassword(utf8.c_str());
      wipe(utf8.data(), utf8.size());
      wipe(wide, sizeof wide);
      return 0;
    }
    char narrow[128] = {};
    if (cb(UCM_NEEDPASSWORD, callbacks.userData, LPARAM(narrow), 128) == -1) return ERAR_MISSING_PASSWORD;
    narrow[127] = 0;
    setPassword(narrow);
    wipe(narrow, sizeof narrow);
  }
  return keys_.hasPassword() ? 0 : ERAR_MISSING_PASSWORD;
}

int Archive::askVolume(std::string& name) {
  if (!callbacks.callback && !callbacks.changeVolProc) return ERAR_EOPEN;
  char narrow[kNameBuffer];
  if (UNRARCALLBACK cb = callbacks.callback) {
    wchar_t wide[kNameBuffer];
    copyField(wide, kNameBuffer, utf8ToWide(name));
    if (cb(UCM_CHANGEVOLUMEW, callbacks.userData, LPARAM(wide), RAR_VOL_ASK) == -1) return ERAR_EOPEN;
    wide[kNameBuffer - 1] = 0;
    std::string answer = wideToUtf8(wide);
    if (answer != name) {
      name = answer;
      return 0;
    }
    copyField(narrow, kNameBuffer, name);
    if (cb(UCM_CHANGEVOLUME, callbacks.userData, LPARAM(narrow), RAR_VOL_ASK) == -1) return ERAR_EOPEN;
    narrow[kNameBuffer - 1] = 0;
    if (name != narrow) {
      name = narrow;
      return 0;
    }
  }
  if (CHANGEVOLPROC proc = callbacks.changeVolProc) {
    copyField(narrow, kNameBuffer, name);
    if (proc(narrow, RAR_VOL_ASK) == 0) return ERAR_EOPEN;
    narrow[kNameBuffer - 1] = 0;
    name = narrow;
  }
  return 0;
}

int Archive::notifyVolume(const std::string& name) {
  char narrow[kNameBuffer];
  if (UNRARCALLBACK cb = callbacks.callback) {
    wchar_t wide[kNameBuffer];
    copyField(wide, kNameBuffer, utf8ToWide(name));
    if (cb(UCM_CHANGEVOLUMEW, callbacks.userData, LPARAM(wide), RAR_VOL_NOTIFY) == -1) return ERAR_EOPEN;
    copyField(narrow, kNameBuffer, name);
    if (cb(UCM_CHANGEVOLUME, callbacks.userData, LPARAM(narrow), RAR_VOL_NOTIFY) == -1) return ERAR_EOPEN;
  }
  if (CHANGEVOLPROC proc = callbacks.changeVolProc) {
    copyField(narrow, kNameBuffer, name);
    if (proc(narrow, RAR_VOL_NOTIFY) == 0) return ERAR_EOPEN;
  }
  return 0;
}

// A failed change is remembered, so the caller is not asked again for a
// volume it has already declined and later reads report the same error.
int Archive::nextVolume() {
  if (!volumeError_) volumeError_ = switchVolume();
  return volumeError_;
}

int Archive::switchVolume() {
  if (volIndex_ + 1 >= kMaxVolumes) return ERAR_EOPEN;
  const bool newNumbering = flags_ & ROADF_NEWNUMBERING;
  std::string name = platform::NextVolumeName(
      volPath_, newNumbering ? platform::VolumeNumbering::New : platform::VolumeNumbering::Old);
  int fd = -1;
  uint64_t size = 0;
  int r = openVolume(name, fd, size);
  if (r && newNumbering) {
    std::string old = platform::NextVolumeName(volPath_, platform::VolumeNumbering::Old);
    if (openVolume(old, fd, size) == 0) {
      name = old;
      r = 0;
    }
  }
  // The caller may name another file or retry; a caller that keeps
  // answering without a usable file is given up on after a while.
  for (int asked = 0; r != 0; ++asked) {
    if (asked >= 16) return ERAR_EOPEN;
    if (int a = askVolume(name)) return a;
    r = openVolume(name, fd, size);
  }

  // The file must be the volume that follows this one.
  bool rar5 = false;
  Block main;
  std::unique_ptr<HeaderCrypt> crypt;
  int64_t sig = findSignature(fd, size, rar5);
  bool ok = sig >= 0 && rar5 == rar5_ && readMain(fd, size, uint64_t(sig), main, crypt) == 0 &&
            (main.archiveFlags & ROADF_ENCHEADERS) == (flags_ & ROADF_ENCHEADERS) &&
            (main.archiveFlags & ROADF_VOLUME) && !(main.archiveFlags & ROADF_FIRSTVOLUME) &&
            (!rar5_ || (main.hasVolumeNumber && main.volumeNumber == volNumber_ + 1));
  if (!ok) {
    close(fd);
    return ERAR_BAD_DATA;
  }
  if (notifyVolume(name)) {
    close(fd);
    return ERAR_EOPEN;
  }
  close(fd_);
  fd_ = fd;
  headerCrypt_ = std::move(crypt);
  volPath_ = name;
  volSize_ = size;
  pos_ = main.nextOffset;
  volNumber_ = main.volumeNumber;
  ++volIndex_;
  volumes_.push_back(name);
  filesInVolume_ = false;
  return 0;
}

// Moves to the next part of the current entry, in the next volume.
int Archive::continueEntry() {
  if (int r = nextVolume()) return r;
  for (;;) {
    Block b;
    int r = readBlock(pos_, b);
    if (r) return ERAR_BAD_DATA;
    pos_ = b.nextOffset;
    if (b.kind == BlockKind::Service || b.kind == BlockKind::Other) continue;
    if (b.kind != BlockKind::File || !b.file.splitBefore || b.file.name != entry_.name) return ERAR_BAD_DATA;
    filesInVolume_ = true;
    partPos_ = b.dataOffset;
    partLeft_ = b.dataSize;
    partSplitAfter_ = b.file.splitAfter;
    entry_.crc = b.file.crc;  // the last part holds the whole file's CRC or hash
    entry_.hasCrc = b.file.hasCrc;
    entry_.hashType = b.file.hashType;
    memcpy(entry_.blake2, b.file.blake2, sizeof entry_.blake2);
    return 0;
  }
}

int Archive::skipEntry() {
  if (!haveEntry_ || entryDone_) return 0;
  entryDone_ = true;
  partLeft_ = 0;
  if (mode_ == RAR_OM_LIST_INCSPLIT) return 0;  // every part is listed on its own
  while (partSplitAfter_) {
    if (int r = continueEntry()) return r;
    partLeft_ = 0;
  }
  return 0;
}

int Archive::readPacked(uint8_t* buf, size_t size, size_t& got) {
  got = 0;
  while (partLeft_ == 0) {
    if (!partSplitAfter_) return 0;
    if (int r = continueEntry()) return r;
  }
  size_t n = size_t(std::min<uint64_t>(size, partLeft_));
  if (partPos_ > volSize_ || n > volSize_ - partPos_) return ERAR_BAD_DATA;  // volume cut short
  if (!preadAll(fd_, buf, n, partPos_)) return ERAR_EREAD;
  partPos_ += n;
  partLeft_ -= n;
  got = n;
  return 0;
}

// The entry's packed bytes as the decoders take them: decrypted when the
// entry is encrypted.
int Archive::readData(uint8_t* buf, size_t size, size_t& got) {
  return crypt_ ? crypt_->read(buf, size, got) : readPacked(buf, size, got);
}

int Archive::readHeader() {
  if (haveEntry_ && !entryDone_)
    if (int r = skipEntry()) return r;
  haveEntry_ = false;
  if (volumeError_) return volumeError_;
  if (atEnd_) return ERAR_END_ARCHIVE;
  // Every block moves pos_ forward within a volume of finite size, and
  // volumes are bounded in number, so this loop ends.
  for (;;) {
    Block b;
    int r = readBlock(pos_, b);
    if (r == ERAR_END_ARCHIVE) atEnd_ = true;
    if (r) return r;
    pos_ = b.nextOffset;
    if (b.kind == BlockKind::End) {
      if (!rar5_ && b.hasVolumeNumber) {
        if (haveEndNumber_ && b.volumeNumber != endNumber_ + 1) return ERAR_BAD_DATA;
        haveEndNumber_ = true;
        endNumber_ = b.volumeNumber;
      }
      if (b.nextVolume) {
        if (int v = nextVolume()) return v;
        continue;
      }
      atEnd_ = true;
      return ERAR_END_ARCHIVE;
    }
    if (b.kind != BlockKind::File) continue;

    const bool startOfSet = volIndex_ == 0 && !filesInVolume_;
    filesInVolume_ = true;
    entry_ = b.file;
    haveEntry_ = true;
    entryDone_ = false;
    orphan_ = entry_.splitBefore && mode_ != RAR_OM_LIST_INCSPLIT;
    partPos_ = b.dataOffset;
    partLeft_ = b.dataSize;
    partSplitAfter_ = entry_.splitAfter;
    if (orphan_) {
      // Only the set's first volume may begin with the tail of a file
      // from a volume before it; anywhere else a volume is out of order.
      if (!startOfSet) return ERAR_BAD_DATA;
      if (mode_ == RAR_OM_LIST) {
        if (int s = skipEntry()) return s;
        haveEntry_ = false;
        continue;
      }
      return 0;
    }
    return 0;
  }
}

int Archive::emitData(const uint8_t* data, size_t size) {
  if (UNRARCALLBACK cb = callbacks.callback)
    if (cb(UCM_PROCESSDATA, callbacks.userData, LPARAM(data), LPARAM(size)) == -1) return ERAR_UNKNOWN;
  if (PROCESSDATAPROC proc = callbacks.processDataProc)
    if (proc(const_cast<uint8_t*>(data), int(size)) == 0) return ERAR_UNKNOWN;
  return 0;
}

int Archive::pump(const DataSink& sink, uint64_t& produced) {
  produced = 0;
  const uint64_t limit = entry_.unknownSize ? UINT64_MAX : entry_.unpSize;
  auto counted = [&](const uint8_t* data, size_t size) -> int {
    if (size > limit - produced) return ERAR_BAD_DATA;  // more than the header declares
    for (size_t done = 0; done < size;) {
      size_t n = std::min(size - done, size_t(INT_MAX));
      if (int r = emitData(data + done, n)) return r;
      if (int r = sink(data + done, n)) return r;
      done += n;
    }
    produced += size;
    return 0;
  };

  if (entry_.method == 0 && crypt_) {
    // Encrypted stored data is padded to whole cipher blocks: what lies
    // past the entry's size is padding.
    platform::AlignedBuffer<uint8_t> buf(kIoChunk);
    if (!buf) return ERAR_NO_MEMORY;
    for (;;) {
      size_t got = 0;
      if (int r = readData(buf.data(), kIoChunk, got)) return r;
      if (got == 0) return 0;
      const size_t n = size_t(std::min<uint64_t>(got, limit - produced));
      if (int r = counted(buf.data(), n)) return r;
    }
  }

  if (entry_.method == 0) {
    // In a large entry the next chunk of the volume is read on a second
    // thread while this one is checked and written. Moving on to the next
    // volume stays on this thread: it may call the caller back.
    platform::AlignedBuffer<uint8_t> buf(2 * kIoChunk);
    if (!buf) return ERAR_NO_MEMORY;
    const bool overlap = entry_.unknownSize || entry_.unpSize >= 8 * kIoChunk;
    ReadAhead ahead;
    uint8_t* cur = buf.data();
    uint8_t* next = cur + kIoChunk;
    size_t got;
    if (int r = readPacked(cur, kIoChunk, got)) return r;
    while (got != 0) {
      const size_t n = size_t(std::min<uint64_t>(kIoChunk, partLeft_));
      const bool early = overlap && n != 0 && partPos_ <= volSize_ && n <= volSize_ - partPos_;
      if (early) {
        ahead.start(fd_, next, n, partPos_);
        partPos_ += n;
        partLeft_ -= n;
      }
      const int r = counted(cur, got);
      const bool read = !early || ahead.finish();
      if (r) return r;
      if (!read) return ERAR_EREAD;
      if (early)
        got = n;
      else if (int e = readPacked(next, kIoChunk, got))
        return e;
      std::swap(cur, next);
    }
    return 0;
  }

  return unpackData(counted, limit);
}

// Compressed data, decoded as the packed bytes are read (across volumes).
// A solid entry continues the stream of the entry before it, so it decodes
// only after that one decoded cleanly.
int Archive::unpackData(const DataSink& sink, uint64_t limit) {
  const int family = unpackFamily(entry_.unpVer);
  if (!family) return ERAR_UNKNOWN_FORMAT;
  const uint64_t dictBytes = entry_.dictKiB * 1024;
  const bool continues = entry_.solid;
  if (continues && (!unpacker_ || unpackerFamily_ != family || !streamIntact_)) {
    streamIntact_ = false;
    return ERAR_BAD_DATA;  // the stream before this entry is missing or damaged
  }
  if (!unpacker_ || unpackerFamily_ != family) {
    unpacker_ = makeUnpacker(entry_.unpVer, size_t(dictBytes));
    unpackerFamily_ = family;
    if (!unpacker_) return ERAR_UNKNOWN_FORMAT;
  }
  unpacker_->setDictionary(dictBytes);
  // The read buffer need not be larger than the packed data (small entries
  // are common in solid archives).
  const size_t block = size_t(std::clamp<uint64_t>(entry_.packSize, 4 << 10, 64 << 10));
  BitInput in([this](uint8_t* buf, size_t size, size_t& got) { return readData(buf, size, got); }, block);
  int r = unpacker_->unpack(in, limit, continues, sink);
  streamIntact_ = r == 0;
  return r;
}

// In a solid archive every entry's data continues the stream, so an entry
// that is skipped is still decoded (without writing) for the next.
bool Archive::decodesWhenSkipped() const {
  return mode_ == RAR_OM_EXTRACT && (flags_ & ROADF_SOLID) && entry_.method != 0 && !entry_.directory && !orphan_ &&
         (!entry_.encrypted || keys_.hasPassword());
}

int Archive::process(int operation, const char* destPath, const char* destName) {
  if (!haveEntry_ || entryDone_) return ERAR_UNKNOWN;
  if (operation == RAR_SKIP && decodesWhenSkipped()) operation = RAR_TEST;
  if (mode_ != RAR_OM_EXTRACT || operation == RAR_SKIP) return skipEntry();
  int r = (operation == RAR_TEST || operation == RAR_EXTRACT) ? extract(operation, destPath, destName) : ERAR_UNKNOWN;
  int s = skipEntry();
  return r ? r : s;
}

int Archive::extract(int operation, const char* destPath, const char* destName) {
  if (orphan_) return ERAR_BAD_DATA;  // its start is in a volume before this set's first
  // The entry's decryption lasts for this call only.
  struct EndDecryption {
    Archive& a;
    ~EndDecryption() {
      a.crypt_.reset();
      a.macKey_.reset();
    }
  } endDecryption{*this};
  if (entry_.encrypted)
    if (int r = startDecryption()) return r;
  const bool compressed = entry_.method != 0;
  if (entry_.method > 5 || (compressed && rar5_ && entry_.algoVersion > 1)) return ERAR_UNKNOWN_FORMAT;
  if (compressed && entry_.dictKiB > kMaxDictKiB) return ERAR_LARGE_DICT;

  const bool writing = operation == RAR_EXTRACT;
  Target target;
  if (writing)
    if (int r = resolveTarget(destPath, destName, entry_.name, target)) return r;
  Metadata meta;
  meta.mode = entry_.unixMode ? entry_.attr & 0777 : entry_.directory ? 0777 : ((entry_.attr & 1) ? 0444 : 0666);
  meta.mtime = entry_.mtime;
  meta.atime = entry_.atime;

  if (entry_.directory) return writing ? makeDirectory(target, meta) : 0;
  if (rar5_ && entry_.redirType != FSREDIR_NONE) {
    if (!writing) return 0;
    std::string link = entry_.redirTarget;
    switch (entry_.redirType) {
      case FSREDIR_UNIXSYMLINK: return makeSymlink(target, link);
      case FSREDIR_WINSYMLINK:
        for (char& c : link)
          if (c == '\\') c = '/';
        if (link.size() >= 2 && link[1] == ':') return ERAR_ECREATE;  // drive letter: absolute
        return makeSymlink(target, link);
      case FSREDIR_HARDLINK: return makeLinkOrCopy(target, link, false, meta);
      case FSREDIR_FILECOPY: return makeLinkOrCopy(target, link, true, meta);
      default: return ERAR_ECREATE;  // junctions always point to absolute paths
    }
  }

  const bool symlink = entry_.redirType == FSREDIR_UNIXSYMLINK;  // RAR 4: the data is the target
  std::string linkTarget;
  OutputFile out;
  if (writing && !symlink)
    if (int r = out.create(target)) return r;
  uint32_t crc = 0;
  // A RAR 5 entry may carry a BLAKE2sp hash instead of a CRC. The last
  // part of a split entry holds the whole file's.
  std::optional<Blake2sp> blake2;
  if (entry_.hashType == RAR_HASH_BLAKE2) blake2.emplace();
  auto sink = [&](const uint8_t* data, size_t size) -> int {
    crc = crc32(crc, data, size);
    if (blake2) blake2->update(data, size);
    if (symlink) {
      if (linkTarget.size() + size > kLinkTargetLimit) return ERAR_BAD_DATA;
      linkTarget.append(reinterpret_cast<const char*>(data), size);
      return 0;
    }
    return writing ? out.write(data, size) : 0;
  };
  uint64_t produced = 0;
  if (int r = pump(sink, produced)) return r;
  uint8_t hash[32];
  if (blake2) blake2->final(hash);
  const bool intact =
      (entry_.unknownSize || produced == entry_.unpSize) && checksumsMatch(crc, blake2 ? hash : nullptr);
  if (!intact) {
    // The decoder got through, but what it made is not what was packed:
    // the stream the next solid entry continues is not intact either.
    if (compressed) streamIntact_ = false;
    if (writing && !symlink && (opFlags_ & ROADOF_KEEPBROKEN)) out.commit(meta);
    return ERAR_BAD_DATA;
  }
  if (!writing) return 0;
  return symlink ? makeSymlink(target, linkTarget) : out.commit(meta);
}

// The cipher for the entry's data: a wrong password is reported before
// anything is written where the entry carries a password check value.
int Archive::startDecryption() {
  if (int r = needPassword()) return r;
  std::unique_ptr<Cipher> cipher;
  if (rar5_) {
    Rar5CryptInfo info;
    if (!parseRar5CryptInfo(entry_.cryptRecord.data(), entry_.cryptRecord.size(), true, info) ||
        info.log2Count > kMaxRar5Log2Count)
      return ERAR_UNKNOWN_FORMAT;
    const Rar5Key* key = keys_.rar5(info.salt, info.log2Count);
    if (!key) return ERAR_NO_MEMORY;
    if (!rar5PasswordMatches(*key, info)) return ERAR_BAD_PASSWORD;
    if (info.useMac) macKey_ = std::make_unique<Rar5Key>(*key);
    cipher = makeRar5Cipher(*key, info.iv);
  } else {
    switch (entry_.unpVer) {
      case 29:
      case 36:
        if (const Rar3Key* key = keys_.rar3(entry_.hasSalt ? entry_.salt : nullptr, encryptVersion_ >= 36))
          cipher = makeRar3Cipher(*key);
        break;
      case 20:
      case 26: cipher = makeRar20Cipher(keys_.password()); break;
      case 15: cipher = makeRar15Cipher(keys_.password()); break;
      default: return ERAR_UNKNOWN_FORMAT;
    }
  }
  if (!cipher) return ERAR_NO_MEMORY;
  crypt_ = std::make_unique<DecryptingSource>(
      [this](uint8_t* buf, size_t size, size_t& got) { return readPacked(buf, size, got); }, std::move(cipher));
  return 0;
}

// The entry's CRC-32 and BLAKE2sp (null when not computed) against its
// header; encrypted RAR 5 entries may store them as HMACs.
bool Archive::checksumsMatch(uint32_t crc, const uint8_t* blake2) const {
  if (entry_.hasCrc && (macKey_ ? rar5MacCrc(*macKey_, crc) : crc) != entry_.crc) return false;
  if (!blake2) return true;
  if (entry_.hashType != RAR_HASH_BLAKE2) return false;  // the last part of a split entry has none
  uint8_t mac[32];
  if (macKey_) {
    rar5MacHash(*macKey_, blake2, mac);
    blake2 = mac;
  }
  return memcmp(blake2, entry_.blake2, 32) == 0;
}

}  // namespace unrar
