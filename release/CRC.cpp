#include "release/CRC.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include <isa-l/crc.h>

namespace release {

uint32_t Crc32Update(uint32_t crc, const void* data, size_t length) {
  // crc32_gzip_refl complements the register on the way in and on the way
  // out; undo both so the caller keeps full control of the register.
  if (length == 0) return crc;
  return ~crc32_gzip_refl(~crc, static_cast<const unsigned char*>(data), length);
}

namespace {

// Closes the descriptor on every path out of FileCrc32.
struct FdCloser {
  int fd;
  ~FdCloser() {
    if (fd >= 0) close(fd);
  }
};

}  // namespace

FileCrcStatus FileCrc32(const std::string& path, uint32_t& checksum, const CrcChunkHook& hook) {
  // O_NONBLOCK keeps a FIFO named in a list from blocking the open; it is
  // rejected below with every other non-regular file.
  FdCloser file{open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
  if (file.fd < 0) return FileCrcStatus::Unreadable;
  struct stat st;
  if (fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode)) return FileCrcStatus::Unreadable;
  posix_fadvise(file.fd, 0, 0, POSIX_FADV_SEQUENTIAL);

  // One chunk buffer per thread, kept between calls: a release of many
  // volumes then pays for allocating and faulting in the buffer only once.
  // A nested call from inside the hook is harmless: the hook runs only after
  // the chunk in the buffer has been taken into the register.
  thread_local std::unique_ptr<unsigned char[]> buffer;
  if (!buffer) buffer.reset(new (std::nothrow) unsigned char[kCrcChunkBytes]);
  if (!buffer) return FileCrcStatus::Unreadable;
  const size_t bufferBytes = kCrcChunkBytes;

  uint32_t crc = 0xFFFFFFFFu;
  uint64_t done = 0;
  for (;;) {
    ssize_t got = read(file.fd, buffer.get(), bufferBytes);
    if (got < 0) {
      if (errno == EINTR) continue;
      return FileCrcStatus::Unreadable;
    }
    if (got == 0) break;
    crc = Crc32Update(crc, buffer.get(), static_cast<size_t>(got));
    done += static_cast<uint64_t>(got);
    if (hook && !hook(done)) return FileCrcStatus::Cancelled;
  }
  checksum = ~crc;
  return FileCrcStatus::Ok;
}

bool FileCrc32(const std::string& path, uint32_t& checksum) {
  return FileCrc32(path, checksum, CrcChunkHook()) == FileCrcStatus::Ok;
}

}  // namespace release
