#pragma once
// Repair from the window: after an SFV check that ended with missing or
// damaged files, the release's recovery set (its .par2 files) is verified
// and the status line offers the repair, saying how many recovery blocks it
// needs, or says how many are lacking. A click then repairs (progress on
// the strip, CANCEL as in a check) and the SFV check runs again by itself,
// so a repaired release flows on to extraction as a clean one does. A
// release with a recovery set and no SFV file is checked through the set.
// Plain C++ behind VerificationUi, like the check itself.
#include <cstdint>
#include <string>

#include "release/ReleaseContext.h"
#include "release/VerificationRun.h"

namespace release {

// A click on the status line: repairs when a repair is on offer, checks
// through the recovery set when the release has no SFV file, and otherwise
// runs the SFV check (RunVerification), followed, when it ended with errors,
// by the look at the recovery set. Does nothing while a run is going on or
// for a multi-disc release.
RunOutcome StatusLineClick(VerificationUi& ui, ReleaseContext& context, const RunSettings& settings);

// The .par2 file that stands for the recovery set in `folder` (ending in
// '/', or "" for the working folder): the first one in sorted order whose
// name has no ".vol" (the index file), else the first one; "" when none.
std::string FindPar2File(const std::string& folder);

// Status line texts.
inline constexpr const char* kStatusPar2Ready = "Click here to check this release with its PAR2 set";
inline constexpr const char* kStatusPar2Completed = "PAR2 check completed. (click here again to re-check)";
inline constexpr const char* kStatusPar2Failed = "PAR2 check completed, but with missing files / errors";
inline constexpr const char* kStatusRepairing = "Repairing, please wait...";
inline constexpr const char* kStatusRepairFailed = "Repair failed. (click here to check again)";
std::string Par2ProgressText(const std::string& path);
std::string RepairOfferText(uint32_t blocksNeeded);
std::string RepairImpossibleText(uint32_t blocksLacking);

}  // namespace release
