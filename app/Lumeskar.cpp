// Program entry: the command line, one application object, one main window,
// the message loop.
#include <QApplication>
#include <QStyleFactory>

#include "app/RenderCommand.h"
#include "app/Unit1.h"
#include "cli/ViewerCommandLine.h"

int main(int argc, char** argv) {
  // `--render` makes a picture of the text and opens no window.
  if (std::optional<int> rendered = RunRenderCommand(argc, argv)) return *rendered;
  // The command line is answered before the application object exists, so
  // --help and --version need no display. Qt is given only the program name:
  // a file name must never be taken for one of Qt's own options.
  const cli::Parsed command = cli::Parse(cli::kViewer, argc, argv);
  if (std::optional<int> exitCode = cli::Answer(cli::kViewer, command)) return *exitCode;
  int qtArgc = argc > 0 ? 1 : 0;
  QApplication app(qtArgc, argv);
  QApplication::setApplicationName(QStringLiteral("Lumeskar"));
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  // Only the first operand is used: the path of the .nfo file.
  TForm1 window(command.operands.empty() ? QString() : QString::fromLocal8Bit(command.operands.front()));
  window.show();
  return QApplication::exec();
}
