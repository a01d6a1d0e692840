#include "tools/RarWriter.h"

#include "platform/AlignedBuffer.h"
#include "tools/Rar5Crypt.h"
#include "tools/Rar5Encoder.h"
#include "tools/RarWriterBlocks.h"
#include "unrar/Blake2.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>

namespace rarwriter {
namespace {

using blocks::ArchiveInfo;
using blocks::Bytes;
using blocks::EntryPart;

constexpr size_t kChunk = 1 << 20;

[[noreturn]] void Fail(const std::string& what, const std::string& path) {
  throw std::runtime_error("rarwriter: " + what + " " + path + ": " + std::strerror(errno));
}

void WriteAll(int fd, const char* p, size_t n, const std::string& path) {
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) Fail("cannot write", path);
    p += w;
    n -= static_cast<size_t>(w);
  }
}

void PreadAll(int fd, char* out, size_t n, uint64_t offset, const std::string& path) {
  size_t done = 0;
  while (done < n) {
    ssize_t r = ::pread(fd, out + done, n - done, static_cast<off_t>(offset + done));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      if (r == 0) errno = EIO;  // the file shrank while being stored
      Fail("cannot read", path);
    }
    done += static_cast<size_t>(r);
  }
}

uint64_t Mix(uint64_t x) {  // splitmix64 finaliser
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// A run of bytes read slice by slice: an entry's contents or its packed form.
class Reader {
 public:
  virtual ~Reader() = default;
  virtual uint64_t size() const = 0;
  // A hole: zeros that need not be written (only for plain stored data).
  virtual bool isHole() const { return false; }
  // Fills `out` with `n` bytes from `offset` (not for holes).
  virtual void read(uint64_t offset, char* out, size_t n) const = 0;
};

// An entry's contents, whatever their source.
class Source : public Reader {
 public:
  Source(const RarEntry& e, Format format) : e_(e) {
    if (e.isDir) return;
    if (!e.linkTarget.empty()) {
      // RAR 4 keeps a Unix link's target as its data; RAR 5 in a header record.
      if (format == Format::Rar4) inline_ = &e.linkTarget;
      size_ = inline_ ? inline_->size() : 0;
    } else if (e.generated != Generated::None) {
      size_ = e.generatedSize;
    } else if (!e.sourcePath.empty()) {
      fd_ = ::open(e.sourcePath.c_str(), O_RDONLY | O_CLOEXEC);
      struct stat st {};
      if (fd_ < 0 || ::fstat(fd_, &st) != 0) Fail("cannot read", e.sourcePath);
      size_ = static_cast<uint64_t>(st.st_size);
    } else {
      inline_ = &e.data;
      size_ = e.data.size();
    }
  }
  ~Source() override {
    if (fd_ >= 0) ::close(fd_);
  }
  Source(const Source&) = delete;
  Source& operator=(const Source&) = delete;

  uint64_t size() const override { return size_; }
  bool isHole() const override { return e_.generated == Generated::Zeros; }

  void read(uint64_t offset, char* out, size_t n) const override {
    if (inline_) {
      std::memcpy(out, inline_->data() + offset, n);
    } else if (e_.generated == Generated::Zeros) {
      std::memset(out, 0, n);
    } else if (e_.generated == Generated::Pattern) {
      FillPattern(e_.patternSeed, offset, out, n);
    } else {
      PreadAll(fd_, out, n, offset, e_.sourcePath);
    }
  }

 private:
  const RarEntry& e_;
  const std::string* inline_ = nullptr;
  int fd_ = -1;
  uint64_t size_ = 0;
};

// An entry's packed (compressed and/or encrypted) data: in memory while it is
// small, in an unlinked temporary file in the output folder beyond that.
class PackedStore : public Reader, public rar5::ByteSink {
 public:
  explicit PackedStore(std::string folder) : folder_(std::move(folder)) {}
  ~PackedStore() override {
    if (fd_ >= 0) ::close(fd_);
  }
  PackedStore(const PackedStore&) = delete;
  PackedStore& operator=(const PackedStore&) = delete;

  void write(const char* data, size_t n) override {
    size_ += n;
    if (fd_ < 0) {
      mem_.append(data, n);
      if (mem_.size() < kSpill) return;
      std::string path = folder_ + "/.rarwriter-packed-XXXXXX";
      fd_ = ::mkostemp(path.data(), O_CLOEXEC);
      if (fd_ < 0) Fail("cannot create", path);
      ::unlink(path.c_str());
      WriteAll(fd_, mem_.data(), mem_.size(), "a temporary file");
      mem_ = std::string();
      return;
    }
    WriteAll(fd_, data, n, "a temporary file");
  }
  uint64_t size() const override { return size_; }
  void read(uint64_t offset, char* out, size_t n) const override {
    if (fd_ < 0)
      std::memcpy(out, mem_.data() + offset, n);
    else
      PreadAll(fd_, out, n, offset, "a temporary file");
  }

 private:
  static constexpr size_t kSpill = 64 << 20;
  std::string folder_;
  std::string mem_;
  int fd_ = -1;
  uint64_t size_ = 0;
};

// Encrypts what passes through to the next sink.
class EncryptingSink : public rar5::ByteSink {
 public:
  EncryptingSink(const rar5::Keys& keys, const rar5::Iv& iv, rar5::ByteSink& next) : enc_(keys, iv), next_(next) {}
  void write(const char* data, size_t n) override {
    out_.clear();
    enc_.update(data, n, out_);
    next_.write(out_.data(), out_.size());
  }
  void finish() {
    out_.clear();
    enc_.finish(out_);
    next_.write(out_.data(), out_.size());
  }

 private:
  rar5::CbcEncryptor enc_;
  rar5::ByteSink& next_;
  std::string out_;
};

// Where in an entry's packed data a volume may end.
struct SplitRule {
  const std::vector<rar5::BlockHeaderSpan>* blockHeaders = nullptr;  // LZ blocks of plain packed data
  bool wholeAesBlocks = false;                                       // encrypted data

  // The largest cut at most `want` bytes after `offset` (0: none fits).
  uint64_t cut(uint64_t offset, uint64_t want) const {
    uint64_t at = offset + want;
    if (wholeAesBlocks) at -= at % rar5::kAesBlock;
    if (blockHeaders && !blockHeaders->empty()) {
      // Not inside a block header, nor right behind it.
      auto it = std::upper_bound(blockHeaders->begin(), blockHeaders->end(), at,
                                 [](uint64_t v, const rar5::BlockHeaderSpan& s) { return v <= s.offset; });
      if (it != blockHeaders->begin()) {
        --it;
        if (at <= it->offset + it->length) at = it->offset;
      }
    }
    return at > offset ? at - offset : 0;
  }
};

// An entry's data as it goes into the archive, with the checksums of its
// contents.
struct Packed {
  std::unique_ptr<PackedStore> store;
  uint32_t crc = 0;
  std::array<uint8_t, 32> blake2{};
  uint64_t compression = 0;
  bool solid = false;
  std::vector<rar5::BlockHeaderSpan> blockHeaders;
  std::optional<blocks::CryptRecord> crypt;
};

// Plain checksums of data read slice by slice.
class Checksums {
 public:
  explicit Checksums(bool blake2) {
    if (blake2) hash_.emplace();
  }
  void update(const char* p, size_t n) {
    crc_ = Crc32(crc_, p, n);
    if (hash_) hash_->update(reinterpret_cast<const uint8_t*>(p), n);
  }
  // `n` zero bytes; `zeros` is a buffer of `zerosSize` zero bytes.
  void addZeros(uint64_t n, const char* zeros, size_t zerosSize) {
    crc_ = Crc32Zeros(crc_, n);
    if (!hash_) return;
    for (uint64_t done = 0; done < n;) {
      const size_t len = static_cast<size_t>(std::min<uint64_t>(zerosSize, n - done));
      hash_->update(reinterpret_cast<const uint8_t*>(zeros), len);
      done += len;
    }
  }
  uint32_t crc() const { return crc_; }
  std::array<uint8_t, 32> blake2() {
    std::array<uint8_t, 32> out{};
    if (hash_) hash_->final(out.data());
    return out;
  }

 private:
  uint32_t crc_ = 0;
  std::optional<unrar::Blake2sp> hash_;
};

class SetWriter {
 public:
  SetWriter(std::string folder, std::string baseName, const RarOptions& o)
      : folder_(std::move(folder)), base_(std::move(baseName)), o_(o) {
    if (o.format == Format::Rar4 && (o.method > 0 || !o.password.empty()))
      throw std::invalid_argument("rarwriter: RAR 4 archives are written stored and unencrypted only");
    if (o.method < 0 || o.method > 5) throw std::invalid_argument("rarwriter: the method is 0 (store) to 5");
    if (o.method > 0 && (o.dictionary < rar5::kMinDictionary || o.dictionary > (uint64_t{1} << 31) ||
                         (o.dictionary & (o.dictionary - 1)) != 0))
      throw std::invalid_argument("rarwriter: the dictionary is a power of two from 128 KB to 2 GB");
    if (o.kdfLog2 > 24) throw std::invalid_argument("rarwriter: at most 2^24 key derivation rounds");
    info_.format = o.format;
    info_.host = o.host;
    info_.volumeSet = o.volumeSize > 0;
    info_.newNumbering = o.naming == Naming::Part;
    info_.solid = o.solid;
    info_.encryptedHeaders = o.encryptedHeaders;
    salt_ = rar5::RandomSalt();
    if (o.encryptedHeaders && !o.password.empty()) info_.headerKeys = keysFor(o.password);
    endSize_ = header(blocks::EndBlock(info_, 0, false)).size();
  }
  ~SetWriter() {
    if (fd_ >= 0) ::close(fd_);
    for (const auto& p : temps_) ::unlink(p.c_str());
  }

  std::vector<std::string> write(const std::vector<RarEntry>& entries) {
    if (o_.method > 0) {
      // The dictionary need not exceed what the archive holds.
      uint64_t total = 0;
      for (const auto& e : entries) total += Source(e, o_.format).size();
      encoder_ = std::make_unique<rar5::Encoder>(rar5::EncoderOptions{o_.method, DictionaryFor(total)});
    }
    openVolume();
    std::vector<const RarEntry*> order;
    for (const auto& e : entries) order.push_back(&e);
    if (o_.solid && o_.method > 0) {
      // Folders first: The Unarchiver ends a solid stream at a folder, so the
      // files' data must follow each other without one in between.
      std::stable_partition(order.begin(), order.end(), [](const RarEntry* e) { return e->isDir; });
    }
    for (size_t i = 0; i < order.size(); ++i) writeEntry(*order[i], i > 0 && o_.solid);
    closeVolume(true);
    std::vector<std::string> finals;
    for (size_t i = 0; i < temps_.size(); ++i) {
      std::string final = folder_ + "/" + VolumeName(base_, o_, i, temps_.size());
      if (::rename(temps_[i].c_str(), final.c_str()) != 0) {
        for (const auto& done : finals) ::unlink(done.c_str());
        Fail("cannot rename to", final);
      }
      finals.push_back(final);
    }
    temps_.clear();
    return finals;
  }

 private:
  // The smallest dictionary that holds `size` bytes (and a longest match to
  // spare), within the one asked for.
  uint64_t DictionaryFor(uint64_t size) const {
    uint64_t d = rar5::kMinDictionary;
    while (d < o_.dictionary && d < size + 0x2000) d <<= 1;
    return std::max(d, rar5::kMinDictionary);
  }

  const rar5::Keys* keysFor(const std::string& password) {
    auto it = keys_.find(password);
    if (it == keys_.end()) it = keys_.emplace(password, rar5::DeriveKeys(password, salt_, o_.kdfLog2)).first;
    return &it->second;
  }

  // The key an entry's data is encrypted with, if any.
  const rar5::Keys* entryKeys(const RarEntry& e) {
    if (o_.format != Format::Rar5 || e.isDir || !e.linkTarget.empty()) return nullptr;
    const std::string& password = e.password ? *e.password : o_.password;
    return password.empty() ? nullptr : keysFor(password);
  }

  Bytes header(const Bytes& block) const { return blocks::Protect(info_, block); }

  void openVolume() {
    std::string path = folder_ + "/." + base_ + ".vol" + std::to_string(temps_.size()) + ".tmp";
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0) Fail("cannot create", path);
    temps_.push_back(path);
    pos_ = 0;
    emit(blocks::Signature(o_.format));
    emit(blocks::PreMainBlock(info_));
    emit(header(blocks::MainBlock(info_, temps_.size() - 1)));
    if (temps_.size() == 1 && !o_.comment.empty()) {
      // The comment's data stays plain; only its header is protected.
      const Bytes block = blocks::CommentBlock(info_, o_.comment);
      const size_t headerSize = block.size() - o_.comment.size();
      emit(header(block.substr(0, headerSize)) + o_.comment);
    }
    freshPos_ = pos_;
  }

  void closeVolume(bool last) {
    emit(header(blocks::EndBlock(info_, temps_.size() - 1, last)));
    // A hole at the very end is impossible (the end block follows), so the
    // file length is already right.
    if (::close(fd_) != 0) Fail("cannot write", temps_.back());
    fd_ = -1;
  }

  void nextVolume() {
    if (pos_ == freshPos_)
      throw std::runtime_error("rarwriter: volume size " + std::to_string(o_.volumeSize) +
                               " is too small for the headers");
    closeVolume(false);
    openVolume();
  }

  // Room left in the current volume for data behind a header of `headerSize`.
  int64_t room(size_t headerSize) const {
    if (!info_.volumeSet) return INT64_MAX;
    return static_cast<int64_t>(o_.volumeSize) - static_cast<int64_t>(pos_) - static_cast<int64_t>(headerSize) -
           static_cast<int64_t>(endSize_);
  }

  // Compresses and/or encrypts an entry's contents. Nothing when the entry is
  // better stored plain: incompressible and not encrypted.
  std::optional<Packed> pack(const Source& src, const rar5::Keys* keys, bool compress) {
    Packed p;
    p.store = std::make_unique<PackedStore>(folder_);
    rar5::ByteSink* sink = p.store.get();
    std::optional<EncryptingSink> enc;
    if (keys) {
      p.crypt = blocks::CryptRecord{keys, rar5::RandomIv()};
      enc.emplace(*keys, p.crypt->iv, *p.store);
      sink = &*enc;
    }
    if (compress && src.size() == 0) {
      // Nothing to compress: stored. Inside a solid stream the entry keeps
      // the solid flag and the stream's dictionary, or The Unarchiver starts
      // a new stream with it (and libarchive 3.6 refuses a dictionary that
      // changes within one).
      if (o_.solid && streamStarted_) {
        p.solid = true;
        p.compression = blocks::CompressionInfo(0, encoder_->dictionary());
      }
      compress = false;
    }
    if (compress) {
      p.solid = o_.solid && streamStarted_;
      encoder_->beginEntry(p.solid, *sink);
    }
    Checksums sums(o_.hash == Hash::Blake2);
    if (!buffer_) buffer_ = platform::AlignedBuffer<char>(kChunk);
    if (!buffer_) throw std::bad_alloc();
    for (uint64_t done = 0; done < src.size();) {
      const size_t len = static_cast<size_t>(std::min<uint64_t>(kChunk, src.size() - done));
      src.read(done, buffer_.data(), len);
      sums.update(buffer_.data(), len);
      if (compress)
        encoder_->write(buffer_.data(), len);
      else
        sink->write(buffer_.data(), len);
      done += len;
    }
    if (compress) {
      encoder_->finishEntry();
      if (!o_.solid && encoder_->packedSize() >= src.size()) {
        if (!keys) return std::nullopt;
        return pack(src, keys, false);
      }
      streamStarted_ = true;
      p.blockHeaders = encoder_->blockHeaders();
      const uint64_t dictionary = o_.solid ? encoder_->dictionary() : DictionaryFor(src.size());
      p.compression = blocks::CompressionInfo(o_.method, std::min(dictionary, encoder_->dictionary()));
    }
    if (enc) enc->finish();
    p.crc = sums.crc();
    p.blake2 = sums.blake2();
    return p;
  }

  void writeEntry(const RarEntry& e, bool solid) {
    if (!e.linkTarget.empty() && o_.format == Format::Rar4 && o_.host == Host::Windows)
      throw std::runtime_error("rarwriter: RAR 4 keeps links only for a Unix host: " + e.name);
    Source src(e, o_.format);
    const rar5::Keys* keys = entryKeys(e);
    const bool isFile = !e.isDir && e.linkTarget.empty();
    std::optional<Packed> packed;
    if (o_.format == Format::Rar5 && isFile && (o_.method > 0 || keys)) packed = pack(src, keys, o_.method > 0);
    const Reader& data = packed ? static_cast<const Reader&>(*packed->store) : src;
    const bool blake2 = o_.format == Format::Rar5 && o_.hash == Hash::Blake2 && isFile;

    EntryPart part;
    part.entry = &e;
    part.unpackedSize = src.size();
    // Stored data in a "solid" archive only carries the flag.
    part.solid = packed ? packed->solid : solid;
    if (!packed && encoder_ && o_.solid && !e.isDir) {
      // A link inside a compressed solid stream: no data, but the stream's
      // flag and dictionary, as for an empty file.
      part.solid = streamStarted_;
      if (streamStarted_) part.compression = blocks::CompressionInfo(0, encoder_->dictionary());
    }
    if (packed) {
      part.compression = packed->compression;
      if (packed->crypt) part.crypt = &*packed->crypt;
    }
    if (blake2) part.blake2.emplace();
    SplitRule rule;
    if (packed && packed->crypt)
      rule.wholeAesBlocks = true;
    else if (packed)
      rule.blockHeaders = &packed->blockHeaders;

    uint64_t offset = 0;
    uint32_t wholeCrc = 0;
    std::optional<unrar::Blake2sp> wholeHash;
    if (blake2 && !packed) wholeHash.emplace();
    for (;;) {
      part.splitBefore = offset > 0;
      part.splitAfter = false;
      part.partSize = data.size() - offset;
      part.breakHeaderCrc = e.damageHeader && offset == 0;
      int64_t space = room(header(blocks::FileBlock(info_, part)).size());
      if (space < 0 || (space == 0 && part.partSize > 0)) {
        nextVolume();
        continue;
      }
      if (static_cast<uint64_t>(space) < part.partSize) {
        const uint64_t cut = rule.cut(offset, static_cast<uint64_t>(space));
        if (cut == 0) {
          nextVolume();
          continue;
        }
        part.partSize = cut;
        part.splitAfter = true;
      }
      // The header goes first with a provisional checksum and is rewritten
      // once the data (and so the checksum) is known; its length does not
      // change.
      const uint64_t headerAt = pos_;
      emit(header(blocks::FileBlock(info_, part)));
      const uint64_t dataAt = pos_;
      Checksums partSums(blake2);
      copyData(data, offset, part.partSize, partSums, wholeHash ? &*wholeHash : nullptr);
      wholeCrc = static_cast<uint32_t>(crc32_combine(wholeCrc, partSums.crc(), static_cast<z_off_t>(part.partSize)));
      if (part.splitAfter) {
        // A part that does not end the entry carries the checksum of its
        // own stored bytes.
        part.crc = partSums.crc();
        if (blake2) part.blake2 = partSums.blake2();
      } else {
        part.crc = packed ? packed->crc : wholeCrc;
        if (packed) {
          if (blake2) part.blake2 = packed->blake2;
        } else if (wholeHash) {
          part.blake2.emplace();
          wholeHash->final(part.blake2->data());
        }
        if (part.crypt) {
          part.crc = rar5::TweakCrc32(*part.crypt->keys, part.crc);
          if (blake2) part.blake2 = rar5::TweakBlake2(*part.crypt->keys, *part.blake2);
        }
      }
      patch(headerAt, header(blocks::FileBlock(info_, part)));
      if (e.damageData && offset == 0) damageByte(dataAt, part.partSize);
      offset += part.partSize;
      if (!part.splitAfter) break;
      nextVolume();
    }
  }

  // Copies `n` bytes of `src` from `offset`, adding them to the part's
  // checksums and to the entry's hash.
  void copyData(const Reader& src, uint64_t offset, uint64_t n, Checksums& part, unrar::Blake2sp* whole) {
    if (!buffer_) buffer_ = platform::AlignedBuffer<char>(kChunk);
    if (!buffer_) throw std::bad_alloc();
    if (src.isHole()) {
      if (n && ::lseek(fd_, static_cast<off_t>(n), SEEK_CUR) < 0) Fail("cannot seek", temps_.back());
      pos_ += n;
      // The checksums of the zeros, without writing them.
      std::memset(buffer_.data(), 0, kChunk);
      part.addZeros(n, buffer_.data(), kChunk);
      for (uint64_t done = 0; whole && done < n;) {
        const size_t len = static_cast<size_t>(std::min<uint64_t>(kChunk, n - done));
        whole->update(reinterpret_cast<const uint8_t*>(buffer_.data()), len);
        done += len;
      }
      return;
    }
    for (uint64_t done = 0; done < n;) {
      size_t len = static_cast<size_t>(std::min<uint64_t>(kChunk, n - done));
      src.read(offset + done, buffer_.data(), len);
      part.update(buffer_.data(), len);
      if (whole) whole->update(reinterpret_cast<const uint8_t*>(buffer_.data()), len);
      writeAll(buffer_.data(), len);
      done += len;
    }
  }

  void damageByte(uint64_t at, uint64_t partSize) {
    if (partSize == 0) return;
    unsigned char b = 0;
    if (::pread(fd_, &b, 1, static_cast<off_t>(at)) != 1) Fail("cannot read back", temps_.back());
    b ^= 0xFF;
    if (::pwrite(fd_, &b, 1, static_cast<off_t>(at)) != 1) Fail("cannot write", temps_.back());
  }

  void emit(const Bytes& b) { writeAll(b.data(), b.size()); }

  void writeAll(const char* p, size_t n) {
    WriteAll(fd_, p, n, temps_.back());
    pos_ += n;
  }

  void patch(uint64_t at, const Bytes& b) {
    if (::pwrite(fd_, b.data(), b.size(), static_cast<off_t>(at)) != static_cast<ssize_t>(b.size()))
      Fail("cannot write", temps_.back());
  }

  std::string folder_, base_;
  const RarOptions& o_;
  ArchiveInfo info_;
  size_t endSize_ = 0;
  int fd_ = -1;
  uint64_t pos_ = 0, freshPos_ = 0;
  std::vector<std::string> temps_;
  platform::AlignedBuffer<char> buffer_;
  rar5::Salt salt_{};
  std::map<std::string, rar5::Keys> keys_;
  std::unique_ptr<rar5::Encoder> encoder_;
  bool streamStarted_ = false;  // a solid stream has begun
};

