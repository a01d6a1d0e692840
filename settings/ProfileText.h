#pragma once
// The text rules of a Windows-style profile (INI) file, without any file
// access: looking a key up and producing the text after a key is written.
//
// Reading: section and key names match with ASCII letter case ignored; blanks
// around names and values are dropped, then one pair of matching enclosing
// quotes ('...' or "..."); at most kProfileReadLimit characters are returned.
// Lines may end in "\n" or "\r\n".
// Writing: the key's line is replaced where it stands, or the key is appended
// after the last line of its section, or a new section is appended at the end.
// A value that begins or ends with a blank, or begins and ends with the same
// quote, is written inside one more pair of double quotes, so that every
// value reads back as it was written. Every other line is kept as it was;
// lines are written with "\n".
#include <cstddef>
#include <string>
#include <string_view>

namespace settings {

inline constexpr std::size_t kProfileReadLimit = 2047;

// The value of `key` in `section`, or "" when the section or key is missing.
std::string ProfileLookup(std::string_view text, std::string_view section, std::string_view key);

// True when `section`, `key` and `value` can be stored so that they read back:
// names non-empty, without line breaks or NUL and without blanks at their
// ends; a key without '=' that does not start with '[' or ';'; a section
// without ']'; a value without line breaks.
bool ProfileEntryStorable(std::string_view section, std::string_view key, std::string_view value);

// The text after writing key=value into `section`. The entry must be storable.
std::string ProfileUpdate(std::string_view text, std::string_view section, std::string_view key,
                          std::string_view value);

}  // namespace settings
