#pragma once
// Reading a recovery set from its .par2 files: the named file first, then
// every other .par2 file of its folder. Each packet is checked against its
// MD5 and must belong to the named file's set; damaged packets are stepped
// over to the next packet start, unknown kinds are skipped, repeats ignored.
// Sizes and counts are checked before anything is allocated for them, and a
// file name that is not a plain name inside the folder refuses the set.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "par2/RecoverySet.h"
#include "platform/Result.h"

namespace par2 {

// Called with bytes read so far and in all; false cancels the reading.
using ReadProgress = std::function<bool(uint64_t done, uint64_t total)>;

platform::Expected<RecoverySet> ReadRecoverySet(const std::string& par2Path, const ReadProgress& progress = {});

// The same from packets held in memory (one file's bytes), for tests and the
// fuzzer; recovery slices then point into `path` at their offsets.
platform::Expected<RecoverySet> ParseRecoverySet(std::string_view bytes, const std::string& path = "memory.par2");

// Whether the packet of a recovery slice read unchecked matches its MD5.
// `done` grows by the bytes read; a set `cancel` stops it early (false).
bool RecoveryPacketIntact(const UncheckedRecovery& u, std::atomic<uint64_t>& done, const std::atomic<bool>& cancel);

// A name that is safe to create in the set's folder: not empty, no '/', no
// '\\', no NUL or other control character, not "." or "..".
bool IsPlainFileName(std::string_view name);

}  // namespace par2
