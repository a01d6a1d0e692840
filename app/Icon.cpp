#include "app/Icon.h"

#include <QImageReader>
#include <QPixmap>

namespace {

// Reads one of the built-in PNG images. With the format named and guessing
// turned off Qt uses its own PNG reader at once; left to guess, it first
// loads every image format plugin on the system to ask each one, which
// costs the window a good part of its start-up time.
QPixmap BuiltInPng(const QString& path) {
  QImageReader reader(path, "png");
  reader.setAutoDetectImageFormat(false);
  return QPixmap::fromImage(reader.read());
}

}  // namespace

QIcon LumeskarIcon() {
  QIcon icon;
  icon.addPixmap(BuiltInPng(QStringLiteral(":/icons/lumeskar-16.png")));
  icon.addPixmap(BuiltInPng(QStringLiteral(":/icons/lumeskar-32.png")));
  return icon;
}
