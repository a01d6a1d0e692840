// Loads the program's 6x8 bitmap font through Qt the way the window does and
// checks what reaches the screen: the cell size, the coverage of code page
// 437, and by pixels that blocks, shades and lines tile without gaps.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QRawFont>
#include <QStringList>

#include <iconv.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <vector>

#include "nfo/CellFont.h"

namespace {

constexpr int kCellW = 6;
constexpr int kCellH = 8;
const QString kFamily = QStringLiteral("Lumeskar Terminal");
const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kSilver = qRgb(0xC0, 0xC0, 0xC0);

int LoadFont() {
  static int argc = 1;
  static char name[] = "font_tests";
  static char* argv[] = {name, nullptr};
  // Left alive to the end: destroying it among the other statics at exit
  // would tear Qt down in the wrong order.
  static QApplication* app = new QApplication(argc, argv);
  (void)app;
  static int id =
      QFontDatabase::addApplicationFont(QStringLiteral(LUMESKAR_SOURCE_DIR "/app/fonts/LumeskarTerminal.bdf"));
  return id;
}

QFont TerminalFont() {
  LoadFont();
  QFont f(kFamily);
  f.setPixelSize(8);
  f.setStyleStrategy(QFont::StyleStrategy(QFont::NoAntialias | QFont::NoFontMerging));
  f.setHintingPreference(QFont::PreferNoHinting);
  return f;
}

// The characters a code page 437 screen shows for each byte. The control
// range and 0x7F are the PC's graphic characters; the rest comes from the C
// library's converter, an independent reference for the upper half.
std::vector<char32_t> Cp437Characters() {
  static const char32_t kLow[32] = {0x0020, 0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022,
                                    0x25D8, 0x25CB, 0x25D9, 0x2642, 0x2640, 0x266A, 0x266B, 0x263C,
                                    0x25BA, 0x25C4, 0x2195, 0x203C, 0x00B6, 0x00A7, 0x25AC, 0x21A8,
                                    0x2191, 0x2193, 0x2192, 0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC};
  std::vector<char32_t> out(kLow, kLow + 32);
  iconv_t cd = iconv_open("UTF-32LE", "CP437");
  EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << "no CP437 converter";
  for (int b = 0x20; b < 0x100; ++b) {
    char in = static_cast<char>(b);
    char32_t cp = 0;
    char* inp = &in;
    char* outp = reinterpret_cast<char*>(&cp);
    size_t inLeft = 1, outLeft = sizeof cp;
    if (cd == reinterpret_cast<iconv_t>(-1) || iconv(cd, &inp, &inLeft, &outp, &outLeft) == size_t(-1))
      ADD_FAILURE() << "CP437 byte " << b << " did not convert";
    out.push_back(b == 0x7F ? char32_t(0x2302) : cp);
  }
  if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
  return out;
}

QString FromUcs4(char32_t cp) { return QString::fromUcs4(&cp, 1); }

// Draws the lines as the viewer does: black ground, silver pen, one line per
// 8 pixels.
QImage Render(const QStringList& lines) {
  const QFont font = TerminalFont();
  qsizetype cols = 0;
  for (const QString& l : lines) cols = std::max(cols, l.size());
  QImage img(int(cols) * kCellW, int(lines.size()) * kCellH, QImage::Format_RGB32);
  img.fill(kBlack);
  QPainter p(&img);
  p.setFont(font);
  p.setPen(QColor(kSilver));
  const int ascent = QFontMetrics(font).ascent();
  for (int i = 0; i < lines.size(); ++i) p.drawText(0, i * kCellH + ascent, lines[i]);
  return img;
}

QStringList Repeat(const QString& ch, int cols, int rows) {
  QStringList out;
  for (int r = 0; r < rows; ++r) out << ch.repeated(cols);
  return out;
}

bool Lit(const QImage& img, int x, int y) { return img.pixel(x, y) != kBlack; }

// Pixels are either ground or pen: a bitmap strike must not be smoothed.
void ExpectTwoColours(const QImage& img) {
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if (img.pixel(x, y) != kBlack && img.pixel(x, y) != kSilver) {
        ADD_FAILURE() << "blended pixel at " << x << "," << y;
        return;
      }
}

// Number of 4-connected groups of lit pixels.
int LitComponents(const QImage& img) {
  const int w = img.width(), h = img.height();
  std::vector<char> seen(size_t(w) * h, 0);
  int groups = 0;
  for (int sy = 0; sy < h; ++sy)
    for (int sx = 0; sx < w; ++sx) {
      if (!Lit(img, sx, sy) || seen[size_t(sy) * w + sx]) continue;
      ++groups;
      std::vector<std::pair<int, int>> stack{{sx, sy}};
      seen[size_t(sy) * w + sx] = 1;
      while (!stack.empty()) {
        auto [x, y] = stack.back();
        stack.pop_back();
        const int nx[4] = {x + 1, x - 1, x, x};
        const int ny[4] = {y, y, y + 1, y - 1};
        for (int k = 0; k < 4; ++k) {
          if (nx[k] < 0 || ny[k] < 0 || nx[k] >= w || ny[k] >= h) continue;
          char& s = seen[size_t(ny[k]) * w + nx[k]];
          if (!s && Lit(img, nx[k], ny[k])) {
            s = 1;
            stack.push_back({nx[k], ny[k]});
          }
        }
      }
    }
  return groups;
}

TEST(font, LoadsAsAFixedSixByEightCell) {
  ASSERT_GE(LoadFont(), 0) << "the BDF did not load";
  EXPECT_TRUE(QFontDatabase::applicationFontFamilies(LoadFont()).contains(kFamily));
  const QFont font = TerminalFont();
  EXPECT_EQ(QFontInfo(font).family(), kFamily);
  const QFontMetrics fm(font);
  EXPECT_EQ(fm.height(), kCellH);
  EXPECT_EQ(fm.ascent(), 7);
  EXPECT_EQ(fm.descent(), 1);

  QString all;
  for (char32_t cp : Cp437Characters()) {
    EXPECT_EQ(fm.horizontalAdvance(FromUcs4(cp)), kCellW) << "U+" << std::hex << unsigned(cp);
    all += FromUcs4(cp);
  }
  EXPECT_EQ(fm.horizontalAdvance(all), 256 * kCellW);
}

TEST(font, HasAGlyphForEveryCodePage437Byte) {
  const QFont font = TerminalFont();
  const QRawFont raw = QRawFont::fromFont(font);
  ASSERT_TRUE(raw.isValid());
  const QFontMetrics fm(font);
  const std::vector<char32_t> chars = Cp437Characters();
  ASSERT_EQ(chars.size(), 256u);
  for (size_t b = 0; b < chars.size(); ++b) {
    EXPECT_TRUE(raw.supportsCharacter(chars[b])) << "byte 0x" << std::hex << b;
    EXPECT_TRUE(fm.inFontUcs4(chars[b])) << "byte 0x" << std::hex << b;
  }
}

TEST(font, BlocksFillExactlyTheirPartOfEveryCell) {
  struct Case {
    const char* what;
    QString ch;
    std::function<bool(int x, int y)> lit;  // cell coordinates
  };
  const Case cases[] = {
      {"full block", QStringLiteral("\u2588"), [](int, int) { return true; }},
      {"upper half", QStringLiteral("\u2580"), [](int, int y) { return y < 4; }},
      {"lower half", QStringLiteral("\u2584"), [](int, int y) { return y >= 4; }},
      {"left half", QStringLiteral("\u258C"), [](int x, int) { return x < 3; }},
      {"right half", QStringLiteral("\u2590"), [](int x, int) { return x >= 3; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const QImage img = Render(Repeat(c.ch, 10, 3));
    ExpectTwoColours(img);
    int wrong = 0;
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x)
        if (Lit(img, x, y) != c.lit(x % kCellW, y % kCellH)) ++wrong;
    EXPECT_EQ(wrong, 0);
  }
}

TEST(font, ShadesHaveTheirDensityAndTileSeamlessly) {
  struct Case {
    const char* what;
    QString ch;
    double density;
  };
  const Case cases[] = {
      {"light", QStringLiteral("\u2591"), 0.25},
      {"medium", QStringLiteral("\u2592"), 0.50},
      {"dark", QStringLiteral("\u2593"), 0.75},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const QImage img = Render(Repeat(c.ch, 8, 4));
    ExpectTwoColours(img);
    int lit = 0;
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x) lit += Lit(img, x, y);
    EXPECT_NEAR(double(lit) / (img.width() * img.height()), c.density, 0.04);

    // Seamless: the whole area repeats with a period shorter than the cell,
    // so a cell boundary is indistinguishable from the inside of a cell.
    auto periodic = [&](int px, int py) {
      for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
          if (x + px < img.width() && Lit(img, x, y) != Lit(img, x + px, y)) return false;
          if (y + py < img.height() && Lit(img, x, y) != Lit(img, x, y + py)) return false;
        }
      return true;
    };
    bool seamless = false;
    for (int px : {1, 2, 3})
      for (int py : {1, 2, 4}) seamless = seamless || periodic(px, py);
    EXPECT_TRUE(seamless);
  }
}

