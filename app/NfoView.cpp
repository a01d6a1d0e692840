#include "app/NfoView.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <climits>
#include <cmath>

#include "app/TerminalCanvas.h"

namespace {

constexpr int kCellW = CellFont::kWidth;
constexpr int kCellH = CellFont::kHeight;

QString ToQString(const std::u16string& s) { return QString::fromStdU16String(s); }

std::u16string FromQString(const QString& s) {
  return {reinterpret_cast<const char16_t*>(s.utf16()), static_cast<size_t>(s.size())};
}

// Text from outside (the clipboard, an input method) with its line breaks
// as the box holds them: LF.
std::u16string WithLineFeeds(const QString& text) {
  QString t = text;
  t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  t.replace(QChar(QChar::ParagraphSeparator), QLatin1Char('\n'));
  t.replace(QChar(QChar::LineSeparator), QLatin1Char('\n'));
  return FromQString(t);
}

// The caret movements of the standard keys, with and without selecting.
struct Movement {
  QKeySequence::StandardKey move, select;
  ViewText::Step step;
};
constexpr Movement kMovements[] = {
    {QKeySequence::MoveToNextChar, QKeySequence::SelectNextChar, ViewText::Step::Right},
    {QKeySequence::MoveToPreviousChar, QKeySequence::SelectPreviousChar, ViewText::Step::Left},
    {QKeySequence::MoveToNextWord, QKeySequence::SelectNextWord, ViewText::Step::WordRight},
    {QKeySequence::MoveToPreviousWord, QKeySequence::SelectPreviousWord, ViewText::Step::WordLeft},
    {QKeySequence::MoveToNextLine, QKeySequence::SelectNextLine, ViewText::Step::Down},
    {QKeySequence::MoveToPreviousLine, QKeySequence::SelectPreviousLine, ViewText::Step::Up},
    {QKeySequence::MoveToNextPage, QKeySequence::SelectNextPage, ViewText::Step::Down},
    {QKeySequence::MoveToPreviousPage, QKeySequence::SelectPreviousPage, ViewText::Step::Up},
    {QKeySequence::MoveToStartOfLine, QKeySequence::SelectStartOfLine, ViewText::Step::RowHome},
    {QKeySequence::MoveToEndOfLine, QKeySequence::SelectEndOfLine, ViewText::Step::RowEnd},
    {QKeySequence::MoveToStartOfBlock, QKeySequence::SelectStartOfBlock, ViewText::Step::RowHome},
    {QKeySequence::MoveToEndOfBlock, QKeySequence::SelectEndOfBlock, ViewText::Step::RowEnd},
    {QKeySequence::MoveToStartOfDocument, QKeySequence::SelectStartOfDocument, ViewText::Step::TextHome},
    {QKeySequence::MoveToEndOfDocument, QKeySequence::SelectEndOfDocument, ViewText::Step::TextEnd},
};

constexpr QKeySequence::StandardKey kEditKeys[] = {
    QKeySequence::Copy,
    QKeySequence::Cut,
    QKeySequence::Paste,
    QKeySequence::Undo,
    QKeySequence::Redo,
    QKeySequence::SelectAll,
    QKeySequence::Delete,
    QKeySequence::Backspace,
    QKeySequence::DeleteStartOfWord,
    QKeySequence::DeleteEndOfWord,
    QKeySequence::InsertParagraphSeparator,
};

bool IsPage(QKeySequence::StandardKey key) {
  return key == QKeySequence::MoveToNextPage || key == QKeySequence::SelectNextPage ||
         key == QKeySequence::MoveToPreviousPage || key == QKeySequence::SelectPreviousPage;
}

// Typed text: printable characters, not a shortcut.
bool IsTyping(const QKeyEvent* e) {
  if (e->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) return false;
  const QString t = e->text();
  if (t.isEmpty()) return false;
  return std::all_of(t.begin(), t.end(), [](QChar c) { return c.isPrint() || c.isSurrogate(); });
}

}  // namespace

TNfoView::TNfoView(QWidget* parent) : QAbstractScrollArea(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_InputMethodEnabled);
  setContextMenuPolicy(Qt::NoContextMenu);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);  // every pixel is ours
  viewport()->setCursor(Qt::IBeamCursor);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  verticalScrollBar()->setSingleStep(1);
}

