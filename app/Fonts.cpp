#include "app/Fonts.h"

#include <QFontDatabase>

bool LoadTerminalFont() {
  static int id = QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/LumeskarTerminal.bdf"));
  return id >= 0;
}

QFont FontT() {
  QFont f(QStringLiteral("Lumeskar Terminal"));
  f.setPixelSize(8);
  f.setStyleStrategy(QFont::NoAntialias);
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
