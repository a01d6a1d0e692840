#include "DialogDriver.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTest>

#include "folderdialog/FolderPicker.h"

namespace {
constexpr int kPollMs = 20;
constexpr int kStepTimeoutMs = 15000;
}  // namespace

ModalDriver::ModalDriver() {
  timer_.setInterval(kPollMs);
  QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
  timer_.start();
}

ModalDriver::~ModalDriver() { timer_.stop(); }

void ModalDriver::Then(Match match, Action action) { steps_.push_back({std::move(match), std::move(action)}); }

QString ModalDriver::Problems() const {
  QString text = problems_;
  if (!steps_.empty()) text += QStringLiteral("%1 step(s) not reached. ").arg(steps_.size());
  return text;
}

void ModalDriver::Poll() {
  QWidget* modal = QApplication::activeModalWidget();
  if (aborting_) {
    // Close every modal dialog, innermost first, so the test can report instead of hanging.
    if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
    return;
  }
  if (steps_.empty()) return;
  if (modal && modal->isVisible() && steps_.front().match(modal)) {
    Step step = std::move(steps_.front());
    steps_.pop_front();
    waitedMs_ = 0;
    QPointer<QWidget> target = modal;
    QTimer::singleShot(0, [action = std::move(step.action), target] {
      if (target) action(target);
    });
    return;
  }
  waitedMs_ += kPollMs;
  if (waitedMs_ > kStepTimeoutMs) {
    problems_ += QStringLiteral("Timed out waiting for a step. ");
    aborting_ = true;
  }
}

void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

bool WaitFor(const std::function<bool()>& done) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < 2000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  return done();
}

bool IsPicker(QWidget* w) { return qobject_cast<FolderPicker*>(w) != nullptr; }

bool IsNewPicker(QWidget* w) {
  if (!IsPicker(w) || w->property("handledByTest").toBool()) return false;
  w->setProperty("handledByTest", true);
  return true;
}

void Key(QWidget* w, int key) { QTest::keyClick(w, static_cast<Qt::Key>(key)); }
