// The word under the pointer, the pointer shape it gives and the target a
// click opens, on plain texts.
#include <gtest/gtest.h>

#include <vector>

#include "app/LinkTarget.h"
#include "app/WordAtPoint.h"

namespace {

using links::CharPosition;
using links::PointerShape;

// Display lines laid end to end, each followed by one line break character.
class Lines : public links::DisplayLines {
 public:
  explicit Lines(std::vector<std::string> lines) : lines_(std::move(lines)) {}
  std::int64_t LineCount() const override { return static_cast<std::int64_t>(lines_.size()); }
  std::int64_t LineStart(std::int64_t line) const override {
    std::int64_t start = 0;
    for (std::int64_t i = 0; i < line; ++i) start += static_cast<std::int64_t>(lines_[i].size()) + 1;
    return start;
  }
  std::string LineText(std::int64_t line) const override { return lines_[line]; }

 private:
  std::vector<std::string> lines_;
};

TEST(WordUnderPointer, FollowsTheLineAndSeparators) {
  const Lines text({"see http://a.b/c now", "\tx\xDB\xB2mail@host.org\xB2\xDB", "", "last"});
  struct Case {
    std::int64_t index, line;
    const char* word;
  } cases[] = {
      {0, 0, "see"},           {2, 0, "see"},          {3, 0, ""},  // on the blank
      {4, 0, "http://a.b/c"},  {15, 0, "http://a.b/c"}, {19, 0, "now"},
      {20, 0, ""},  // just past the line's last character
      {21, 1, ""},  // the tab
      {22, 1, "x\xDB\xB2mail@host.org\xB2\xDB"},  // artwork codes belong to the word
      {21 + 18, 1, "x\xDB\xB2mail@host.org\xB2\xDB"},
      {41, 2, ""},  // an empty line in the middle
      {42, 3, "last"}, {45, 3, "last"},
      {46, 3, ""},  {3, 9, ""},  {-1, 0, ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(links::WordUnderPointer(text, CharPosition{c.index, c.line}), c.word) << c.index << "," << c.line;
  EXPECT_EQ(links::WordUnderPointer(text, std::nullopt), "");

  // A final line break starts no counted line; the pointer there finds nothing.
  const Lines endsInBreak({"a@b.c", ""});
  EXPECT_EQ(links::WordUnderPointer(endsInBreak, CharPosition{6, 1}), "");
  EXPECT_EQ(links::WordUnderPointer(endsInBreak, CharPosition{0, 0}), "a@b.c");
}

TEST(WordUnderPointer, WrappedPiecesStandAloneAndLargeTextsWork) {
  // A web address wrapped over two display lines: each piece is judged alone.
  const Lines wrapped({"visit http://example", ".org/page@x now"});
  const std::string first = links::WordUnderPointer(wrapped, CharPosition{8, 0});
  const std::string second = links::WordUnderPointer(wrapped, CharPosition{22, 1});
  EXPECT_EQ(first, "http://example");
  EXPECT_EQ(links::PointerFor(first), PointerShape::Hand);
  EXPECT_EQ(second, ".org/page@x");
  EXPECT_EQ(links::PointerFor(second), PointerShape::Hand);  // holds "@" and "."

  // Beyond 65,536 characters and lines the numbers do not wrap around.
  std::vector<std::string> many(70000, "plain");
  many.back() = "http://far.example/";
  const Lines big(many);
  const std::int64_t lastLine = 69999;
  EXPECT_EQ(links::WordUnderPointer(big, CharPosition{big.LineStart(lastLine) + 3, lastLine}), "http://far.example/");
}

TEST(LinkRules, PointerShapes) {
  struct Case {
    const char* word;
    PointerShape shape;
  } cases[] = {
      {"http://x", PointerShape::Hand},       {"Http://x", PointerShape::Hand},
      {"HTTP://X", PointerShape::Hand},       {"https://x", PointerShape::Hand},
      {"FTP://files", PointerShape::Hand},    {"me@host.net", PointerShape::Hand},
      {".x@", PointerShape::Hand},            {"plain", PointerShape::Arrow},
      {"", PointerShape::Arrow},              {"ttp://x", PointerShape::Arrow},
      {"readme.txt", PointerShape::Unchanged}, {"v1.2", PointerShape::Unchanged},
      {"@", PointerShape::Unchanged},         {"user@localhost", PointerShape::Unchanged},
      {"www.example.com", PointerShape::Unchanged},
  };
  for (const auto& c : cases) EXPECT_EQ(links::PointerFor(c.word), c.shape) << c.word;
}

TEST(LinkRules, TargetIsTheAddressItself) {
  struct Case {
    const char* word;
    const char* target;
  } cases[] = {
      {"http://example.org/", "http://example.org/"},
      {"(http://example.org/a),", "http://example.org/a"},
      {"URL:HTTPS://Example.org/A?q=1.", "https://Example.org/A?q=1"},
      {"<ftp://ftp.example.org/pub>\"", "ftp://ftp.example.org/pub"},
      {"href=\"http://x.y/z\">!?", "http://x.y/z"},
      {"\xDBhttp://x.y/\xB2\xDB", "http://x.y/"},
      // A web link with a user name opens once, as a web link.
      {"http://user@host.example/", "http://user@host.example/"},
      {"http://", ""},
      {"me@host.net", "mailto:me@host.net"},
      {"<me@host.net>,", "mailto:me@host.net"},
      {"Email:first.last@mail.host.net.", "mailto:first.last@mail.host.net"},
      {"\"me@host.net\"", "mailto:me@host.net"},
      {"\xB2\xDB[me+tag@host.net]\xDB", "mailto:me+tag@host.net"},
      {"mailto:me@host.net", "mailto:me@host.net"},
      {"me@host.net?subject=x&attach=/etc/passwd", "mailto:me@host.net"},
      {"x?attach=/etc/passwd&me@host.net", "mailto:me@host.net"},
      {"host.net@", ""},
      {"@.", ""},
      {"readme.txt", ""},
      {"plain", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(links::LinkTarget(c.word), c.target) << c.word;
}

}  // namespace
