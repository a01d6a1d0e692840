#include "release/ReleaseDiscovery.h"

#include <sys/stat.h>

#include "platform/DirSearch.h"
#include "platform/Path.h"

namespace release {

namespace {

// The first "*.sfv" entry of `folder` that is a regular file (a link to one
// counts): a folder or a device named like an SFV file is passed over.
std::string FirstSfvFile(const std::string& folder) {
  for (const std::string& name : platform::FindAll(folder, "*.sfv")) {
    struct stat st;
    if (stat(platform::JoinPath(folder, name).c_str(), &st) == 0 && S_ISREG(st.st_mode)) return name;
  }
  return "";
}

}  // namespace

void DiscoverRelease(const std::string& F, Discovery& state) {
  if (std::string found = FirstSfvFile(F); !found.empty()) state.searchName = found;
  if (!state.searchName.empty()) {
    state.sfvfile = F + state.searchName;
    return;
  }
  // No SFV beside the .nfo: look for disc folders. The folder names are
  // matched with letter case ignored, as the systems these releases come
  // from do.
  for (int n = 1; n <= 6; ++n) {
    std::string wanted = "CD" + std::to_string(n);
    std::string folder = platform::ResolveName(F.empty() ? std::string(".") : F, wanted);
    std::string cdName = folder.empty() ? wanted : platform::FileNameOf(folder);
    if (!folder.empty() && platform::FolderExists(folder)) {
      if (std::string found = FirstSfvFile(folder); !found.empty()) state.searchName = found;
    }
    state.cdsfv[n] = F + cdName + "/" + state.searchName;
  }
  for (int n = 1; n <= 6; ++n) {
    if (!state.searchName.empty() && platform::FileExists(state.cdsfv[n])) state.cdcount = n;
  }
}

std::string DiscStatusText(int cdcount) {
  if (cdcount == 1) return "Single CD release detected. - SFV check unsupported";
  return "Multiple release detected. (" + std::to_string(cdcount) + " CD's) - SFV check unsupported";
}

}  // namespace release
