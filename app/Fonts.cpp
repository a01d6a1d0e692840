#include "app/Fonts.h"

#include <QFontDatabase>

bool LoadTerminalFont() {
  static int id = QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/LumeskarTerminal.bdf"));
  return id >= 0;
}

QFont FontT() {
  QFont f(QStringLiteral("Lumeskar Terminal"));
  f.setPixelSize(8);
  // A bitmap font of fixed-width cells has no ligatures, kerning or marks to
  // position: its glyphs and advances come straight from the character map,
  // and text shaping, the largest cost of laying out and painting a page of
  // art, is skipped. Scripts that need shaping still get it.
  f.setStyleStrategy(QFont::StyleStrategy(QFont::NoAntialias | QFont::PreferNoShaping));
  f.setHintingPreference(QFont::PreferNoHinting);
  return f;
}

QFont FontL() {
  QFont f(QStringLiteral("DejaVu Sans Mono"));
  f.setPixelSize(11);
  return f;
}

QFont FontS() {
  QFont f(QStringLiteral("Liberation Sans"));
  f.setPixelSize(11);
  return f;
}

QFont FontB() {
  QFont f(QStringLiteral("Liberation Sans"));
  f.setPixelSize(13);
  f.setBold(true);
  return f;
}
