#include "app/NfoView.h"

#include <QPaintEvent>
#include <QPainter>
#include <QTextBlock>
#include <QTextLayout>

#include "app/FallbackGlyphs.h"
#include "nfo/CharCells.h"
#include "nfo/Cp437.h"

void TNfoView::setNfoText(const QString& text) {
  setPlainText(text);
  // Classic art has nothing outside code page 437: one pass over the text
  // spares it the line-by-line placing and the fallback font's metrics.
  const std::u16string_view units(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size()));
  hasFallbackGlyphs_ = !AllCp437Characters(units) && FitFallbackGlyphsToCells(document(), font());
}

void TNfoView::paintEvent(QPaintEvent* e) {
  QPlainTextEdit::paintEvent(e);
  if (!hasFallbackGlyphs_) return;
  QPainter painter(viewport());
  painter.setFont(font());
  painter.setPen(palette().color(QPalette::Text));
  const QPointF offset = contentOffset();
  for (QTextBlock block = firstVisibleBlock(); block.isValid(); block = block.next()) {
    const QRectF area = blockBoundingGeometry(block).translated(offset);
    if (area.top() > e->rect().bottom()) break;
    const QString text = block.text();
    const QTextLayout* layout = block.layout();
    int width = 0;
    const std::u16string_view line(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size()));
    for (const PlacedChar& p : PlaceLine(line, width)) {
      if (IsCp437Character(p.code)) continue;
      const QTextLine shown = layout->lineForTextPosition(int(p.offset));
      if (!shown.isValid()) continue;
      const QPointF topLeft = area.topLeft() + QPointF(shown.cursorToX(int(p.offset)), shown.y());
      DrawFallbackGlyph(painter, topLeft, p.cells, text.mid(qsizetype(p.offset), qsizetype(p.units)));
    }
  }
}
