#include "app/KeyPressGuard.h"

#include <QEvent>
#include <QKeyEvent>
#include <QWidget>

KeyPressGuard::KeyPressGuard(QObject* owner, std::initializer_list<QWidget*> widgets) : QObject(owner) {
  for (QWidget* w : widgets) w->installEventFilter(this);
}

bool KeyPressGuard::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress: pressed_[watched].insert(static_cast<QKeyEvent*>(event)->key()); break;
    case QEvent::KeyRelease: {
      auto* key = static_cast<QKeyEvent*>(event);
      if (key->isAutoRepeat()) break;  // the press it belongs to came first
      // A release without its press here is swallowed.
      if (!pressed_[watched].remove(key->key())) return true;
      break;
    }
    // A press made before the focus left does not vouch for a release after it
    // came back.
    case QEvent::FocusOut: pressed_.erase(watched); break;
    default: break;
  }
  return QObject::eventFilter(watched, event);
}
