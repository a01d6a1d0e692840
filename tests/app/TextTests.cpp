// The viewer's text rules: line splitting, empty-line removal, code page 437.
#include <gtest/gtest.h>

#include <iconv.h>

#include <set>

#include "app/Cp437.h"
#include "app/NfoText.h"
#include "release/SfvEntries.h"

namespace {
using Lines = std::vector<std::string>;

Lines Removed(Lines lines) {
  RemoveEmptyLines(lines);
  return lines;
}
}  // namespace

TEST(NfoText, SplitsAtEveryKindOfLineBreak) {
  EXPECT_EQ(SplitLines("a\r\nb\nc\rd"), (Lines{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitLines("a\r\n"), (Lines{"a"}));         // a final break adds no line
  EXPECT_EQ(SplitLines("a\n\n"), (Lines{"a", ""}));
  EXPECT_EQ(SplitLines("\r\r\n"), (Lines{"", ""}));      // CR then CR LF: two breaks
  EXPECT_EQ(SplitLines("\n\r"), (Lines{"", ""}));        // LF CR is two breaks, not one
  EXPECT_EQ(SplitLines(""), Lines{});
  EXPECT_EQ(SplitLines("x"), (Lines{"x"}));
}

TEST(NfoText, EmptyLineRuleKeepsEveryOtherOfARunAndTheLastLine) {
  EXPECT_EQ(Removed({"A", "", "", "B"}), (Lines{"A", "", "B"}));
  EXPECT_EQ(Removed({"A", ""}), (Lines{"A", ""}));
  EXPECT_EQ(Removed({"A", "", "B", "", "C", ""}), (Lines{"A", "B", "C", ""}));
  EXPECT_EQ(Removed({"A", "", "", "", "B"}), (Lines{"A", "", "B"}));       // run of 3 keeps 1
  EXPECT_EQ(Removed({"A", "", "", "", "", "B"}), (Lines{"A", "", "", "B"}));  // run of 4 keeps 2
  EXPECT_EQ(Removed({"", "", ""}), (Lines{"", ""}));
  EXPECT_EQ(Removed({"  ", "A"}), (Lines{"  ", "A"}));  // blanks are not empty
  EXPECT_EQ(Removed({}), Lines{});
  EXPECT_EQ(Removed({""}), (Lines{""}));
}

TEST(NfoText, NormalizesBreaksToCrLf) {
  EXPECT_EQ(release::NormalizeLineBreaks("a\nb\rc\r\nd"), "a\r\nb\r\nc\r\nd");
  EXPECT_EQ(release::NormalizeLineBreaks("a\n"), "a\r\n");
  EXPECT_EQ(release::NormalizeLineBreaks("\n\r"), "\r\n\r\n");
  EXPECT_EQ(release::NormalizeLineBreaks(""), "");
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
      {'\t', u'\t'},  {'\r', u'\r'},  {'\n', u'\n'},  {'A', u'A'},    {0x01, u'\u263A'}, {0x1B, u'\u2190'},
      {0x7F, u'\u2302'}, {0x80, u'\u00C7'}, {0xB0, u'\u2591'}, {0xB1, u'\u2592'}, {0xB2, u'\u2593'},
      {0xB3, u'\u2502'}, {0xC4, u'\u2500'}, {0xC9, u'\u2554'}, {0xCD, u'\u2550'}, {0xDB, u'\u2588'},
      {0xDC, u'\u2584'}, {0xDD, u'\u258C'}, {0xDE, u'\u2590'}, {0xDF, u'\u2580'}, {0xE1, u'\u00DF'},
      {0xFE, u'\u25A0'}, {0xFF, u'\u00A0'},
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
