#include "platform/FileRead.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

Expected<std::string> ReadWholeFile(const std::string& path, uint64_t limit) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return Expected<std::string>::Failed(std::strerror(errno));
  // Fails with the text for `error`, an errno value.
  auto fail = [fd](int error) {
    close(fd);
    return Expected<std::string>::Failed(std::strerror(error));
  };
  struct stat st;
  if (fstat(fd, &st) != 0) return fail(errno);
  if (S_ISDIR(st.st_mode)) return fail(EISDIR);
  if (!S_ISREG(st.st_mode)) return fail(ENODEV);
  if (uint64_t(st.st_size) > limit) return fail(EFBIG);
  std::string content;
  content.reserve(size_t(st.st_size));
  char buffer[65536];
  for (;;) {
    ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return fail(errno);
    // A file that grows past the limit while it is read fails as well.
    if (content.size() + uint64_t(got) > limit) return fail(EFBIG);
    if (got == 0) break;
    content.append(buffer, static_cast<size_t>(got));
  }
  close(fd);
  return content;
}

}  // namespace platform
