// Clickable links in the viewer and the about text, and the small handlers
// on the same controls. Every mouse event reads the word under the pointer
// afresh; the rule and the target live in WordAtPoint and LinkTarget.
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextLayout>

#include "app/Unit1.h"
#include "nfo/LinkTarget.h"
#include "nfo/WordAtPoint.h"
#include "platform/Launch.h"

namespace {

// The word under `pos` (viewport coordinates) of the about text, on its
// display line.
std::string WordAt(QPlainTextEdit* box, const QPoint& pos) {
  const QTextCursor near = box->cursorForPosition(pos);
  const QTextBlock block = near.block();
  QTextLayout* layout = block.layout();
  if (!block.isValid() || !layout) return {};
  const QTextLine line = layout->lineForTextPosition(near.positionInBlock());
  if (!line.isValid()) return {};
  // Only the display line the pointer is on counts, and only when the pointer
  // is within its height.
  QTextCursor lineStart(block);
  lineStart.setPosition(block.position() + line.textStart());
  const QRect startRect = box->cursorRect(lineStart);
  if (pos.y() < startRect.top() || pos.y() > startRect.top() + qRound(line.height())) return {};
  // The character cell under the pointer, not the nearest gap between two.
  const qreal x = pos.x() - startRect.left() + line.cursorToX(line.textStart());
  const int inBlock = line.xToCursor(x, QTextLine::CursorOnCharacter);
  if (inBlock < line.textStart()) return {};
  const QString text = block.text().mid(line.textStart(), line.textLength());
  return links::WordInRow(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), size_t(text.size())),
                          size_t(inBlock - line.textStart()));
}

// The word under `pos` (viewport coordinates) of the viewer: the character
// whose cells lie under the pointer, on its display row.
std::string WordAt(TNfoView* box, const QPoint& pos) {
  const size_t row = box->rowAt(pos.y());
  if (row == ViewText::npos) return {};
  const ViewText& text = box->content();
  const size_t at = text.CharAt(row, box->columnAt(pos.x()));
  if (at == ViewText::npos) return {};
  const size_t start = text.RowStart(row);
  return links::WordInRow(std::u16string_view(text.Text()).substr(start, text.RowEnd(row) - start), at - start);
}

template <typename Box>
void UpdatePointer(Box* box, const QPoint& pos) {
  switch (links::PointerFor(WordAt(box, pos))) {
    case links::PointerShape::Hand: box->viewport()->setCursor(Qt::PointingHandCursor); break;
    case links::PointerShape::Arrow: box->viewport()->setCursor(Qt::ArrowCursor); break;
    case links::PointerShape::Unchanged: break;
  }
}

template <typename Box>
void OpenLink(Box* box, const QPoint& pos) {
  const std::string target = links::LinkTarget(WordAt(box, pos));
  if (!target.empty()) (void)platform::OpenWithDesktop(target);  // the opener's outcome is not reported
}

}  // namespace

void TForm1::editKeyUp(QKeyEvent* e) {
  if (e->key() == Qt::Key_Escape) QApplication::quit();
}

void TForm1::editMouseMove(QMouseEvent* e) { UpdatePointer(edit, e->position().toPoint()); }
void TForm1::editMouseUp(QMouseEvent* e) { OpenLink(edit, e->position().toPoint()); }
void TForm1::Memo1MouseDown(QMouseEvent*) { Memo1->setEnabled(false); }
void TForm1::Memo1MouseMove(QMouseEvent* e) { UpdatePointer(Memo1, e->position().toPoint()); }
void TForm1::Memo1MouseUp(QMouseEvent* e) { OpenLink(Memo1, e->position().toPoint()); }
void TForm1::aboutboxMouseMove(QMouseEvent*) { Memo1->setEnabled(true); }
