#include "release/ReleaseDiscovery.h"

#include "platform/DirSearch.h"
#include "platform/Path.h"

namespace release {

void DiscoverRelease(const std::string& F, Discovery& state) {
  if (std::string found = platform::FindFirst(F, "*.sfv"); !found.empty()) state.searchName = found;
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
      if (std::string found = platform::FindFirst(folder, "*.sfv"); !found.empty()) state.searchName = found;
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
