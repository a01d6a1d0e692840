#pragma once
// Turning an .nfo file's bytes into the viewer's lines.
#include <string>
#include <string_view>
#include <vector>

// Splits text into lines at CR, LF and CR LF. A line break at the very end
// does not start a further, empty line; an empty text has no lines.
std::vector<std::string> SplitLines(std::string_view text);

// Removes empty lines by the viewer's long-standing rule: walk i from 0 while
// i < (current line count - 1); delete line i when it is empty; advance i
// whether or not a line was deleted. So the last line is never examined and
// of a run of empty lines every other one survives.
void RemoveEmptyLines(std::vector<std::string>& lines);
