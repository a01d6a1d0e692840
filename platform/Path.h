#pragma once
// Splitting a path at its last '/'. (unrar/ is a separate C library with its
// own copy.)
#include <string>

namespace platform {

// The folder part of a path, ending in '/', or "" when it has none.
inline std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The part after the last '/', or the whole path when it has none.
inline std::string FileNameOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace platform
