// The main window's extraction flows: the "Extract" label, the two folder
// prompts, the extraction component's events, the hand-off after a clean
// check, and the image search with the follow-up launch after every run.
#include "app/ExtractHandlers.h"

#include <sys/stat.h>

#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>

#include <chrono>

#include "app/Dialogs.h"
#include "app/ProgressStrip.h"
#include "app/ReleaseContext.h"
#include "app/Unit1.h"
#include "extract/FirstVolume.h"
#include "extract/FollowUp.h"
#include "extract/RARArc.h"
#include "extract/VolumeSet.h"
#include "platform/DirSearch.h"
#include "release/ReleaseDiscovery.h"
#include "release/SfvEntries.h"

namespace {

const QString kStatusExtracting = QStringLiteral("Extracting Archive, please wait...");
const QString kStatusError = QStringLiteral("Unexpected error occured whilst extracting archive!");
const QString kStatusCompletedRun = QStringLiteral("Extraction Completed, processing executable...");
const QString kStatusCompletedAll = QStringLiteral("Extraction Completed, All jobs done!");
const QString kStatusDoneNoCheck =
    QStringLiteral("Extraction Done! (No SFV check was done), Click here to SFV check this release.");
const QString kStatusNoArchive = QStringLiteral("Unable to find RAR file");
const QString kStatusCancelled = QStringLiteral("Extraction cancelled.");
const QString kStatusLaunched = QStringLiteral("External program successfully launched, all tasks completed!");
const QString kStatusNotLaunched = QStringLiteral("External program unsuccessfully launched, partial tasks completed!");

void Pump() { QCoreApplication::processEvents(); }

// The extraction in progress: its data count for the progress bar and
// whether CANCEL was clicked. There is one window and one run at a time.
struct ActiveRun {
  uint64_t done = 0;
  uint64_t total = 0;
  bool cancelled = false;
  std::chrono::steady_clock::time_point lastPump = std::chrono::steady_clock::now();
};
ActiveRun* gRun = nullptr;

// How often window events are handled while data flows: often enough for a
// smooth bar and a prompt CANCEL, rarely enough to cost nothing measurable.
constexpr auto kPumpInterval = std::chrono::milliseconds(40);

// Runs winrar on `archive` into `folder`, keeping the window alive and the
// progress bar moving. Returns false when the user cancelled.
bool RunExtractor(TForm1& f, const std::string& archive, const std::string& folder) {
  ActiveRun run;
  // After a check, CANCEL stays clickable while the hand-off processes
  // messages; a click there must stop the extraction before it begins.
  run.cancelled = cancelcheck;
  run.total = extract::SetSize(archive);
  f.winrar->ArchiveName = archive;
  f.winrar->TargetDir = folder;
  if (!run.cancelled) {
    gRun = &run;
    f.winrar->Stop = false;
    f.progressbar->SetProgress(0, run.total);
    f.winrar->ExtractArchive();
    gRun = nullptr;
    f.winrar->Stop = false;
    f.progressbar->Finish();
  }
  if (run.cancelled) {
    cancelcheck = false;  // the request was for this extraction and is honoured
    f.sfvfilelab->setText(kStatusCancelled);
  }
  return !run.cancelled;
}

// The folder the release's listed files lie in: the SFV file's folder.
std::string ReleaseFolder() { return sfvfile.empty() ? std::string() : release::FolderOf(sfvfile); }

// The first volume listed in the entry list, as a path in the release folder;
// "" when the list names none.
std::string FirstVolumePath(const std::string& entryList) {
  const std::string name = extract::FindFirstVolume(release::SfvEntryNames(entryList));
  return name.empty() ? std::string() : release::ListedFilePath(ReleaseFolder(), name);
}

// The first-volume search of an extraction without a check.
void SearchFirstVolume(TForm1& f) {
  const std::string name = extract::FindFirstVolume(release::SfvEntryNames(f.sfvmemo));
  checkfile = release::ListedFilePath(ReleaseFolder(), name);
  Pump();
  archivefile = checkfile;
}

// Image search in `folder`, then the follow-up program when it is enabled.
// With `report`, the status line tells whether the program started.
void FollowUp(TForm1& f, const std::string& folder, bool report) {
  const std::string image = extract::FindImage(folder, f.binbutton->isChecked(), f.cuebutton->isChecked());
  if (!image.empty()) {
    imagefile = image;
    imagesearch.Name = image.substr(image.rfind('/') + 1);
    f.mylab3->setText(FromLocal(imagefile));
  }
  if (!f.afterextbox->isChecked()) return;

  const std::string command = ToLocal(f.afterextrun->text());
  if (auto args = extract::BuildFollowUpArgs(command, imagefile)) {
    std::string parameters;
    for (size_t i = 1; i < args->size(); ++i) parameters += (i > 1 ? " " : "") + (*args)[i];
    f.mylab->setText(FromLocal(args->front()));
    f.mylab2->setText(FromLocal(parameters));
    f.mylab3->setText(FromLocal(args->front() + (parameters.empty() ? "" : " ") + parameters));
  }
  const platform::LaunchResult launched = extract::LaunchFollowUp(command, imagefile);
  if (report) f.sfvfilelab->setText(launched.started ? kStatusLaunched : kStatusNotLaunched);
}

// CANCEL lies over the origin-site line, so the line is hidden while CANCEL
// shows, as during a check.
void ShowCancel(TForm1& f, bool shown) {
  f.cancelab->setVisible(shown);
  f.fromsite->setVisible(!shown);
  f.Label2->setVisible(!shown);
}

// Flows B and C: extraction into `folder` of the archive the first-volume
// search finds, without a check.
void ExtractWithoutCheck(TForm1& f, const std::string& folder) {
  f.busy = true;
  cancelcheck = false;  // only a click made during this extraction counts
  f.sfvfilelab->setText(kStatusExtracting);
  SearchFirstVolume(f);
  if (!platform::FileExists(archivefile)) {
    // Nothing to extract, so nothing to hand to the follow-up program.
    f.sfvfilelab->setText(kStatusNoArchive);
    f.busy = false;
    return;
  }
  ShowCancel(f, true);
  const bool finished = RunExtractor(f, archivefile, folder);
  ShowCancel(f, false);
  if (finished) f.sfvfilelab->setText(kStatusDoneNoCheck);
  if (auto text = release::ReadWholeFile(sfvfile)) f.sfvmemo = release::NormalizeLineBreaks(*text);
  if (finished) FollowUp(f, folder, false);
  f.busy = false;
}

// Flow D: extraction of `archivefile` into the folder typed after a check.
void ExtractAfterCheckInto(TForm1& f, const std::string& folder) {
  f.busy = true;
  cancelcheck = false;  // only a click made during this extraction counts
  Pump();
  f.sfvfilelab->setText(kStatusExtracting);
  Pump();
  ShowCancel(f, true);
  const bool finished = RunExtractor(f, archivefile, folder);
  ShowCancel(f, false);
  Pump();
  if (finished) FollowUp(f, folder, true);
  f.busy = false;
}

// Enter or Escape in one of the two folder prompts.
void PromptKey(TForm1& f, QKeyEvent* e, QWidget* prompt, QLineEdit* box, void (*extract)(TForm1&, const std::string&)) {
  const int key = e->key();
  if (key == Qt::Key_Escape) {
    box->clear();
    prompt->hide();
    return;
  }
  if (key != Qt::Key_Return && key != Qt::Key_Enter) return;
  if (f.busy) return;  // one check or extraction at a time; the prompt stays as it is
  const std::string folder = ToLocal(box->text());
  mkdir(folder.c_str(), 0777);  // one level; it may already exist
  if (!platform::FolderExists(folder))
    ShowMessage(QStringLiteral("Error creating directory (") + box->text() +
                QStringLiteral(" possibly contains invalid characters"));
  else
    extract(f, folder);
  box->clear();
  prompt->hide();
}

// Closing the window while a check or an extraction runs stops it as CANCEL
// does. Otherwise the run would go on unseen, show its message boxes without
// a window and start the follow-up program after the user has left.
class StopRunOnClose : public QObject {
 public:
  explicit StopRunOnClose(TForm1* form) : QObject(form), form_(form) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == form_ && event->type() == QEvent::Close && form_->busy) {
      cancelcheck = true;
      if (gRun) gRun->cancelled = true;
    }
    return false;
  }

 private:
  TForm1* form_;
};

}  // namespace

