#include "nfo/CellFont.h"

#include <algorithm>
#include <charconv>
#include <string>

namespace {

constexpr int kAscent = 7;  // pixel rows above the baseline

// The line starting at `pos`, and `pos` moved past it.
std::string_view NextLine(std::string_view text, size_t& pos) {
  const size_t end = std::min(text.find('\n', pos), text.size());
  std::string_view line = text.substr(pos, end - pos);
  pos = end + 1;
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

// The whitespace-separated numbers after a keyword, e.g. "BBX 6 8 0 -1".
bool Numbers(std::string_view rest, int* out, int count) {
  for (int i = 0; i < count; ++i) {
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    const auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), out[i]);
    if (ec != std::errc()) return false;
    rest.remove_prefix(static_cast<size_t>(end - rest.data()));
  }
  return true;
}

bool StartsWith(std::string_view line, std::string_view word) {
  return line.substr(0, word.size()) == word && (line.size() == word.size() || line[word.size()] == ' ');
}

}  // namespace

std::optional<CellFont> CellFont::FromBdf(std::string_view bdf) {
  CellFont font;
  size_t pos = 0;
  if (!StartsWith(NextLine(bdf, pos), "STARTFONT")) return std::nullopt;
  int encoding = -1, box[4] = {0, 0, 0, 0};
  while (pos < bdf.size()) {
    const std::string_view line = NextLine(bdf, pos);
    if (StartsWith(line, "STARTCHAR")) {
      encoding = -1;
      box[0] = box[1] = box[2] = box[3] = 0;
    } else if (StartsWith(line, "ENCODING")) {
      if (!Numbers(line.substr(8), &encoding, 1)) return std::nullopt;
    } else if (StartsWith(line, "BBX")) {
      if (!Numbers(line.substr(3), box, 4)) return std::nullopt;
    } else if (line == "BITMAP") {
      // Rows of hexadecimal, the leftmost pixel in the top bit of the first
      // byte, placed in the cell by the glyph's box: its bottom row lies
      // box[3] rows below the baseline, its left column box[2] right of the
      // cell's.
      const int width = box[0], height = box[1];
      const int top = kAscent - (height + box[3]);
      Glyph glyph{};
      for (int row = 0; row < height; ++row) {
        const std::string_view hex = NextLine(bdf, pos);
        unsigned bits = 0;
        const auto [end, ec] = std::from_chars(hex.data(), hex.data() + hex.size(), bits, 16);
        if (ec != std::errc() || end != hex.data() + hex.size() || hex.size() > 4) return std::nullopt;
        const int cellRow = top + row;
        if (cellRow < 0 || cellRow >= kHeight) continue;
        for (int x = 0; x < width && static_cast<size_t>(x) < hex.size() * 4; ++x) {
          const int column = box[2] + x;
          const bool set = (bits >> (hex.size() * 4 - 1 - static_cast<size_t>(x))) & 1;
          if (set && column >= 0 && column < kWidth) glyph[cellRow] |= std::uint8_t(0x20 >> column);
        }
      }
      if (encoding >= 0 && encoding < 0x10000 && font.glyphs_.size() < 0xFFFF) {
        std::uint16_t& page = font.pageOf_[static_cast<size_t>(encoding >> 8)];
        if (page == 0) {
          font.pages_.push_back(Page{});
          page = static_cast<std::uint16_t>(font.pages_.size());
        }
        font.glyphs_.push_back(glyph);
        font.pages_[page - 1u][static_cast<size_t>(encoding & 0xFF)] = static_cast<std::uint16_t>(font.glyphs_.size());
      }
    }
  }
  if (font.glyphs_.empty()) return std::nullopt;
  return font;
}
