#include "platform/DirSearch.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <memory>

namespace platform {

namespace {
char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }
}  // namespace

bool WildcardMatch(std::string_view pattern, std::string_view name) {
  // Iterative matcher with single-star backtracking: linear in practice and
  // never recursive, whatever the input.
  size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || Lower(pattern[p]) == Lower(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::vector<std::string> FindAll(const std::string& folder, std::string_view pattern) {
  std::vector<std::string> found;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.empty() ? "." : folder.c_str()), closedir);
  if (!dir) return found;
  while (dirent* e = readdir(dir.get())) {
    std::string_view name = e->d_name;
    if (name == "." || name == "..") continue;
    if (WildcardMatch(pattern, name)) found.emplace_back(name);
  }
  std::sort(found.begin(), found.end());
  return found;
}

std::string FindFirst(const std::string& folder, std::string_view pattern) {
  auto all = FindAll(folder, pattern);
  return all.empty() ? std::string() : all.front();
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

std::string ResolveName(const std::string& folder, const std::string& name) {
  return NameResolver(folder).Resolve(name);
}

const NameResolver::Index& NameResolver::Listing(const std::string& folder) {
  auto [it, added] = listings_.try_emplace(folder);
  if (!added) return it->second;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.empty() ? "." : folder.c_str()), closedir);
  if (!dir) return it->second;
  while (dirent* e = readdir(dir.get())) {
    std::string_view name = e->d_name;
    if (name == "." || name == "..") continue;
    std::string key(name);
    for (char& c : key) c = Lower(c);
    auto [entry, fresh] = it->second.try_emplace(std::move(key), name);
    if (!fresh && name < entry->second) entry->second = name;
  }
  return it->second;
}

std::string NameResolver::Resolve(const std::string& name) {
  std::string current = folder_;
  size_t start = 0;
  while (start <= name.size()) {
    size_t slash = name.find('/', start);
    std::string part = name.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (!part.empty()) {
      std::string exact = JoinPath(current, part);
      struct stat st;
      if (lstat(exact.c_str(), &st) == 0) {
        current = exact;
      } else {
        for (char& c : part) c = Lower(c);
        const Index& index = Listing(current);
        auto match = index.find(part);
        if (match == index.end()) return "";
        current = JoinPath(current, match->second);
      }
    }
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return current;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool FolderExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace platform
