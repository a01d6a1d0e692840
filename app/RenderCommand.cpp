#include "app/RenderCommand.h"

#include <QGuiApplication>
#include <QImageWriter>
#include <QSaveFile>

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "app/Fonts.h"
#include "app/NfoImage.h"
#include "cli/RenderCommandLine.h"
#include "nfo/NfoText.h"
#include "platform/FileRead.h"

namespace {

// Far beyond any real .nfo; keeps a hostile file from asking for gigabytes.
constexpr long long kMaxPixels = 1LL << 26;
constexpr int kMaxColumns = 100000;

int Fail(const std::string& message) {
  std::fprintf(stderr, "lumeskar: %s\n", message.c_str());
  return 2;
}

// A problem with the command line, reported as the parser reports its own.
int UsageError(cli::Parsed parsed, const std::string& message) {
  parsed.error = message;
  return *cli::Answer(cli::kRender, parsed);
}

// FILE.nfo becomes FILE.png beside it.
std::string DefaultOutput(const std::string& input) {
  return std::filesystem::path(input).replace_extension(".png").string();
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return std::filesystem::equivalent(a, b, ec);
}

}  // namespace

std::optional<int> RunRenderCommand(int argc, char** argv) {
  if (argc < 2 || std::string_view(argv[1]) != "--render") return std::nullopt;

  // The arguments after --render, as a command line of their own.
  const cli::Parsed parsed = cli::Parse(cli::kRender, argc - 1, argv + 1);
  if (std::optional<int> answered = cli::Answer(cli::kRender, parsed)) return *answered;
  const std::string input = parsed.operands.front();
  const std::string output = parsed.Value(cli::kOutput.longName).value_or(DefaultOutput(input));
  if (output.empty()) return UsageError(parsed, "option '-o' needs a value");
  int columns = 0;  // the longest line
  if (const std::optional<std::string> value = parsed.Value(cli::kColumns.longName)) {
    const auto [end, ec] = std::from_chars(value->data(), value->data() + value->size(), columns);
    if (ec != std::errc() || end != value->data() + value->size() || columns < 1 || columns > kMaxColumns)
      return UsageError(
          parsed, "--columns needs a whole number from 1 to " + std::to_string(kMaxColumns) + ", not '" + *value + "'");
  }
  if (SameFile(input, output)) return Fail("will not write the picture over " + input + " itself");

  const platform::Expected<std::string> bytes = platform::ReadWholeFile(input);
  if (!bytes) return Fail("cannot read " + input + ": " + bytes.message());

  const std::vector<std::u16string> lines = NfoLines(*bytes);
  if (columns == 0) columns = WidestLine(lines);
  const long long width = 6LL * columns, height = 8LL * static_cast<long long>(lines.size());
  if (width == 0 || height == 0) return Fail(input + " holds no text to render");
  if (width * height > kMaxPixels)
    return Fail("the picture of " + input + " would be " + std::to_string(width) + " x " + std::to_string(height) +
                " pixels, more than the " + std::to_string(kMaxPixels) + " pixels --render makes");

  // Drawing text needs the application object, not a display: the offscreen
  // platform works everywhere, whatever the environment asks for.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // Qt's notes about the environment (no runtime folder, and the like) are
  // not the command's business: standard error carries its own messages only.
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "%s\n", qPrintable(message));
  });
  int qtArgc = 1;
  QGuiApplication app(qtArgc, argv);
  if (!LoadTerminalFont()) return Fail("the built-in 6x8 font could not be loaded");

  const QImage image = DrawNfoImage(lines, columns);
  if (image.isNull())
    return Fail("not enough memory for a picture of " + std::to_string(width) + " x " + std::to_string(height) +
                " pixels");
  QSaveFile file(QString::fromLocal8Bit(output));
  QImageWriter writer(&file, "png");
  if (!file.open(QIODevice::WriteOnly) || !writer.write(image) || !file.commit())
    return Fail("cannot write " + output + ": " +
                (file.error() != QFileDevice::NoError ? file.errorString() : writer.errorString()).toStdString());
  return 0;
}
