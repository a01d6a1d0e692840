#include "folderdialog/FolderCreation.h"

#include "platform/Folders.h"

std::string NewFolderPath(const std::string& current, const std::string& name) {
  if (name.empty() || name.front() == '/' || (!current.empty() && current.back() == '/')) return current + name;
  return current + "/" + name;
}

platform::Result CreateFolderLevels(const std::string& path) {
  for (size_t pos = 0; pos <= path.size();) {
    size_t end = path.find('/', pos);
    if (end == std::string::npos) end = path.size();
    if (path.compare(pos, end - pos, "..") == 0)
      return platform::Result::Failed("Cannot create " + path + ": it leaves its folder");
    pos = end + 1;
  }
  return platform::CreateFolders(path);
}
