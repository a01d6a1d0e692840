#include "app/TerminalLabel.h"

#include <QEvent>
#include <QLabel>
#include <QPainter>

#include <algorithm>

#include "app/TerminalCanvas.h"
#include "nfo/CharCells.h"

namespace {

std::u16string_view Units(const QString& text) {
  return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size())};
}

// Paints a label's text in place of QLabel's own painting. The label's
// background has been filled by then (its autoFillBackground).
class TerminalText : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Paint) return false;
    auto* label = static_cast<QLabel*>(watched);
    const QRgb pen = label->palette().color(label->foregroundRole()).rgb();
    const QRgb ground = label->palette().color(label->backgroundRole()).rgb();
    TerminalCanvas canvas(label->size(), ground);
    std::vector<TerminalCanvas::Lacking> lacking;
    const QStringList lines = label->text().split(QLatin1Char('\n'));
    const int columns = (label->width() + CellFont::kWidth - 1) / CellFont::kWidth;
    for (qsizetype i = 0; i < lines.size() && i * CellFont::kHeight < label->height(); ++i)
      canvas.DrawLine(QPoint(0, int(i) * CellFont::kHeight), Units(lines[i]), columns, pen, ground, lacking);
    QPainter painter(label);
    canvas.Present(painter, QPoint(0, 0));
    if (!lacking.empty()) {
      painter.setFont(label->font());
      DrawFallbacks(painter, QPoint(0, 0), lacking);
    }
    return true;
  }
};

}  // namespace

void DrawInTerminalFont(QLabel* label) {
  label->installEventFilter(new TerminalText(label));
  label->update();
}

int TerminalTextWidth(const QString& text) {
  int widest = 0;
  for (const QString& line : text.split(QLatin1Char('\n'))) {
    int width = 0;
    PlaceLine(Units(line), width);
    widest = std::max(widest, width);
  }
  return widest * CellFont::kWidth;
}
