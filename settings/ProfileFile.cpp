#include "settings/ProfileFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "platform/FileRead.h"
#include "platform/Folders.h"
#include "platform/Path.h"
#include "platform/Result.h"
#include "settings/ProfileText.h"

namespace settings {

namespace {

// The settings file's text: a regular file of at most kMaxSettingsFileSize
// bytes, opened without blocking (a FIFO in its place never hangs the
// program); anything else fails, as an unreadable file does.
platform::Expected<std::string> ReadSettingsText(const std::string& path) {
  return platform::ReadWholeFile(path, kMaxSettingsFileSize);
}

// The process's file-creation mask, read without changing it.
mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("Umask:", 0) == 0) return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
  return 022;
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

platform::Result Failed(const std::string& what, int error) {
  return platform::Result::Failed(what + ": " + std::strerror(error));
}

}  // namespace

platform::Result ReplaceFileAtomically(const std::string& path, std::string_view content) {
  // Write through a symbolic link to the file it names, not over the link.
  std::string target = path;
  if (char* real = ::realpath(path.c_str(), nullptr)) {
    target = real;
    std::free(real);
  }
  mode_t mode = 0666 & ~CurrentUmask();
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) return Failed("Cannot replace " + target, S_ISDIR(st.st_mode) ? EISDIR : ENODEV);
    if (::access(target.c_str(), W_OK) != 0) return Failed("Cannot replace " + target, errno);
    mode = st.st_mode & 07777;
  }

  // "" is the current folder.
  const std::string folder = platform::FolderOf(target);
  std::string temp = folder + "." + platform::FileNameOf(target) + ".XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return Failed("Cannot create a file beside " + target, errno);
  bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, content) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) {
    const int error = errno;
    ::unlink(temp.c_str());
    return Failed("Cannot write " + target, error);
  }
  // Make the rename itself durable.
  const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return platform::Result::Ok();
}

bool ProfileFile::Exists() const {
  struct stat st {};
  return ::stat(path_.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string ProfileFile::ReadString(std::string_view section, std::string_view key) const {
  const platform::Expected<std::string> text = ReadSettingsText(path_);
  if (!text) return {};
  return ProfileLookup(*text, section, key);
}

platform::Result ProfileFile::WriteString(std::string_view section, std::string_view key, std::string_view value,
                                          bool createFolders) {
  if (!ProfileEntryStorable(section, key, value))
    return platform::Result::Failed("Cannot store that entry in " + path_);
  if (const std::string folder = platform::FolderOf(path_); createFolders && !folder.empty()) {
    if (platform::Result made = platform::CreateFolders(folder, kNewFolderMode); !made) return made;
  }
  if (!Exists()) return ReplaceFileAtomically(path_, ProfileUpdate("", section, key, value));
  const platform::Expected<std::string> text = ReadSettingsText(path_);
  // Never drop keys that could not be read.
  if (!text) return platform::Result::Failed("Cannot read " + path_ + ": " + text.message());
  return ReplaceFileAtomically(path_, ProfileUpdate(*text, section, key, value));
}

}  // namespace settings
