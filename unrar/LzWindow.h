// The sliding window of the LZ decoders: the output of the stream so far,
// of which matches copy earlier bytes. The window is a power of two in size
// and keeps its contents from entry to entry of a solid archive, and when
// it grows. Decoded bytes are handed out with flush() before they can be
// overwritten.
#pragma once

#include <sys/mman.h>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "unrar/DataSink.h"

namespace unrar {

class LzWindow {
 public:
  LzWindow() = default;
  LzWindow(const LzWindow&) = delete;
  LzWindow& operator=(const LzWindow&) = delete;
  ~LzWindow() {
    if (buf_) munmap(buf_, size_);
  }

  // Makes the window at least `size` bytes (rounded up to a power of two).
  // A window already that large keeps its contents, and so does one that
  // grows. False when out of memory.
  bool reserve(size_t size) {
    size_t want = 1;
    while (want < size) want <<= 1;
    if (want <= size_) return true;
    if (buf_ && pos_ <= size_) {
      // Nothing has wrapped around yet: every byte keeps its offset in a
      // larger window, so the pages can simply be moved.
      void* p = mremap(buf_, size_, want, MREMAP_MAYMOVE);
      if (p == MAP_FAILED) return false;
      buf_ = static_cast<uint8_t*>(p);
      size_ = want;
      mask_ = want - 1;
      return true;
    }
    // Fresh zero pages from the system, touched only as they are used: no
    // cost for the part of a large window a small entry never reaches.
    void* p = mmap(nullptr, want, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) return false;
    auto* fresh = static_cast<uint8_t*>(p);
    if (buf_) {  // a solid stream that needs more room: keep the recent bytes
      const uint64_t from = pos_ > size_ ? pos_ - size_ : 0;
      for (uint64_t at = from; at < pos_;) {
        const size_t src = size_t(at & mask_);
        const size_t dst = size_t(at & (want - 1));
        const size_t n = size_t(std::min<uint64_t>({pos_ - at, size_ - src, want - dst}));
        memcpy(fresh + dst, buf_ + src, n);
        at += n;
      }
      munmap(buf_, size_);
    }
    buf_ = fresh;
    size_ = want;
    mask_ = want - 1;
    return true;
  }
  // Starts a new stream: nothing before this point may be referred to.
  void restart() { pos_ = flushed_ = 0; }

  size_t size() const { return size_; }
  size_t mask() const { return mask_; }
  uint8_t* data() { return buf_; }
  // Bytes decoded since the stream began.
  uint64_t pos() const { return pos_; }
  // Bytes handed out by flush() since the stream began.
  uint64_t flushed() const { return flushed_; }
  // Bytes decoded but not yet handed out.
  uint64_t pending() const { return pos_ - flushed_; }

  void put(uint8_t b) { buf_[pos_++ & mask_] = b; }
  uint8_t at(uint64_t p) const { return buf_[p & mask_]; }

  // Copies `len` bytes starting `dist` bytes back. False when the distance
  // is zero or reaches before the start of the stream or the window.
  bool copy(size_t dist, size_t len) {
    if (dist == 0 || dist > pos_ || dist > size_) return false;
    size_t dst = size_t(pos_ & mask_);
    size_t src = (dst - dist) & mask_;
    pos_ += len;
    uint8_t* w = buf_;
    if (src + len <= size_ && dst + len <= size_) {  // no wrap-around
      uint8_t* d = w + dst;
      const uint8_t* s = w + src;
      if (dist >= len) {
        memmove(d, s, len);  // the same bytes when the distance is the whole window
      } else if (dist == 1) {
        memset(d, *s, len);
      } else if (dist >= 8) {  // overlapping: 8 bytes at a time never overlap within one
        for (; len >= 8; len -= 8, d += 8, s += 8) memcpy(d, s, 8);
        while (len--) *d++ = *s++;
      } else {
        while (len--) *d++ = *s++;
      }
      return true;
    }
    while (len--) {  // overlapping or wrapping: byte by byte, as defined
      w[dst] = w[src];
      dst = (dst + 1) & mask_;
      src = (src + 1) & mask_;
    }
    return true;
  }

  // Hands out decoded bytes up to stream position `upTo` (at most pos()),
  // in contiguous pieces. Returns 0 or the sink's code.
  int flush(uint64_t upTo, const DataSink& sink) {
    upTo = std::min(upTo, pos_);
    while (flushed_ < upTo) {
      size_t start = size_t(flushed_ & mask_);
      size_t n = size_t(std::min<uint64_t>(upTo - flushed_, size_ - start));
      if (int r = sink(buf_ + start, n)) return r;
      flushed_ += n;
    }
    return 0;
  }
  // Skips handing out bytes up to `upTo` (bytes a filter has replaced and
  // handed out from its own buffer).
  void markFlushed(uint64_t upTo) { flushed_ = std::max(flushed_, std::min(upTo, pos_)); }

 private:
  uint8_t* buf_ = nullptr;
  size_t size_ = 0, mask_ = 0;
  uint64_t pos_ = 0, flushed_ = 0;
};

}  // namespace unrar
