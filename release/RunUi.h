#pragma once
// What a run started from the window (the SFV check, an extraction) needs
// from it. The runs are plain C++ and see the window only through this
// interface, so tests drive them with a recorder.
#include <chrono>
#include <cstdint>
#include <string>

namespace release {

class RunUi {
 public:
  virtual ~RunUi() = default;
  virtual void SetStatus(const std::string& text) = 0;           // the status line
  virtual void ShowMessage(const std::string& text) = 0;         // modal box with OK
  virtual void ProcessMessages() = 0;                            // handle pending window events
  virtual void SetCancelVisible(bool visible) = 0;               // the CANCEL label
  virtual void SetOriginVisible(bool visible) = 0;               // the origin-site line
  virtual void ShowProgress(uint64_t done, uint64_t total) = 0;  // the thin progress bar
  virtual void HideProgress() = 0;
  // The window's entry list (the SFV text with CR LF line breaks, sfvmemo)
  // and its busy flag (a check or an extraction is running).
  virtual std::string& EntryList() = 0;
  virtual bool& Busy() = 0;
};

// How often a run handles window events while data flows: often enough for
// a smooth bar and a prompt CANCEL, rarely enough to cost nothing measurable.
inline constexpr std::chrono::milliseconds kPumpInterval{15};

}  // namespace release
