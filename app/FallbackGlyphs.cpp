#include "app/FallbackGlyphs.h"

#include <QFontMetricsF>
#include <QPainter>

#include "app/TerminalCanvas.h"
#include "nfo/CellFont.h"

void DrawFallbackGlyph(QPainter& painter, QPoint topLeft, int cells, const QString& character) {
  if (cells <= 0) return;
  painter.save();
  const QRect device = DeviceRect(painter, QRect(topLeft, QSize(cells * CellFont::kWidth, CellFont::kHeight)));
  const QTransform logical = painter.worldTransform();
  PaintInDevicePixels(painter);
  painter.setClipRect(device, Qt::IntersectClip);
  painter.setWorldTransform(logical);
  painter.drawText(QPointF(topLeft) + QPointF(0, QFontMetricsF(painter.font()).ascent()), character);
  painter.restore();
}
