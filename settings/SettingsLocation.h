#pragma once
// Where the program keeps its settings file.
//
// `<program file name>.ini` beside the program when that file exists there
// (a portable installation); otherwise `<config home>/lumeskar/<program file
// name>.ini`, where the config home is $XDG_CONFIG_HOME when it holds an
// absolute path, else $HOME/.config.
#include <string>

namespace settings {

// `programDir` ends in '/'. Empty or missing environment values count as unset.
std::string SettingsPathFor(const std::string& programDir, const std::string& programName, const char* xdgConfigHome,
                            const char* home);

// The settings file of the running program.
std::string SettingsPath();

// The plug-in folder, by the same rule: `Plugins` beside the program for a
// portable installation (its settings file lies there), otherwise
// `<data home>/lumeskar/Plugins`, where the data home is $XDG_DATA_HOME when it
// holds an absolute path, else $HOME/.local/share. An installed program's
// folder belongs to the package, not to the user.
std::string PluginsFolderFor(const std::string& programDir, const std::string& programName, const char* xdgDataHome,
                             const char* home);

// The plug-in folder of the running program.
std::string PluginsFolder();

}  // namespace settings
