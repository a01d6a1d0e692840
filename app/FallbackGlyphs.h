#pragma once
// Characters the 6x8 font lacks (CJK, emoji, other symbols) are drawn by a
// fallback font, whose glyphs have sizes of their own. Each is drawn inside
// its own cells of the character grid, so it never moves or covers the art
// around it.
#include <QPointF>
#include <QString>

class QFont;
class QPainter;
class QTextDocument;

// Draws `character`, one character the 6x8 font lacks, from the fallback
// fonts Qt merges into the painter's font, with the grid cell `topLeft` as
// its first of `cells` cells, and cut to those cells.
void DrawFallbackGlyph(QPainter& painter, QPointF topLeft, int cells, const QString& character);

// Prepares `document`, shown in the 6x8 `font`, for a view that draws its
// fallback characters with DrawFallbackGlyph: every character code page 437
// lacks is laid out in the 6x8 font alone (a fallback font would make its
// line taller), spaced to take exactly its cells, and left unpainted. A
// document without such characters is left untouched. Returns whether it
// had any.
bool FitFallbackGlyphsToCells(QTextDocument* document, const QFont& font);
