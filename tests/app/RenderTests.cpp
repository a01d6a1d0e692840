// The real program's --render command, run as a process with no display:
// the picture it writes, checked by pixels, and its errors.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QImage>

#include <iconv.h>

#include <cstdio>

#include "TempDir.h"

using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kSilver = qRgb(0xC0, 0xC0, 0xC0);

struct Outcome {
  int exitCode = -1;
  std::string errors;  // standard error
};

// Runs `lumeskar --render` with `args` (already quoted) and no display.
Outcome Render(const TempDir& dir, const std::string& args) {
  const std::string errFile = dir / "stderr.txt";
  const std::string command = std::string("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '") +
                              LUMESKAR_BINARY_DIR + "/lumeskar' --render " + args + " 2>'" + errFile + "'";
  const int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, testing_support::ReadFile(errFile)};
}

// Renders `bytes` saved as `name` and loads the picture.
QImage Picture(const TempDir& dir, const std::string& name, const std::string& bytes, const std::string& more = "") {
  WriteFile(dir / name, bytes);
  const std::string png = dir / (name + ".png");
  const Outcome run = Render(dir, "'" + (dir / name) + "' -o '" + png + "' " + more);
  EXPECT_EQ(run.exitCode, 0) << run.errors;
  EXPECT_EQ(run.errors, "");
  return QImage(QString::fromStdString(png)).convertToFormat(QImage::Format_RGB32);
}

std::string Convert(const std::string& bytes, const char* to) {
  iconv_t cd = iconv_open(to, "CP437");
  EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
  std::string out(bytes.size() * 4 + 4, '\0');
  char* in = const_cast<char*>(bytes.data());
  char* o = out.data();
  size_t inLeft = bytes.size(), outLeft = out.size();
  EXPECT_NE(iconv(cd, &in, &inLeft, &o, &outLeft), size_t(-1));
  iconv_close(cd);
  out.resize(out.size() - outLeft);
  return out;
}

// Whether every pixel of the rectangle has colour `c`.
bool All(const QImage& img, QRect r, QRgb c) {
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x)
      if (img.pixel(x, y) != c) return false;
  return true;
}

}  // namespace

TEST(Render, TheSameArtInEveryEncodingGivesTheSamePicture) {
  TempDir dir;
  // Blocks, shades, single and double lines, accented letters, and control
  // bytes that show as graphics.
  const std::string art =
      "\xC9\xCD\xCD\xCB\xCD\xCD\xBB  caf\x82 \x01\x1A\r\n"
      "\xBA\xDB\xB2\xBA\xB1\xB0\xBA \xDC\xDF\xDD\xDE\r\n"
      "\xC8\xCD\xCD\xCA\xCD\xCD\xBC  \xC4\xC5\xB3 na\xA4ve\r\n";
  const QImage cp437 = Picture(dir, "cp437.nfo", art);
  ASSERT_EQ(cp437.size(), QSize(18 * 6, 3 * 8));
  EXPECT_EQ(Picture(dir, "utf8.nfo", Convert(art, "UTF-8")), cp437);
  EXPECT_EQ(Picture(dir, "utf8-bom.nfo", "\xEF\xBB\xBF" + Convert(art, "UTF-8")), cp437);
  EXPECT_EQ(Picture(dir, "utf16.nfo", "\xFF\xFE" + Convert(art, "UTF-16LE")), cp437);
  EXPECT_EQ(Picture(dir, "utf16be.nfo", "\xFE\xFF" + Convert(art, "UTF-16BE")), cp437);
}

TEST(Render, BlockRowsTileWithoutGapsAndEveryLineIsDrawn) {
  TempDir dir;
  const std::string full(80, '\xDB');
  // Empty lines stay in the picture: the viewer's empty-line rule is not applied.
  const QImage img = Picture(dir, "wide.nfo", full + "\r\n" + full + "\r\n\r\n\r\n" + std::string(80, '\xDF') + "\n");
  ASSERT_EQ(img.size(), QSize(480, 5 * 8));
  EXPECT_TRUE(All(img, QRect(0, 0, 480, 16), kSilver));
  EXPECT_TRUE(All(img, QRect(0, 16, 480, 16), kBlack));
  EXPECT_TRUE(All(img, QRect(0, 32, 480, 4), kSilver));  // upper halves
  EXPECT_TRUE(All(img, QRect(0, 36, 480, 4), kBlack));

  // --columns sets the width: longer lines are cut, shorter ones padded.
  EXPECT_EQ(Picture(dir, "wide.nfo", full, "--columns 100").size(), QSize(600, 8));
  EXPECT_EQ(Picture(dir, "wide.nfo", full, "--columns=10").size(), QSize(60, 8));
}

