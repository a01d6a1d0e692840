#pragma once
// An .nfo text as a picture: the 6x8 font's pixels one to one, silver on
// black, every line unwrapped on the character grid.
#include <QImage>

#include <string>
#include <vector>

// Columns the widest of `lines` covers on the grid.
int WidestLine(const std::vector<std::u16string>& lines);

// Draws `lines` into an image `columns` cells wide (a longer line is cut at
// the edge) and one 8-pixel row per line. Characters of code page 437 come
// from the 6x8 font; others from a fallback font, each kept inside its own
// cells. Needs the application object and the loaded 6x8 font.
QImage DrawNfoImage(const std::vector<std::u16string>& lines, int columns);
