#include "par2/PacketReader.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "par2/File.h"
#include "par2/Gf16.h"
#include "platform/DirSearch.h"
#include "platform/Path.h"

namespace par2 {

namespace {

constexpr char kMagic[8] = {'P', 'A', 'R', '2', '\0', 'P', 'K', 'T'};
constexpr size_t kHeader = 64;
constexpr char kMain[16] = {'P', 'A', 'R', ' ', '2', '.', '0', '\0', 'M', 'a', 'i', 'n', '\0', '\0', '\0', '\0'};
constexpr char kFileDesc[16] = {'P', 'A', 'R', ' ', '2', '.', '0', '\0', 'F', 'i', 'l', 'e', 'D', 'e', 's', 'c'};
constexpr char kSliceChecks[16] = {'P', 'A', 'R', ' ', '2', '.', '0', '\0', 'I', 'F', 'S', 'C', '\0', '\0', '\0', '\0'};
constexpr char kRecovery[16] = {'P', 'A', 'R', ' ', '2', '.', '0', '\0', 'R', 'e', 'c', 'v', 'S', 'l', 'i', 'c'};
constexpr char kCreator[16] = {'P', 'A', 'R', ' ', '2', '.', '0', '\0', 'C', 'r', 'e', 'a', 't', 'o', 'r', '\0'};
// Recovery slices seen before the set's slice size is known are kept up to
// this many; one per exponent is all a set can use.
constexpr size_t kMaxPendingRecovery = 65536;
constexpr size_t kMaxPendingPackets = 65536;
constexpr size_t kReadChunk = size_t{1} << 20;

uint64_t Le64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}
uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

Digest DigestAt(const uint8_t* p) {
  Digest d;
  std::memcpy(d.data(), p, d.size());
  return d;
}

// Random access to one .par2 file's bytes: a file on disk or memory.
class Source {
 public:
  virtual ~Source() = default;
  virtual uint64_t Size() const = 0;
  virtual bool Read(void* buffer, size_t length, uint64_t offset) const = 0;  // all or nothing
};

class FileSource : public Source {
 public:
  explicit FileSource(File f) : f_(std::move(f)), size_(f_.Size()) {}
  uint64_t Size() const override { return size_; }
  bool Read(void* buffer, size_t length, uint64_t offset) const override {
    return f_.ReadAt(buffer, length, offset) == static_cast<int64_t>(length);
  }

 private:
  File f_;
  uint64_t size_;
};

class MemorySource : public Source {
 public:
  explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
  uint64_t Size() const override { return bytes_.size(); }
  bool Read(void* buffer, size_t length, uint64_t offset) const override {
    if (offset > bytes_.size() || length > bytes_.size() - offset) return false;
    std::memcpy(buffer, bytes_.data() + offset, length);
    return true;
  }

 private:
  std::string_view bytes_;
};

struct PendingRecovery {
  uint32_t exponent;
  uint64_t dataLength;
  std::string path;
  uint64_t offset;
};

struct FileDescription {
  Digest md5, md5First16k;
  uint64_t length;
  std::string name;
};

class Reader {
 public:
  // The first file read decides the set: its first main packet's, or failing
  // that its first packet's set id.
  platform::Result ReadFrom(const Source& source, const std::string& path, bool first) {
    const uint64_t size = source.Size();
    std::vector<uint8_t> header(kHeader);
    uint64_t pos = 0;
    // Damaged packets that claim lengths over other packets' starts could
    // make the bytes be hashed many times over: the work per file is bounded.
    hashBudget_ = 4 * size + (uint64_t{1} << 20);
    while (pos + kHeader <= size) {
      if (progress_ && !(*progress_)(done_ + pos, total_)) return platform::Result::Failed("cancelled");
      if (!source.Read(header.data(), kHeader, pos)) break;
      if (std::memcmp(header.data(), kMagic, 8) != 0) {
        pos = NextMagic(source, pos + 1);
        continue;
      }
      const uint64_t length = Le64(&header[8]);
      const bool isRecovery = std::memcmp(&header[48], kRecovery, 16) == 0;
      const uint64_t limit = isRecovery ? kHeader + 4 + kMaxSliceSize : kMaxPlainPacket;
      if (length < kHeader || length % 4 != 0 || length > limit || length > size - pos) {
        pos = NextMagic(source, pos + 1);
        continue;
      }
      if (isRecovery && Deferrable(source, pos, length, size)) {
        Defer(source, path, pos, length, header);
        pos += length;
        continue;
      }
      if (length > hashBudget_) break;
      hashBudget_ -= length;
      std::vector<uint8_t> body;
      if (!HashMatches(source, pos, length, header, isRecovery, body)) {
        pos = NextMagic(source, pos + 1);
        continue;
      }
      const Digest setId = DigestAt(&header[32]);
      if (first && !setId_) {
        if (std::memcmp(&header[48], kMain, 16) == 0 && Md5Of(body.data(), body.size()) == setId)
          setId_ = setId;
        else if (!fallbackSetId_)
          fallbackSetId_ = setId;
      }
      if (first && !setId_) {
        // Not known yet: keep the packet until the file's end decides.
        if (held_.size() < kMaxPendingPackets)
          held_.push_back({setId, DigestAt(&header[48]), std::move(body), path, pos, length});
      } else if (setId == *setId_) {
        Take(DigestAt(&header[48]), body, path, pos, length);
      }
      pos += length;
    }
    if (first) {
      if (!setId_) setId_ = fallbackSetId_;
      for (Held& h : held_)
        if (setId_ && h.setId == *setId_) Take(h.type, h.body, h.path, h.offset, h.length);
      held_.clear();
    }
    done_ += size;
    return platform::Result::Ok();
  }

