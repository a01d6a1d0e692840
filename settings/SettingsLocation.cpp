#include "settings/SettingsLocation.h"

#include <cstdlib>

#include "platform/DirSearch.h"
#include "platform/ProgramDir.h"
#include "platform/UserFolders.h"

namespace settings {

std::string SettingsPathFor(const std::string& programDir, const std::string& programName, const char* xdgConfigHome,
                            const char* home) {
  const std::string fileName = programName + ".ini";
  const std::string beside = programDir + fileName;
  if (platform::FileExists(beside)) return beside;
  const std::string config = platform::XdgBaseFolder(xdgConfigHome, home, ".config");
  return platform::JoinPath(platform::JoinPath(config, "lumeskar"), fileName);
}

std::string PluginsFolderFor(const std::string& programDir, const std::string& programName, const char* xdgDataHome,
                             const char* home) {
  if (platform::FileExists(programDir + programName + ".ini")) return programDir + "Plugins";
  const std::string data = platform::XdgBaseFolder(xdgDataHome, home, ".local/share");
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