TEST(font, LinesRunUnbrokenAcrossCells) {
  // Number of pixel rows (or columns) lit from one end of the image to the other.
  auto fullLines = [](const QImage& img, bool rows) {
    const int lines = rows ? img.height() : img.width();
    const int length = rows ? img.width() : img.height();
    int n = 0;
    for (int i = 0; i < lines; ++i) {
      bool full = true;
      for (int j = 0; j < length; ++j) full = full && (rows ? Lit(img, j, i) : Lit(img, i, j));
      n += full;
    }
    return n;
  };
  auto fullRows = [&](const QImage& img) { return fullLines(img, true); };
  auto fullColumns = [&](const QImage& img) { return fullLines(img, false); };
  EXPECT_EQ(fullRows(Render(Repeat(QStringLiteral("\u2500"), 10, 1))), 1);  // ─
  EXPECT_EQ(fullRows(Render(Repeat(QStringLiteral("\u2550"), 10, 1))), 2);  // ═
  EXPECT_EQ(fullRows(Render(Repeat(QStringLiteral("_"), 10, 1))), 1);
  EXPECT_EQ(fullColumns(Render(Repeat(QStringLiteral("\u2502"), 1, 5))), 1);  // │
  EXPECT_EQ(fullColumns(Render(Repeat(QStringLiteral("\u2551"), 1, 5))), 2);  // ║
  // Crossings keep both lines whole.
  const QImage cross = Render(Repeat(QStringLiteral("\u253C"), 5, 5));  // ┼
  EXPECT_EQ(fullRows(cross), 5);
  EXPECT_EQ(fullColumns(cross), 5);
}

