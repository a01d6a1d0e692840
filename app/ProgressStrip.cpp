#include "app/ProgressStrip.h"

#include <QPainter>

ProgressStrip::ProgressStrip(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  hide();
}

void ProgressStrip::SetProgress(uint64_t done, uint64_t total) {
  double f = total == 0 ? 0.0 : static_cast<double>(done) / static_cast<double>(total);
  f = f < 0 ? 0 : (f > 1 ? 1 : f);
  // Repaint only when the bar visibly moves: called once per chunk.
  bool changed = static_cast<int>(f * width()) != static_cast<int>(fraction_ * width());
  fraction_ = f;
  if (!isVisible()) show();
  if (changed) update();
}

void ProgressStrip::Finish() {
  fraction_ = 0;
  hide();
}

void ProgressStrip::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::black);
  p.fillRect(QRect(0, 0, static_cast<int>(fraction_ * width()), height()), QColor(0x00, 0xFF, 0x00));
}
