#pragma once
// A fixed-size heap buffer that starts on a page boundary, for the bulk
// read() and write() calls. The kernel copies between the page cache and a
// page-aligned user buffer markedly faster on some CPUs than into one that
// starts a few bytes into a page (several times faster measured on one AMD
// EPYC), so every large transfer buffer is one of these.
// Header-only: the extraction library and the archive writer use it too.
#include <cstddef>
#include <memory>
#include <new>

namespace platform {

inline constexpr size_t kPageBytes = 4096;

template <typename T = unsigned char>
class AlignedBuffer {
 public:
  AlignedBuffer() = default;
  // `count` elements; an empty buffer (false) when memory is short.
  explicit AlignedBuffer(size_t count)
      : data_(static_cast<T*>(::operator new (count * sizeof(T), std::align_val_t{kPageBytes}, std::nothrow))),
        size_(data_ ? count : 0) {}

  explicit operator bool() const { return data_ != nullptr; }
  T* data() const { return data_.get(); }
  size_t size() const { return size_; }

 private:
  struct Free {
    void operator()(T* p) const { ::operator delete (p, std::align_val_t{kPageBytes}); }
  };
  std::unique_ptr<T, Free> data_;
  size_t size_ = 0;
};

}  // namespace platform