  // Recovery packets in files may be left unchecked for later (see
  // UncheckedRecovery); packets held in memory are all checked at once.
  void AllowDeferring() { deferring_ = true; }

  void SetProgress(const ReadProgress* progress, uint64_t total) {
    progress_ = progress && *progress ? progress : nullptr;
    total_ = total;
  }

  platform::Expected<RecoverySet> Finish(const std::string& folder) {
    using E = platform::Expected<RecoverySet>;
    if (!setId_ || !main_) return E::Failed("no recovery set found (no intact main packet)");
    RecoverySet set;
    set.id = *setId_;
    set.folder = folder;
    set.sliceSize = sliceSize_;
    set.creator = creator_;
    std::set<std::string> names;
    uint64_t slices = 0;
    for (const Digest& id : recoveryIds_) {
      auto desc = descriptions_.find(id);
      if (desc == descriptions_.end()) return E::Failed("the description of a file of the set is missing");
      SourceFile f;
      f.id = id;
      f.md5 = desc->second.md5;
      f.md5First16k = desc->second.md5First16k;
      f.length = desc->second.length;
      f.name = desc->second.name;
      if (!IsPlainFileName(f.name)) return E::Failed("unsafe file name in the recovery set: refused");
      if (!names.insert(f.name).second) return E::Failed("the recovery set names the file " + f.name + " twice");
      const uint64_t count = f.length / sliceSize_ + (f.length % sliceSize_ != 0);
      if (count != 0) {
        auto checks = sliceChecks_.find(id);
        if (checks == sliceChecks_.end()) return E::Failed("the slice checksums of " + f.name + " are missing");
        if (checks->second.size() != count)
          return E::Failed("the slice checksums of " + f.name + " do not fit its length");
        if (count > gf16::kMaxInputSlices - slices) return E::Failed("the recovery set has more than 32768 slices");
        f.slices = std::move(checks->second);
      }
      f.firstSlice = static_cast<uint32_t>(slices);
      slices += count;
      set.files.push_back(std::move(f));
    }
    set.sliceCount = static_cast<uint32_t>(slices);
    for (PendingRecovery& r : pendingRecovery_) AddRecovery(r);
    pendingRecovery_.clear();
    for (auto& [exponent, slice] : recovery_) set.recovery.push_back(std::move(slice));
    for (UncheckedRecovery& u : unchecked_)
      if (u.slice.exponent < gf16::kOrder && !recovery_.count(u.slice.exponent)) set.unchecked.push_back(std::move(u));
    return set;
  }

  std::optional<Digest> setId_;

 private:
  struct Held {
    Digest setId, type;
    std::vector<uint8_t> body;
    std::string path;
    uint64_t offset, length;
  };

  // Checks the packet's MD5 (over everything after the MD5 field); keeps the
  // body of every packet but a recovery slice, which is only hashed.
  bool HashMatches(const Source& source, uint64_t pos, uint64_t length, const std::vector<uint8_t>& header,
                   bool isRecovery, std::vector<uint8_t>& body) {
    Md5 md5;
    md5.Update(&header[32], kHeader - 32);
    const uint64_t bodyLength = length - kHeader;
    if (!isRecovery) {
      body.resize(bodyLength);
      if (!source.Read(body.data(), body.size(), pos + kHeader)) return false;
      md5.Update(body.data(), body.size());
    } else {
      if (bodyLength < 4) return false;
      body.resize(4);
      if (!source.Read(body.data(), 4, pos + kHeader)) return false;
      if (chunk_.empty()) chunk_.resize(kReadChunk);
      for (uint64_t at = 0; at < bodyLength;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(kReadChunk, bodyLength - at));
        if (!source.Read(chunk_.data(), n, pos + kHeader + at)) return false;
        md5.Update(chunk_.data(), n);
        at += n;
      }
    }
    return md5.Final() == DigestAt(&header[16]);
  }

