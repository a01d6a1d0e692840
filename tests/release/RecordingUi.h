#pragma once
// A VerificationUi that records what a run shows, for the check's and the
// repair's tests.
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "release/VerificationRun.h"

namespace release {

// Records what the run shows; the only faked part.
struct RecordingUi : VerificationUi {
  std::vector<std::string> events;  // status / message / error texts in order
  std::vector<std::string> messages;
  std::string status;
  bool cancelVisible = false, originVisible = true, progressVisible = false;
  uint64_t progressDone = 0, progressTotal = 0;
  int pumps = 0;
  std::function<void()> onPump;
  std::string* sfvmemo = nullptr;  // the window's entry list and busy flag,
  bool* busy = nullptr;            // which the release under test holds

  void SetStatus(const std::string& t) override {
    status = t;
    events.push_back("status: " + t);
  }
  void ShowMessage(const std::string& t) override {
    messages.push_back(t);
    events.push_back("message: " + t);
  }
  void ReportError(const std::string& t) override { events.push_back("error: " + t); }
  void ProcessMessages() override {
    ++pumps;
    if (onPump) onPump();
  }
  void SetCancelVisible(bool v) override { cancelVisible = v; }
  void SetOriginVisible(bool v) override { originVisible = v; }
  void ShowProgress(uint64_t done, uint64_t total) override {
    progressVisible = true;
    progressDone = done;
    progressTotal = total;
  }
  void HideProgress() override { progressVisible = false; }
  std::string& EntryList() override { return *sfvmemo; }
  bool& Busy() override { return *busy; }
  bool Saw(const std::string& event) const { return std::find(events.begin(), events.end(), event) != events.end(); }
};

}  // namespace release
