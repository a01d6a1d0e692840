#include "settings/ProgramCommand.h"

namespace settings {

std::string CommandWordForPath(std::string_view path) {
  if (path.find_first_of(" \t\n'\"\\") == std::string_view::npos) return std::string(path);
  std::string word = "'";
  for (char c : path) {
    if (c == '\'') {
      word += "'\\''";
    } else {
      word += c;
    }
  }
  word += '\'';
  return word;
}

}  // namespace settings
