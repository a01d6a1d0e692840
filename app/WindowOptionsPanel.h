#pragma once
// The main window's option controls seen through settings::OptionsPanel, so
// that the settings load, the save and the controls' reactions run the same
// tested code in the window. Defined in OptionsHandlers.cpp.
#include "settings/OptionsPanel.h"

class TForm1;
class QAbstractButton;

class WindowOptionsPanel : public settings::OptionsPanel {
 public:
  explicit WindowOptionsPanel(TForm1& form) : w_(form) {}

  bool IsChecked(settings::Option) const override;
  // Sets the control with its signals held back and runs its reaction here,
  // so a failing write inside a reaction reaches the caller.
  platform::Result SetChecked(settings::Option, bool) override;
  void SetExtractToDirEnabled(bool) override;
  void SetExtractDirEnabled(bool) override;
  void SetAfterRunEnabled(bool) override;
  std::string ExtractDir() const override;
  void SetExtractDir(const std::string&) override;
  std::string AfterRun() const override;
  void SetAfterRun(const std::string&) override;
  void SetWordWrap(bool) override;
  void SetStayOnTop(bool) override;
  bool ExtractionLibraryPresent() const override;
  std::string ExtractionLibraryFolder() const override;
  void ShowNotice(const std::string&) override;
  platform::Result WriteSetting(const std::string& key, const std::string& value) override;

 private:
  QAbstractButton* Button(settings::Option) const;
  TForm1& w_;
};

// Runs `reaction` on the window's options; a failing settings write is shown
// through the error report. Returns false when one was.
bool RunReporting(TForm1& form, platform::Result (*reaction)(settings::OptionsPanel&));
