// The main window's side of extraction: the "Extract" label, the two folder
// prompts, the extraction component's events and the hand-off after a clean
// check. The flows themselves are extract/ExtractionRun; this file connects
// it to the window's controls.
#include <QEvent>
#include <QKeyEvent>

#include <functional>
#include <utility>

#include "app/Dialogs.h"
#include "app/PasswordPrompt.h"
#include "app/Unit1.h"
#include "app/WindowRunUi.h"
#include "extract/ExtractionRun.h"
#include "extract/RARArc.h"

// The window as the extraction flows see it: the options panel's settings,
// the folder prompts, the image and follow-up lines, the password prompt.
class WindowExtractionUi : public WindowRunUi<extract::ExtractionUi> {
 public:
  using WindowRunUi::WindowRunUi;

  extract::ExtractionOptions Options() const override {
    extract::ExtractionOptions o;
    o.chooseFolder = f_.choosecb->isChecked();
    o.extractToDir = f_.extracttodircb->isChecked();
    o.extractDir = ToLocal(f_.extracttodir->text());
    o.useBin = f_.binbutton->isChecked();
    o.useCue = f_.cuebutton->isChecked();
    o.runAfter = f_.afterextbox->isChecked();
    o.afterRun = ToLocal(f_.afterextrun->text());
    return o;
  }
  void ShowFolderPrompt(extract::FolderPrompt prompt) override {
    TPanel* panel = prompt == extract::FolderPrompt::Extract ? f_.popupdir : f_.sfvpopuppanel;
    QLineEdit* box = prompt == extract::FolderPrompt::Extract ? f_.popupdirbox : f_.sfvpopupbox;
    panel->show();
    panel->raise();
    box->setFocus();
  }
  void ShowImage(const std::string& imagefile) override { f_.mylab3->setText(FromLocal(imagefile)); }
  bool AskPassword(const std::string& prompt, std::string& password) override {
    QString answer;
    if (!AskPasswordDialog(&f_, FromLocal(prompt), answer)) return false;
    password = answer.toUtf8().toStdString();
    answer.fill(QChar(0));
    return true;
  }
  void ShowFollowUp(const std::string& program, const std::string& parameters) override {
    f_.mylab->setText(FromLocal(program));
    f_.mylab2->setText(FromLocal(parameters));
    f_.mylab3->setText(FromLocal(program + (parameters.empty() ? "" : " ") + parameters));
  }
};

namespace {

// Enter or Escape in one of the two folder prompts.
void PromptKey(extract::ExtractionRun& run, QKeyEvent* e, QWidget* prompt, QLineEdit* box,
               extract::FolderPrompt which) {
  const int key = e->key();
  if (key == Qt::Key_Escape) {
    box->clear();
    prompt->hide();
    return;
  }
  if (key != Qt::Key_Return && key != Qt::Key_Enter) return;
  if (!run.FolderEntered(which, ToLocal(box->text()))) return;
  box->clear();
  prompt->hide();
}

// Closing the window while a check or an extraction runs stops it.
class StopRunOnClose : public QObject {
 public:
  StopRunOnClose(QWidget* window, std::function<void()> stop) : QObject(window), stop_(std::move(stop)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == parent() && event->type() == QEvent::Close) stop_();
    return false;
  }

 private:
  std::function<void()> stop_;
};

}  // namespace

void TForm1::CreateExtractor() {
  winrar = new TRAR();
  extractionUi = std::make_unique<WindowExtractionUi>(*this);
  extraction = std::make_unique<extract::ExtractionRun>(*extractionUi, context, winrar);
  winrar->OnExtracting = [this](TRAR* s, const RARHeaderData& h) { winrarExtracting(s, h); };
  winrar->OnError = [this](TRAR* s, int error) { winrarError(s, error); };
  winrar->OnExtract = [this](TRAR* s, const RARHeaderData& h, bool ok) { winrarExtract(s, h, ok); };
  winrar->OnProcessData = [this](TRAR* s, unsigned char*, int size, int64_t) { return extraction->OnData(*s, size); };
  winrar->OnReqPassword = [this](TRAR*, const RARHeaderData& h, std::string& password) {
    extraction->OnPasswordRequest(h, password);
  };
  winrar->OnBadPassword = [this](TRAR*, const RARHeaderData& h, int error) { extraction->OnBadPassword(h, error); };
  // CANCEL stops a running extraction as well as a running check.
  connect(cancelab, &TClickLabel::clicked, this, [this] { extraction->Cancel(); });
  installEventFilter(new StopRunOnClose(this, [this] { extraction->WindowClosing(); }));
}

// The run stays: it reads winrar at every extraction, so a new component
// may take the old one's place.
void TForm1::DestroyExtractor() {
  delete winrar;
  winrar = nullptr;
}

void TForm1::Label5Click() { extraction->ExtractClicked(); }

void TForm1::popupdirboxKeyUp(QKeyEvent* e) {
  PromptKey(*extraction, e, popupdir, popupdirbox, extract::FolderPrompt::Extract);
}

void TForm1::sfvpopupboxKeyUp(QKeyEvent* e) {
  PromptKey(*extraction, e, sfvpopuppanel, sfvpopupbox, extract::FolderPrompt::AfterCheck);
}

void TForm1::winrarError(TRAR*, int) { extraction->OnError(); }

void TForm1::winrarExtracting(TRAR*, const RARHeaderData&) { extraction->OnExtracting(); }

void TForm1::winrarExtract(TRAR*, const RARHeaderData& entry, bool ok) { extraction->OnExtracted(entry, ok); }

void TForm1::ExtractAfterCleanCheck() { extraction->AfterCleanCheck(); }
