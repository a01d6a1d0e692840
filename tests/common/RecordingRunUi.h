#pragma once
// What a run started from the window shows, recorded instead of shown: the
// part every run's interface shares (release::RunUi). A test's recorder
// derives from RecordingRunUi<TheRunsUi> and adds that interface's own parts.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "release/RunUi.h"

namespace testing_support {

template <class Ui>
struct RecordingRunUi : Ui {
  std::vector<std::string> events;  // "status: ", "message: " (and the run's own) texts in order
  std::vector<std::string> statuses, messages;
  bool cancelVisible = false, originVisible = true, progressVisible = false;
  uint64_t progressDone = 0, progressTotal = 0;
  int pumps = 0;
  std::function<void()> onPump;
  std::string* sfvmemo = nullptr;  // the window's entry list and busy flag,
  bool* busy = nullptr;            // which the release under test holds

  void SetStatus(const std::string& t) override {
    statuses.push_back(t);
    events.push_back("status: " + t);
  }
  void ShowMessage(const std::string& t) override {
    messages.push_back(t);
    events.push_back("message: " + t);
  }
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

  // The last status shown ("" before the first).
  std::string Status() const { return statuses.empty() ? "" : statuses.back(); }
  bool Saw(const std::string& event) const { return std::find(events.begin(), events.end(), event) != events.end(); }
};

}  // namespace testing_support
