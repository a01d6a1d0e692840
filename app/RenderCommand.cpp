#include "app/RenderCommand.h"

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
#include "app/NfoText.h"
#include "release/SfvEntries.h"

namespace {

constexpr char kUsage[] = "usage: lumeskar --render FILE.nfo [-o OUT.png] [--columns N]\n";
// Far beyond any real .nfo; keeps a hostile file from asking for gigabytes.
constexpr long long kMaxPixels = 1LL << 26;
constexpr int kMaxColumns = 100000;

struct Options {
  std::string input;
  std::string output;
  int columns = 0;  // 0: the longest line
  bool help = false;
};

int Fail(const std::string& message) {
  std::fprintf(stderr, "lumeskar: %s\n", message.c_str());
  return 2;
}

int UsageError(const std::string& message) {
  std::fprintf(stderr, "lumeskar --render: %s\n%s", message.c_str(), kUsage);
  return 2;
}

// Reads the render command's arguments (those after --render). Returns an
// error message, or "" when they are fine.
std::string Parse(int argc, char** argv, Options& o) {
  bool optionsEnd = false;
  for (int i = 2; i < argc; ++i) {
    const std::string_view arg = argv[i];
    auto value = [&](std::string_view name) -> std::optional<std::string_view> {
      if (arg == name) {
        if (i + 1 >= argc) return std::nullopt;
        return std::string_view(argv[++i]);
      }
      return arg.substr(name.size() + 1);  // --name=value
    };
    if (!optionsEnd && arg == "--") {
      optionsEnd = true;
    } else if (!optionsEnd && (arg == "--help" || arg == "-h")) {
      o.help = true;
    } else if (!optionsEnd && (arg == "-o" || arg == "--output" || arg.starts_with("--output="))) {
      const auto v = value(arg == "-o" ? "-o" : "--output");
      if (!v || v->empty()) return "-o needs the name of the PNG file to write";
      o.output = *v;
    } else if (!optionsEnd && (arg == "--columns" || arg.starts_with("--columns="))) {
      const auto v = value("--columns");
      if (!v) return "--columns needs a number of columns";
      int n = 0;
      const auto [end, ec] = std::from_chars(v->data(), v->data() + v->size(), n);
      if (ec != std::errc() || end != v->data() + v->size() || n < 1 || n > kMaxColumns)
        return "--columns needs a whole number from 1 to " + std::to_string(kMaxColumns) + ", not \"" +
               std::string(*v) + "\"";
      o.columns = n;
    } else if (!optionsEnd && arg.size() > 1 && arg[0] == '-') {
      return "unknown option \"" + std::string(arg) + "\"";
    } else if (o.input.empty()) {
      o.input = arg;
    } else {
      return "only one FILE.nfo can be rendered at a time (\"" + std::string(arg) + "\" is a second one)";
    }
  }
  if (!o.help && o.input.empty()) return "no FILE.nfo given";
  return {};
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

  Options o;
  if (std::string error = Parse(argc, argv, o); !error.empty()) return UsageError(error);
  if (o.help) {
    std::fputs(kUsage, stdout);
    std::fputs("Writes the whole text of FILE.nfo, every line, as a PNG picture in the 6x8 font:\n"
               "silver on black, 6 x 8 pixels per character. Without -o the picture is FILE.png\n"
               "beside FILE.nfo. --columns N makes it N characters wide (longer lines are cut);\n"
               "without it, it is as wide as the longest line.\n",
               stdout);
    return 0;
  }
  if (o.output.empty()) o.output = DefaultOutput(o.input);
  if (SameFile(o.input, o.output)) return Fail("will not write the picture over " + o.input + " itself");

  const std::optional<std::string> bytes = release::ReadWholeFile(o.input);
  if (!bytes) return Fail("cannot read " + o.input + ": " + std::strerror(errno));

  const std::vector<std::u16string> lines = NfoLines(*bytes);
  const int columns = o.columns ? o.columns : WidestLine(lines);
  const long long width = 6LL * columns, height = 8LL * static_cast<long long>(lines.size());
  if (width == 0 || height == 0) return Fail(o.input + " holds no text to render");
  if (width * height > kMaxPixels)
    return Fail("the picture of " + o.input + " would be " + std::to_string(width) + " x " + std::to_string(height) +
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
  if (image.isNull()) return Fail("not enough memory for a picture of " + std::to_string(width) + " x " +
                                  std::to_string(height) + " pixels");
  QSaveFile file(QString::fromLocal8Bit(o.output));
  QImageWriter writer(&file, "png");
  if (!file.open(QIODevice::WriteOnly) || !writer.write(image) || !file.commit())
    return Fail("cannot write " + o.output + ": " +
                (file.error() != QFileDevice::NoError ? file.errorString() : writer.errorString()).toStdString());
  return 0;
}
