// Program entry: one application object, one main window, the message loop.
#include <QApplication>
#include <QStyleFactory>

#include "app/Fonts.h"
#include "app/RenderCommand.h"
#include "app/Unit1.h"

int main(int argc, char** argv) {
  // `--render` makes a picture of the text and opens no window.
  if (std::optional<int> rendered = RunRenderCommand(argc, argv)) return *rendered;
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Lumeskar"));
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  LoadTerminalFont();
  // Only the first argument is used: the path of the .nfo file.
  const QStringList args = QApplication::arguments();
  TForm1 window(args.size() > 1 ? args.at(1) : QString());
  window.show();
  return QApplication::exec();
}
