#pragma once
// Reading SFV files: one "name <blanks> crc" entry per line, ";" comments,
// blank lines, any line-break convention, an optional UTF-8 byte-order mark.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace release {

// One line of an SFV text that is not blank and not a comment. Either a valid
// entry (`valid`, with `name` and `crc`) or a line that cannot be understood.
struct SfvItem {
  size_t line = 0;  // 1-based line number in the SFV text
  bool valid = false;
  std::string name;  // as listed, with every '\' turned into '/'
  uint32_t crc = 0;
};

enum class SfvLineKind { Blank, Comment, Entry, Malformed };

// Classifies one line (without its line break). A line of nothing but
// blanks, tabs, CRs and NUL bytes is blank. For an entry, `name` and
// `crc` are filled. The name is everything before the last run of blanks or
// tabs that precedes the final eight hexadecimal digits (either letter
// case); blanks around the line are ignored. A name that is empty, absolute,
// holds a ".." folder level or a NUL byte is not a valid entry: listed files
// always lie inside the release folder.
SfvLineKind ClassifySfvLine(std::string_view line, std::string* name = nullptr, uint32_t* crc = nullptr);

// True when `name` ('/' separated) stays inside the folder it is looked up
// in: not empty, not absolute, no ".." folder level, no NUL byte.
bool IsSafeRelativeName(const std::string& name);

// Every entry and every malformed line of `text`, in order. Lines end at
// CR LF, a lone CR or a lone LF; a leading UTF-8 byte-order mark is ignored.
std::vector<SfvItem> ParseSfv(std::string_view text);

// The names of the valid entries of `text`, in order.
std::vector<std::string> SfvEntryNames(std::string_view text);

// `text` with every line break (CR LF, lone CR, lone LF) written as CR LF.
std::string NormalizeLineBreaks(std::string_view text);

// The listed file of an entry inside `folder`: the exact name when it exists,
// otherwise the entry found with letter case ignored, otherwise, for a name
// wrapped in one pair of double quotes, the name without them found the same
// way, otherwise the path as built from the folder text and the name (which
// then names nothing).
std::string ListedFilePath(const std::string& folder, const std::string& name);

}  // namespace release
