// A canvas put on a device at the ratios of today's screens, whole and
// through a clip (a partial repaint), from a place that falls between device
// pixels at fractional ratios: every logical pixel covers exactly the device
// pixels [round(v x ratio), round((v + 1) x ratio)) in each direction, in its
// own colour, and nothing outside the clip is touched.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <cmath>
#include <optional>

#include "app/TerminalCanvas.h"

namespace {

const QRgb kUntouched = qRgb(1, 2, 3);

// The logical coordinate whose device pixels hold device pixel d.
int LogicalOf(int d, double ratio) {
  int v = static_cast<int>(std::floor(d / ratio));
  while (std::lround((v + 1) * ratio) <= d) ++v;
  while (std::lround(v * ratio) > d) --v;
  return v;
}

}  // namespace

TEST(TerminalCanvas, PresentGivesEveryPixelItsDeviceRectangle) {
  const QSize size(37, 23);
  TerminalCanvas canvas(size, qRgb(0, 0, 0));
  for (int y = 0; y < size.height(); ++y)
    for (int x = 0; x < size.width(); ++x) canvas.Fill(QRect(x, y, 1, 1), qRgb(x * 6, y * 10, 200));
  const QPoint topLeft(3, 1);
  // Clip edges that fall on device pixels at every ratio below.
  const std::optional<QRect> clips[] = {std::nullopt, QRect(8, 4, 16, 12)};

  for (const double ratio : {1.0, 1.25, 1.5, 2.0, 3.0}) {
    for (const std::optional<QRect>& clip : clips) {
      SCOPED_TRACE(testing::Message() << "ratio " << ratio << (clip ? ", clipped" : ""));
      QImage device(static_cast<int>(std::ceil(48 * ratio)), static_cast<int>(std::ceil(32 * ratio)),
                    QImage::Format_RGB32);
      device.fill(kUntouched);
      device.setDevicePixelRatio(ratio);
      {
        QPainter painter(&device);
        if (clip) painter.setClipRect(*clip);
        canvas.Present(painter, topLeft);
      }
      const QRect shown = clip ? *clip & QRect(topLeft, size) : QRect(topLeft, size);
      int wrong = 0;
      for (int y = 0; y < device.height(); ++y)
        for (int x = 0; x < device.width(); ++x) {
          const QPoint logical(LogicalOf(x, ratio), LogicalOf(y, ratio));
          const QPoint p = logical - topLeft;
          const QRgb expected = shown.contains(logical) ? qRgb(p.x() * 6, p.y() * 10, 200) : kUntouched;
          wrong += (device.pixel(x, y) & 0xFFFFFF) != (expected & 0xFFFFFF);
        }
      EXPECT_EQ(wrong, 0);
    }
  }
}
