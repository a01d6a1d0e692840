#pragma once
// Picks the first volume of a release's RAR set from the file names listed in
// its SFV file, so that extraction starts where the set starts.
#include <string>
#include <vector>

namespace extract {

// `names` are the SFV entries' file names in list order. Extensions are
// compared with letter case ignored. Preference, from best:
//   1. a ".rar" volume that starts its set: any "x.rar" except a later part
//      of a "x.partN.rar" set, where only the part numbered 1 ("part1",
//      "part01", "part001", ...) counts;
//   2. a ".r00" volume;  3. a ".000" volume;  4. a ".001" volume.
// Within one kind the last matching name of the list wins. When the only
// ".rar" names are later parts of a "partN" set (its first part is not
// listed), the last of them is returned so that extraction reports what is
// missing. Returns "" when no name has any of these extensions.
std::string FindFirstVolume(const std::vector<std::string>& names);

}  // namespace extract
