#pragma once
// Finding one file's slices in a file whose bytes may be damaged, cut short,
// or shifted by inserted or deleted bytes.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "par2/File.h"
#include "par2/RecoverySet.h"

namespace par2 {

// How one file's data checked out.
enum class WholeCheck { Intact, Damaged, Unreadable, Cancelled };

// Hashes `file` whole against `f` (its MD5, and each slice's CRC-32 at its
// place as the bytes go by, to stop early at the first bad slice). `done`
// grows by the bytes read.
WholeCheck CheckWhole(const File& file, const SourceFile& f, uint64_t sliceSize, std::atomic<uint64_t>& done,
                      const std::atomic<bool>& cancel);

// The offset in `file` of an intact copy of each of `f`'s slices, -1 where
// none was found. Returns false when cancelled or unreadable.
bool ScanSlices(const File& file, const SourceFile& f, uint64_t sliceSize, std::vector<int64_t>& found,
                std::atomic<uint64_t>& done, const std::atomic<bool>& cancel);

}  // namespace par2