void TNfoView::setNfoText(std::u16string text) {
  text_.SetText(std::move(text));
  firstColumn_ = 0;
  text_.SetWrapColumns(wrap_ ? visibleColumns() : 0);
  updateScrollBar();
  verticalScrollBar()->setValue(0);
  viewport()->update();
}

void TNfoView::setPlainText(const QString& text) { setNfoText(FromQString(text)); }

QString TNfoView::toPlainText() const { return ToQString(text_.Text()); }

void TNfoView::setWordWrap(bool on) {
  if (on == wrap_) return;
  wrap_ = on;
  updateRows();
}

int TNfoView::firstRow() const { return verticalScrollBar()->value(); }

int TNfoView::visibleColumns() const {
  // The viewport's width, also before the box has been laid out: the box
  // less its frame and its scroll bar, which is always there.
  int width = contentsRect().width();
  if (verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOn) width -= verticalScrollBar()->sizeHint().width();
  return std::max(1, width / kCellW);
}

int TNfoView::fullRows() const { return std::max(1, contentsRect().height() / kCellH); }

void TNfoView::updateRows() {
  const size_t shown = text_.RowStart(std::min<size_t>(size_t(firstRow()), text_.RowCount() - 1));
  text_.SetWrapColumns(wrap_ ? visibleColumns() : 0);
  if (wrap_) firstColumn_ = 0;
  updateScrollBar();
  verticalScrollBar()->setValue(int(text_.RowOf(shown)));
  viewport()->update();
}

void TNfoView::updateScrollBar() {
  const int rows = int(std::min<size_t>(text_.RowCount(), INT_MAX)), full = fullRows();
  verticalScrollBar()->setRange(0, std::max(0, rows - full));
  verticalScrollBar()->setPageStep(full);
}

size_t TNfoView::rowAt(int y) const {
  if (y < 0) return ViewText::npos;
  const size_t row = size_t(firstRow()) + size_t(y / kCellH);
  return row < text_.RowCount() ? row : ViewText::npos;
}

int TNfoView::columnAt(int x) const { return (x < 0 ? -1 : x / kCellW) + firstColumn_; }

QRect TNfoView::cursorRect(size_t position) const {
  const int row = int(text_.RowOf(position)) - firstRow();
  const int column = text_.ColumnOf(position) - firstColumn_;
  return QRect(column * kCellW, row * kCellH, 1, kCellH);
}

size_t TNfoView::positionAt(QPoint p) const {
  const long long screenRow = static_cast<long long>(std::floor(p.y() / double(kCellH)));
  const long long row = std::clamp<long long>(firstRow() + screenRow, 0, static_cast<long long>(text_.RowCount()) - 1);
  return text_.PositionNear(size_t(row), p.x() / double(kCellW) + firstColumn_);
}

void TNfoView::paintEvent(QPaintEvent* e) {
  const QRect exposed = e->rect() & viewport()->rect();
  if (exposed.isEmpty()) return;
  const int top = exposed.top() / kCellH, bottom = exposed.bottom() / kCellH;  // rows of the screen
  const int columns = viewport()->width() / kCellW + 1;
  const QPalette& pal = palette();
  const QRgb pen = pal.color(QPalette::Text).rgb(), ground = pal.color(QPalette::Base).rgb();
  const QRgb selectedPen = pal.color(QPalette::HighlightedText).rgb();
  const QRgb selectedGround = pal.color(QPalette::Highlight).rgb();
  const size_t from = text_.SelectionStart(), to = text_.SelectionEnd();

  // One row at a time, through a canvas of one row: a canvas of the whole
  // box would be fresh memory on the first paint, and the system filling
  // its pages in costs more than drawing it.
  TerminalCanvas canvas(QSize(columns * kCellW, kCellH), ground);
  const QRect caret = caretShown_ ? cursorRect(text_.Caret()) : QRect();
  std::vector<TerminalCanvas::Lacking> lacking;
  QPainter painter(viewport());
  for (int screenRow = top; screenRow <= bottom; ++screenRow) {
    const size_t row = size_t(firstRow() + screenRow);
    const int y = screenRow * kCellH;
    canvas.Fill(canvas.Image().rect(), ground);
    if (row < text_.RowCount()) {
      for (const PlacedChar& p : text_.RowCells(row, firstColumn_, firstColumn_ + columns)) {
        const bool selected = p.offset >= from && p.offset < to;
        const QRgb fg = selected ? selectedPen : pen, bg = selected ? selectedGround : ground;
        const int x = (p.column - firstColumn_) * kCellW;
        if (p.cells == 0 || (p.cells == 1 && p.code != u'\t' && canvas.DrawCell(x, 0, p.code, fg, bg))) continue;
        canvas.Fill(QRect(x, 0, p.cells * kCellW, kCellH), bg);
        if (p.code != u'\t')
          lacking.push_back({QPoint(x, y), p.cells, ToQString(text_.Text().substr(p.offset, p.units)), fg});
      }
    }
    if (caret.isValid()) canvas.Invert(caret.translated(0, -y));
    canvas.Present(painter, QPoint(0, y));
  }
  if (!lacking.empty()) {
    painter.setFont(font());
    DrawFallbacks(painter, QPoint(0, 0), lacking);
  }
}

