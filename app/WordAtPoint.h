#pragma once
// The word under the mouse pointer in a text box, and what it means as a
// link. Texts are 8-bit characters compared as unsigned values: codes 0 to 32
// separate words, every other code (punctuation and the artwork's codes above
// 127 included) belongs to a word. A word never crosses a display line.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace links {

// The display lines of a text box as the rule reads them: with word wrap on,
// every wrapped line counts on its own.
class DisplayLines {
 public:
  virtual ~DisplayLines() = default;
  virtual std::int64_t LineCount() const = 0;               // all display lines
  virtual std::int64_t LineStart(std::int64_t line) const = 0;  // index of its first character, -1 if none
  virtual std::string LineText(std::int64_t line) const = 0;    // its characters, without the line break
};

// The character the pointer is over: its index in the whole text and its
// display line, both from 0. Full-width numbers, so every line of a large
// text has its links.
struct CharPosition {
  std::int64_t index;
  std::int64_t line;
};

// The maximal run of word characters in `line` around the 0-based `position`,
// or "" when the position lies outside the line or on a separator.
std::string WordInLine(std::string_view line, std::int64_t position);

// The word under the pointer: "" when there is no position, the line is not
// counted (an empty last line is not), or the position is not on a word.
std::string WordUnderPointer(const DisplayLines& lines, std::optional<CharPosition> at);

// A web link holds a "http://", "https://" or "ftp://" scheme, letter case ignored.
bool IsWebLink(std::string_view word);
// An e-mail link holds an "@" and a ".", in any order.
bool IsMailLink(std::string_view word);

enum class PointerShape { Hand, Arrow, Unchanged };

// The pointer over a word: the hand over a link, the arrow over a word free
// of any scheme, "@" and "." (or over no word); otherwise it stays as it was.
PointerShape PointerFor(std::string_view word);

}  // namespace links
