#include "app/RenderCommand.h"

#include <sys/stat.h>

#include <QGuiApplication>
#include <QImageWriter>
#include <QSaveFile>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

#include "app/Fonts.h"
#include "app/NfoImage.h"
#include "app/TerminalCanvas.h"
#include "cli/RenderCommandLine.h"
#include "nfo/NfoText.h"
#include "nfo/Sauce.h"
#include "nfo/TextEncoding.h"
#include "platform/FileRead.h"

namespace {

// Far beyond any real .nfo; keeps a hostile file from asking for gigabytes.
constexpr long long kMaxPixels = 1LL << 26;
constexpr int kMaxColumns = 100000;
constexpr int kMaxScale = 8;
// PNG writers refuse a side longer than this (libpng's limit).
constexpr long long kMaxPngSide = 1000000;

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

// `value` of option --`name` as a whole number from `low` to `high`.
std::optional<int> WholeNumber(const std::string& value, int low, int high) {
  int n = 0;
  const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
  if (ec != std::errc() || end != value.data() + value.size() || n < low || n > high) return std::nullopt;
  return n;
}

// Why the picture must not be written at `path`, or "" when it may: the
// picture goes to a new file or replaces a regular file (also one a link
// leads to). Anything else there (a folder, a FIFO, a device, a socket, a
// link to one of these or to nothing) is left as it is.
std::string OutputProblem(const std::string& path) {
  struct stat here, target;
  if (lstat(path.c_str(), &here) != 0) return "";  // nothing there; the writer reports other problems
  const std::string link = S_ISLNK(here.st_mode) ? "a link to " : "";
  if (stat(path.c_str(), &target) != 0) return "it is a link to nothing";
  if (S_ISREG(target.st_mode)) return "";
  const char* kind = S_ISDIR(target.st_mode)    ? "a folder"
                     : S_ISFIFO(target.st_mode) ? "a FIFO"
                     : S_ISCHR(target.st_mode)  ? "a character device"
                     : S_ISBLK(target.st_mode)  ? "a block device"
                     : S_ISSOCK(target.st_mode) ? "a socket"
                                                : "no regular file";
  return "it is " + link + kind;
}

int RefuseOutput(const std::string& output, const std::string& problem) {
  return Fail("will not write the picture to " + output + ": " + problem +
              " (the picture goes to a new file or replaces a regular file)");
}

// "1 line", "2 lines".
std::string Count(long long n, const std::string& what) { return std::to_string(n) + " " + what + (n == 1 ? "" : "s"); }

// Why a picture of `columns` x `lines` cells at `scale` cannot be made, or "".
std::string SizeProblem(const std::string& input, long long columns, long long lines, long long scale) {
  const long long width = 6 * columns * scale, height = 8 * lines * scale;
  const std::string picture = "the picture of " + input + " would be ";
  const std::string png =
      ", more than the " + std::to_string(kMaxPngSide) + " pixels a side of a PNG picture may have: ";
  const std::string atScale = " at --scale " + std::to_string(scale) + ")";
  if (height > kMaxPngSide) {
    const long long fit = kMaxPngSide / (8 * scale);
    return picture + std::to_string(height) + " pixels high" + png + Count(lines - fit, "line") + " too many (" +
           Count(fit, "line") + " fit" + atScale;
  }
  if (width > kMaxPngSide) {
    const long long fit = kMaxPngSide / (6 * scale);
    return picture + std::to_string(width) + " pixels wide" + png + Count(columns - fit, "column") +
           " too many (--columns " + std::to_string(fit) + " fits" + atScale;
  }
  if (width * height > kMaxPixels)
    return picture + std::to_string(width) + " x " + std::to_string(height) + " pixels, more than the " +
           std::to_string(kMaxPixels) + " pixels --render makes";
  return "";
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
    const std::optional<int> n = WholeNumber(*value, 1, kMaxColumns);
    if (!n)
      return UsageError(
          parsed, "--columns needs a whole number from 1 to " + std::to_string(kMaxColumns) + ", not '" + *value + "'");
    columns = *n;
  }
  int scale = 1;
  if (const std::optional<std::string> value = parsed.Value(cli::kScale.longName)) {
    const std::optional<int> n = WholeNumber(*value, 1, kMaxScale);
    if (!n)
      return UsageError(
          parsed, "--scale needs a whole number from 1 to " + std::to_string(kMaxScale) + ", not '" + *value + "'");
    scale = *n;
  }
  if (SameFile(input, output)) return Fail("will not write the picture over " + input + " itself");
  if (const std::string problem = OutputProblem(output); !problem.empty()) return RefuseOutput(output, problem);

  platform::Expected<std::string> bytes = platform::ReadWholeFile(input);
  if (!bytes) return Fail("cannot read " + input + ": " + bytes.message());

  std::u16string text = DecodeText(WithoutSauce(*bytes)).text;
  std::string().swap(*bytes);
  // Too many lines are refused before they are made: a file of line breaks
  // has tens of millions of them.
  if (const std::string problem = SizeProblem(input, 1, static_cast<long long>(CountLines(text)), scale);
      !problem.empty())
    return Fail(problem);
  const std::vector<std::u16string> lines = SplitLines(text);
  std::u16string().swap(text);
  if (columns == 0) columns = WidestLine(lines);
  if (columns == 0 || lines.empty()) return Fail(input + " holds no text to render");
  if (const std::string problem = SizeProblem(input, columns, static_cast<long long>(lines.size()), scale);
      !problem.empty())
    return Fail(problem);
  const long long width = 6LL * columns * scale, height = 8LL * static_cast<long long>(lines.size()) * scale;

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
  if (!TerminalGlyphs()) return Fail("the built-in 6x8 font could not be loaded");

  // Drawn at one pixel per font pixel, then every pixel made a square.
  const QImage image = ScaleBy(DrawNfoImage(lines, columns), scale);
  if (image.isNull())
    return Fail("not enough memory for a picture of " + std::to_string(width) + " x " + std::to_string(height) +
                " pixels");
  QSaveFile file(QString::fromLocal8Bit(output));
  QImageWriter writer(&file, "png");
  if (!file.open(QIODevice::WriteOnly) || !writer.write(image))
    return Fail("cannot write " + output + ": " +
                (file.error() != QFileDevice::NoError ? file.errorString() : writer.errorString()).toStdString());
  // What is at the path may have changed while the picture was drawn.
  if (const std::string problem = OutputProblem(output); !problem.empty()) {
    file.cancelWriting();
    file.commit();  // removes the picture's temporary file
    return RefuseOutput(output, problem);
  }
  if (!file.commit()) return Fail("cannot write " + output + ": " + file.errorString().toStdString());
  return 0;
}
