#include "folderdialog/FolderCreation.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/DirSearch.h"

std::string NewFolderPath(const std::string& current, const std::string& name) {
  if (name.empty() || name.front() == '/' || (!current.empty() && current.back() == '/')) return current + name;
  return current + "/" + name;
}

bool CreateFolderLevels(const std::string& path) {
  if (path.empty()) return false;

  // Split into the prefixes that end each level: "/a/b" -> "/a", "/a/b".
  std::vector<std::string> levels;
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t end = path.find('/', pos);
    if (end == std::string::npos) end = path.size();
    const std::string component = path.substr(pos, end - pos);
    if (component == "..") return false;
    if (!component.empty() && component != ".") levels.push_back(path.substr(0, end));
    pos = end + 1;
  }

  std::vector<std::string> created;
  bool ok = true;
  for (const std::string& level : levels) {
    if (platform::FolderExists(level)) continue;
    if (::mkdir(level.c_str(), 0777) == 0) {
      created.push_back(level);
    } else if (!(errno == EEXIST && platform::FolderExists(level))) {
      ok = false;
      break;
    }
  }
  ok = ok && platform::FolderExists(path);
  if (!ok) {
    for (auto it = created.rbegin(); it != created.rend(); ++it) ::rmdir(it->c_str());
  }
  return ok;
}
