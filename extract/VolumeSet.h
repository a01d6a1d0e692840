#pragma once
// The volumes of a RAR set that follow a given one on disk, for measuring
// how much data an extraction will go through.
#include <cstdint>
#include <string>
#include <vector>

namespace extract {

// The name that follows `path` in its set: "x.part09.rar" -> "x.part10.rar",
// "x.rar" -> "x.r00", "x.r99" -> "x.s00", "x.001" -> "x.002" (letter case of
// the extension kept). Returns "" for a name that numbers no volume.
std::string NextVolumeName(const std::string& path);

// `first` and the volumes after it that exist, in order (nothing when
// `first` is missing). Stops at the first gap.
std::vector<std::string> SetVolumes(const std::string& first);

// Sum of the sizes of SetVolumes(first).
uint64_t SetSize(const std::string& first);

}  // namespace extract
