// Clickable links in the viewer and the about text, and the small handlers
// on the same controls. Every mouse event reads the word under the pointer
// afresh; the rule and the target live in WordAtPoint and LinkTarget.
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextLayout>

#include <array>

#include "app/Unit1.h"
#include "nfo/Cp437.h"
#include "nfo/LinkTarget.h"
#include "nfo/WordAtPoint.h"
#include "platform/Launch.h"

namespace {

// The byte a shown character stands for: the text box holds the .nfo bytes
// as their code page 437 characters. Characters outside that set (typed ones)
// count as word characters.
unsigned char ByteOf(char16_t c) {
  static const auto table = [] {
    std::array<unsigned char, 0x10000> t{};
    t.fill(0xFF);
    for (int b = 255; b >= 0; --b) t[Cp437ToUnicode(static_cast<unsigned char>(b))] = static_cast<unsigned char>(b);
    for (int b = 0; b < 128; ++b) t[b] = static_cast<unsigned char>(b);  // plain ASCII stands for itself
    return t;
  }();
  return table[c];
}

// The word under `pos` (viewport coordinates) of `box`, on its display line.
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

  const QString text = block.text().mid(line.textStart(), line.textLength());
  std::string bytes;
  bytes.reserve(static_cast<size_t>(text.size()));
  for (QChar c : text) bytes.push_back(static_cast<char>(ByteOf(c.unicode())));
  return links::WordInLine(bytes, inBlock - line.textStart());
}

void UpdatePointer(QPlainTextEdit* box, const QPoint& pos) {
  switch (links::PointerFor(WordAt(box, pos))) {
    case links::PointerShape::Hand: box->viewport()->setCursor(Qt::PointingHandCursor); break;
    case links::PointerShape::Arrow: box->viewport()->setCursor(Qt::ArrowCursor); break;
    case links::PointerShape::Unchanged: break;
  }
}

void OpenLink(QPlainTextEdit* box, const QPoint& pos) {
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
