#pragma once
// Key releases whose press went elsewhere. A message box closes on the press
// of Enter or Escape, and the key's release then goes to whichever widget has
// the focus after it. The window acts on key releases, so that release would
// act on a key the user meant for the box: Enter in a folder prompt would try
// the folder again and bring the box back, Escape in the viewer would end the
// program.
#include <QObject>
#include <QSet>

#include <initializer_list>
#include <map>

class QWidget;

// Lets through only the releases of keys that were pressed in the same
// widget while it kept the focus; other releases never reach the widget or
// the filters installed before this one.
class KeyPressGuard : public QObject {
 public:
  // Guards `widgets`; the guard belongs to `owner`. Install it after the
  // window's own filter, so that it sees every key event first.
  KeyPressGuard(QObject* owner, std::initializer_list<QWidget*> widgets);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::map<QObject*, QSet<int>> pressed_;  // per widget, the keys now held down in it
};
