#include "unrar/VolumeName.h"

#include <cctype>

namespace unrar {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

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

std::string nextVolumeName(const std::string& path, bool newNumbering) {
  size_t slash = path.rfind('/');
  size_t base = slash == std::string::npos ? 0 : slash + 1;
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < base) dot = path.size();

  if (newNumbering) {
    size_t end = dot;
    size_t start = end;
    while (start > base && isDigit(path[start - 1])) --start;
    if (start < end) return incrementRun(path, start, end, false);
  }

  if (dot == path.size()) return path + ".r00";
  std::string ext = path.substr(dot + 1);
  if (ext.size() == 3 && std::tolower(uint8_t(ext[0])) == 'r' && std::tolower(uint8_t(ext[1])) == 'a' &&
      std::tolower(uint8_t(ext[2])) == 'r')
    return path.substr(0, dot + 2) + "00";
  size_t end = path.size();
  size_t start = end;
  while (start > dot + 1 && isDigit(path[start - 1])) --start;
  if (start == end) return path + ".r00";
  return incrementRun(path, start, end, true);
}

}  // namespace unrar
