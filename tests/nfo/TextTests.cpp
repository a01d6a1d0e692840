// The viewer's text rules: line splitting, empty-line removal, code page 437,
// encoding detection, SAUCE records, the character grid.
#include <gtest/gtest.h>

#include <iconv.h>

#include <set>

#include "nfo/CharCells.h"
#include "nfo/Cp437.h"
#include "nfo/NfoText.h"
#include "nfo/Sauce.h"
#include "nfo/TextEncoding.h"

namespace {
using Lines = std::vector<std::string>;

// A string literal's bytes, NULs included.
template <size_t N>
std::string Bytes(const char (&s)[N]) {
  return std::string(s, N - 1);
}

Lines Removed(Lines lines) {
  RemoveEmptyLines(lines);
  return lines;
}
}  // namespace

TEST(NfoText, SplitsAtEveryKindOfLineBreak) {
  EXPECT_EQ(SplitLines("a\r\nb\nc\rd"), (Lines{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitLines("a\r\n"), (Lines{"a"}));  // a final break adds no line
  EXPECT_EQ(SplitLines("a\n\n"), (Lines{"a", ""}));
  EXPECT_EQ(SplitLines("\r\r\n"), (Lines{"", ""}));  // CR then CR LF: two breaks
  EXPECT_EQ(SplitLines("\n\r"), (Lines{"", ""}));    // LF CR is two breaks, not one
  EXPECT_EQ(SplitLines(""), Lines{});
  EXPECT_EQ(SplitLines("x"), (Lines{"x"}));
}

TEST(NfoText, EmptyLineRuleKeepsEveryOtherOfARunAndTheLastLine) {
  EXPECT_EQ(Removed({"A", "", "", "B"}), (Lines{"A", "", "B"}));
  EXPECT_EQ(Removed({"A", ""}), (Lines{"A", ""}));
  EXPECT_EQ(Removed({"A", "", "B", "", "C", ""}), (Lines{"A", "B", "C", ""}));
  EXPECT_EQ(Removed({"A", "", "", "", "B"}), (Lines{"A", "", "B"}));          // run of 3 keeps 1
  EXPECT_EQ(Removed({"A", "", "", "", "", "B"}), (Lines{"A", "", "", "B"}));  // run of 4 keeps 2
  EXPECT_EQ(Removed({"", "", ""}), (Lines{"", ""}));
  EXPECT_EQ(Removed({"  ", "A"}), (Lines{"  ", "A"}));  // blanks are not empty
  EXPECT_EQ(Removed({}), Lines{});
  EXPECT_EQ(Removed({""}), (Lines{""}));
}

TEST(Cp437, EveryByteHasItsOwnCharacter) {
  std::set<char16_t> seen;
  for (int b = 0; b < 256; ++b) {
    char16_t c = Cp437ToUnicode(static_cast<unsigned char>(b));
    EXPECT_NE(c, 0) << b;
    seen.insert(c);
  }
  // 0x00 and 0x20 both show blank; everything else is distinct.
  EXPECT_EQ(seen.size(), 255u);
}

TEST(Cp437, ArtCharactersAndControlsMapAsOnThePcScreen) {
  struct Case {
    unsigned char byte;
    char16_t expected;
  } cases[] = {
      {'\t', u'\t'},     {'\r', u'\r'},     {'\n', u'\n'},     {'A', u'A'},       {0x01, u'\u263A'}, {0x1B, u'\u2190'},
      {0x7F, u'\u2302'}, {0x80, u'\u00C7'}, {0xB0, u'\u2591'}, {0xB1, u'\u2592'}, {0xB2, u'\u2593'}, {0xB3, u'\u2502'},
      {0xC4, u'\u2500'}, {0xC9, u'\u2554'}, {0xCD, u'\u2550'}, {0xDB, u'\u2588'}, {0xDC, u'\u2584'}, {0xDD, u'\u258C'},
      {0xDE, u'\u2590'}, {0xDF, u'\u2580'}, {0xE1, u'\u00DF'}, {0xFE, u'\u25A0'}, {0xFF, u'\u00A0'},
  };
  for (const auto& c : cases) EXPECT_EQ(Cp437ToUnicode(c.byte), c.expected) << int(c.byte);
  EXPECT_EQ(Cp437Decode("\xDB\xDF\xDC"), u"\u2588\u2580\u2584");
}

TEST(Cp437, UpperHalfAndPrintableAsciiMatchTheSystemConverter) {
  // glibc's converter is an independent table of the same code page; the
  // control range and 0x7F are drawn as graphics here, unlike there.
  iconv_t cd = iconv_open("UTF-16LE", "CP437");
  ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
  for (int b = 0x20; b < 0x100; ++b) {
    if (b == 0x7F) continue;
    char in = static_cast<char>(b);
    char16_t out = 0;
    char* inp = &in;
    char* outp = reinterpret_cast<char*>(&out);
    size_t inLeft = 1, outLeft = sizeof out;
    ASSERT_NE(iconv(cd, &inp, &inLeft, &outp, &outLeft), static_cast<size_t>(-1)) << b;
    EXPECT_EQ(Cp437ToUnicode(static_cast<unsigned char>(b)), out) << std::hex << b;
  }
  iconv_close(cd);
}

TEST(Cp437, AllCp437CharactersOnlyWhenTheFontDrawsEveryOne) {
  EXPECT_TRUE(AllCp437Characters(u""));
  EXPECT_TRUE(AllCp437Characters(u"art \u2588\u2592\u00A0\u263A\t\n\r"));
  EXPECT_FALSE(AllCp437Characters(u"\u2588\u4E2D"));  // CJK
  EXPECT_FALSE(AllCp437Characters(u"\U0001F600"));    // a surrogate pair
  EXPECT_FALSE(AllCp437Characters(u"a\xDC00"));       // a lone surrogate
  EXPECT_FALSE(AllCp437Characters(u"\u2500\u0394"));  // Greek capital delta: not in the code page
}

TEST(NfoText, EmptyLineRuleMatchesTheLineByLineWalkOnEveryShortText) {
  // Every text of up to 10 lines, each empty or not, against the walk that
  // deletes in place.
  for (int len = 0; len <= 10; ++len) {
    for (int mask = 0; mask < (1 << len); ++mask) {
      Lines lines;
      for (int k = 0; k < len; ++k) lines.push_back((mask >> k) & 1 ? std::to_string(k) : "");
      Lines walked = lines;
      for (size_t i = 0; i + 1 < walked.size(); ++i)
        if (walked[i].empty()) walked.erase(walked.begin() + static_cast<std::ptrdiff_t>(i));
      EXPECT_EQ(Removed(lines), walked) << len << " " << mask;
    }
  }
}

TEST(NfoText, EmptyLineRuleStaysLinearOnHugeTexts) {
  Lines lines(2'000'000);  // a hostile file of nothing but line breaks
  RemoveEmptyLines(lines);
  EXPECT_EQ(lines.size(), 1'000'000u);
}

TEST(NfoText, ViewTextIsTheKeptLinesJoinedByLineFeeds) {
  struct Case {
    std::string file;
    std::u16string shown;
  } cases[] = {
      {"A\r\n\r\n\r\nB\r\n", u"A\n\nB"},            // a run of two empty lines keeps one
      {"\xB1\xDB\r\n\r\nx\n", u"\u2592\u2588\nx"},  // code page 437 art
      {"\xEF\xBB\xBF"
       "a\r\xE2\x94\x80\n",
       u"a\n\u2500"},  // UTF-8
      {"\n\n\n", u"\n"},
      {"A\r\n\r\nB\r\n\r\nC\r\n\r\n", u"A\nB\nC\n"},  // the last line is never examined
      {"\r\r\nx", u"\nx"},
      {"A\n", u"A"},
      {"", u""},
  };
  for (const auto& c : cases) EXPECT_TRUE(NfoViewText(c.file) == c.shown) << c.file;
}

TEST(TextEncoding, DetectsTheEncodingAndDecodesEveryKindOfFile) {
  using E = TextEncoding;
  struct Case {
    const char* what;
    std::string bytes;
    E encoding;
    bool mark;
    std::u16string text;
  };
  const Case cases[] = {
      {"empty file", "", E::Cp437, false, u""},
      {"plain ASCII", "Hi\r\n", E::Cp437, false, u"Hi\r\n"},
      {"code page 437 art", "\xDB\xDB\xB1\xC9\xCD\xBB", E::Cp437, false, u"\u2588\u2588\u2592\u2554\u2550\u2557"},
      {"Latin-1 letter", "caf\xE9", E::Cp437, false, u"caf\u0398"},
      {"valid pair, then art", "\xC3\xA9 \xDB", E::Cp437, false, u"\u251C\u2310 \u2588"},
      {"overlong slash", "\xC0\xAF", E::Cp437, false, u"\u2514\u00BB"},
      {"surrogate written as UTF-8", "\xED\xA0\x80", E::Cp437, false, u"\u03C6\u00E1\u00C7"},
      {"UTF-8 without a mark", "\xE2\x96\x88\xC3\xA9", E::Utf8, false, u"\u2588\u00E9"},
      {"UTF-8 emoji", "a\xF0\x9F\x98\x80", E::Utf8, false, u"a\U0001F600"},
      {"UTF-8 with a mark",
       "\xEF\xBB\xBF"
       "A\xE2\x94\x80",
       E::Utf8, true, u"A\u2500"},
      {"UTF-8 mark, plain ASCII", "\xEF\xBB\xBFok", E::Utf8, true, u"ok"},
      {"only a UTF-8 mark", "\xEF\xBB\xBF", E::Utf8, true, u""},
      {"UTF-8 mark, bad bytes",
       "\xEF\xBB\xBF"
       "a\xFF"
       "b\xE2\x94",
       E::Utf8, true, u"a\uFFFDb\uFFFD"},
      {"UTF-8 controls as art", "\xEF\xBB\xBF\x01\x1A\t\x7F", E::Utf8, true, u"\u263A\u2192\t\u2302"},
      {"UTF-16 LE",
       Bytes("\xFF\xFE"
             "A\0\x88\x25"),
       E::Utf16Le, true, u"A\u2588"},
      {"UTF-16 BE", Bytes("\xFE\xFF\0A\x25\x88"), E::Utf16Be, true, u"A\u2588"},
      {"only a UTF-16 mark", "\xFF\xFE", E::Utf16Le, true, u""},
      {"odd-length UTF-16",
       Bytes("\xFF\xFE"
             "A\0B"),
       E::Utf16Le, true, u"A\uFFFD"},
      {"UTF-16 pair", Bytes("\xFF\xFE\x3D\xD8\x00\xDE"), E::Utf16Le, true, u"\U0001F600"},
      {"lone high surrogate",
       Bytes("\xFF\xFE\x00\xD8"
             "A\0"),
       E::Utf16Le, true, u"\uFFFDA"},
      {"lone low surrogate at the end", Bytes("\xFE\xFF\xDC\x00"), E::Utf16Be, true, u"\uFFFD"},
      {"high surrogate cut off", Bytes("\xFF\xFE\x00\xD8\x00"), E::Utf16Le, true, u"\uFFFD\uFFFD"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const DecodedText d = DecodeText(c.bytes);
    EXPECT_EQ(d.encoding, c.encoding);
    EXPECT_EQ(d.byteOrderMark, c.mark);
    EXPECT_TRUE(d.text == c.text);
  }
}

TEST(Sauce, OnlyARecordAtTheEndIsRemoved) {
  auto record = [](int comments) {
    std::string r = "SAUCE00" + std::string(121, ' ');
    r[104] = static_cast<char>(comments);
    return r;
  };
  const std::string art = "\xDB\xDB\r\nart\x1A more\r\n";
  const std::string comment = "COMNT" + std::string(128, 'c');
  struct Case {
    const char* what;
    std::string file;
    std::string shown;
  } cases[] = {
      {"record after the end-of-file byte", art + "\x1A" + record(0), art},
      {"record with two comment lines", art + "\x1A" + comment + record(2), art},
      {"record without the end-of-file byte", art + record(0), art},
      {"announced comment missing", art + "\x1A" + record(2), art},
      {"only a record", "\x1A" + record(0), ""},
      {"no record", art + "\x1A", art + "\x1A"},
      {"record not at the end", art + record(0) + "x", art + record(0) + "x"},
      {"other version", art + "SAUCE01" + record(0).substr(7), art + "SAUCE01" + record(0).substr(7)},
      {"too short", "SAUCE00", "SAUCE00"},
  };
  for (const auto& c : cases) EXPECT_EQ(WithoutSauce(c.file), c.shown) << c.what;
}

TEST(CharCells, EveryCharacterTakesWholeCellsAndTabsAlign) {
  struct Case {
    std::u16string line;
    std::vector<int> columns;
    int width;
  } cases[] = {
      {u"A\u2588\u2592\u00E9", {0, 1, 2, 3}, 4},  // code page 437: one cell each
      {u"A\u4E2DB", {0, 1, 3}, 4},                // CJK: two cells
      {u"\U0001F600x", {0, 2}, 3},                // emoji (a surrogate pair): two cells
      {u"e\u0301x", {0, 1, 1}, 2},                // a combining accent takes none
      {u"a\tb\t\tc", {0, 8, 24}, 25},             // tabs go to the next multiple of 8
      {u"\xD800x", {0, 1}, 2},                    // a lone surrogate is one character
  };
  for (const auto& c : cases) {
    int width = -1;
    std::vector<int> columns;
    for (const PlacedChar& p : PlaceLine(c.line, width)) columns.push_back(p.column);
    EXPECT_EQ(columns, c.columns);
    EXPECT_EQ(width, c.width);
  }
}