TEST(Render, SauceRecordIsLeftOutAndAnEndOfFileByteInTheTextShows) {
  TempDir dir;
  const std::string art = "\xDB\x1A\xDB\r\n\xB1\xB1\xB1\r\n";
  std::string sauce = "SAUCE00" + std::string(121, ' ');
  sauce[104] = 1;  // one comment line
  const std::string comment = "COMNT" + std::string(64, 'c');
  const QImage plain = Picture(dir, "plain.nfo", art);
  EXPECT_EQ(Picture(dir, "sauce.nfo", art + "\x1A" + comment + sauce), plain);
  ASSERT_EQ(plain.size(), QSize(18, 16));
  EXPECT_FALSE(All(plain, QRect(6, 0, 6, 8), kBlack)) << "the 0x1A in the text shows its arrow";
}

TEST(Render, CharactersOutsideCodePage437KeepTheGrid) {
  TempDir dir;
  // A CJK character and an emoji take two cells each, drawn inside them; the
  // text around them stays where it is without them.
  const QImage mixed =
      Picture(dir, "mixed.nfo", "\xEF\xBB\xBF\xE2\x96\x88\xE4\xB8\xAD\xE2\x96\x88\xF0\x9F\x98\x80\xE2\x96\x88");
  const QImage spaced = Picture(dir, "spaced.nfo", "\xDB  \xDB  \xDB");
  ASSERT_EQ(mixed.size(), QSize(7 * 6, 8));
  ASSERT_EQ(spaced.size(), mixed.size());
  for (int x : {0, 3, 6}) EXPECT_EQ(mixed.copy(x * 6, 0, 6, 8), spaced.copy(x * 6, 0, 6, 8)) << "column " << x;
}

TEST(Render, WritesBesideTheInputByDefaultAndReportsErrors) {
  TempDir dir;
  WriteFile(dir / "art.nfo", "\xDB\xDB");
  ASSERT_EQ(Render(dir, "'" + (dir / "art.nfo") + "'").exitCode, 0);
  EXPECT_EQ(QImage(QString::fromStdString(dir / "art.png")).size(), QSize(12, 8));

  WriteFile(dir / "empty.nfo", "");
  WriteFile(dir / "self.png", "x");
  struct Case {
    std::string args;
    std::string message;
  } cases[] = {
      {"", "lumeskar --render: missing file operand\nUsage: lumeskar --render"},
      {"'" + (dir / "art.nfo") + "' --columns 0", "--columns needs a whole number from 1 to"},
      {"'" + (dir / "art.nfo") + "' --columns", "option '--columns' needs a value"},
      {"'" + (dir / "art.nfo") + "' -o ''", "option '-o' needs a value"},
      {"'" + (dir / "art.nfo") + "' --colour red", "unknown option '--colour'"},
      {"'" + (dir / "art.nfo") + "' other.nfo", "extra operand 'other.nfo'"},
      {"'" + (dir / "gone.nfo") + "'", "lumeskar: cannot read " + (dir / "gone.nfo") + ": No such file"},
      {"'" + dir.path() + "'", "lumeskar: cannot read " + dir.path() + ": Is a directory"},
      {"'" + (dir / "empty.nfo") + "'", "empty.nfo holds no text to render"},
      {"'" + (dir / "self.png") + "'", "will not write the picture over"},
      {"'" + (dir / "art.nfo") + "' -o '" + (dir / "no/such/folder.png") + "'", "cannot write"},
  };
  for (const Case& c : cases) {
    const Outcome run = Render(dir, c.args);
    EXPECT_EQ(run.exitCode, 2) << c.args;
    EXPECT_NE(run.errors.find(c.message), std::string::npos) << c.args << "\n" << run.errors;
  }
  EXPECT_EQ(testing_support::ReadFile(dir / "self.png"), "x");
}
