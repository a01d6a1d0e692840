// The real program on a Wayland desktop: a headless Weston at display scale
// 2, the program started with the Wayland platform plugin, and the screen
// read back with Weston's screenshooter: the window shows, at its logical
// size, with the art drawn as on X11. Skipped when Weston or Qt's Wayland
// plugin is not installed.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QImage>

#include <chrono>
#include <optional>
#include <thread>

#include "platform/Launch.h"
#include "tests/common/TempDir.h"
#include "tests/common/XDisplay.h"

using testing_support::TempDir;

namespace {

constexpr QRgb kSilver = 0xC0C0C0;
constexpr QRgb kLime = 0x00FF00;
constexpr int kScale = 2;

QRgb At(const QImage& img, int x, int y) { return img.pixel(x, y) & 0xFFFFFF; }

// The device pixel where the viewer's top left lies: the top left of a run
// of full blocks 20 cells wide and 5 rows high.
std::optional<QPoint> FindViewer(const QImage& img) {
  const int w = 120 * kScale, h = 40 * kScale;
  for (int y = 1; y + h < img.height(); ++y)
    for (int x = 1; x + w < img.width(); ++x)
      if (At(img, x, y) == kSilver && At(img, x - 1, y) != kSilver && At(img, x, y - 1) != kSilver &&
          At(img, x + w - 1, y + h - 1) == kSilver && At(img, x + w, y) != kSilver)
        return QPoint(x, y);
  return std::nullopt;
}

}  // namespace

TEST(Wayland, TheWindowShowsAtItsSizeWithTheSameArt) {
  for (const char* tool : {"weston", "weston-screenshooter"})
    if (platform::FindProgram(tool).empty()) GTEST_SKIP() << tool << " is needed";
  TempDir dir;
  const std::string runtime = dir / "runtime";
  mkdir(runtime.c_str(), 0700);
  const std::string env = "env -u DISPLAY XDG_RUNTIME_DIR='" + runtime + "' WAYLAND_DISPLAY=lumeskar-test ";
  xdisplay::Child weston({"sh", "-c",
                          "exec " + env +
                              "weston --backend=headless-backend.so --socket=lumeskar-test --use-pixman --debug "
                              "--idle-time=0 --width=1400 --height=1100 --scale=" +
                              std::to_string(kScale) + " >'" + (dir / "weston.log") + "' 2>&1"});
  for (int i = 0; i < 100 && !QDir(QString::fromStdString(runtime)).exists("lumeskar-test"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_TRUE(QDir(QString::fromStdString(runtime)).exists("lumeskar-test")) << "Weston did not start";

  std::string art;
  for (int i = 0; i < 5; ++i) art += std::string(20, '\xDB') + "\r\n";
  art += "\xC9\xCD\xCB\xCD\xBB \xB0\xB1\xB2 Greetings\r\n";
  testing_support::WriteFile(dir / "art.nfo", art);
  const std::string png = dir / "art.png";
  ASSERT_EQ(std::system(("env -u DISPLAY '" LUMESKAR_BINARY_DIR "/lumeskar' --render '" + (dir / "art.nfo") + "' -o '" +
                         png + "'")
                            .c_str()),
            0);
  const QImage art1x = QImage(QString::fromStdString(png)).convertToFormat(QImage::Format_RGB32);

  xdisplay::Child program({"sh", "-c",
                           "exec " + env + "QT_QPA_PLATFORM=wayland HOME='" + dir.path() + "' XDG_CONFIG_HOME='" +
                               (dir / "cfg") + "' '" LUMESKAR_BINARY_DIR "/lumeskar' '" + (dir / "art.nfo") + "' 2>'" +
                               (dir / "program.log") + "'"});
  QImage screen;
  std::optional<QPoint> viewer;
  for (int i = 0; i < 40 && !viewer; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    if (testing_support::ReadFile(dir / "program.log").find("Could not load the Qt platform plugin") !=
        std::string::npos)
      GTEST_SKIP() << "Qt's Wayland plugin is not installed";
    ASSERT_TRUE(program.Running()) << testing_support::ReadFile(dir / "program.log");
    std::system(("cd '" + dir.path() + "' && rm -f wayland-screenshot-*.png && " + env +
                 "timeout 20 weston-screenshooter >/dev/null 2>&1")
                    .c_str());
    const QStringList shots = QDir(QString::fromStdString(dir.path())).entryList({"wayland-screenshot-*.png"});
    if (shots.isEmpty()) continue;
    screen = QImage(QString::fromStdString(dir.path()) + "/" + shots.front()).convertToFormat(QImage::Format_RGB32);
    viewer = FindViewer(screen);
  }
  ASSERT_TRUE(viewer.has_value()) << "the window did not show";
  screen.save("wayland-screen.png");  // beside the test, to look at

  // The art, every font pixel a 2 x 2 square of device pixels.
  int wrong = 0;
  for (int y = 0; y < art1x.height() * kScale; ++y)
    for (int x = 0; x < art1x.width() * kScale; ++x)
      wrong += At(screen, viewer->x() + x, viewer->y() + y) != (art1x.pixel(x / kScale, y / kScale) & 0xFFFFFF);
  EXPECT_EQ(wrong, 0);
  // The window keeps its 531 x 452 logical pixels: the status line lies 432
  // below the top, and "Help" in the bottom right corner shows.
  auto count = [&](QRect logical, QRgb colour) {
    int n = 0;
    for (int y = logical.top() * kScale; y < (logical.bottom() + 1) * kScale; ++y)
      for (int x = logical.left() * kScale; x < (logical.right() + 1) * kScale; ++x)
        n += At(screen, viewer->x() + x, viewer->y() + y) == colour;
    return n;
  };
  EXPECT_GT(count(QRect(0, 432, 324, 8), kLime), 500);
  EXPECT_GT(count(QRect(496, 439, 33, 11), 0xFF0000), 50);
}
