#include "app/Icon.h"

QIcon LumeskarIcon() {
  QIcon icon;
  icon.addFile(QStringLiteral(":/icons/lumeskar-16.png"), QSize(16, 16));
  icon.addFile(QStringLiteral(":/icons/lumeskar-32.png"), QSize(32, 32));
  return icon;
}
