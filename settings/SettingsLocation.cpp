#include "settings/SettingsLocation.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/DirSearch.h"
#include "platform/ProgramDir.h"

namespace settings {

namespace {
std::string HomeFolder(const char* home) {
  if (home && *home) return home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/";
}
}  // namespace

std::string SettingsPathFor(const std::string& programDir, const std::string& programName, const char* xdgConfigHome,
                            const char* home) {
  const std::string fileName = programName + ".ini";
  const std::string beside = programDir + fileName;
  if (platform::FileExists(beside)) return beside;
  std::string config = (xdgConfigHome && xdgConfigHome[0] == '/') ? std::string(xdgConfigHome)
                                                                  : platform::JoinPath(HomeFolder(home), ".config");
  return platform::JoinPath(platform::JoinPath(config, "lumeskar"), fileName);
}

std::string PluginsFolderFor(const std::string& programDir, const std::string& programName, const char* xdgDataHome,
                             const char* home) {
  if (platform::FileExists(programDir + programName + ".ini")) return programDir + "Plugins";
  const std::string data = (xdgDataHome && xdgDataHome[0] == '/')
                               ? std::string(xdgDataHome)
                               : platform::JoinPath(HomeFolder(home), ".local/share");
  return platform::JoinPath(platform::JoinPath(data, "lumeskar"), "Plugins");
}

std::string PluginsFolder() {
  return PluginsFolderFor(platform::ProgramDir(), platform::ProgramFileName(), std::getenv("XDG_DATA_HOME"),
                          std::getenv("HOME"));
}

std::string SettingsPath() {
  return SettingsPathFor(platform::ProgramDir(), platform::ProgramFileName(), std::getenv("XDG_CONFIG_HOME"),
                         std::getenv("HOME"));
}

}  // namespace settings
