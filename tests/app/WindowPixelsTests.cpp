// The real window on an X server, grabbed from the screen and checked by
// pixels: black background, block art that tiles without gaps, and the
// status strip's text in its band at the bottom.
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
  QImage ShowAndGrab(TForm1& w) {
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
  TForm1& w = Open(WriteFile("rel/art.nfo", art));
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
