#pragma once
// Paths of the files an SFV list names, for a whole list at a time.
#include <string>

#include "platform/DirSearch.h"

namespace release {

// ListedFilePath for every entry of one list inside `folder`: each folder is
// listed at most once for the whole list, so a list of any length costs
// time linear in its size, however many of its names are missing.
class ListedFiles {
 public:
  explicit ListedFiles(const std::string& folder) : folder_(folder), names_(folder) {}
  std::string Path(const std::string& name);

 private:
  std::string folder_;
  platform::NameResolver names_;
};

}  // namespace release
