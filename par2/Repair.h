#pragma once
// Repair of a recovery set's damaged and missing files from its recovery
// slices (Reed-Solomon over GF(2^16)).
//
// Nothing is changed unless every file can be rebuilt: with fewer recovery
// slices than missing slices the repair says how many more it needs. Each
// rebuilt file is written to a temporary file in the set's folder, read back
// and checked against its MD5, and only then renamed into place; a damaged
// original is kept beside it as NAME.1 (NAME.2 when that exists, ...). A
// file found intact under another name is renamed back. Nothing is written
// outside the folder: names were checked when the set was read, and files
// are created only next to the ones they replace.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "par2/RecoverySet.h"
#include "par2/Verify.h"
#include "platform/Result.h"

namespace par2 {

struct RepairReport {
  std::vector<std::string> rebuilt;  // names of the files written anew
  std::vector<std::string> kept;     // where their damaged originals now are
  std::vector<std::string> renamed;  // names given back to renamed files
  uint32_t slicesRebuilt = 0;
};

// Called on the caller's thread every few milliseconds: work done and in
// all (in bytes, of the phase `what`); false cancels while nothing has been
// changed yet.
using RepairProgress = std::function<bool(uint64_t done, uint64_t total, const std::string& what)>;

// Bounds on the memory a repair takes: rebuilt slices held at once, and the
// batch of input slices read at once.
struct RepairLimits {
  uint64_t rebuiltBytes = uint64_t(512) << 20;
  uint64_t batchBytes = uint64_t(64) << 20;
};

// `v` is the set's verification, taken just before.
platform::Expected<RepairReport> Repair(const RecoverySet& set, const Verification& v,
                                        const RepairProgress& progress = {}, const RepairLimits& limits = {});

// The text for a set that cannot be repaired: how many more recovery slices
// it needs.
std::string NotRepairableText(const Verification& v);

}  // namespace par2