void TForm1::CreateExtractor() {
  winrar = new TRAR();
  winrar->OnExtracting = [this](TRAR* s, const RARHeaderData& h) { winrarExtracting(s, h); };
  winrar->OnError = [this](TRAR* s, int error) { winrarError(s, error); };
  winrar->OnExtract = [this](TRAR* s, const RARHeaderData& h, bool ok) { winrarExtract(s, h, ok); };
  winrar->OnProcessData = [this](TRAR* s, unsigned char*, int size, int64_t) -> int {
    if (!gRun) return 1;
    gRun->done += static_cast<uint64_t>(size > 0 ? size : 0);
    const auto now = std::chrono::steady_clock::now();
    if (now - gRun->lastPump >= kPumpInterval) {
      progressbar->SetProgress(gRun->done, gRun->total);
      Pump();
      gRun->lastPump = std::chrono::steady_clock::now();
    }
    if (gRun && gRun->cancelled) {
      s->Stop = true;
      return 0;  // abandons the entry being unpacked
    }
    return 1;
  };
  // CANCEL stops a running extraction as well as a running check.
  connect(cancelab, &TClickLabel::clicked, this, [] {
    if (gRun) gRun->cancelled = true;
  });
  installEventFilter(new StopRunOnClose(this));
}

void TForm1::DestroyExtractor() {
  delete winrar;
  winrar = nullptr;
}

