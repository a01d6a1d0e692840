#pragma once
// The character grid of the viewer's text: every character takes whole 6x8
// cells, so a character the font lacks never shifts the art around it.
#include <cstddef>
#include <string_view>
#include <vector>

// Cells character `c` takes: 2 for the wide characters of East Asian scripts
// and for emoji (as a text console shows them), 0 for combining marks,
// zero-width characters and variation selectors, 1 for everything else,
// every code page 437 character included.
int CellsOf(char32_t c);

// One character of a line, placed on the grid.
struct PlacedChar {
  size_t offset = 0;  // in the line's UTF-16 code units
  size_t units = 1;   // 1, or 2 for a surrogate pair
  char32_t code = 0;  // U+FFFD for a lone surrogate
  int column = 0;
  int cells = 1;
};

// Places a line's characters on the grid. A TAB moves to the next multiple of
// 8 columns and is not placed itself. `width` receives the columns the line
// covers.
std::vector<PlacedChar> PlaceLine(std::u16string_view line, int& width);
