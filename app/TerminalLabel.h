#pragma once
// Labels in the 6x8 font (the status line and the origin-site texts) drawn
// by us from the font's bits, as the viewer is, so that they stay sharp and
// evenly spaced at every display scale.
#include <QString>

class QLabel;

// From now on `label` shows its text, line by line, in the 6x8 font on the
// character grid: its foreground colour on its background colour, from its
// top left corner, cut at its edges. Everything else about it (text, size,
// clicks) stays the label's own.
void DrawInTerminalFont(QLabel* label);

// The width in pixels of `text` on the character grid (its widest line).
int TerminalTextWidth(const QString& text);
