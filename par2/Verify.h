#pragma once
// Verification of a recovery set's files: which are intact, which damaged or
// missing, where an intact copy of every slice lies, and whether the
// recovery slices suffice to rebuild the rest.
//
// Each file is hashed whole first (its MD5, and the CRC-32 of each slice at
// its place as the bytes go by); a file that matches is done. A file whose
// length differs, or in which a slice's CRC-32 fails at its place, is
// scanned: a window of one slice slides over it byte by byte with a rolling
// CRC-32, and each checksum that names a slice of the file is confirmed by
// the slice's MD5, so slices moved by inserted or deleted bytes are found
// too. A file missing under its name is looked for among the folder's other
// files by the MD5 of its first 16 KiB. Files are checked on all cores.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "par2/RecoverySet.h"
#include "platform/Result.h"

namespace par2 {

enum class FileStatus {
  Intact,   // under its own name
  Renamed,  // intact, under another name (`foundAt`)
  Damaged,  // present under its name, not intact
  Missing,  // not under its name (slices may still come from `foundAt`)
};

struct FileResult {
  FileStatus status = FileStatus::Missing;
  std::string foundAt;       // the path its data was read from, "" when none
  uint32_t slicesFound = 0;  // its slices found intact there
};

struct SliceLocation {
  int32_t source = -1;  // index into Verification::sources; -1: no intact copy
  uint64_t offset = 0;
};

struct Verification {
  std::vector<FileResult> files;      // as RecoverySet::files
  std::vector<std::string> sources;   // the files slices were found in
  std::vector<SliceLocation> slices;  // one per slice of the set
  uint32_t missingSlices = 0;         // slices without an intact copy
  uint32_t recoveryAvailable = 0;     // intact recovery slices, one per exponent

  bool AllIntact() const;  // every file intact under its own name
  bool Repairable() const { return missingSlices <= recoveryAvailable; }
  uint32_t MoreNeeded() const { return Repairable() ? 0 : missingSlices - recoveryAvailable; }
};

// Called on the caller's thread every few milliseconds with the bytes read
// so far, the bytes to read and the name of a file being read; false
// cancels.
using VerifyProgress = std::function<bool(uint64_t done, uint64_t total, const std::string& name)>;

// When a file is not intact, the recovery slices read unchecked are checked
// too: the intact ones join set.recovery, and recoveryAvailable counts them
// all. An intact set's recovery slices are left unchecked (and uncounted).
// Fails only when cancelled.
platform::Expected<Verification> Verify(RecoverySet& set, const VerifyProgress& progress = {});

// Checks the recovery slices read unchecked (set.unchecked) on all cores:
// the first intact one of each exponent joins set.recovery, the rest are
// dropped. Verify does this by itself when it finds damage. Called with
// bytes hashed so far and in all; false cancels (and is returned).
bool CheckRecoverySlices(RecoverySet& set, const std::function<bool(uint64_t done, uint64_t total)>& progress = {});

// Threads used for hashing and for repair: the cores there are, at least one.
unsigned WorkerThreads();

}  // namespace par2
