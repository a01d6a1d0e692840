#include "settings/ProfileFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>

#include "platform/FileRead.h"
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

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

bool CreateFolders(const std::string& folder) {
  std::string f = folder;
  while (f.size() > 1 && f.back() == '/') f.pop_back();
  if (f.empty()) return true;
  struct stat st {};
  if (::stat(f.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  const auto slash = f.rfind('/');
  if (slash != std::string::npos && slash > 0 && !CreateFolders(f.substr(0, slash))) return false;
  return ::mkdir(f.c_str(), 0700) == 0 || errno == EEXIST;
}

bool ReplaceFileAtomically(const std::string& path, std::string_view content) {
  // Write through a symbolic link to the file it names, not over the link.
  std::string target = path;
  if (char* real = ::realpath(path.c_str(), nullptr)) {
    target = real;
    std::free(real);
  }
  mode_t mode = 0666 & ~CurrentUmask();
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode) || ::access(target.c_str(), W_OK) != 0) return false;
    mode = st.st_mode & 07777;
  }

  const std::string folder = FolderOf(target);
  const std::string base = platform::FileNameOf(target);
  std::string temp = folder + "/." + base + ".XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, content) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  // Make the rename itself durable.
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
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

bool ProfileFile::WriteString(std::string_view section, std::string_view key, std::string_view value,
                              bool createFolders) {
  if (!ProfileEntryStorable(section, key, value)) return false;
  if (createFolders && !CreateFolders(FolderOf(path_))) return false;
  if (!Exists()) return ReplaceFileAtomically(path_, ProfileUpdate("", section, key, value));
  const platform::Expected<std::string> text = ReadSettingsText(path_);
  if (!text) return false;  // never drop keys we could not read
  return ReplaceFileAtomically(path_, ProfileUpdate(*text, section, key, value));
}

}  // namespace settings
