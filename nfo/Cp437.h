#pragma once
// Code page 437: the character set .nfo art is drawn in. Every byte maps to
// the character the old PC text screen showed for it, including the graphic
// characters of the control range; TAB, CR and LF keep their meaning.
#include <string>
#include <string_view>

// The Unicode character shown for byte `b`.
char16_t Cp437ToUnicode(unsigned char b);

// The whole byte string as UTF-16 text, one character per byte.
std::u16string Cp437Decode(std::string_view bytes);

// Whether code page 437 has character `c` (so the 6x8 font draws it).
bool IsCp437Character(char32_t c);

// Whether every character of `text` is one code page 437 has: then the 6x8
// font draws all of it and no fallback font is needed.
bool AllCp437Characters(std::u16string_view text);