void TNfoView::resizeEvent(QResizeEvent* e) {
  QAbstractScrollArea::resizeEvent(e);
  updateRows();
}

void TNfoView::scrollContentsBy(int, int) { viewport()->update(); }

void TNfoView::caretMoved() {
  const int row = int(std::min<size_t>(text_.RowOf(text_.Caret()), INT_MAX));
  const int full = fullRows();
  if (row < firstRow())
    verticalScrollBar()->setValue(row);
  else if (row >= firstRow() + full)
    verticalScrollBar()->setValue(row - full + 1);
  if (!wrap_) {
    const int column = text_.ColumnOf(text_.Caret()), columns = visibleColumns();
    if (column < firstColumn_)
      firstColumn_ = column;
    else if (column >= firstColumn_ + columns)
      firstColumn_ = column - columns + 1;
  }
  caretShown_ = hasFocus();
  const int flash = QApplication::cursorFlashTime();
  if (hasFocus() && flash > 0)
    blink_.start(flash / 2, this);
  else
    blink_.stop();
  viewport()->update();
}

void TNfoView::copy() const {
  if (text_.HasSelection()) QGuiApplication::clipboard()->setText(ToQString(text_.SelectedText()));
}

void TNfoView::offerSelection() const {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (text_.HasSelection() && clipboard->supportsSelection())
    clipboard->setText(ToQString(text_.SelectedText()), QClipboard::Selection);
}

void TNfoView::paste() {
  // With no owner of the clipboard the data may have no formats at all.
  const QMimeData* offered = QGuiApplication::clipboard()->mimeData();
  if (!offered || offered->formats().isEmpty() || !offered->hasText()) return;
  text_.Insert(WithLineFeeds(offered->text()));
}

bool TNfoView::handleKey(QKeyEvent* e) {
  for (const Movement& m : kMovements) {
    const bool select = e->matches(m.select);
    if (!select && !e->matches(m.move)) continue;
    const bool page = IsPage(m.move);
    text_.Move(m.step, select, page ? size_t(fullRows()) : 1);
    if (page) verticalScrollBar()->setValue(firstRow() + (m.step == ViewText::Step::Down ? fullRows() : -fullRows()));
    return true;
  }
  if (e->matches(QKeySequence::Copy)) {
    copy();
    return true;
  }
  if (e->matches(QKeySequence::SelectAll)) {
    text_.SelectAll();
    offerSelection();
    return true;
  }
  if (e->matches(QKeySequence::Cut)) {
    copy();
    if (text_.HasSelection()) text_.DeleteForward(false);
  } else if (e->matches(QKeySequence::Paste)) {
    paste();
  } else if (e->matches(QKeySequence::Undo)) {
    text_.Undo();
  } else if (e->matches(QKeySequence::Redo)) {
    text_.Redo();
  } else if (e->matches(QKeySequence::DeleteStartOfWord)) {
    text_.DeleteBackward(true);
  } else if (e->matches(QKeySequence::DeleteEndOfWord)) {
    text_.DeleteForward(true);
  } else if (e->key() == Qt::Key_Backspace && !(e->modifiers() & ~Qt::ShiftModifier)) {
    text_.DeleteBackward(false);
  } else if (e->matches(QKeySequence::Delete)) {
    text_.DeleteForward(false);
  } else if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
    text_.Type(u"\n");
  } else if (e->key() == Qt::Key_Tab && !(e->modifiers() & ~Qt::KeypadModifier)) {
    text_.Type(u"\t");
  } else if (IsTyping(e)) {
    text_.Type(FromQString(e->text()));
  } else {
    return false;
  }
  updateScrollBar();
  return true;
}

