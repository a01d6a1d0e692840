#include "extract/VolumeSet.h"

#include <sys/stat.h>

#include <cctype>

namespace extract {

namespace {

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// Adds one to the decimal digits s[begin, end), growing the field on carry.
std::string Increment(std::string s, size_t begin, size_t end) {
  size_t i = end;
  while (i > begin) {
    --i;
    if (s[i] != '9') {
      ++s[i];
      return s;
    }
    s[i] = '0';
  }
  s.insert(begin, 1, '1');
  return s;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

}  // namespace

std::string NextVolumeName(const std::string& path) {
  const size_t dot = path.rfind('.');
  const size_t slash = path.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  const std::string ext = path.substr(dot + 1);

  if (EqualNoCase(ext, "rar")) {
    // "x.partN.rar": the digits right before ".rar", after ".part".
    size_t end = dot, begin = dot;
    while (begin > 0 && IsDigit(path[begin - 1])) --begin;
    if (begin < end && begin >= 5 && EqualNoCase(std::string_view(path).substr(begin - 5, 5), ".part"))
      return Increment(path, begin, end);
    const bool upper = ext[0] == 'R';
    return path.substr(0, dot + 1) + (upper ? "R00" : "r00");
  }
  if (ext.size() == 3 && std::isalpha(static_cast<unsigned char>(ext[0])) && IsDigit(ext[1]) && IsDigit(ext[2])) {
    // Old numbering: r00 ... r99, then s00 ... z99.
    std::string next = path;
    if (ext[1] == '9' && ext[2] == '9') {
      if (std::tolower(static_cast<unsigned char>(ext[0])) == 'z') return "";
      ++next[dot + 1];
      next[dot + 2] = next[dot + 3] = '0';
      return next;
    }
    return Increment(next, dot + 2, dot + 4);
  }
  if (!ext.empty() && ext.find_first_not_of("0123456789") == std::string::npos)
    return Increment(path, dot + 1, path.size());
  return "";
}

std::vector<std::string> SetVolumes(const std::string& first) {
  std::vector<std::string> volumes;
  struct stat st;
  for (std::string name = first; !name.empty() && volumes.size() < 100000; name = NextVolumeName(name)) {
    if (stat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) break;
    volumes.push_back(name);
  }
  return volumes;
}

uint64_t SetSize(const std::string& first) {
  uint64_t total = 0;
  struct stat st;
  for (const auto& v : SetVolumes(first))
    if (stat(v.c_str(), &st) == 0) total += static_cast<uint64_t>(st.st_size);
  return total;
}

}  // namespace extract
