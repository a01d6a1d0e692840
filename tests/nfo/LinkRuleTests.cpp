// The word under the pointer, the pointer shape it gives and the target a
// click opens, on plain texts.
#include <gtest/gtest.h>

#include "nfo/LinkTarget.h"
#include "nfo/WordAtPoint.h"

namespace {

using links::PointerShape;

TEST(WordInLine, RunsToSeparatorsAndTheLineEdges) {
  const std::string line = "see http://a.b/c now";
  const std::string art = "\tx\xDB\xB2mail@host.org\xB2\xDB";
  struct Case {
    const std::string& line;
    std::int64_t position;
    const char* word;
  } cases[] = {
      {line, 0, "see"},
      {line, 2, "see"},
      {line, 3, ""},  // on the blank
      {line, 4, "http://a.b/c"},
      {line, 15, "http://a.b/c"},
      {line, 19, "now"},
      {line, 20, ""},  // just past the line's last character
      {line, -1, ""},
      {art, 0, ""},                                // the tab
      {art, 1, "x\xDB\xB2mail@host.org\xB2\xDB"},  // artwork codes belong to the word
      {art, 18, "x\xDB\xB2mail@host.org\xB2\xDB"},
  };
  for (const auto& c : cases) EXPECT_EQ(links::WordInLine(c.line, c.position), c.word) << c.position;
  EXPECT_EQ(links::WordInLine("", 0), "");
  EXPECT_EQ(links::WordInLine(std::string("a\x01"
                                          "b\x7F\xFF c",
                                          7),
                              2),
            "b\x7F\xFF");  // control codes separate

  // A web address wrapped over two display lines: each piece is judged alone.
  const std::string first = links::WordInLine("visit http://example", 8);
  const std::string second = links::WordInLine(".org/page@x now", 3);
  EXPECT_EQ(first, "http://example");
  EXPECT_EQ(links::PointerFor(first), PointerShape::Hand);
  EXPECT_EQ(second, ".org/page@x");
  EXPECT_EQ(links::PointerFor(second), PointerShape::Hand);  // holds "@" and "."

  // Positions beyond 65,536 do not wrap around.
  const std::string longLine = std::string(70000, 'x') + " http://far.example/";
  EXPECT_EQ(links::WordInLine(longLine, 70003), "http://far.example/");
}

TEST(LinkRules, PointerShapes) {
  struct Case {
    const char* word;
    PointerShape shape;
  } cases[] = {
      {"http://x", PointerShape::Hand},
      {"Http://x", PointerShape::Hand},
      {"HTTP://X", PointerShape::Hand},
      {"https://x", PointerShape::Hand},
      {"FTP://files", PointerShape::Hand},
      {"me@host.net", PointerShape::Hand},
      {".x@", PointerShape::Hand},
      {"plain", PointerShape::Arrow},
      {"", PointerShape::Arrow},
      {"ttp://x", PointerShape::Arrow},
      {"readme.txt", PointerShape::Unchanged},
      {"v1.2", PointerShape::Unchanged},
      {"@", PointerShape::Unchanged},
      {"user@localhost", PointerShape::Unchanged},
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
