// main() for the window tests: one QApplication for the whole program, the
// program's own bitmap font loaded, and the same style as the program.
#include <gtest/gtest.h>

#include <QApplication>
#include <QStyleFactory>

#include "app/Fonts.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // Listing the tests at build time happens without a display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  LoadTerminalFont();
  return RUN_ALL_TESTS();
}
