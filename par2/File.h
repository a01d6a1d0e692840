#pragma once
// A file descriptor that closes itself, with the whole-buffer reads and
// writes the recovery code needs.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace par2 {

class File {
 public:
  File() = default;
  explicit File(int fd) : fd_(fd) {}
  File(File&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  File& operator=(File&& other) noexcept {
    if (this != &other) {
      Close();
      fd_ = other.fd_;
      other.fd_ = -1;
    }
    return *this;
  }
  ~File() { Close(); }

  // A regular file opened for reading; an invalid File for anything else.
  static File OpenRead(const std::string& path);

  bool valid() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  uint64_t Size() const;
  // Reads up to `length` bytes at `offset`; fewer only at the end of the
  // file. -1 on an error.
  int64_t ReadAt(void* buffer, size_t length, uint64_t offset) const;
  bool WriteAll(const void* buffer, size_t length) const;
  void Close();

 private:
  int fd_ = -1;
};

// The size of a regular file, or nothing for anything else.
bool RegularFileSize(const std::string& path, uint64_t& size);

}  // namespace par2
