// The real program's --render command, run as a process with no display:
// the picture it writes, checked by pixels, and its errors.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>

#include <iconv.h>

#include <cstdio>
#include <filesystem>

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

TEST(Render, ScaleMakesEveryFontPixelASquare) {
  TempDir dir;
  const std::string art = "\xC9\xCD\xBB \xDB\xB2\xB1\xB0 Az\r\n\xC8\xCD\xBC \xDC\xDF\xDD\xDE \x01\r\n";
  const QImage one = Picture(dir, "art.nfo", art);
  for (const int n : {2, 3}) {
    const QImage scaled = Picture(dir, "art.nfo", art, "--scale " + std::to_string(n));
    ASSERT_EQ(scaled.size(), one.size() * n);
    int wrong = 0;
    for (int y = 0; y < scaled.height(); ++y)
      for (int x = 0; x < scaled.width(); ++x) wrong += scaled.pixel(x, y) != one.pixel(x / n, y / n);
    EXPECT_EQ(wrong, 0) << "scale " << n;
  }
  EXPECT_EQ(Picture(dir, "art.nfo", art, "--scale=8 --columns 2").size(), QSize(2 * 6 * 8, 2 * 8 * 8));
}

TEST(Render, PicturesBeyondWhatPngHoldsAreRefusedBeforeDrawing) {
  TempDir dir;
  std::string lines;
  for (int i = 0; i < 125001; ++i) lines += "x\n";
  WriteFile(dir / "lines.nfo", lines);
  WriteFile(dir / "wide.nfo", std::string(166667, '\xDB'));
  struct Case {
    std::string file, more, message;
  } cases[] = {
      {"lines.nfo", "",
       "would be 1000008 pixels high, more than the 1000000 pixels a side of a PNG picture may have: 1 line too many "
       "(125000 lines fit at --scale 1)"},
      {"lines.nfo", "--scale 8",
       "8000064 pixels high, more than the 1000000 pixels a side of a PNG picture may have: 109376 lines too many "
       "(15625 lines fit at --scale 8)"},
      {"wide.nfo", "",
       "would be 1000002 pixels wide, more than the 1000000 pixels a side of a PNG picture may have: 1 column too many "
       "(--columns 166666 fits at --scale 1)"},
      {"wide.nfo", "--columns 90000 --scale 2", "1080000 pixels wide"},
      {"wide.nfo", "--scale 9", "--scale needs a whole number from 1 to 8, not '9'"},
      {"wide.nfo", "--scale 0", "--scale needs a whole number from 1 to 8, not '0'"},
  };
  for (const Case& c : cases) {
    const Outcome run = Render(dir, "'" + (dir / c.file) + "' " + c.more + " -o '" + (dir / "out.png") + "'");
    EXPECT_EQ(run.exitCode, 2) << c.file << " " << c.more;
    EXPECT_NE(run.errors.find(c.message), std::string::npos) << c.file << " " << c.more << "\n" << run.errors;
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "out.png"));
}

TEST(Render, OnlyANewOrRegularFileIsWrittenAndEverythingElseIsLeftAsItWas) {
  TempDir dir;
  WriteFile(dir / "art.nfo", "\xDB\xDB");
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  std::filesystem::create_directory(dir / "folder");
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(mknod((dir / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
  }
  struct Case {
    std::string name, kind;
  };
  std::vector<Case> cases = {{"fifo", "a FIFO"}, {"folder", "a folder"}};
  if (root) cases.push_back({"null", "a character device"});
  for (size_t i = 0, n = cases.size(); i < n; ++i) {
    std::filesystem::create_symlink(dir / cases[i].name, dir / (cases[i].name + "-link"));
    cases.push_back({cases[i].name + "-link", "a link to " + cases[i].kind});
  }
  std::filesystem::create_symlink(dir / "nothing", dir / "dangling");
  cases.push_back({"dangling", "a link to nothing"});

  auto state = [&](const std::string& name) {
    struct stat st {};
    lstat((dir / name).c_str(), &st);
    std::error_code ec;
    return std::to_string(st.st_mode) + ":" + std::to_string(st.st_rdev) + ":" + std::to_string(st.st_ino) + ":" +
           std::filesystem::read_symlink(dir / name, ec).string();
  };
  for (const Case& c : cases) {
    const std::string before = state(c.name);
    const Outcome run = Render(dir, "'" + (dir / "art.nfo") + "' -o '" + (dir / c.name) + "'");
    EXPECT_EQ(run.exitCode, 2) << c.name;
    EXPECT_NE(run.errors.find("will not write the picture to " + (dir / c.name) + ": it is " + c.kind),
              std::string::npos)
        << c.name << "\n"
        << run.errors;
    EXPECT_EQ(state(c.name), before) << c.name << " was changed";
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir / "folder"));

  // A regular file is replaced, also through a link, and the link stays.
  WriteFile(dir / "old.png", "old");
  std::filesystem::create_symlink(dir / "old.png", dir / "old-link.png");
  ASSERT_EQ(Render(dir, "'" + (dir / "art.nfo") + "' -o '" + (dir / "old-link.png") + "'").exitCode, 0);
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "old-link.png"));
  EXPECT_EQ(QImage(QString::fromStdString(dir / "old.png")).size(), QSize(12, 8));
}
