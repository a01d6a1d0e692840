#pragma once
// Drives modal dialogs from inside their own event loops: each step waits
// until the active modal widget is one it accepts, then acts on it. Actions
// run from a zero timer, so an action that opens a further modal dialog (a
// click that shows an input box) does not stop the following steps.
#include <QPointer>
#include <QString>
#include <QTimer>
#include <deque>
#include <functional>
#include <ostream>

class QWidget;

class ModalDriver {
 public:
  using Match = std::function<bool(QWidget*)>;
  using Action = std::function<void(QWidget*)>;

  ModalDriver();
  ~ModalDriver();

  void Then(Match match, Action action);
  // Steps not reached before the end of the run, and any timeout, as text.
  QString Problems() const;

 private:
  void Poll();

  struct Step {
    Match match;
    Action action;
  };
  std::deque<Step> steps_;
  QTimer timer_;
  int waitedMs_ = 0;
  bool aborting_ = false;
  QString problems_;
};

// Readable QString values in test failure messages.
void PrintTo(const QString& s, std::ostream* os);

// Processes events until `done` holds or two seconds have passed; returns `done()`.
bool WaitFor(const std::function<bool()>& done);

// Main-loop helpers for the steps.
bool IsPicker(QWidget* w);
bool IsNewPicker(QWidget* w);  // a picker no earlier step has handled; marks it handled
void Key(QWidget* w, int key);
