#pragma once
// The multi-line text box of the about panel. Qt 6.4's
// paste path dereferences the first format of the data it is handed; with no
// owner of the X selection or clipboard that data has no formats at all, and
// a middle-click, Ctrl+V or Shift+Insert crashed the program. Such empty data
// is refused here, on every paste and drop route.
//
// The box shows no context menu: the menu would take the mouse on the right
// button's press, and the release, which opens a link, would never come.
#include <QPlainTextEdit>

class TextBox : public QPlainTextEdit {
 public:
  explicit TextBox(QWidget* parent) : QPlainTextEdit(parent) { setContextMenuPolicy(Qt::NoContextMenu); }

 protected:
  bool canInsertFromMimeData(const QMimeData* source) const override;
  void insertFromMimeData(const QMimeData* source) override;
};
