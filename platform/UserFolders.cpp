#include "platform/UserFolders.h"

#include <pwd.h>
#include <unistd.h>

#include "platform/DirSearch.h"

namespace platform {

std::string HomeFolder(const char* home) {
  if (home && *home) return home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "";
}

std::string XdgBaseFolder(const char* value, const char* home, const std::string& belowHome) {
  if (value && value[0] == '/') return value;
  const std::string folder = HomeFolder(home);
  return JoinPath(folder.empty() ? "/" : folder, belowHome);
}

}  // namespace platform
