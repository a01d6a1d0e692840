#pragma once
// The viewer's text box: the .nfo text on the 6x8 character grid, drawn by
// us from the font's bits at the screen's device pixel ratio, with a
// vertical scroll bar, word wrap, a caret, selection by mouse and keys,
// editing with undo, and the clipboard. The text, its display rows and the
// edits are ViewText's (nfo/); this widget draws the rows on screen and
// turns events into calls on it. Only the rows on screen are drawn.
//
// The box shows no context menu (the menu would take the mouse on the right
// button's press, and the release, which opens a link, would never come),
// and pastes only what the clipboard holds as text.
#include <QAbstractScrollArea>
#include <QBasicTimer>

#include <string>

#include "nfo/ViewText.h"

class TNfoView : public QAbstractScrollArea {
  Q_OBJECT
 public:
  explicit TNfoView(QWidget* parent);

  // Shows `text` (lines joined by LF) from its top, with nothing to undo.
  void setNfoText(std::u16string text);
  void setPlainText(const QString& text);
  void clear() { setNfoText({}); }
  QString toPlainText() const;
  const ViewText& content() const { return text_; }

  // Word wrap at the box's width, or one row for each line.
  void setWordWrap(bool on);
  bool wordWrap() const { return wrap_; }

  // The row of the text under `y` (viewport coordinates), or npos below the
  // last row or above the box.
  size_t rowAt(int y) const;
  // The cell column under `x` (viewport coordinates) on every row.
  int columnAt(int x) const;
  // The caret's place before the character at `position`: one pixel wide,
  // one row high, in viewport coordinates.
  QRect cursorRect(size_t position) const;

 protected:
  bool event(QEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void scrollContentsBy(int dx, int dy) override;
  void keyPressEvent(QKeyEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;
  void timerEvent(QTimerEvent* e) override;
  void inputMethodEvent(QInputMethodEvent* e) override;
  QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

 private:
  int firstRow() const;
  int visibleColumns() const;
  int fullRows() const;
  // The caret position nearest to a point of the viewport.
  size_t positionAt(QPoint p) const;
  // Rows for the box's current width and the wrap option.
  void updateRows();
  void updateScrollBar();
  // Scrolls so that the caret is on screen, restarts its blinking, repaints.
  void caretMoved();
  bool handleKey(QKeyEvent* e);
  void copy() const;
  void paste();
  // Puts the selection in the X11 primary selection, where there is one.
  void offerSelection() const;

  ViewText text_;
  bool wrap_ = true;
  int firstColumn_ = 0;  // with word wrap off, the first column shown
  bool dragging_ = false;
  bool caretShown_ = false;
  QBasicTimer blink_;
  QBasicTimer dragScroll_;
  QPoint dragPoint_;
};
