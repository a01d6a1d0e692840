#pragma once
// A thin progress bar of our own, in the gap between the viewer and the
// status strip. Hidden while nothing long runs.
#include <QWidget>

#include <cstdint>

class ProgressStrip : public QWidget {
  Q_OBJECT
 public:
  explicit ProgressStrip(QWidget* parent);
  // Shows the bar filled to done/total (total 0 shows an empty bar).
  void SetProgress(uint64_t done, uint64_t total);
  void Finish();  // hides the bar
  double Fraction() const { return fraction_; }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  double fraction_ = 0;
};
