#pragma once
// The option controls of the options panel as the settings load and save and
// the controls' reactions see them. The controls are the settings while the
// program runs; there is no separate record.
//
// SetChecked behaves as a click: when the state changes, the control's click
// reaction runs (for a radio button, only when it becomes selected, after its
// sibling has been deselected). Setting the state it already has runs nothing.
// It returns the reaction's outcome: a reaction may write the settings file.
#include <string>

#include "platform/Result.h"

namespace settings {

enum class Option { Associate, Extract, ChooseExtract, RunAfterExt, UseBin, UseCue, WordWrap, AlwaysOnTop };

class OptionsPanel {
 public:
  virtual ~OptionsPanel() = default;

  virtual bool IsChecked(Option) const = 0;
  virtual platform::Result SetChecked(Option, bool) = 0;
  virtual void SetExtractToDirEnabled(bool) = 0;  // the extracttodircb check box itself
  virtual void SetExtractDirEnabled(bool) = 0;    // the extracttodir text box
  virtual void SetAfterRunEnabled(bool) = 0;      // the afterextrun text box
  virtual std::string ExtractDir() const = 0;
  virtual void SetExtractDir(const std::string&) = 0;
  virtual std::string AfterRun() const = 0;
  virtual void SetAfterRun(const std::string&) = 0;
  virtual void SetWordWrap(bool) = 0;   // of the viewer
  virtual void SetStayOnTop(bool) = 0;  // of the main window

  // Services the reactions use.
  virtual bool ExtractionLibraryPresent() const = 0;
  virtual std::string ExtractionLibraryFolder() const = 0;  // ends in '/'
  virtual void ShowNotice(const std::string&) = 0;          // modal message box
  // Writes one key of section "Options" at once; a failure carries the text
  // for the error report.
  virtual platform::Result WriteSetting(const std::string& key, const std::string& value) = 0;
};

}  // namespace settings
