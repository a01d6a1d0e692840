#include "app/CharCells.h"

#include <algorithm>
#include <iterator>

#include "app/Cp437.h"

namespace {

struct Range {
  char32_t first, last;
};

// Zero-width: combining marks, zero-width spaces and joiners, variation selectors.
constexpr Range kZeroWidth[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x0610, 0x061A}, {0x064B, 0x065F},
    {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF}, {0x200B, 0x200F}, {0x2060, 0x2064}, {0x20D0, 0x20FF},
    {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F}, {0xFEFF, 0xFEFF}, {0xE0100, 0xE01EF},
};

// Wide: East Asian wide and full-width characters, and emoji pictographs.
constexpr Range kWide[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},   {0x23F0, 0x23F0},
    {0x23F3, 0x23F3},   {0x25FD, 0x25FE},   {0x2614, 0x2615},   {0x2648, 0x2653},   {0x267F, 0x267F},
    {0x2693, 0x2693},   {0x26A1, 0x26A1},   {0x26AA, 0x26AB},   {0x26BD, 0x26BE},   {0x26C4, 0x26C5},
    {0x26CE, 0x26CE},   {0x26D4, 0x26D4},   {0x26EA, 0x26EA},   {0x26F2, 0x26F5},   {0x26FA, 0x26FA},
    {0x26FD, 0x26FD},   {0x2705, 0x2705},   {0x270A, 0x270B},   {0x2728, 0x2728},   {0x274C, 0x274C},
    {0x274E, 0x274E},   {0x2753, 0x2755},   {0x2757, 0x2757},   {0x2795, 0x2797},   {0x27B0, 0x27B0},
    {0x27BF, 0x27BF},   {0x2B1B, 0x2B1C},   {0x2B50, 0x2B50},   {0x2B55, 0x2B55},   {0x2E80, 0x303E},
    {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},   {0xA960, 0xA97F},
    {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},
    {0xFFE0, 0xFFE6},   {0x16FE0, 0x16FE4}, {0x17000, 0x18CFF}, {0x1B000, 0x1B2FF}, {0x1F004, 0x1F004},
    {0x1F0CF, 0x1F0CF}, {0x1F18E, 0x1F18E}, {0x1F191, 0x1F19A}, {0x1F200, 0x1F251}, {0x1F300, 0x1F64F},
    {0x1F680, 0x1F6FF}, {0x1F7E0, 0x1F7EB}, {0x1F90C, 0x1F9FF}, {0x1FA70, 0x1FAFF}, {0x20000, 0x2FFFD},
    {0x30000, 0x3FFFD},
};

template <size_t N>
bool In(const Range (&ranges)[N], char32_t c) {
  // The ranges are sorted: find the first that ends at or after c.
  auto it = std::lower_bound(std::begin(ranges), std::end(ranges), c,
                             [](const Range& r, char32_t v) { return r.last < v; });
  return it != std::end(ranges) && it->first <= c;
}

}  // namespace

int CellsOf(char32_t c) {
  if (IsCp437Character(c)) return 1;
  if (In(kZeroWidth, c)) return 0;
  if (In(kWide, c)) return 2;
  return 1;
}

std::vector<PlacedChar> PlaceLine(std::u16string_view line, int& width) {
  std::vector<PlacedChar> placed;
  placed.reserve(line.size());
  int column = 0;
  for (size_t i = 0; i < line.size();) {
    PlacedChar p;
    p.offset = i;
    const char16_t u = line[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < line.size() && line[i + 1] >= 0xDC00 && line[i + 1] <= 0xDFFF) {
      p.code = 0x10000 + ((char32_t(u) - 0xD800) << 10) + (line[i + 1] - 0xDC00);
      p.units = 2;
    } else {
      p.code = (u >= 0xD800 && u <= 0xDFFF) ? 0xFFFD : u;
    }
    i += p.units;
    if (p.code == u'\t') {
      column = (column / 8 + 1) * 8;
      continue;
    }
    p.column = column;
    p.cells = CellsOf(p.code);
    column += p.cells;
    placed.push_back(p);
  }
  width = column;
  return placed;
}
