#pragma once
// The volumes of a RAR set that follow a given one on disk, for measuring
// how much data an extraction will go through.
#include <cstdint>
#include <string>
#include <vector>

namespace extract {

// `first` and the volumes after it that exist, in order (nothing when
// `first` is missing). Stops at the first gap.
std::vector<std::string> SetVolumes(const std::string& first);

// Sum of the sizes of SetVolumes(first).
uint64_t SetSize(const std::string& first);

}  // namespace extract
