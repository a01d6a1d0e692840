#pragma once
// Finding a release's SFV file beside its .nfo file, or recognising a
// release split into disc folders CD1..CD6.
#include <string>

#include "platform/Path.h"

namespace release {

// The folder part of a path, ending in '/', or "" when it has none.
using platform::FolderOf;

struct Discovery {
  // Name field of the most recent successful search; a search that finds
  // nothing leaves it as it was (callers pass in the previous value).
  std::string searchName;
  std::string sfvfile;   // set when the release folder holds an SFV file
  std::string cdsfv[7];  // candidate paths CD1..CD6 (index 0 unused)
  int cdcount = 0;       // highest CDn holding an SFV file
};

// Searches folder `F` (ending in '/', or "" for the working folder) for
// *.sfv; when nothing is found there, probes CD1..CD6. Only regular files
// count as SFV files: the first one in sorted order is taken. `state.searchName`
// carries the search record in and out.
void DiscoverRelease(const std::string& F, Discovery& state);

// The status line text for a multi-disc release with `cdcount` discs.
std::string DiscStatusText(int cdcount);

}  // namespace release
