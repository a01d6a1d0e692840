// The status line's click runs the SFV verification of the release (or the
// repair through its recovery set, when one is on offer); the CANCEL label
// stops it. The runs themselves are release/VerificationRun and
// release/RepairRun; this file connects them to the window's controls and
// the release context.
#include "app/Dialogs.h"
#include "app/Unit1.h"
#include "app/WindowRunUi.h"
#include "platform/Path.h"
#include "release/RepairRun.h"
#include "release/VerificationRun.h"

namespace {

class WindowUi : public WindowRunUi<release::VerificationUi> {
 public:
  using WindowRunUi::WindowRunUi;
  void ReportError(const std::string& text) override { ::ReportError(FromLocal(text)); }
};

}  // namespace

void TForm1::sfvfilelabClick() {
  WindowUi ui(*this);
  release::RunSettings settings;
  // The SFV file lies in the .nfo file's folder, so its folder is the one the
  // listed files are looked up in.
  settings.nfoFolder = platform::FolderOf(context.sfvfile);
  // After a clean run: the folder prompt or the extraction, as the options say.
  settings.afterCleanRun = [this] { ExtractAfterCleanCheck(); };
  release::StatusLineClick(ui, context, settings);
}

void TForm1::cancelabClick() {
  WindowUi ui(*this);
  release::CancelVerification(ui, context);
}