std::string Padded(uint64_t n, int width) {
  std::string s = std::to_string(n);
  if (static_cast<int>(s.size()) < width) s.insert(0, width - s.size(), '0');
  return s;
}

}  // namespace

RarEntry File(std::string name, std::string data) {
  RarEntry e;
  e.name = std::move(name);
  e.data = std::move(data);
  return e;
}

RarEntry Dir(std::string name) {
  RarEntry e;
  e.name = std::move(name);
  e.isDir = true;
  return e;
}

RarEntry Link(std::string name, std::string target) {
  RarEntry e;
  e.name = std::move(name);
  e.linkTarget = std::move(target);
  return e;
}

RarEntry Zeros(std::string name, uint64_t size) {
  RarEntry e;
  e.name = std::move(name);
  e.generated = Generated::Zeros;
  e.generatedSize = size;
  return e;
}

RarEntry Pattern(std::string name, uint64_t size, uint64_t seed) {
  RarEntry e = Zeros(std::move(name), size);
  e.generated = Generated::Pattern;
  e.patternSeed = seed;
  return e;
}

RarEntry FromFile(std::string name, std::string path) {
  RarEntry e;
  e.name = std::move(name);
  e.sourcePath = std::move(path);
  return e;
}

std::vector<std::string> WriteRar(const std::string& folder, const std::string& baseName,
                                  const std::vector<RarEntry>& entries, const RarOptions& options) {
  if (baseName.empty() || baseName.find('/') != std::string::npos)
    throw std::runtime_error("rarwriter: the base name must be a plain file name");
  SetWriter writer(folder.empty() ? "." : folder, baseName, options);
  return writer.write(entries);
}

