#pragma once
// Turning an .nfo file's bytes into the viewer's lines.
#include <string>
#include <string_view>
#include <vector>

// Splits text into lines at CR, LF and CR LF. A line break at the very end
// does not start a further, empty line; an empty text has no lines.
std::vector<std::string> SplitLines(std::string_view text);
std::vector<std::u16string> SplitLines(std::u16string_view text);

// The number of lines SplitLines finds, without making them.
size_t CountLines(std::u16string_view text);

// Removes empty lines by the viewer's long-standing rule: walk i from 0 while
// i < (current line count - 1); delete line i when it is empty; advance i
// whether or not a line was deleted. So the last line is never examined and
// of a run of empty lines every other one survives.
void RemoveEmptyLines(std::vector<std::string>& lines);
void RemoveEmptyLines(std::vector<std::u16string>& lines);

// Every line of an .nfo file as characters: without a SAUCE record at its
// end, decoded from its encoding (code page 437, UTF-8 or UTF-16), split at
// its line breaks. The empty-line rule is not applied.
std::vector<std::u16string> NfoLines(std::string_view file);

// The viewer's text of an .nfo file: its lines (as NfoLines gives them) after
// the empty-line rule, joined by LF.
std::u16string NfoViewText(std::string_view file);
