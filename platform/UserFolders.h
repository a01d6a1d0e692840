#pragma once
// The user's home folder and the XDG base folders below it. The values of the
// environment variables are parameters, so that callers and tests can give
// their own.
#include <string>

namespace platform {

// `home` (the value of $HOME) when it is set and not empty, otherwise the
// user's entry in the password database; "" when neither names a folder.
std::string HomeFolder(const char* home);

// An XDG base folder: `value` (the variable's value, e.g. $XDG_CONFIG_HOME)
// when it holds an absolute path, otherwise `belowHome` (e.g. ".config") in
// HomeFolder(home), or below "/" when there is no home.
std::string XdgBaseFolder(const char* value, const char* home, const std::string& belowHome);

}  // namespace platform
