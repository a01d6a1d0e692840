#pragma once
// Option controls held in plain variables, wired to the real reactions the way
// the window wires its check boxes: a state change runs the control's
// reaction, a radio button's only when it becomes selected. Notices are
// recorded; the missing-library write goes to a real settings file.
#include <map>
#include <string>
#include <vector>

#include "settings/OptionReactions.h"
#include "settings/OptionsPanel.h"
#include "settings/SettingsLoadSave.h"

namespace testing_support {

class FakePanel : public settings::OptionsPanel {
 public:
  using Option = settings::Option;

  FakePanel(std::string settingsPath, bool libraryPresent)
      : settingsPath_(std::move(settingsPath)), libraryPresent_(libraryPresent) {}

  // Initial states of the controls before any settings are applied.
  std::map<Option, bool> checked{{Option::Associate, false},    {Option::Extract, false},
                                 {Option::ChooseExtract, true}, {Option::RunAfterExt, false},
                                 {Option::UseBin, true},        {Option::UseCue, false},
                                 {Option::WordWrap, true},      {Option::AlwaysOnTop, false}};
  bool extractToDirEnabled = true;
  bool extractDirEnabled = false;
  bool afterRunEnabled = false;
  bool wordWrap = true;
  bool stayOnTop = false;
  std::string extractDir, afterRun;
  std::vector<std::string> notices;

  bool IsChecked(Option o) const override { return checked.at(o); }
  platform::Result SetChecked(Option o, bool on) override {
    if (checked[o] == on) return platform::Result::Ok();
    const bool radio = o == Option::UseBin || o == Option::UseCue;
    if (radio && on) checked[o == Option::UseBin ? Option::UseCue : Option::UseBin] = false;
    checked[o] = on;
    if (radio && !on) return platform::Result::Ok();
    return settings::RunReaction(*this, o);
  }
  void SetExtractToDirEnabled(bool on) override { extractToDirEnabled = on; }
  void SetExtractDirEnabled(bool on) override { extractDirEnabled = on; }
  void SetAfterRunEnabled(bool on) override { afterRunEnabled = on; }
  std::string ExtractDir() const override { return extractDir; }
  void SetExtractDir(const std::string& s) override { extractDir = s; }
  std::string AfterRun() const override { return afterRun; }
  void SetAfterRun(const std::string& s) override { afterRun = s; }
  void SetWordWrap(bool on) override { wordWrap = on; }
  void SetStayOnTop(bool on) override { stayOnTop = on; }
  bool ExtractionLibraryPresent() const override { return libraryPresent_; }
  std::string ExtractionLibraryFolder() const override { return "/opt/lumeskar/"; }
  void ShowNotice(const std::string& text) override { notices.push_back(text); }
  platform::Result WriteSetting(const std::string& key, const std::string& value) override {
    settings::ProfileFile file(settingsPath_);
    return settings::WriteOption(file, key, value);
  }

 private:
  std::string settingsPath_;
  bool libraryPresent_;
};

}  // namespace testing_support
