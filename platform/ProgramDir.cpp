#include "platform/ProgramDir.h"

#include "platform/Path.h"

#include <unistd.h>

#include <climits>

namespace platform {

std::string ProgramPath() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "";
  return std::string(buf, static_cast<size_t>(n));
}

std::string ProgramDir() {
  std::string path = ProgramPath();
  const std::string folder = FolderOf(path);
  return folder.empty() ? std::string("./") : folder;
}

std::string ProgramFileName() { return FileNameOf(ProgramPath()); }

}  // namespace platform
