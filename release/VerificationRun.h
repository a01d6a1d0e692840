#pragma once
// The SFV verification run: checks every file listed in the release's SFV
// text against its CRC-32 and reports through the window. The window is
// reached only through VerificationUi, the release's state through the
// ReleaseContext, so the run itself is plain C++ and is
// driven by the status line's click handler (and by tests with a recorder).
#include <cstdint>
#include <functional>
#include <string>

#include "release/ReleaseContext.h"
#include "release/RunUi.h"

namespace release {

// What the run needs from the main window, beyond what every run needs.
class VerificationUi : public RunUi {
 public:
  virtual void ReportError(const std::string& text) = 0;  // the default error report
};

struct RunSettings {
  std::string nfoFolder;  // the .nfo file's folder with its trailing '/', or "" (working folder)
  // Called after a clean run, once the final status is shown and before the
  // window is restored: the hand-off to extraction. The run still counts as
  // busy while it runs, so the extraction it starts must not test `busy`.
  std::function<void()> afterCleanRun;
};

// How a run ended, for callers that want more than the window shows.
enum class RunOutcome { NotStarted, Clean, Failed, Cancelled };

// A click on the status line. Does nothing while another check or
// extraction is running, for a multi-disc release (context.cdcount) or
// without an SFV file found beside the .nfo file (context.sfvfile).
RunOutcome RunVerification(VerificationUi& ui, ReleaseContext& context, const RunSettings& settings);

// A click on CANCEL: asks the running check to stop and shows the window as
// it is after a check.
void CancelVerification(VerificationUi& ui, ReleaseContext& context);

// Status line texts the run sets.
inline constexpr const char* kStatusProcessing = "Processing, please wait...";
inline constexpr const char* kStatusCompleted = "SFV check completed. (click here again to re-check)";
inline constexpr const char* kStatusCompletedWithErrors = "SFV check completed, but with missing files / errors";

}  // namespace release
