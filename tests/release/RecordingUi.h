#pragma once
// A VerificationUi that records what a run shows, for the check's and the
// repair's tests.
#include <string>

#include "release/VerificationRun.h"
#include "tests/common/RecordingRunUi.h"

namespace release {

struct RecordingUi : testing_support::RecordingRunUi<VerificationUi> {
  void ReportError(const std::string& t) override { events.push_back("error: " + t); }
};

}  // namespace release
