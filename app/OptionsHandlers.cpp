// The options panel's reactions in the window. The behaviour itself lives in
// settings/OptionReactions.cpp; these handlers adapt the window's controls.
#include <QAbstractButton>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QSignalBlocker>
#include <QSortFilterProxyModel>

#include "app/Dialogs.h"
#include "app/Unit1.h"
#include "app/WindowOptionsPanel.h"
#include "platform/DirSearch.h"
#include "platform/Launch.h"
#include "platform/ProgramDir.h"
#include "settings/Association.h"
#include "settings/OptionReactions.h"
#include "settings/ProgramCommand.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsLoadSave.h"
#include "settings/SettingsLocation.h"

using settings::Option;

QAbstractButton* WindowOptionsPanel::Button(Option option) const {
  switch (option) {
    case Option::Associate: return w_.assocfiles;
    case Option::Extract: return w_.extracttodircb;
    case Option::ChooseExtract: return w_.choosecb;
    case Option::RunAfterExt: return w_.afterextbox;
    case Option::UseBin: return w_.binbutton;
    case Option::UseCue: return w_.cuebutton;
    case Option::WordWrap: return w_.wwrapcb;
    case Option::AlwaysOnTop: return w_.aotcb;
  }
  return nullptr;
}

bool WindowOptionsPanel::IsChecked(Option option) const { return Button(option)->isChecked(); }

platform::Result WindowOptionsPanel::SetChecked(Option option, bool on) {
  QAbstractButton* button = Button(option);
  if (button->isChecked() == on) return platform::Result::Ok();
  const bool radio = option == Option::UseBin || option == Option::UseCue;
  {
    const QSignalBlocker hold(button);
    if (radio && !on) {
      // A selected radio button cannot be deselected on its own in Qt.
      button->setAutoExclusive(false);
      button->setChecked(false);
      button->setAutoExclusive(true);
    } else {
      button->setChecked(on);  // selecting one radio button deselects the other
    }
  }
  if (radio && !on) return platform::Result::Ok();
  return settings::RunReaction(*this, option);
}

void WindowOptionsPanel::SetExtractToDirEnabled(bool on) { w_.extracttodircb->setEnabled(on); }
void WindowOptionsPanel::SetExtractDirEnabled(bool on) { w_.extracttodir->setEnabled(on); }
void WindowOptionsPanel::SetAfterRunEnabled(bool on) { w_.afterextrun->setEnabled(on); }
std::string WindowOptionsPanel::ExtractDir() const { return ToLocal(w_.extracttodir->text()); }
void WindowOptionsPanel::SetExtractDir(const std::string& s) { w_.extracttodir->setText(FromLocal(s)); }
std::string WindowOptionsPanel::AfterRun() const { return ToLocal(w_.afterextrun->text()); }
void WindowOptionsPanel::SetAfterRun(const std::string& s) { w_.afterextrun->setText(FromLocal(s)); }

void WindowOptionsPanel::SetWordWrap(bool on) { w_.edit->setWordWrap(on); }

void WindowOptionsPanel::SetStayOnTop(bool on) {
  if (w_.windowFlags().testFlag(Qt::WindowStaysOnTopHint) == on) return;
  const bool shown = w_.isVisible();
  w_.setWindowFlag(Qt::WindowStaysOnTopHint, on);
  if (shown) w_.show();  // changing the flags hides a shown window
}

// The loader looks for the library in the program's own folder first.
bool WindowOptionsPanel::ExtractionLibraryPresent() const {
  return platform::FileExists(platform::ProgramDir() + "libunrar.so");
}
std::string WindowOptionsPanel::ExtractionLibraryFolder() const { return platform::ProgramDir(); }
void WindowOptionsPanel::ShowNotice(const std::string& text) { ShowMessage(FromLocal(text)); }

platform::Result WindowOptionsPanel::WriteSetting(const std::string& key, const std::string& value) {
  settings::ProfileFile file(settings::SettingsPath());
  return settings::WriteOption(file, key, value);
}

bool RunReporting(TForm1& form, platform::Result (*reaction)(settings::OptionsPanel&)) {
  WindowOptionsPanel panel(form);
  const platform::Result done = reaction(panel);
  if (!done) ReportError(FromLocal(done.message()));
  return done.ok();
}

void TForm1::extracttodircbClick() { RunReporting(*this, settings::ExtractToDirClicked); }
void TForm1::choosecbClick() { RunReporting(*this, settings::ChooseExtractClicked); }
void TForm1::afterextboxClick() { RunReporting(*this, settings::AfterExtClicked); }
void TForm1::binbuttonClick() { RunReporting(*this, settings::UseBinClicked); }
void TForm1::cuebuttonClick() { RunReporting(*this, settings::UseCueClicked); }
void TForm1::wwrapcbClick() { RunReporting(*this, settings::WordWrapClicked); }
void TForm1::aotcbClick() { RunReporting(*this, settings::AlwaysOnTopClicked); }

void TForm1::assocfilesClick() {
  const platform::Result done = assocfiles->isChecked() ? settings::RegisterAssociation(platform::ProgramPath())
                                                        : settings::UnregisterAssociation();
  if (!done) ReportError(FromLocal(done.message()));
}

void TForm1::Button2Click() {
  WindowOptionsPanel panel(*this);
  settings::ProfileFile file(settings::SettingsPath());
  if (const platform::Result done = settings::SaveSettings(panel, file); !done) {
    ReportError(FromLocal(done.message()));
    return;  // the panel stays open
  }
  optionspanel->hide();
}

// The plugin manager's outcome is not reported.
void TForm1::pluginbuttonClick() { (void)platform::StartDetached({platform::ProgramDir() + "PluginManager"}); }

namespace {

// Lists folders and, while the executables filter is chosen, only the files
// that carry an execute bit.
class ExecutableFilter : public QSortFilterProxyModel {
 public:
  bool onlyExecutables = true;

 protected:
  bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
    if (!onlyExecutables) return true;
    auto* files = qobject_cast<QFileSystemModel*>(sourceModel());
    if (!files) return true;
    const QFileInfo info = files->fileInfo(files->index(row, 0, parent));
    return info.isDir() || info.isExecutable();
  }
};

const QString kExecutables = QStringLiteral("Executable Files (*)");

}  // namespace

void TForm1::SpeedButton3Click() {
  QFileDialog odae(this, QStringLiteral("Select an executable to launch..."));
  odae.setObjectName(QStringLiteral("odae"));
  odae.setOption(QFileDialog::DontUseNativeDialog);
  odae.setFileMode(QFileDialog::ExistingFile);
  odae.setNameFilters({kExecutables, QStringLiteral("All Files (*)")});
  auto* filter = new ExecutableFilter;
  odae.setProxyModel(filter);
  connect(&odae, &QFileDialog::filterSelected, &odae, [filter](const QString& chosen) {
    filter->onlyExecutables = chosen == kExecutables;
    filter->invalidate();
  });
  if (odae.exec() != QDialog::Accepted || odae.selectedFiles().isEmpty()) return;
  // The box holds a command line split into words when it runs: the chosen
  // program has to stay one word however its path is spelt.
  afterextrun->setText(FromLocal(settings::CommandWordForPath(ToLocal(odae.selectedFiles().first()))));
}
