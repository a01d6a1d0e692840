#include "app/NfoImage.h"

#include <QPainter>

#include <algorithm>

#include "app/Fonts.h"
#include "app/TerminalCanvas.h"
#include "nfo/CharCells.h"

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
  const QRgb silver = qRgb(0xC0, 0xC0, 0xC0), black = qRgb(0, 0, 0);
  TerminalCanvas canvas(QSize(columns * CellFont::kWidth, static_cast<int>(lines.size()) * CellFont::kHeight), black);
  if (canvas.Image().isNull()) return {};
  std::vector<TerminalCanvas::Lacking> lacking;
  for (size_t row = 0; row < lines.size(); ++row)
    canvas.DrawLine(QPoint(0, static_cast<int>(row) * CellFont::kHeight), lines[row], columns, silver, black, lacking);
  QImage image = canvas.Image();
  if (!lacking.empty()) {
    QPainter painter(&image);
    painter.setFont(FontT());
    DrawFallbacks(painter, QPoint(0, 0), lacking);
  }
  return image;
}
