#pragma once
// Characters the 6x8 font lacks (CJK, emoji, other symbols) are drawn by a
// fallback font, whose glyphs have sizes of their own. Each is drawn inside
// its own cells of the character grid, so it never moves or covers the art
// around it.
#include <QPointF>
#include <QString>

class QPainter;

// Draws `character`, one character the 6x8 font lacks, from the fallback
// fonts Qt merges into the painter's font, with the grid cell `topLeft`
// (logical coordinates) as its first of `cells` cells, and cut to those
// cells as the grid puts them on the device (see TerminalCanvas.h).
void DrawFallbackGlyph(QPainter& painter, QPoint topLeft, int cells, const QString& character);