  // A recovery packet of the set whose body need not be hashed now: its
  // length is exactly the set's slice plus header, and the next packet (or
  // the file's end) starts right after it, so even if its body turns out
  // damaged, no packet can hide inside it from the scan.
  bool Deferrable(const Source& source, uint64_t pos, uint64_t length, uint64_t size) const {
    if (!deferring_ || !main_ || length != kHeader + 4 + sliceSize_) return false;
    if (unchecked_.size() >= kMaxPendingRecovery) return false;
    if (pos + length == size) return true;
    char magic[8];
    return pos + length + kHeader <= size && source.Read(magic, 8, pos + length) && std::memcmp(magic, kMagic, 8) == 0;
  }

  void Defer(const Source& source, const std::string& path, uint64_t pos, uint64_t length,
             const std::vector<uint8_t>& header) {
    uint8_t exponent[4];
    if (DigestAt(&header[32]) != *setId_ || !source.Read(exponent, 4, pos + kHeader)) return;
    const uint32_t e = Le32(exponent);
    if (e >= gf16::kOrder || recovery_.count(e)) return;
    unchecked_.push_back({RecoverySlice{e, path, pos + kHeader + 4}, pos, length, DigestAt(&header[16])});
  }

  // The next place at or after `from` where a packet may start.
  uint64_t NextMagic(const Source& source, uint64_t from) {
    const uint64_t size = source.Size();
    std::vector<uint8_t> buffer(64 * 1024);
    while (from + 8 <= size) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(buffer.size(), size - from));
      if (!source.Read(buffer.data(), n, from)) return size;
      for (size_t i = 0; i + 8 <= n; ++i)
        if (buffer[i] == 'P' && std::memcmp(&buffer[i], kMagic, 8) == 0) return from + i;
      from += n - 7;
    }
    return size;
  }

  void Take(const Digest& type, const std::vector<uint8_t>& body, const std::string& path, uint64_t offset,
            uint64_t length) {
    const auto is = [&](const char* kind) { return std::memcmp(type.data(), kind, 16) == 0; };
    if (is(kMain)) {
      TakeMain(body);
    } else if (is(kFileDesc)) {
      if (body.size() < 56) return;
      const Digest id = DigestAt(&body[0]);
      if (!Wanted(id) || descriptions_.count(id)) return;
      std::string name(reinterpret_cast<const char*>(&body[56]), body.size() - 56);
      while (!name.empty() && name.back() == '\0') name.pop_back();
      descriptions_[id] = {DigestAt(&body[16]), DigestAt(&body[32]), Le64(&body[48]), std::move(name)};
    } else if (is(kSliceChecks)) {
      if (body.size() < 16 || (body.size() - 16) % 20 != 0) return;
      const Digest id = DigestAt(&body[0]);
      if (!Wanted(id) || sliceChecks_.count(id)) return;
      std::vector<SliceCheck> checks((body.size() - 16) / 20);
      for (size_t i = 0; i < checks.size(); ++i) {
        checks[i].md5 = DigestAt(&body[16 + 20 * i]);
        checks[i].crc = Le32(&body[32 + 20 * i]);
      }
      sliceChecks_[id] = std::move(checks);
    } else if (is(kRecovery)) {
      const uint64_t dataLength = length - kHeader - 4;
      PendingRecovery r{Le32(&body[0]), dataLength, path, offset + kHeader + 4};
      if (main_)
        AddRecovery(r);
      else if (pendingRecovery_.size() < kMaxPendingRecovery)
        pendingRecovery_.push_back(std::move(r));
    } else if (is(kCreator)) {
      if (creator_.empty()) {
        creator_.assign(reinterpret_cast<const char*>(body.data()), body.size());
        while (!creator_.empty() && creator_.back() == '\0') creator_.pop_back();
      }
    }
  }

  void TakeMain(const std::vector<uint8_t>& body) {
    if (main_ || body.size() < 12 || (body.size() - 12) % 16 != 0) return;
    if (Md5Of(body.data(), body.size()) != *setId_) return;  // the set id is the main packet's hash
    const uint64_t sliceSize = Le64(&body[0]);
    const uint32_t recoveryFiles = Le32(&body[8]);
    const size_t ids = (body.size() - 12) / 16;
    if (sliceSize == 0 || sliceSize % 4 != 0 || sliceSize > kMaxSliceSize) {
      badSliceSize_ = sliceSize;
      hadBadSliceSize_ = true;
      return;
    }
    if (recoveryFiles > ids) return;
    main_ = true;
    sliceSize_ = sliceSize;
    for (size_t i = 0; i < recoveryFiles; ++i) recoveryIds_.push_back(DigestAt(&body[12 + 16 * i]));
    wanted_.insert(recoveryIds_.begin(), recoveryIds_.end());
    // Descriptions and checksums kept before the main packet came: drop
    // those of files outside the set.
    std::erase_if(descriptions_, [&](const auto& kv) { return !wanted_.count(kv.first); });
    std::erase_if(sliceChecks_, [&](const auto& kv) { return !wanted_.count(kv.first); });
  }

  // Before the main packet is known every file id is kept, up to a bound.
  bool Wanted(const Digest& id) const {
    if (main_) return wanted_.count(id) != 0;
    return descriptions_.size() + sliceChecks_.size() < kMaxPendingPackets;
  }

  void AddRecovery(PendingRecovery& r) {
    if (r.dataLength != sliceSize_ || r.exponent >= gf16::kOrder || recovery_.count(r.exponent)) return;
    recovery_[r.exponent] = RecoverySlice{r.exponent, std::move(r.path), r.offset};
  }

 public:
  uint64_t badSliceSize_ = 0;
  bool hadBadSliceSize_ = false;

 private:
  std::optional<Digest> fallbackSetId_;
  std::vector<Held> held_;
  bool main_ = false;
  uint64_t sliceSize_ = 0;
  std::vector<Digest> recoveryIds_;
  std::set<Digest> wanted_;
  std::map<Digest, FileDescription> descriptions_;
  std::map<Digest, std::vector<SliceCheck>> sliceChecks_;
  std::vector<PendingRecovery> pendingRecovery_;
  std::map<uint32_t, RecoverySlice> recovery_;
  std::vector<UncheckedRecovery> unchecked_;
  bool deferring_ = false;
  std::string creator_;
  std::vector<uint8_t> chunk_;
  uint64_t hashBudget_ = 0;
  const ReadProgress* progress_ = nullptr;
  uint64_t done_ = 0, total_ = 0;
};

