#include "app/NfoImage.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

#include "app/FallbackGlyphs.h"
#include "app/Fonts.h"
#include "nfo/CharCells.h"
#include "nfo/Cp437.h"

namespace {
constexpr int kCellW = 6;
constexpr int kCellH = 8;
}  // namespace

int WidestLine(const std::vector<std::u16string>& lines) {
  int widest = 0;
  for (const auto& line : lines) {
    int width = 0;
    PlaceLine(line, width);
    widest = std::max(widest, width);
  }
  return widest;
}

QImage DrawNfoImage(const std::vector<std::u16string>& lines, int columns) {
  QImage image(columns * kCellW, static_cast<int>(lines.size()) * kCellH, QImage::Format_RGB32);
  if (image.isNull()) return image;
  image.fill(Qt::black);
  QPainter painter(&image);
  const QFont font = FontT();
  painter.setFont(font);
  painter.setPen(QColor(0xC0, 0xC0, 0xC0));
  const int ascent = QFontMetrics(font).ascent();

  for (size_t row = 0; row < lines.size(); ++row) {
    const std::u16string& line = lines[row];
    const int top = static_cast<int>(row) * kCellH;
    int width = 0;
    const std::vector<PlacedChar> placed = PlaceLine(line, width);
    for (size_t k = 0; k < placed.size();) {
      const PlacedChar& first = placed[k];
      if (first.column >= columns) break;
      const int x = first.column * kCellW;
      if (IsCp437Character(first.code)) {
        // A run of the font's own characters, side by side: the font's
        // advance is exactly one cell.
        QString run;
        size_t end = k;
        while (end < placed.size() && IsCp437Character(placed[end].code) &&
               placed[end].column == first.column + static_cast<int>(end - k))
          run += QChar(placed[end++].code);
        painter.drawText(x, top + ascent, run);
        k = end;
        continue;
      }
      DrawFallbackGlyph(painter, QPointF(x, top), first.cells,
                        QString::fromUtf16(line.data() + first.offset, qsizetype(first.units)));
      ++k;
    }
  }
  return image;
}
