#pragma once
// Special-folder numbers (the Windows CSIDL values the component's interface
// uses) mapped to the folders that play the same part on a Linux desktop: the
// XDG user directories, the XDG base directories and a few fixed places.
#include <string>
#include <string_view>

constexpr int kSpecialDesktop = 0;
constexpr int kSpecialNetwork = 18;  // a place without a folder of its own
constexpr int kSpecialFolderSearchEnd = 256;

// The value of the XDG user directory `key` ("DESKTOP", "DOCUMENTS", ...) in the
// text of a user-dirs.dirs file, with "$HOME" expanded. An absent key, a value
// that is neither absolute nor "$HOME"-relative, and a value equal to the home
// folder (the file's way of turning a directory off) give "".
std::string UserDirFromConfig(std::string_view fileText, std::string_view key, std::string_view home);

// The folder for special-folder number `n`, read from the environment at each
// call; "" when the number has no folder here. The folder need not exist.
std::string SpecialFolderPath(int n);

// True when `n` names a folder that exists.
bool SpecialFolderAvailable(int n);

// The lowest special-folder number whose existing folder is `path` (the same
// folder, also through symbolic links); -1 when none is.
int FindSpecialFolder(const std::string& path);