std::string VolumeName(const std::string& baseName, const RarOptions& o, size_t index, size_t count) {
  const bool set = o.volumeSize > 0;
  switch (o.naming) {
    case Naming::Part: {
      if (!set) return baseName + ".rar";
      int width = o.partDigits > 0 ? o.partDigits : static_cast<int>(std::to_string(std::max<size_t>(count, 1)).size());
      return baseName + ".part" + Padded(index + 1, width) + ".rar";
    }
    case Naming::Old: {
      if (index == 0) return baseName + ".rar";
      const size_t n = index - 1;  // r00 … r99, s00 … s99, …
      return baseName + "." + static_cast<char>('r' + n / 100) + Padded(n % 100, 2);
    }
    case Naming::Numeric: return baseName + "." + Padded(static_cast<uint64_t>(o.firstNumber) + index, 3);
  }
  return baseName + ".rar";
}

void FillPattern(uint64_t seed, uint64_t offset, char* out, size_t length) {
  // Each aligned 8-byte word is a hash of (seed, word index), so any slice can
  // be produced without the bytes before it.
  uint64_t word = offset / 8;
  size_t skip = static_cast<size_t>(offset % 8);
  const uint64_t key = Mix(seed);
  while (length > 0) {
    uint64_t v = Mix(key ^ word++);
    unsigned char bytes[8];
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<unsigned char>(v >> (8 * i));
    size_t take = std::min<size_t>(8 - skip, length);
    std::memcpy(out, bytes + skip, take);
    out += take;
    length -= take;
    skip = 0;
  }
}

