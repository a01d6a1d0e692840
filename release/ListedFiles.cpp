#include "release/ListedFiles.h"

namespace release {

std::string ListedFiles::Path(const std::string& name) {
  std::string found = names_.Resolve(name);
  return found.empty() ? folder_ + name : found;
}

}  // namespace release
