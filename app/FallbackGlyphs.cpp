#include "app/FallbackGlyphs.h"

#include <QFontMetricsF>
#include <QHash>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "nfo/CharCells.h"
#include "nfo/Cp437.h"

namespace {
constexpr int kCellW = 6;
constexpr int kCellH = 8;
}  // namespace

void DrawFallbackGlyph(QPainter& painter, QPointF topLeft, int cells, const QString& character) {
  if (cells <= 0) return;
  painter.save();
  painter.setClipRect(QRectF(topLeft, QSizeF(cells * kCellW, kCellH)), Qt::IntersectClip);
  painter.drawText(topLeft + QPointF(0, QFontMetricsF(painter.font()).ascent()), character);
  painter.restore();
}

bool FitFallbackGlyphsToCells(QTextDocument* document, const QFont& font) {
  QFont own = font;
  own.setStyleStrategy(QFont::StyleStrategy(font.styleStrategy() | QFont::NoFontMerging));
  const QFontMetricsF metrics(own);
  QHash<char32_t, qreal> spacingOf;  // fallback text repeats its characters
  QTextCursor cursor(document);
  const bool undo = document->isUndoRedoEnabled();
  bool editing = false;

  // Adjacent characters that need the same spacing share one format: a text
  // in another script gets a few long runs, not one format per character.
  int runStart = 0, runEnd = 0;
  qreal runSpacing = 0;
  auto flush = [&] {
    if (runEnd == runStart) return;
    if (!editing) {
      // Formatting is part of showing the file, not an edit to undo.
      document->setUndoRedoEnabled(false);
      cursor.beginEditBlock();
      editing = true;
    }
    cursor.setPosition(runStart);
    cursor.setPosition(runEnd, QTextCursor::KeepAnchor);
    QTextCharFormat format;
    format.setFont(own, QTextCharFormat::FontPropertiesAll);
    format.setFontLetterSpacingType(QFont::AbsoluteSpacing);
    format.setFontLetterSpacing(runSpacing);
    format.setForeground(Qt::transparent);  // the view draws the real glyph
    cursor.setCharFormat(format);
    runStart = runEnd;
  };

  for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
    const QString text = block.text();
    int width = 0;
    const std::u16string_view line(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size()));
    for (const PlacedChar& p : PlaceLine(line, width)) {
      if (IsCp437Character(p.code)) continue;
      auto spacing = spacingOf.constFind(p.code);
      if (spacing == spacingOf.constEnd())
        spacing = spacingOf.insert(
            p.code, p.cells * kCellW - metrics.horizontalAdvance(text.mid(qsizetype(p.offset), qsizetype(p.units))));
      const int at = block.position() + int(p.offset);
      if (at != runEnd || *spacing != runSpacing) {
        flush();
        runStart = at;
        runSpacing = *spacing;
      }
      runEnd = at + int(p.units);
    }
  }
  flush();
  if (editing) {
    cursor.endEditBlock();
    document->setUndoRedoEnabled(undo);
  }
  return editing;
}
