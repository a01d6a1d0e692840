#pragma once
// The release context: program-wide state describing the one release this
// process shows. Filled at start-up by release discovery and then by the
// verification and extraction runs. One process shows one release, so
// nothing here is reset during a run (tests reset it between windows).
#include <cstdint>
#include <string>

class TForm1;

// Result of one directory search; only the found entry's name is ever read.
// A search that finds nothing leaves the record as it was.
struct TSearchRec {
  std::string Name;
};

extern TForm1* Form1;             // the one main window
extern std::string sfvfile;       // full path of the release's SFV file
extern TSearchRec sfvsearch;      // most recent successful SFV search
extern std::string cdsfv[7];      // candidate SFV paths in CD1..CD6 (index 0 unused)
extern int cdcount;               // highest CDn holding an SFV file; 0 = none
extern std::string checkfile;     // file being checked, or archive chosen for extraction
extern uint32_t checkcrc;         // CRC-32 of checkfile
extern bool cancelcheck;          // cancel request for the running check
extern std::string checkresult;   // "" or "error"
extern std::string archivefile;   // archive handed to the extractor
extern TSearchRec imagesearch;    // result of the search for the unpacked disc image
extern std::string imagefile;     // the unpacked disc image, the value that replaces %F

// Back to the empty start state (used by tests that open several windows).
void ResetReleaseContext();
