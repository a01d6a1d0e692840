#include "par2/SliceScan.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "par2/Crc32.h"
#include "par2/Md5.h"
#include "platform/AlignedBuffer.h"

namespace par2 {

namespace {

constexpr size_t kChunk = size_t{1} << 20;
// Whole-file checks read in pieces that stay in the core's own cache between
// the read, the MD5 and the CRC-32 passes over them.
constexpr size_t kWholeChunk = size_t{1} << 18;

}  // namespace

WholeCheck CheckWhole(const File& file, const SourceFile& f, uint64_t sliceSize, std::atomic<uint64_t>& done,
                      const std::atomic<bool>& cancel) {
  if (file.Size() != f.length) return WholeCheck::Damaged;
  platform::AlignedBuffer<uint8_t> buffer(kWholeChunk);
  if (!buffer) return WholeCheck::Unreadable;
  Md5 md5;
  uint32_t crc = 0;
  uint64_t fill = 0;  // bytes of the current slice seen
  size_t slice = 0;
  for (uint64_t at = 0; at < f.length;) {
    if (cancel) return WholeCheck::Cancelled;
    const size_t want = static_cast<size_t>(std::min<uint64_t>(kWholeChunk, f.length - at));
    const int64_t got = file.ReadAt(buffer.data(), want, at);
    if (got < 0) return WholeCheck::Unreadable;
    if (static_cast<size_t>(got) != want) return WholeCheck::Damaged;  // shrank while read
    md5.Update(buffer.data(), want);
    for (size_t p = 0; p < want;) {
      const size_t take = static_cast<size_t>(std::min<uint64_t>(sliceSize - fill, want - p));
      crc = Crc32Continue(crc, buffer.data() + p, take);
      fill += take;
      p += take;
      const bool last = at + p == f.length;
      if (fill == sliceSize || last) {
        if (fill < sliceSize) crc = Crc32AppendZeros(crc, sliceSize - fill);
        if (slice >= f.slices.size() || crc != f.slices[slice].crc) {
          done += want;
          return WholeCheck::Damaged;
        }
        ++slice;
        crc = 0;
        fill = 0;
      }
    }
    at += want;
    done += want;
  }
  return md5.Final() == f.md5 ? WholeCheck::Intact : WholeCheck::Damaged;
}

namespace {

class Scanner {
 public:
  Scanner(const File& file, const SourceFile& f, uint64_t sliceSize, std::vector<int64_t>& found)
      : file_(file), f_(f), s_(static_cast<size_t>(sliceSize)), found_(found), size_(file.Size()), roll_(s_) {
    const size_t count = f.slices.size();
    tail_ = static_cast<size_t>(f.length - (count - 1) * sliceSize);
    // The last slice is looked up by the rolling checksum only when it is
    // full; a short one is tried at the places it can be (see TryTail).
    const size_t full = tail_ == s_ ? count : count - 1;
    for (size_t i = 0; i < full; ++i) {
      byCrc_.emplace(f.slices[i].crc, i);
      filter_[(f.slices[i].crc >> 16) >> 3] |= static_cast<uint8_t>(1u << ((f.slices[i].crc >> 16) & 7));
    }
  }

  bool Run(std::atomic<uint64_t>& done, const std::atomic<bool>& cancel) {
    capacity_ = s_ + std::max(s_, kChunk) + 1;
    buffer_ = platform::AlignedBuffer<uint8_t>(capacity_);
    if (!buffer_) return false;
    uint64_t pos = 0;
    bool haveCrc = false;
    uint32_t crc = 0;
    uint64_t reported = 0;
    TryTail(f_.length - tail_);
    if (size_ >= tail_) TryTail(size_ - tail_);
    while (pos + s_ <= size_) {
      if (cancel) return false;
      if (!Fill(pos, s_ + 1)) return false;
      if (pos > reported) {
        done += pos - reported;
        reported = pos;
      }
      const uint8_t* window = buffer_.data() + (pos - start_);
      if (!haveCrc) {
        crc = Crc32(window, s_);
        haveCrc = true;
      }
      if (Matches(crc, window, pos)) {
        pos += s_;
        haveCrc = false;
        TryTail(pos);
        continue;
      }
      // Slide until a checksum passes the filter or the buffered bytes end.
      const uint64_t end = std::min<uint64_t>(start_ + length_, size_);
      uint64_t p = pos;
      const uint8_t* b = buffer_.data() - start_;
      bool hit = false;
      while (p + s_ < end) {
        crc = roll_.Roll(crc, b[p], b[p + s_]);
        ++p;
        const uint32_t key = crc >> 16;
        if (filter_[key >> 3] & (1u << (key & 7))) {
          hit = true;
          break;
        }
      }
      pos = p;
      if (!hit && p + s_ >= size_) break;
    }
    if (size_ > reported) done += size_ - reported;
    return true;
  }

 private:
  // Makes bytes [pos, pos + need) available (fewer at the end of the file).
  bool Fill(uint64_t pos, size_t need) {
    const uint64_t want = std::min<uint64_t>(pos + need, size_);
    if (pos >= start_ && want <= start_ + length_) return true;
    size_t keep = 0;
    if (pos >= start_ && pos < start_ + length_) {
      keep = static_cast<size_t>(start_ + length_ - pos);
      std::memmove(buffer_.data(), buffer_.data() + (pos - start_), keep);
    }
    start_ = pos;
    const size_t room = capacity_ - keep;
    const int64_t got = file_.ReadAt(buffer_.data() + keep, room, pos + keep);
    if (got < 0) return false;
    length_ = keep + static_cast<size_t>(got);
    return true;
  }

  bool Matches(uint32_t crc, const uint8_t* window, uint64_t pos) {
    auto [first, last] = byCrc_.equal_range(crc);
    if (first == last) return false;
    const Digest md5 = Md5Of(window, s_);
    for (auto it = first; it != last; ++it) {
      if (f_.slices[it->second].md5 == md5) {
        Record(it->second, pos);
        return true;
      }
    }
    return false;
  }

  // The short last slice at `pos`, if it fits there.
  void TryTail(uint64_t pos) {
    const size_t last = f_.slices.size() - 1;
    if (tail_ == s_ || found_[last] >= 0 || pos + tail_ > size_) return;
    std::vector<uint8_t> bytes(s_, 0);
    if (file_.ReadAt(bytes.data(), tail_, pos) != static_cast<int64_t>(tail_)) return;
    if (Crc32(bytes.data(), s_) != f_.slices[last].crc) return;
    if (Md5Of(bytes.data(), s_) == f_.slices[last].md5) Record(last, pos);
  }

  void Record(size_t slice, uint64_t pos) {
    if (found_[slice] < 0) found_[slice] = static_cast<int64_t>(pos);
  }

  const File& file_;
  const SourceFile& f_;
  size_t s_;
  std::vector<int64_t>& found_;
  uint64_t size_;
  RollingCrc32 roll_;
  size_t tail_ = 0;
  std::unordered_multimap<uint32_t, size_t> byCrc_;
  uint8_t filter_[8192] = {};
  platform::AlignedBuffer<uint8_t> buffer_;
  size_t capacity_ = 0;
  uint64_t start_ = 0;
  size_t length_ = 0;
};

}  // namespace

bool ScanSlices(const File& file, const SourceFile& f, uint64_t sliceSize, std::vector<int64_t>& found,
                std::atomic<uint64_t>& done, const std::atomic<bool>& cancel) {
  found.assign(f.slices.size(), -1);
  if (f.slices.empty()) return true;
  return Scanner(file, f, sliceSize, found).Run(done, cancel);
}

}  // namespace par2
