#pragma once
// Directory searches with the rules the program has always relied on:
// wildcard patterns ('*' and '?') matched with letter case ignored, every kind
// of entry (files, folders, hidden ones) taking part, and "the first entry"
// being the first in byte-wise sorted name order, so results are deterministic.
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform {

// True when `name` matches the wildcard `pattern`, letter case ignored (ASCII).
bool WildcardMatch(std::string_view pattern, std::string_view name);

// Names of the entries of `folder` that match `pattern`, sorted. An empty
// folder text means the current working folder. A folder that cannot be read
// gives an empty list.
std::vector<std::string> FindAll(const std::string& folder, std::string_view pattern);

// The first entry of `folder` matching `pattern`, or "" when none does.
std::string FindFirst(const std::string& folder, std::string_view pattern);

// Joins a folder text and a name with exactly one '/' between them; an empty
// folder gives the bare name.
std::string JoinPath(const std::string& folder, const std::string& name);

// The existing entry of `folder` named `name`: the exact name when it exists,
// otherwise the first entry whose name equals it with letter case ignored.
// Returns "" when neither exists. `name` may hold '/' separated folders; each
// level is resolved the same way.
std::string ResolveName(const std::string& folder, const std::string& name);

// ResolveName for many names below one folder: each folder on the way is
// listed at most once, into an index by name with letter case ignored, so a
// list of n names costs time linear in n plus the folders' sizes, where
// ResolveName lists the folder again for every name not found as written.
// The listings are kept for the resolver's life; an exact name is still
// looked up afresh every time.
class NameResolver {
 public:
  explicit NameResolver(std::string folder) : folder_(std::move(folder)) {}
  std::string Resolve(const std::string& name);

 private:
  // Lower-case name -> the entry with that name first in byte-wise order.
  using Index = std::unordered_map<std::string, std::string>;
  const Index& Listing(const std::string& folder);

  std::string folder_;
  std::unordered_map<std::string, Index> listings_;
};

bool FileExists(const std::string& path);  // a file, or anything but a folder
bool FolderExists(const std::string& path);

}  // namespace platform
