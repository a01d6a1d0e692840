#pragma once
// The follow-up command box holds a command line that is split into words by
// shell quoting rules when it runs. A program picked with the file dialog goes
// into the box as exactly one word.
#include <string>
#include <string_view>

namespace settings {

// `path` as it is written into the command box: unchanged when it holds no
// blank, quote or backslash; otherwise in single quotes (a quote inside
// written as '\''), so that blanks do not split it and quotes do not leave
// the command unbalanced.
std::string CommandWordForPath(std::string_view path);

}  // namespace settings
