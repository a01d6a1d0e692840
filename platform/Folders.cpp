#include "platform/Folders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/DirSearch.h"

namespace platform {

Result CreateFolders(const std::string& path, mode_t mode) {
  if (path.empty()) return Result::Failed("Cannot create a folder without a name");

  // The prefixes that end each level: "/a/b" -> "/a", "/a/b".
  std::vector<std::string> levels;
  for (size_t pos = 0; pos <= path.size();) {
    size_t end = path.find('/', pos);
    if (end == std::string::npos) end = path.size();
    const std::string_view component(path.data() + pos, end - pos);
    if (!component.empty() && component != ".") levels.push_back(path.substr(0, end));
    pos = end + 1;
  }

  std::vector<std::string> created;
  std::string failure;
  for (const std::string& level : levels) {
    if (FolderExists(level)) continue;
    if (::mkdir(level.c_str(), mode) == 0) {
      created.push_back(level);
    } else if (!(errno == EEXIST && FolderExists(level))) {
      // EEXIST from something that is no folder reads better as "not a folder".
      failure = "Cannot create " + level + ": " + std::strerror(errno == EEXIST ? ENOTDIR : errno);
      break;
    }
  }
  if (failure.empty() && !FolderExists(path)) failure = "Cannot create " + path + ": " + std::strerror(ENOTDIR);
  if (failure.empty()) return Result::Ok();
  for (auto it = created.rbegin(); it != created.rend(); ++it) ::rmdir(it->c_str());
  return Result::Failed(std::move(failure));
}

}  // namespace platform
