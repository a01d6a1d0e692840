#include "folderdialog/FolderNumbers.h"

#include <cstdlib>
#include <filesystem>

#include "platform/DirSearch.h"
#include "platform/FileRead.h"
#include "platform/UserFolders.h"

namespace fs = std::filesystem;

namespace {

std::string Home() { return platform::HomeFolder(std::getenv("HOME")); }

// An XDG base folder ($XDG_CONFIG_HOME ...) by its variable and its default below home.
std::string BaseDir(const char* variable, const char* belowHome) {
  return platform::XdgBaseFolder(std::getenv(variable), std::getenv("HOME"), belowHome);
}

std::string ConfigHome() { return BaseDir("XDG_CONFIG_HOME", ".config"); }
std::string DataHome() { return BaseDir("XDG_DATA_HOME", ".local/share"); }

// The file's text, or "" when it cannot be read (see platform::ReadWholeFile).
std::string ReadFile(const std::string& path) {
  platform::Expected<std::string> text = platform::ReadWholeFile(path);
  return text ? std::move(*text) : std::string();
}

std::string StripTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string UserDir(std::string_view key) {
  const std::string home = Home();
  std::string dir = UserDirFromConfig(ReadFile(ConfigHome() + "/user-dirs.dirs"), key, home);
  // Only the desktop has a fixed default when the file does not name it.
  if (dir.empty() && key == "DESKTOP" && !home.empty()) dir = home + "/Desktop";
  return dir;
}

}  // namespace

std::string UserDirFromConfig(std::string_view fileText, std::string_view key, std::string_view home) {
  const std::string name = "XDG_" + std::string(key) + "_DIR";
  std::string result;
  size_t pos = 0;
  while (pos < fileText.size()) {
    size_t end = fileText.find('\n', pos);
    if (end == std::string_view::npos) end = fileText.size();
    std::string_view line = fileText.substr(pos, end - pos);
    pos = end + 1;

    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos || line[first] == '#') continue;
    line.remove_prefix(first);
    if (line.substr(0, name.size()) != name || line.substr(name.size(), 1) != "=") continue;
    std::string_view value = line.substr(name.size() + 1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t' || value.back() == '\r')) {
      value.remove_suffix(1);
    }
    if (value.size() < 2 || value.front() != '"' || value.back() != '"') continue;
    value = value.substr(1, value.size() - 2);

    std::string path;
    if (value.substr(0, 5) == "$HOME" && (value.size() == 5 || value[5] == '/')) {
      path = std::string(home) + std::string(value.substr(5));
    } else if (!value.empty() && value.front() == '/') {
      path = std::string(value);
    } else {
      continue;
    }
    result = path;  // the last assignment in the file counts, as when a shell sources it
  }
  result = StripTrailingSlashes(result);
  if (!result.empty() && result == StripTrailingSlashes(std::string(home))) return {};
  return result;
}

std::string SpecialFolderPath(int n) {
  switch (n) {
    case 0:   // desktop
    case 16:  // desktop folder
      return UserDir("DESKTOP");
    case 2:   // programs
    case 11:  // start menu
      return DataHome() + "/applications";
    case 5: return UserDir("DOCUMENTS");
    case 7: return ConfigHome() + "/autostart";
    case 10: return DataHome() + "/Trash/files";
    case 13: return UserDir("MUSIC");
    case 14: return UserDir("VIDEOS");
    case 17: return "/";  // the computer: the whole file system
    case 20: return DataHome() + "/fonts";
    case 21: return UserDir("TEMPLATES");
    case 26: return ConfigHome();  // application data
    case 28: return DataHome();    // local application data
    case 32: return BaseDir("XDG_CACHE_HOME", ".cache");
    case 39: return UserDir("PICTURES");
    case 40: return Home();  // the user's profile
    default: return {};
  }
}

bool SpecialFolderAvailable(int n) {
  const std::string path = SpecialFolderPath(n);
  return !path.empty() && platform::FolderExists(path);
}

int FindSpecialFolder(const std::string& path) {
  if (path.empty() || !platform::FolderExists(path)) return -1;
  for (int n = 0; n < kSpecialFolderSearchEnd; ++n) {
    if (!SpecialFolderAvailable(n)) continue;
    std::error_code ec;
    if (fs::equivalent(SpecialFolderPath(n), path, ec) && !ec) return n;
  }
  return -1;
}
