#pragma once
// The viewer's text box: a plain text box in the 6x8 font that also draws
// the characters the font lacks, each in its own cells (FallbackGlyphs.h).
#include <QPlainTextEdit>

class TNfoView : public QPlainTextEdit {
  Q_OBJECT
 public:
  using QPlainTextEdit::QPlainTextEdit;

  // Shows `text` and lays out its characters outside code page 437 on the grid.
  void setNfoText(const QString& text);

 protected:
  void paintEvent(QPaintEvent* e) override;

 private:
  bool hasFallbackGlyphs_ = false;  // the shown text has characters the font lacks
};