bool TNfoView::event(QEvent* e) {
  if (e->type() == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(e);
    const bool ours = IsTyping(key) || std::any_of(std::begin(kEditKeys), std::end(kEditKeys),
                                                   [key](QKeySequence::StandardKey k) { return key->matches(k); });
    if (ours) {
      e->accept();
      return true;
    }
  }
  // TAB is typed into the text, not a move to the next control.
  if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Tab &&
      !(static_cast<QKeyEvent*>(e)->modifiers() & ~Qt::KeypadModifier)) {
    keyPressEvent(static_cast<QKeyEvent*>(e));
    return true;
  }
  return QAbstractScrollArea::event(e);
}

void TNfoView::keyPressEvent(QKeyEvent* e) {
  if (!handleKey(e)) {
    e->ignore();
    return;
  }
  e->accept();
  caretMoved();
}

void TNfoView::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  text_.SetCaret(positionAt(e->position().toPoint()), e->modifiers() & Qt::ShiftModifier);
  dragging_ = true;
  caretMoved();
}

void TNfoView::mouseMoveEvent(QMouseEvent* e) {
  if (!dragging_ || !(e->buttons() & Qt::LeftButton)) return;
  dragPoint_ = e->position().toPoint();
  text_.SetCaret(positionAt(dragPoint_), true);
  // Outside the box, the text goes on scrolling while the button is held.
  if (viewport()->rect().contains(dragPoint_))
    dragScroll_.stop();
  else if (!dragScroll_.isActive())
    dragScroll_.start(50, this);
  caretMoved();
}

void TNfoView::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton || !dragging_) return;
  dragging_ = false;
  dragScroll_.stop();
  offerSelection();
}

void TNfoView::mouseDoubleClickEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  const QPoint p = e->position().toPoint();
  const size_t row = rowAt(p.y());
  const size_t at = row == ViewText::npos ? ViewText::npos : text_.CharAt(row, columnAt(p.x()));
  if (at == ViewText::npos) return;
  text_.SelectWordAt(at);
  offerSelection();
  caretMoved();
}

void TNfoView::focusInEvent(QFocusEvent* e) {
  QAbstractScrollArea::focusInEvent(e);
  caretMoved();
}

void TNfoView::focusOutEvent(QFocusEvent* e) {
  QAbstractScrollArea::focusOutEvent(e);
  blink_.stop();
  caretShown_ = false;
  viewport()->update();
}

void TNfoView::timerEvent(QTimerEvent* e) {
  if (e->timerId() == blink_.timerId()) {
    caretShown_ = !caretShown_;
    viewport()->update(cursorRect(text_.Caret()));
  } else if (e->timerId() == dragScroll_.timerId()) {
    const int step = dragPoint_.y() < 0 ? -1 : dragPoint_.y() >= viewport()->height() ? 1 : 0;
    verticalScrollBar()->setValue(firstRow() + step);
    text_.SetCaret(positionAt(dragPoint_), true);
    caretMoved();
  } else {
    QAbstractScrollArea::timerEvent(e);
  }
}

void TNfoView::inputMethodEvent(QInputMethodEvent* e) {
  if (!e->commitString().isEmpty()) {
    text_.Type(WithLineFeeds(e->commitString()));
    updateScrollBar();
    caretMoved();
  }
  e->accept();
}

QVariant TNfoView::inputMethodQuery(Qt::InputMethodQuery query) const {
  switch (query) {
    case Qt::ImEnabled: return true;
    case Qt::ImCursorRectangle: return cursorRect(text_.Caret());
    case Qt::ImFont: return font();
    default: return QAbstractScrollArea::inputMethodQuery(query);
  }
}
