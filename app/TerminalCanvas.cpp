#include "app/TerminalCanvas.h"

#include <QPainter>
#include <QResource>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

#include "app/FallbackGlyphs.h"
#include "app/Fonts.h"
#include "nfo/CharCells.h"

const CellFont* TerminalGlyphs() {
  static const std::optional<CellFont> font = [] {
    // Straight from the resource, stored uncompressed: no file to open.
    const QByteArray bdf = QResource(QStringLiteral(":/fonts/LumeskarTerminal.bdf")).uncompressedData();
    return CellFont::FromBdf(std::string_view(bdf.constData(), static_cast<size_t>(bdf.size())));
  }();
  return font ? &*font : nullptr;
}

TerminalCanvas::TerminalCanvas(QSize size, QRgb ground) : image_(size, QImage::Format_RGB32), font_(TerminalGlyphs()) {
  image_.fill(ground);
}

bool TerminalCanvas::DrawCell(int x, int y, char32_t c, QRgb pen, QRgb ground) {
  const CellFont::Glyph* glyph = font_ ? font_->Find(c) : nullptr;
  if (glyph && x >= 0 && y >= 0 && x + CellFont::kWidth <= image_.width() && y + CellFont::kHeight <= image_.height()) {
    // The whole cell is on the canvas: row by row, no clipping.
    const qsizetype stride = image_.bytesPerLine() / qsizetype(sizeof(QRgb));
    QRgb* line = reinterpret_cast<QRgb*>(image_.bits()) + y * stride + x;
    for (const unsigned bits : *glyph) {
      for (int column = 0; column < CellFont::kWidth; ++column)
        line[column] = (bits & (0x20u >> column)) ? pen : ground;
      line += stride;
    }
    return true;
  }
  const QRect cell = QRect(x, y, CellFont::kWidth, CellFont::kHeight) & image_.rect();
  for (int row = cell.top(); row <= cell.bottom(); ++row) {
    auto* line = reinterpret_cast<QRgb*>(image_.scanLine(row));
    const unsigned bits = glyph ? (*glyph)[static_cast<size_t>(row - y)] : 0;
    for (int column = cell.left(); column <= cell.right(); ++column)
      line[column] = (bits & (0x20u >> (column - x))) ? pen : ground;
  }
  return glyph != nullptr;
}

void TerminalCanvas::DrawLine(QPoint topLeft, std::u16string_view line, int columns, QRgb pen, QRgb ground,
                              std::vector<Lacking>& lacking) {
  int width = 0;
  for (const PlacedChar& p : PlaceLine(line, width)) {
    if (p.column >= columns) break;
    const QPoint cell = topLeft + QPoint(p.column * CellFont::kWidth, 0);
    if (p.cells == 1 && DrawCell(cell.x(), cell.y(), p.code, pen, ground)) continue;
    if (p.cells == 0) continue;
    Fill(QRect(cell, QSize(p.cells * CellFont::kWidth, CellFont::kHeight)), ground);
    lacking.push_back({cell, p.cells, QString::fromStdU16String(std::u16string(line.substr(p.offset, p.units))), pen});
  }
}

void DrawFallbacks(QPainter& painter, QPoint topLeft, const std::vector<TerminalCanvas::Lacking>& lacking) {
  // The fallback glyphs sit on the 6x8 font's baseline, so Qt needs to know
  // that font now (and only now: registering it costs start-up time).
  LoadTerminalFont();
  for (const TerminalCanvas::Lacking& l : lacking) {
    painter.setPen(QColor(l.pen));
    DrawFallbackGlyph(painter, topLeft + l.topLeft, l.cells, l.character);
  }
}

void TerminalCanvas::Fill(const QRect& area, QRgb colour) {
  const QRect r = area & image_.rect();
  for (int row = r.top(); row <= r.bottom(); ++row) {
    auto* line = reinterpret_cast<QRgb*>(image_.scanLine(row));
    std::fill(line + r.left(), line + r.right() + 1, colour);
  }
}

void TerminalCanvas::Invert(const QRect& area) {
  const QRect r = area & image_.rect();
  for (int row = r.top(); row <= r.bottom(); ++row) {
    auto* line = reinterpret_cast<QRgb*>(image_.scanLine(row));
    for (int column = r.left(); column <= r.right(); ++column) line[column] ^= 0x00FFFFFF;
  }
}

