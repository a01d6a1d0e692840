#pragma once
// lumeskar-check on a .par2 file: verifies (and with --repair repairs) the
// files of its recovery set and prints one line per file and a summary.
#include <cstdio>
#include <string>

namespace release {

// True for a name ending in ".par2" (letter case ignored).
bool IsPar2Name(const std::string& path);

// Exit status: 0 every file intact (or repaired), 1 damaged but repairable
// and not repaired, 2 the set unreadable or not repairable, or the repair
// failed.
int CheckPar2(const std::string& par2Path, bool quiet, bool repair, std::FILE* out);

}  // namespace release
