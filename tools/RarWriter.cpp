#include "tools/RarWriter.h"

#include "platform/AlignedBuffer.h"
#include "tools/RarWriterBlocks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
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

uint64_t Mix(uint64_t x) {  // splitmix64 finaliser
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// Reads an entry's contents slice by slice, whatever their source.
class Source {
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
  ~Source() {
    if (fd_ >= 0) ::close(fd_);
  }
  Source(const Source&) = delete;
  Source& operator=(const Source&) = delete;

  uint64_t size() const { return size_; }
  bool isHole() const { return e_.generated == Generated::Zeros; }

  // Fills `out` with `n` bytes from `offset` (not for holes).
  void read(uint64_t offset, char* out, size_t n) const {
    if (inline_) {
      std::memcpy(out, inline_->data() + offset, n);
    } else if (e_.generated == Generated::Pattern) {
      FillPattern(e_.patternSeed, offset, out, n);
    } else {
      size_t done = 0;
      while (done < n) {
        ssize_t r = ::pread(fd_, out + done, n - done, static_cast<off_t>(offset + done));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) {
          if (r == 0) errno = EIO;  // the file shrank while being stored
          Fail("cannot read", e_.sourcePath);
        }
        done += static_cast<size_t>(r);
      }
    }
  }

 private:
  const RarEntry& e_;
  const std::string* inline_ = nullptr;
  int fd_ = -1;
  uint64_t size_ = 0;
};

class SetWriter {
 public:
  SetWriter(std::string folder, std::string baseName, const RarOptions& o)
      : folder_(std::move(folder)), base_(std::move(baseName)), o_(o) {
    info_.format = o.format;
    info_.host = o.host;
    info_.volumeSet = o.volumeSize > 0;
    info_.newNumbering = o.naming == Naming::Part;
    info_.solid = o.solid;
    info_.encryptedHeaders = o.encryptedHeaders;
    endSize_ = blocks::EndBlock(info_, 0, false).size();
  }
  ~SetWriter() {
    if (fd_ >= 0) ::close(fd_);
    for (const auto& p : temps_) ::unlink(p.c_str());
  }

  std::vector<std::string> write(const std::vector<RarEntry>& entries) {
    openVolume();
    for (size_t i = 0; i < entries.size(); ++i) writeEntry(entries[i], i > 0 && o_.solid);
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
  void openVolume() {
    std::string path = folder_ + "/." + base_ + ".vol" + std::to_string(temps_.size()) + ".tmp";
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0) Fail("cannot create", path);
    temps_.push_back(path);
    pos_ = 0;
    emit(blocks::Signature(o_.format));
    emit(blocks::PreMainBlock(info_));
    emit(blocks::MainBlock(info_, temps_.size() - 1));
    if (temps_.size() == 1 && !o_.comment.empty()) emit(blocks::CommentBlock(info_, o_.comment));
    freshPos_ = pos_;
  }

  void closeVolume(bool last) {
    emit(blocks::EndBlock(info_, temps_.size() - 1, last));
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

  void writeEntry(const RarEntry& e, bool solid) {
    if (!e.linkTarget.empty() && o_.format == Format::Rar4 && o_.host == Host::Windows)
      throw std::runtime_error("rarwriter: RAR 4 keeps links only for a Unix host: " + e.name);
    Source src(e, o_.format);
    EntryPart part;
    part.entry = &e;
    part.unpackedSize = src.size();
    part.solid = solid;
    uint64_t offset = 0;
    uint32_t wholeCrc = 0;
    for (;;) {
      part.splitBefore = offset > 0;
      part.splitAfter = false;
      part.partSize = src.size() - offset;
      part.breakHeaderCrc = e.damageHeader && offset == 0;
      int64_t space = room(blocks::FileBlock(info_, part).size());
      if (space < 0 || (space == 0 && part.partSize > 0)) {
        nextVolume();
        continue;
      }
      if (static_cast<uint64_t>(space) < part.partSize) {
        part.partSize = static_cast<uint64_t>(space);
        part.splitAfter = true;
      }
      // The header goes first with a provisional CRC and is rewritten once
      // the data (and so the CRC) is known; its length does not change.
      const uint64_t headerAt = pos_;
      emit(blocks::FileBlock(info_, part));
      const uint64_t dataAt = pos_;
      uint32_t partCrc = copyData(src, offset, part.partSize);
      wholeCrc = static_cast<uint32_t>(crc32_combine(wholeCrc, partCrc, static_cast<z_off_t>(part.partSize)));
      part.crc = part.splitAfter ? partCrc : wholeCrc;
      patch(headerAt, blocks::FileBlock(info_, part));
      if (e.damageData && offset == 0) damageByte(dataAt, part.partSize);
      offset += part.partSize;
      if (!part.splitAfter) break;
      nextVolume();
    }
  }

  // Copies `n` bytes of `src` from `offset` and returns their CRC.
  uint32_t copyData(const Source& src, uint64_t offset, uint64_t n) {
    if (src.isHole()) {
      if (n && ::lseek(fd_, static_cast<off_t>(n), SEEK_CUR) < 0) Fail("cannot seek", temps_.back());
      pos_ += n;
      return Crc32Zeros(0, n);
    }
    if (!buffer_) {
      buffer_ = platform::AlignedBuffer<char>(kChunk);
      if (!buffer_) throw std::bad_alloc();
    }
    uint32_t crc = 0;
    for (uint64_t done = 0; done < n;) {
      size_t len = static_cast<size_t>(std::min<uint64_t>(kChunk, n - done));
      src.read(offset + done, buffer_.data(), len);
      crc = Crc32(crc, buffer_.data(), len);
      writeAll(buffer_.data(), len);
      done += len;
    }
    return crc;
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
    while (n > 0) {
      ssize_t w = ::write(fd_, p, n);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) Fail("cannot write", temps_.back());
      p += w;
      n -= static_cast<size_t>(w);
      pos_ += static_cast<uint64_t>(w);
    }
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
