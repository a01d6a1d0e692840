#include <gtest/gtest.h>

#include <string>

#include "folderdialog/PathShortening.h"

namespace {

size_t CodePoints(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

struct Case {
  std::string path;
  std::string expected;
};

TEST(PathShortening, LongPathsKeepTheirStartAndAsMuchOfTheEndAsFits) {
  const std::string name69(69, 'x');
  const Case cases[] = {
      // Drive-like start (72 characters -> 40).
      {"C:/Program Files/Some Long Folder Name/Another Folder/Target Folder Name",
       "C:/.../Another Folder/Target Folder Name"},
      // Network path of 64 characters: the server stays (-> 48).
      {"//server/share/projects/2004/releases/incoming/unpacked/disc one",
       "//server/.../releases/incoming/unpacked/disc one"},
      // The last part alone is too long: cut to exactly 50 with "..." at the end.
      {"C:/a/" + name69, "C:/.../" + std::string(40, 'x') + "..."},
      // Ordinary absolute paths keep the leading separator.
      {"/home/someone/Some Long Folder Name/Another Folder/Target Folder Name",
       "/.../Another Folder/Target Folder Name"},
      // Linux paths: the same with nothing before the first separator.
      {"/a/" + name69, "/.../" + std::string(42, 'x') + "..."},
      {"/home/someone/Downloads/Releases/Some.Game-GROUP/unpacked image",
       "/.../Releases/Some.Game-GROUP/unpacked image"},
      // Folders are dropped only until the rest fits.
      {"/" + std::string(30, 'a') + "/" + std::string(10, 'b') + "/" + std::string(10, 'c'),
       "/.../" + std::string(10, 'b') + "/" + std::string(10, 'c')},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ShortenPath(c.path), c.expected) << c.path;
  }
  EXPECT_EQ(ShortenPath(cases[0].path).size(), 40u);
  EXPECT_EQ(ShortenPath(cases[1].path).size(), 48u);
  EXPECT_EQ(ShortenPath(cases[1].path.substr(0, 64)).size(), 48u);
  EXPECT_EQ(cases[1].path.size(), 64u);
  EXPECT_EQ(ShortenPath(cases[2].path).size(), 50u);
}

TEST(PathShortening, ShortOrFlatPathsAreOnlyCut) {
  const std::string fits = "/home/someone/Documents/some folder";
  const std::string exactly50 = "/" + std::string(24, 'a') + "/" + std::string(24, 'b');
  const std::string oneSeparatorLate = "C:/" + std::string(60, 'z');
  const std::string noSeparator(70, 'q');
  const std::string rootOnly = "/" + std::string(60, 'r');
  const Case cases[] = {
      {fits, fits},
      {exactly50, exactly50},
      {oneSeparatorLate, oneSeparatorLate.substr(0, 50)},
      {noSeparator, noSeparator.substr(0, 50)},
      {rootOnly, rootOnly.substr(0, 50)},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ShortenPath(c.path), c.expected) << c.path;
  // Limits below 6 only cut.
  EXPECT_EQ(ShortenPath("/a/b/c/d/e/f/g", 5), "/a/b/");
}

TEST(PathShortening, CountsCharactersNotBytes) {
  // 10 + 3 * 20 characters, but far more bytes: only the character count decides.
  const std::string umlauts = "/daten/\u00e4\u00e4\u00e4/" + std::string(20, 'x');
  EXPECT_EQ(ShortenPath(umlauts), umlauts);

  std::string deep = "/";
  for (int i = 0; i < 8; ++i) deep += "\u0105\u017c\u00e4\u00f6\u00fc\u00df\u0142\u0119/";
  deep += "\u017c\u00f3\u0142w";
  const std::string shortened = ShortenPath(deep);
  EXPECT_LE(CodePoints(shortened), 50u);
  EXPECT_EQ(shortened.substr(0, 5), "/.../");
  EXPECT_EQ(shortened.substr(shortened.size() - 7), "\u017c\u00f3\u0142w");

  // A cut through a long last part never splits a character.
  const std::string longLast = "/a/b/" + [] {
    std::string s;
    for (int i = 0; i < 60; ++i) s += "\u00e4";
    return s;
  }();
  const std::string cut = ShortenPath(longLast);
  EXPECT_EQ(CodePoints(cut), 50u);
  EXPECT_EQ(cut.substr(cut.size() - 5), "\u00e4...");

  // Bytes that are not UTF-8 pass through as single characters.
  const std::string raw = "/x/\xff\xfe" + std::string(60, 'y');
  const std::string rawCut = ShortenPath(raw);
  EXPECT_EQ(rawCut, "/.../\xff\xfe" + std::string(40, 'y') + "...");
}

}  // namespace
