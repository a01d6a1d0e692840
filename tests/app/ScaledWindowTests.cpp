// The real program on a virtual X server at the display scales of today's
// screens (QT_SCALE_FACTOR 1, 1.25, 1.5, 2 and 3), its window grabbed from the
// screen: block art without a gap, every cell where the edge rule puts it,
// and the art and the status line exactly our font made bigger. Skipped when
// Xvfb, xdotool or ImageMagick's import is not installed.
#include <gtest/gtest.h>

#include <QImage>

#include <cmath>
#include <functional>

#include "platform/Launch.h"
#include "tests/common/TempDir.h"
#include "tests/common/XDisplay.h"

using testing_support::TempDir;

namespace {

// Colours without their alpha, as pixels are compared.
const QRgb kSilver = 0xC0C0C0;
const QRgb kLime = 0x00FF00;

// The device pixel where logical coordinate v falls at display scale s.
int Edge(int v, double s) { return static_cast<int>(std::lround(v * s)); }

// Pixels of `image` in the device rectangle of the logical one (x, y, w, h)
// at scale `s` for which `wrong(x, y, colour)` holds, with (x, y) logical.
int Count(const QImage& image, double s, QRect logical, const std::function<bool(int, int, QRgb)>& wrong) {
  int n = 0;
  for (int ly = logical.top(); ly <= logical.bottom(); ++ly)
    for (int lx = logical.left(); lx <= logical.right(); ++lx)
      for (int y = Edge(ly, s); y < Edge(ly + 1, s); ++y)
        for (int x = Edge(lx, s); x < Edge(lx + 1, s); ++x) n += wrong(lx, ly, image.pixel(x, y) & 0xFFFFFF);
  return n;
}

// A picture of `text` by the program's --render: our font at one pixel per
// font pixel.
QImage Rendered(const TempDir& dir, const std::string& name, const std::string& text) {
  testing_support::WriteFile(dir / name, text);
  const std::string png = dir / (name + ".png");
  const std::string command =
      "env -u DISPLAY '" LUMESKAR_BINARY_DIR "/lumeskar' --render '" + (dir / name) + "' -o '" + png + "'";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  return QImage(QString::fromStdString(png)).convertToFormat(QImage::Format_RGB32);
}

// The program's window on `nfo` at display scale `scale`, grabbed once it
// has settled (two grabs alike), with the pointer outside it.
QImage Shot(const TempDir& dir, const std::string& nfo, const std::string& scale) {
  xdisplay::Child program({"sh", "-c",
                           "exec env QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=" + scale + " HOME=" + dir.path() +
                               " XDG_CONFIG_HOME=" + (dir / "cfg") + " '" LUMESKAR_BINARY_DIR "/lumeskar' '" + nfo +
                               "'"});
  const std::string window = xdisplay::Output("xdotool search --sync --onlyvisible --name '^Lumeskar'");
  EXPECT_FALSE(window.empty());
  xdisplay::Output("xdotool mousemove 2399 1999");
  const std::string png = dir / ("window-" + scale + ".png");
  QImage last;
  for (int i = 0; i < 50; ++i) {
    xdisplay::Output("sleep 0.2; import -window " + window + " '" + png + "'");
    QImage now = QImage(QString::fromStdString(png)).convertToFormat(QImage::Format_RGB32);
    if (!now.isNull() && now == last) break;
    last = now;
  }
  last.save(QString::fromStdString("scaled-window-" + scale + ".png"));  // beside the test, to look at
  return last;
}

}  // namespace

TEST(ScaledWindow, ArtIsOurFontMadeBiggerWithoutAGapAtEveryScale) {
  for (const char* tool : {"Xvfb", "xdotool", "import"})
    if (platform::FindProgram(tool).empty()) GTEST_SKIP() << tool << " is needed";
  TempDir dir;
  xdisplay::VirtualDisplay display("2400x2000x24");
  ASSERT_FALSE(display.Name().empty()) << "Xvfb did not start";

  // Rows 0-4 full blocks, 5 lower halves, 6-7 full, 8 upper halves, 9 a
  // block in every other cell, then box lines, shades and text.
  const std::string full(20, '\xDB');
  std::string art;
  for (int i = 0; i < 5; ++i) art += full + "\r\n";
  art += std::string(20, '\xDC') + "\r\n" + full + "\r\n" + full + "\r\n" + std::string(20, '\xDF') + "\r\n";
  for (int i = 0; i < 10; ++i) art += "\xDB ";
  art += "\r\n\xC9\xCD\xCB\xCD\xBB \xDA\xC4\xC2\xC4\xBF\r\n\xC8\xCD\xCA\xCD\xBC \xC0\xC4\xC1\xC4\xD9\r\n";
  art += std::string(10, '\xB0') + std::string(10, '\xB1') + std::string(10, '\xB2') + "\r\n";
  art += "Greetings to http://example.org/\r\n";
  testing_support::WriteFile(dir / "art.nfo", art);
  const QImage art1x = Rendered(dir, "art.nfo", art);
  const QImage status1x = Rendered(dir, "status.txt", "Please load the program by double clicking an NFO file");
  ASSERT_EQ(art1x.size(), QSize(32 * 6, 14 * 8));

  for (const std::string scale : {"1", "1.25", "1.5", "2", "3"}) {
    SCOPED_TRACE("QT_SCALE_FACTOR=" + scale);
    const double s = std::stod(scale);
    const QImage img = Shot(dir, dir / "art.nfo", scale);
    ASSERT_NEAR(img.width(), 531 * s, 1.0);
    ASSERT_NEAR(img.height(), 452 * s, 1.0);

    // Every device pixel of the solid areas is art: no gap, no seam.
    auto notSilver = [](int, int, QRgb c) { return c != kSilver; };
    EXPECT_EQ(Count(img, s, QRect(0, 0, 120, 40), notSilver), 0) << "rows of full blocks";
    EXPECT_EQ(Count(img, s, QRect(0, 44, 120, 24), notSilver), 0) << "lower halves, full blocks, upper halves";
    // Each cell is 6 x scale wide, rounded as its edges are: the blocks of
    // row 9 cover exactly their cells [round(12k s), round((12k + 6) s)).
    int wrongCells = 0;
    for (int y = Edge(72, s); y < Edge(80, s); ++y)
      for (int x = 0; x < Edge(120, s); ++x) {
        bool inBlock = false;
        for (int k = 0; k < 10; ++k) inBlock = inBlock || (x >= Edge(12 * k, s) && x < Edge(12 * k + 6, s));
        wrongCells += inBlock != ((img.pixel(x, y) & 0xFFFFFF) == kSilver);
      }
    EXPECT_EQ(wrongCells, 0) << "cells off the edge rule";
    // The whole art, and the status line's text, are the 1x font scaled by
    // nearest neighbour: each font pixel fills its device pixels.
    EXPECT_EQ(Count(img, s, art1x.rect(), [&](int x, int y, QRgb c) { return c != (art1x.pixel(x, y) & 0xFFFFFF); }), 0)
        << "art";
    EXPECT_EQ(Count(img, s, QRect(0, 432, status1x.width(), 8),
                    [&](int x, int y, QRgb c) {
                      return (c == kLime) != ((status1x.pixel(x, y - 432) & 0xFFFFFF) == kSilver);
                    }),
              0)
        << "status line";
  }
}
