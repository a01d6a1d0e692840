#include "par2/File.h"

#include <cerrno>

namespace par2 {

File File::OpenRead(const std::string& path) {
  File f(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat st;
  if (!f.valid() || fstat(f.fd(), &st) != 0 || !S_ISREG(st.st_mode)) return File();
  return f;
}

uint64_t File::Size() const {
  struct stat st;
  return fstat(fd_, &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

int64_t File::ReadAt(void* buffer, size_t length, uint64_t offset) const {
  size_t done = 0;
  while (done < length) {
    const ssize_t n = ::pread(fd_, static_cast<char*>(buffer) + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(done);
}

bool File::WriteAll(const void* buffer, size_t length) const {
  size_t done = 0;
  while (done < length) {
    const ssize_t n = ::write(fd_, static_cast<const char*>(buffer) + done, length - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

void File::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool RegularFileSize(const std::string& path, uint64_t& size) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  size = static_cast<uint64_t>(st.st_size);
  return true;
}

}  // namespace par2