// A frame drawn from corners, junctions and lines: a gap splits a line into
// more groups of pixels, a leak between the two strokes of a double line
// merges them, so the number of groups tells whether every joint is right.
TEST(font, FramesJoinAtEveryCornerAndJunction) {
  struct Case {
    const char* what;
    QStringList rows;
    int groups;
  };
  const Case cases[] = {
      {"single grid", {u"┌─┬─┐"_qs, u"│ │ │"_qs, u"├─┼─┤"_qs, u"│ │ │"_qs, u"└─┴─┘"_qs}, 1},
      // The outer stroke of a double frame and the inner stroke of each pane.
      {"double grid", {u"╔═╦═╗"_qs, u"║ ║ ║"_qs, u"╠═╬═╣"_qs, u"║ ║ ║"_qs, u"╚═╩═╝"_qs}, 5},
      {"double frame", {u"╔══╗"_qs, u"║  ║"_qs, u"╚══╝"_qs}, 2},
      {"double across, single down", {u"╒═╤═╕"_qs, u"│ │ │"_qs, u"╞═╪═╡"_qs, u"│ │ │"_qs, u"╘═╧═╛"_qs}, 1},
      {"single across, double down", {u"╓─╥─╖"_qs, u"║ ║ ║"_qs, u"╟─╫─╢"_qs, u"║ ║ ║"_qs, u"╙─╨─╜"_qs}, 1},
      {"single box inside a double one", {u"╔═══╗"_qs, u"║┌─┐║"_qs, u"║└─┘║"_qs, u"╚═══╝"_qs}, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const QImage img = Render(c.rows);
    ExpectTwoColours(img);
    EXPECT_EQ(LitComponents(img), c.groups);
  }
}

// Letters and digits keep column 5 clear, and row 7 unless they descend, so
// that text never touches its neighbours or the line below.
TEST(font, LettersLeaveTheirSpacingClear) {
  const QString descenders = QStringLiteral("gjpqy");
  QString text;
  for (char c = 'A'; c <= 'Z'; ++c) text += QChar(c);
  for (char c = 'a'; c <= 'z'; ++c) text += QChar(c);
  for (char c = '0'; c <= '9'; ++c) text += QChar(c);
  const QImage img = Render({text});
  for (int i = 0; i < text.size(); ++i) {
    SCOPED_TRACE(text[i].toLatin1());
    bool anyLit = false;
    for (int y = 0; y < kCellH; ++y) {
      EXPECT_FALSE(Lit(img, i * kCellW + 5, y));
      for (int x = 0; x < kCellW; ++x) anyLit = anyLit || Lit(img, i * kCellW + x, y);
    }
    EXPECT_TRUE(anyLit);
    bool row7 = false;
    for (int x = 0; x < kCellW; ++x) row7 = row7 || Lit(img, i * kCellW + x, 7);
    EXPECT_EQ(row7, descenders.contains(text[i]));
  }
}

// The window and --render draw from our own reading of the BDF: every glyph
// of it is the glyph Qt draws from the same file.
TEST(font, OurReadingOfTheBdfGivesEveryGlyphQtDraws) {
  std::ifstream in(LUMESKAR_SOURCE_DIR "/app/fonts/LumeskarTerminal.bdf", std::ios::binary);
  const std::string bdf((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::optional<CellFont> font = CellFont::FromBdf(bdf);
  ASSERT_TRUE(font.has_value());
  const std::vector<char32_t> chars = Cp437Characters();
  QString all;
  for (char32_t cp : chars) all += FromUcs4(cp);
  const QImage img = Render({all});
  int wrong = 0;
  for (size_t i = 0; i < chars.size(); ++i) {
    const CellFont::Glyph* glyph = font->Find(chars[i]);
    ASSERT_NE(glyph, nullptr) << "U+" << std::hex << unsigned(chars[i]);
    for (int y = 0; y < kCellH; ++y)
      for (int x = 0; x < kCellW; ++x)
        wrong += bool((*glyph)[size_t(y)] & (0x20 >> x)) != Lit(img, int(i) * kCellW + x, y);
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(font->Find(0x4E2D), nullptr);   // the font lacks CJK: a fallback font draws it
  EXPECT_EQ(font->Find(0x0100), nullptr);   // lacking, beside U+0192, which it has
  EXPECT_EQ(font->Find(0x1F600), nullptr);  // beyond the basic multilingual plane
  EXPECT_FALSE(CellFont::FromBdf("not a font").has_value());
}

}  // namespace