platform::Expected<RecoverySet> Finished(Reader& reader, const std::string& folder) {
  auto set = reader.Finish(folder);
  if (!set && reader.hadBadSliceSize_)
    return platform::Expected<RecoverySet>::Failed("the recovery set's slice size " +
                                                   std::to_string(reader.badSliceSize_) + " is not usable: refused");
  return set;
}

}  // namespace

bool RecoveryPacketIntact(const UncheckedRecovery& u, std::atomic<uint64_t>& done, const std::atomic<bool>& cancel) {
  File file = File::OpenRead(u.slice.path);
  std::vector<uint8_t> buffer(kReadChunk);
  if (!file.valid() || u.packetLength < kHeader) return false;
  Md5 md5;
  for (uint64_t at = 32; at < u.packetLength;) {
    if (cancel) return false;
    const size_t n = static_cast<size_t>(std::min<uint64_t>(buffer.size(), u.packetLength - at));
    if (file.ReadAt(buffer.data(), n, u.packetOffset + at) != static_cast<int64_t>(n)) return false;
    md5.Update(buffer.data(), n);
    at += n;
    done += n;
  }
  return md5.Final() == u.packetMd5;
}

bool IsPlainFileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  return std::none_of(name.begin(), name.end(), [](char c) {
    return c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
  });
}

platform::Expected<RecoverySet> ReadRecoverySet(const std::string& par2Path, const ReadProgress& progress) {
  using E = platform::Expected<RecoverySet>;
  File named = File::OpenRead(par2Path);
  if (!named.valid()) return E::Failed("cannot read " + par2Path);
  const std::string folder = platform::FolderOf(par2Path);
  std::vector<std::string> others;
  uint64_t total = named.Size();
  for (const std::string& name : platform::FindAll(folder, "*.par2")) {
    const std::string path = folder + name;
    uint64_t size = 0;
    if (name == platform::FileNameOf(par2Path) || !RegularFileSize(path, size)) continue;
    others.push_back(path);
    total += size;
  }
  Reader reader;
  reader.AllowDeferring();
  reader.SetProgress(&progress, total);
  if (auto r = reader.ReadFrom(FileSource(std::move(named)), par2Path, true); !r) return E::Failed(r.message());
  if (!reader.setId_) return E::Failed(par2Path + " holds no intact packet of a recovery set");
  for (const std::string& path : others) {
    File f = File::OpenRead(path);
    if (!f.valid()) continue;
    if (auto r = reader.ReadFrom(FileSource(std::move(f)), path, false); !r) return E::Failed(r.message());
  }
  return Finished(reader, folder);
}

platform::Expected<RecoverySet> ParseRecoverySet(std::string_view bytes, const std::string& path) {
  Reader reader;
  if (auto r = reader.ReadFrom(MemorySource(bytes), path, true); !r)
    return platform::Expected<RecoverySet>::Failed(r.message());
  if (!reader.setId_)
    return platform::Expected<RecoverySet>::Failed(path + " holds no intact packet of a recovery set");
  return Finished(reader, platform::FolderOf(path));
}

}  // namespace par2