void TForm1::Label5Click() {
  if (choosecb->isChecked()) {
    popupdir->show();
    popupdir->raise();
    popupdirbox->setFocus();
    return;
  }
  if (busy || extracttodir->text().isEmpty()) return;
  ExtractWithoutCheck(*this, ToLocal(extracttodir->text()));
}

void TForm1::popupdirboxKeyUp(QKeyEvent* e) { PromptKey(*this, e, popupdir, popupdirbox, ExtractWithoutCheck); }

void TForm1::sfvpopupboxKeyUp(QKeyEvent* e) { PromptKey(*this, e, sfvpopuppanel, sfvpopupbox, ExtractAfterCheckInto); }

void TForm1::winrarError(TRAR*, int) { sfvfilelab->setText(kStatusError); }

void TForm1::winrarExtracting(TRAR*, const RARHeaderData&) { sfvfilelab->setText(kStatusExtracting); }

void TForm1::winrarExtract(TRAR*, const RARHeaderData&, bool) {
  sfvfilelab->setText(afterextbox->isChecked() ? kStatusCompletedRun : kStatusCompletedAll);
}

void ExtractAfterCleanCheck(TForm1& f) {
  // The check went through every listed file; extraction starts from the
  // set's first volume, not from whatever file the list happens to end with.
  if (auto text = release::ReadWholeFile(sfvfile)) {
    const std::string first = FirstVolumePath(release::NormalizeLineBreaks(*text));
    if (!first.empty()) archivefile = first;
  }
  if (f.choosecb->isChecked()) {
    f.sfvpopuppanel->show();
    f.sfvpopuppanel->raise();
    f.sfvpopupbox->setFocus();
  }
  if (!f.extracttodircb->isChecked()) return;
  const std::string folder = ToLocal(f.extracttodir->text());
  // No configured folder: the library would unpack into whatever folder the
  // program was started from. As with the "Extract" label, nothing happens.
  if (folder.empty()) return;
  Pump();
  f.sfvfilelab->setText(kStatusExtracting);
  Pump();
  const bool finished = RunExtractor(f, archivefile, folder);
  Pump();
  // CANCEL clicked after the data was out still stops the follow-up program.
  const bool cancelledLate = cancelcheck;
  cancelcheck = false;
  if (finished && !cancelledLate) FollowUp(f, folder, true);
}