std::string PatternBytes(uint64_t seed, uint64_t offset, size_t length) {
  std::string s(length, '\0');
  FillPattern(seed, offset, s.data(), length);
  return s;
}

uint32_t Crc32(uint32_t crc, const void* data, size_t length) {
  const auto* p = static_cast<const Bytef*>(data);
  while (length > 0) {  // zlib takes 32-bit lengths
    uInt n = static_cast<uInt>(std::min<size_t>(length, 1u << 30));
    crc = static_cast<uint32_t>(::crc32(crc, p, n));
    p += n;
    length -= n;
  }
  return crc;
}

uint32_t Crc32Zeros(uint32_t crc, uint64_t count) {
  // CRC of 2^k zero bytes by doubling, combined for each set bit of `count`.
  static const unsigned char zero = 0;
  uint32_t block = Crc32(0, &zero, 1);  // CRC of 1 zero byte
  uint64_t blockLen = 1;
  while (count > 0) {
    if (count & 1) crc = static_cast<uint32_t>(crc32_combine(crc, block, static_cast<z_off_t>(blockLen)));
    count >>= 1;
    if (count) {
      block = static_cast<uint32_t>(crc32_combine(block, block, static_cast<z_off_t>(blockLen)));
      blockLen *= 2;
    }
  }
  return crc;
}

}  // namespace rarwriter
