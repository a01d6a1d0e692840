#pragma once
// The window's four fonts. T is the program's own 6x8 code page 437 bitmap
// font, so block-character art tiles exactly; L, S and B stand in for the
// classic console and dialog faces with packaged fonts at the same pixel sizes.
//
// Text in font T is drawn by us from the font's bits (TerminalCanvas.h) and
// measured on the character grid; Qt needs the font only as the base that
// its fallback fonts are merged into, for characters the font lacks.
#include <QFont>

// Registers the bitmap font with Qt, once; call after the application
// object exists (DrawFallbacks does before it draws). Returns false when
// the font file could not be loaded.
bool LoadTerminalFont();

QFont FontT();  // 6x8 terminal font (code page 437 art)
QFont FontL();  // monospace, 11 px
QFont FontS();  // sans serif, 11 px (the window's own font)
QFont FontB();  // sans serif, 13 px, bold
