#pragma once
// The word under the mouse pointer in a text box, and what it means as a
// link. Texts are 8-bit characters compared as unsigned values: codes 0 to 32
// separate words, every other code (punctuation and the artwork's codes above
// 127 included) belongs to a word. A word never crosses a display line.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace links {

// The maximal run of word characters in the display line `line` (a wrapped
// line counts on its own when word wrap is on) around the 0-based `position`
// of the character under the pointer, or "" when that position lies outside
// the line or on a separator. Positions are full-width numbers, so links work
// anywhere in a large text.
std::string WordInLine(std::string_view line, std::int64_t position);

// The same for a display line of shown characters: each stands for the byte
// code page 437 has for it (plain ASCII for itself), and a character outside
// code page 437 counts as a word character. Only the word is looked at, not
// the whole line: a line of an .nfo file may be megabytes long.
std::string WordInRow(std::u16string_view row, std::size_t position);

// A web link holds a "http://", "https://" or "ftp://" scheme, letter case ignored.
bool IsWebLink(std::string_view word);
// An e-mail link holds an "@" and a ".", in any order.
bool IsMailLink(std::string_view word);

enum class PointerShape { Hand, Arrow, Unchanged };

// The pointer over a word: the hand over a link, the arrow over a word free
// of any scheme, "@" and "." (or over no word); otherwise it stays as it was.
PointerShape PointerFor(std::string_view word);

}  // namespace links
