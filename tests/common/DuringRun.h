#pragma once
// Window tests that act while a check or an extraction processes messages.
#include <QObject>
#include <QTimer>

#include <functional>

// Calls `step` at every turn of the event loop (so inside a run's message
// processing) until it returns true. The timer belongs to `owner`.
inline void DuringRun(QObject* owner, std::function<bool()> step) {
  auto* timer = new QTimer(owner);
  timer->setInterval(0);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, step] {
    if (step()) timer->stop();
  });
  timer->start();
}
