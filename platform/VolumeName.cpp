#include "platform/VolumeName.h"

#include <cctype>

namespace platform {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool equalNoCase(const std::string& s, size_t at, const char* lower) {
  for (size_t i = 0; lower[i]; ++i)
    if (at + i >= s.size() || std::tolower(uint8_t(s[at + i])) != lower[i]) return false;
  return true;
}

// Adds one to the decimal run name[first, last); a carry out of the run's
// first digit goes into a letter before it when there is one, otherwise the
// run grows by a leading '1'.
std::string incrementRun(std::string name, size_t first, size_t last, bool carryIntoLetter) {
  size_t i = last;
  while (i > first) {
    --i;
    if (name[i] != '9') {
      ++name[i];
      return name;
    }
    name[i] = '0';
  }
  if (carryIntoLetter && first > 0 && std::isalpha(uint8_t(name[first - 1])) &&
      std::tolower(uint8_t(name[first - 1])) != 'z') {
    ++name[first - 1];
    return name;
  }
  name.insert(name.begin() + std::ptrdiff_t(first), '1');
  return name;
}

}  // namespace

std::string NextVolumeName(const std::string& path, VolumeNumbering numbering) {
  size_t slash = path.rfind('/');
  size_t base = slash == std::string::npos ? 0 : slash + 1;
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < base) dot = path.size();
  const bool rarExtension = path.size() - dot == 4 && equalNoCase(path, dot + 1, "rar");
  size_t start = dot;
  while (start > base && isDigit(path[start - 1])) --start;

  if (numbering == VolumeNumbering::FromName) {
    if (dot == path.size()) return "";
    const std::string ext = path.substr(dot + 1);
    if (rarExtension) {
      if (start < dot && start >= base + 5 && equalNoCase(path, start - 5, ".part"))
        return incrementRun(path, start, dot, false);
    } else if (ext.size() == 3 && std::isalpha(uint8_t(ext[0])) && isDigit(ext[1]) && isDigit(ext[2])) {
      if (std::tolower(uint8_t(ext[0])) == 'z' && ext[1] == '9' && ext[2] == '9') return "";
    } else if (ext.find_first_not_of("0123456789") != std::string::npos) {
      return "";
    }
  } else if (numbering == VolumeNumbering::New && start < dot) {
    return incrementRun(path, start, dot, false);
  }

  if (dot == path.size()) return path + ".r00";
  if (rarExtension) return path.substr(0, dot + 2) + "00";
  size_t end = path.size();
  size_t first = end;
  while (first > dot + 1 && isDigit(path[first - 1])) --first;
  if (first == end) return path + ".r00";
  return incrementRun(path, first, end, true);
}

}  // namespace platform
