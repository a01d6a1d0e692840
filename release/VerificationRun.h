#pragma once
// The SFV verification run: checks every file listed in the release's SFV
// text against its CRC-32 and reports through the window. The window is
// reached only through VerificationUi, so the run itself is plain C++ and is
// driven by the status line's click handler (and by tests with a recorder).
#include <cstdint>
#include <functional>
#include <string>

namespace release {

// What the run needs from the main window.
class VerificationUi {
 public:
  virtual ~VerificationUi() = default;
  virtual void SetStatus(const std::string& text) = 0;       // the status line
  virtual void ShowMessage(const std::string& text) = 0;     // modal box with OK
  virtual void ReportError(const std::string& text) = 0;     // the default error report
  virtual void ProcessMessages() = 0;                        // handle pending window events
  virtual void SetCancelVisible(bool visible) = 0;           // the CANCEL label
  virtual void SetOriginVisible(bool visible) = 0;           // the origin-site line
  virtual void ShowProgress(uint64_t done, uint64_t total) = 0;  // the thin progress bar
  virtual void HideProgress() = 0;
};

// The release context variables the run reads and writes; they belong to the
// window and outlive the run.
struct ReleaseVars {
  std::string& sfvfile;      // path of the SFV file; the entry list is reloaded from it
  std::string& checkfile;    // path of the file being checked
  uint32_t& checkcrc;        // its CRC-32
  bool& cancelcheck;         // set by the CANCEL label
  std::string& checkresult;  // "" or "error"
  std::string& archivefile;  // the last file checked; what a clean run hands to extraction
  std::string& sfvmemo;      // the entry list: the SFV text with CR LF line breaks
  bool& busy;                // a check or an extraction is running
};

struct RunSettings {
  std::string nfoFolder;     // the .nfo file's folder with its trailing '/', or "" (working folder)
  int cdcount = 0;           // disc folders found at start-up; a multi-disc release is not checked
  std::string sfvsearchName; // name of the SFV file found beside the .nfo file, "" when none
  // Called after a clean run, once the final status is shown and before the
  // window is restored: the hand-off to extraction. The run still counts as
  // busy while it runs, so the extraction it starts must not test `busy`.
  std::function<void()> afterCleanRun;
};

// How a run ended, for callers that want more than the window shows.
enum class RunOutcome { NotStarted, Clean, Failed, Cancelled };

// A click on the status line. Does nothing while another check or
// extraction is running, for a multi-disc release or without an SFV file.
RunOutcome RunVerification(VerificationUi& ui, ReleaseVars& vars, const RunSettings& settings);

// A click on CANCEL: asks the running check to stop and shows the window as
// it is after a check.
void CancelVerification(VerificationUi& ui, ReleaseVars& vars);

// Status line texts the run sets.
inline constexpr const char* kStatusProcessing = "Processing, please wait...";
inline constexpr const char* kStatusCompleted = "SFV check completed. (click here again to re-check)";
inline constexpr const char* kStatusCompletedWithErrors = "SFV check completed, but with missing files / errors";

}  // namespace release
