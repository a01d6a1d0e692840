#pragma once
// The program's 6x8 bitmap font as bits, read from its BDF file. The window
// and --render draw every character of code page 437 from these bits
// themselves, so each font pixel lands on whole device pixels at every
// display scale (a toolkit places a bitmap font's glyphs at their 1x size).
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

class CellFont {
 public:
  static constexpr int kWidth = 6;
  static constexpr int kHeight = 8;

  // One glyph: a byte per pixel row, top row first; bit 5 is the left pixel
  // and bit 0 the right one.
  using Glyph = std::array<std::uint8_t, kHeight>;

  // Reads a BDF font whose glyphs fit a 6x8 cell with the baseline above its
  // bottom row (ascent 7). Returns nothing when the text is no such font or
  // holds no glyph.
  static std::optional<CellFont> FromBdf(std::string_view bdf);

  // The glyph of `c`, or nullptr when the font has none (characters outside
  // the basic multilingual plane never have one).
  const Glyph* Find(char32_t c) const {
    if (c > 0xFFFF || pageOf_[c >> 8] == 0) return nullptr;
    const std::uint16_t n = pages_[pageOf_[c >> 8] - 1u][c & 0xFF];
    return n == 0 ? nullptr : &glyphs_[n - 1u];
  }

 private:
  // Code point -> glyph number + 1 (0: none), in pages of 256 code points:
  // only the few pages the font has a glyph on exist, which keeps a font of
  // a few hundred glyphs a few kilobytes.
  using Page = std::array<std::uint16_t, 256>;
  std::array<std::uint16_t, 256> pageOf_{};  // page number + 1, 0: no glyph on it
  std::vector<Page> pages_;
  std::vector<Glyph> glyphs_;
};
