#include "release/ListedFiles.h"

#include "release/SfvEntries.h"

namespace release {

std::string ListedFiles::Path(const std::string& name) {
  std::string found = names_.Resolve(name);
  // Some SFV writers put double quotes around every name.
  if (found.empty() && name.size() > 2 && name.front() == '"' && name.back() == '"') {
    const std::string unquoted = name.substr(1, name.size() - 2);
    if (IsSafeRelativeName(unquoted)) found = names_.Resolve(unquoted);
  }
  return found.empty() ? folder_ + name : found;
}

}  // namespace release
