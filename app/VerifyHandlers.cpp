// The status line's click runs the SFV verification of the release; the
// CANCEL label stops it. The run itself is release/VerificationRun; this
// file connects it to the window's controls and the release context.
#include <QCoreApplication>

#include "app/Dialogs.h"
#include "app/ExtractHandlers.h"
#include "app/ProgressStrip.h"
#include "app/Unit1.h"
#include "platform/Path.h"
#include "release/VerificationRun.h"

namespace {

class WindowUi : public release::VerificationUi {
 public:
  explicit WindowUi(TForm1& form) : f_(form) {}

  void SetStatus(const std::string& text) override { f_.sfvfilelab->setText(FromLocal(text)); }
  void ShowMessage(const std::string& text) override { ::ShowMessage(FromLocal(text)); }
  void ReportError(const std::string& text) override { ::ReportError(FromLocal(text)); }
  void ProcessMessages() override { QCoreApplication::processEvents(); }
  void SetCancelVisible(bool visible) override { f_.cancelab->setVisible(visible); }
  void SetOriginVisible(bool visible) override {
    f_.fromsite->setVisible(visible);
    f_.Label2->setVisible(visible);
  }
  void ShowProgress(uint64_t done, uint64_t total) override { f_.progressbar->SetProgress(done, total); }
  void HideProgress() override { f_.progressbar->Finish(); }
  std::string& EntryList() override { return f_.sfvmemo; }
  bool& Busy() override { return f_.busy; }

 private:
  TForm1& f_;
};

}  // namespace

void TForm1::sfvfilelabClick() {
  WindowUi ui(*this);
  release::RunSettings settings;
  // The SFV file lies in the .nfo file's folder, so its folder is the one the
  // listed files are looked up in.
  settings.nfoFolder = platform::FolderOf(context.sfvfile);
  // After a clean run: the folder prompt or the extraction, as the options say.
  settings.afterCleanRun = [this] { ExtractAfterCleanCheck(*this); };
  release::RunVerification(ui, context, settings);
}

void TForm1::cancelabClick() {
  WindowUi ui(*this);
  release::CancelVerification(ui, context);
}
