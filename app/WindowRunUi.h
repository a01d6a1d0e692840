#pragma once
// The window's side of what every run needs (release::RunUi): the status
// line, message boxes, the event pump, CANCEL, the origin line, the progress
// bar, the entry list and the busy flag. The check's and the extraction's
// adapters add their own parts on top.
#include <QCoreApplication>

#include <cstdint>
#include <string>

#include "app/Dialogs.h"
#include "app/ProgressStrip.h"
#include "app/Unit1.h"

template <class Ui>
class WindowRunUi : public Ui {
 public:
  explicit WindowRunUi(TForm1& form) : f_(form) {}

  void SetStatus(const std::string& text) override { f_.sfvfilelab->setText(FromLocal(text)); }
  void ShowMessage(const std::string& text) override { ::ShowMessage(FromLocal(text)); }
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

 protected:
  TForm1& f_;
};
