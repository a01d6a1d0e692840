// The real window on an X server, grabbed from the screen and checked by
// pixels: black background, block art that tiles without gaps, the status
// strip's text in its band at the bottom, and UTF-8 art drawn exactly as the
// same art in code page 437.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QTest>

#include "WindowFixture.h"

namespace {
const QRgb kSilver = qRgb(0xC0, 0xC0, 0xC0);
const QRgb kLime = qRgb(0x00, 0xFF, 0x00);

bool IsBlack(QRgb c) { return (c & 0xFFFFFF) == 0; }

class WindowPixelsTest : public WindowTest {
 protected:
  QImage ShowAndGrab(TForm1TestAccess& w) {
    w.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&w));
    QTest::qWait(200);
    QImage img = w.screen()->grabWindow(w.winId()).toImage().convertToFormat(QImage::Format_RGB32);
    img.save(QString::fromStdString(Path("window.png")));
    return img;
  }
};
}  // namespace

TEST_F(WindowPixelsTest, BlockArtTilesWithoutGapsOnABlackWindow) {
  ASSERT_NE(QGuiApplication::platformName(), "offscreen") << "run under xvfb-run with QT_QPA_PLATFORM=xcb";
  // Rows 0-4: full blocks; row 5: lower halves; rows 6-7: full; row 8: upper halves.
  std::string full(20, '\xDB'), lower(20, '\xDC'), upper(20, '\xDF');
  std::string art;
  for (int i = 0; i < 5; ++i) art += full + "\r\n";
  art += lower + "\r\n" + full + "\r\n" + full + "\r\n" + upper + "\r\n";
  art += "\xC9\xCD\xCD\xCD\xBB\r\n\xBA   \xBA\r\n\xC8\xCD\xCD\xCD\xBC\r\n";
  TForm1TestAccess& w = Open(WriteFile("rel/art.nfo", art));
  QImage img = ShowAndGrab(w);
  ASSERT_EQ(img.size(), QSize(531, 452));

  // Rows 0-4 of full blocks: every pixel of the 120 x 40 block is art.
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 120; ++x) ASSERT_EQ(img.pixel(x, y), kSilver) << x << "," << y;
  // Lower halves: the top half of row 5 is background, then solid art
  // through the full rows into the top half of row 8.
  for (int x = 0; x < 120; ++x) {
    for (int y = 40; y < 44; ++y) ASSERT_TRUE(IsBlack(img.pixel(x, y))) << x << "," << y;
    for (int y = 44; y < 68; ++y) ASSERT_EQ(img.pixel(x, y), kSilver) << x << "," << y;
    for (int y = 68; y < 72; ++y) ASSERT_TRUE(IsBlack(img.pixel(x, y))) << x << "," << y;
  }
  // Right of the art and below the text: background.
  EXPECT_TRUE(IsBlack(img.pixel(200, 20)));
  EXPECT_TRUE(IsBlack(img.pixel(300, 300)));
  EXPECT_TRUE(IsBlack(img.pixel(300, 447)));

  // The double-line box: its top edge is unbroken across the five cells.
  int edgeRow = -1;
  for (int y = 72; y < 80 && edgeRow < 0; ++y)
    if (img.pixel(3 * 6, y) == kSilver && img.pixel(2 * 6, y) == kSilver) edgeRow = y;
  ASSERT_GE(edgeRow, 0);
  for (int x = 3; x < 27; ++x) EXPECT_EQ(img.pixel(x, edgeRow), kSilver) << x;

  // Lime text only in the status strip's band, and some of it there.
  int limeInBand = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if (img.pixel(x, y) == kLime) {
        ASSERT_GE(y, 432) << x;
        ASSERT_LT(y, 452) << x;
        ++limeInBand;
      }
  EXPECT_GT(limeInBand, 200);
}

TEST_F(WindowPixelsTest, Utf8ArtLooksExactlyLikeTheSameArtInCodePage437) {
  ASSERT_NE(QGuiApplication::platformName(), "offscreen") << "run under xvfb-run with QT_QPA_PLATFORM=xcb";
  const std::string cp437 =
      "\xC9\xCD\xCB\xCD\xBB \xDB\xB2\xB1\xB0 caf\x82\r\n\xC8\xCD\xCA\xCD\xBC \xDC\xDF\xDD\xDE\r\n";
  const std::string utf8 =
      "\xEF\xBB\xBF\xE2\x95\x94\xE2\x95\x90\xE2\x95\xA6\xE2\x95\x90\xE2\x95\x97 \xE2\x96\x88\xE2\x96\x93\xE2\x96\x92"
      "\xE2\x96\x91 caf\xC3\xA9\r\n\xE2\x95\x9A\xE2\x95\x90\xE2\x95\xA9\xE2\x95\x90\xE2\x95\x9D \xE2\x96\x84\xE2\x96"
      "\x80\xE2\x96\x8C\xE2\x96\x90\r\n";
  const QRect viewer(0, 0, 200, 24);
  const QImage expected = ShowAndGrab(Open(WriteFile("rel/cp437.nfo", cp437))).copy(viewer);
  const QImage shown = ShowAndGrab(Open(WriteFile("rel/utf8.nfo", utf8))).copy(viewer);
  EXPECT_EQ(shown, expected);
  EXPECT_EQ(expected.pixel(6 * 6 + 2, 3), kSilver) << "the full block is on screen";
}