std::vector<int> DeviceEdges(int count, double ratio, double origin) {
  std::vector<int> edges(static_cast<size_t>(count) + 1);
  const long base = std::lround(origin);
  for (int i = 0; i <= count; ++i)
    edges[static_cast<size_t>(i)] = static_cast<int>(std::lround(i * ratio + origin) - base);
  return edges;
}

QImage ScaleToEdges(const QImage& image, const std::vector<int>& xEdges, const std::vector<int>& yEdges) {
  QImage scaled(xEdges.back(), yEdges.back(), QImage::Format_RGB32);
  if (scaled.isNull()) return scaled;
  const int width = image.width(), height = image.height();
  for (int y = 0; y < height; ++y) {
    const int top = yEdges[static_cast<size_t>(y)], bottom = yEdges[static_cast<size_t>(y) + 1];
    if (top == bottom) continue;
    const auto* from = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    auto* to = reinterpret_cast<QRgb*>(scaled.scanLine(top));
    for (int x = 0; x < width; ++x)
      std::fill(to + xEdges[static_cast<size_t>(x)], to + xEdges[static_cast<size_t>(x) + 1], from[x]);
    for (int row = top + 1; row < bottom; ++row)
      std::memcpy(scaled.scanLine(row), to, static_cast<size_t>(scaled.bytesPerLine()));
  }
  return scaled;
}

QImage ScaleBy(const QImage& image, int n) {
  if (n == 1) return image;
  return ScaleToEdges(image, DeviceEdges(image.width(), n, 0), DeviceEdges(image.height(), n, 0));
}

namespace {

// The painter's mapping of logical widget coordinates to device pixels: a
// scale by the device pixel ratio and the widget's place on the device.
struct DeviceMap {
  double ratio, x, y;
  explicit DeviceMap(const QPainter& painter) {
    const QTransform t = painter.deviceTransform();
    ratio = t.m11();
    x = t.dx();
    y = t.dy();
  }
  int X(int logical) const { return static_cast<int>(std::lround(logical * ratio + x)); }
  int Y(int logical) const { return static_cast<int>(std::lround(logical * ratio + y)); }
};

}  // namespace

void PaintInDevicePixels(QPainter& painter) {
  // The painter maps world coordinates through its world transform W, then
  // the rest R (the widget's place, the ratio): device = W R. World
  // coordinates become device pixels with W' = R^-1 = (W R)^-1 W.
  painter.setWorldTransform(painter.deviceTransform().inverted() * painter.worldTransform());
}

QRect DeviceRect(const QPainter& painter, const QRect& area) {
  const DeviceMap map(painter);
  return QRect(QPoint(map.X(area.left()), map.Y(area.top())),
               QPoint(map.X(area.right() + 1) - 1, map.Y(area.bottom() + 1) - 1));
}

void TerminalCanvas::Present(QPainter& painter, QPoint topLeft) const {
  const DeviceMap map(painter);
  if (map.x == std::round(map.x) && map.y == std::round(map.y)) {
    if (map.ratio == 1.0) {
      painter.drawImage(topLeft, image_);
      return;
    }
    if (map.ratio == std::round(map.ratio)) {
      // At a whole ratio every font pixel is an equal square of device
      // pixels: the paint engine's nearest-neighbour scaling gives exactly
      // that, straight onto the widget, with no scaled copy of the canvas.
      painter.save();
      painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
      painter.drawImage(QRect(topLeft, image_.size()), image_);
      painter.restore();
      return;
    }
  }
  const QImage scaled = ScaleToEdges(image_, DeviceEdges(image_.width(), map.ratio, topLeft.x() * map.ratio + map.x),
                                     DeviceEdges(image_.height(), map.ratio, topLeft.y() * map.ratio + map.y));
  // Drawn in device pixels: an untransformed blit, nothing for the painter
  // to smooth or round.
  painter.save();
  PaintInDevicePixels(painter);
  painter.drawImage(QPoint(map.X(topLeft.x()), map.Y(topLeft.y())), scaled);
  painter.restore();
}
