#pragma once
// The release context: the state describing the one release the window
// shows, under the program-wide names the rest of the code uses. Filled at
// start-up by release discovery and then by the verification and extraction
// runs, which take it by reference. The main window owns one; a test makes a
// fresh one. `inifile` is not here: it lives only for one settings load or
// save, as that operation's local settings-file object.
#include <cstdint>
#include <string>

namespace release {

// Result of one directory search; only the found entry's name is ever read.
// A search that finds nothing leaves the record as it was.
struct TSearchRec {
  std::string Name;
};

struct ReleaseContext {
  std::string sfvfile;         // full path of the release's SFV file
  TSearchRec sfvsearch;        // most recent successful SFV search
  std::string cdsfv[7];        // candidate SFV paths in CD1..CD6 (index 0 unused)
  int cdcount = 0;             // highest CDn holding an SFV file; 0 = none
  std::string checkfile;       // file being checked, or archive chosen for extraction
  uint32_t checkcrc = 0;       // CRC-32 of checkfile
  bool cancelcheck = false;    // cancel request for the running check
  std::string checkresult;     // "" or "error"
  std::string archivefile;     // archive handed to the extractor
  TSearchRec imagesearch;      // result of the search for the unpacked disc image
  std::string imagefile;       // the unpacked disc image, the value that replaces %F
  std::string par2file;        // a .par2 file of the release's recovery set, "" when it has none
  bool repairoffered = false;  // the status line offers a repair through the recovery set
};

}  // namespace release
