#include "settings/ProfileText.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace settings {

namespace {

constexpr std::string_view kBlanks = " \t\r\v\f";

std::string_view Trim(std::string_view s) {
  const auto first = s.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(kBlanks);
  return s.substr(first, last - first + 1);
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

// One line of the file with what it means.
struct Line {
  std::string_view text;                    // without its line break
  std::optional<std::string_view> section;  // set for a "[name]" line
  std::optional<std::string_view> key;      // set for a key line
  std::string_view value;                   // raw text after the first '=' of a key line
};

Line Classify(std::string_view text) {
  Line line{text, std::nullopt, std::nullopt, {}};
  const std::string_view t = Trim(text);
  if (t.empty() || t.front() == ';') return line;
  if (t.front() == '[') {
    std::string_view name = t.substr(1);
    name = name.substr(0, name.find(']'));
    line.section = Trim(name);
    return line;
  }
  const auto eq = t.find('=');
  if (eq == std::string_view::npos) {
    line.key = t;  // a key without a value
  } else {
    line.key = Trim(t.substr(0, eq));
    line.value = t.substr(eq + 1);
  }
  return line;
}

std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    auto end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(Classify(line));
    start = end + 1;
  }
  return lines;
}

// Index of the first header line of `section`, if any.
std::optional<std::size_t> FindSection(const std::vector<Line>& lines, std::string_view section) {
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (lines[i].section && EqualNoCase(*lines[i].section, section)) return i;
  return std::nullopt;
}

// One past the last line belonging to the section whose header is at `header`.
std::size_t SectionEnd(const std::vector<Line>& lines, std::size_t header) {
  std::size_t i = header + 1;
  while (i < lines.size() && !lines[i].section) ++i;
  return i;
}

std::optional<std::size_t> FindKey(const std::vector<Line>& lines, std::size_t header, std::string_view key) {
  const std::size_t end = SectionEnd(lines, header);
  for (std::size_t i = header + 1; i < end; ++i)
    if (lines[i].key && EqualNoCase(*lines[i].key, key)) return i;
  return std::nullopt;
}

bool HasLineBreakOrNul(std::string_view s) { return s.find_first_of(std::string_view("\r\n\0", 3)) != s.npos; }

bool IsCleanName(std::string_view s) { return !s.empty() && !HasLineBreakOrNul(s) && Trim(s) == s; }

}  // namespace

std::string ProfileLookup(std::string_view text, std::string_view section, std::string_view key) {
  const auto lines = SplitLines(text);
  const auto header = FindSection(lines, Trim(section));
  if (!header) return {};
  const auto at = FindKey(lines, *header, Trim(key));
  if (!at) return {};
  std::string_view value = Trim(lines[*at].value);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
    value = value.substr(1, value.size() - 2);
  return std::string(value.substr(0, kProfileReadLimit));
}

bool ProfileEntryStorable(std::string_view section, std::string_view key, std::string_view value) {
  return IsCleanName(section) && section.find(']') == section.npos && IsCleanName(key) && key.find('=') == key.npos &&
         key.front() != '[' && key.front() != ';' && value.find_first_of("\r\n") == value.npos;
}

std::string ProfileUpdate(std::string_view text, std::string_view section, std::string_view key,
                          std::string_view value) {
  const auto lines = SplitLines(text);
  std::vector<std::string_view> out;
  out.reserve(lines.size() + 2);
  for (const Line& line : lines) out.push_back(line.text);

  // Reading drops blanks around a value and then one pair of enclosing
  // quotes: a value those would change is written inside one more pair.
  const bool enclosed =
      value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front();
  const bool padded =
      !value.empty() && (kBlanks.find(value.front()) != kBlanks.npos || kBlanks.find(value.back()) != kBlanks.npos);
  std::string entry;
  entry.reserve(key.size() + 3 + value.size());
  entry.append(key).append("=");
  if (enclosed || padded)
    entry.append("\"").append(value).append("\"");
  else
    entry.append(value);

  std::string header;
  if (const auto at = FindSection(lines, section)) {
    if (const auto k = FindKey(lines, *at, key)) {
      out[*k] = entry;
    } else {
      // After the section's last non-blank line, so blank lines that separate
      // it from the next section stay where they are.
      std::size_t pos = SectionEnd(lines, *at);
      while (pos > *at + 1 && Trim(lines[pos - 1].text).empty()) --pos;
      out.insert(out.begin() + static_cast<std::ptrdiff_t>(pos), entry);
    }
  } else {
    header.append("[").append(section).append("]");
    out.push_back(header);
    out.push_back(entry);
  }

  std::string result;
  std::size_t size = 0;
  for (auto s : out) size += s.size() + 1;
  result.reserve(size);
  for (auto s : out) result.append(s).push_back('\n');
  return result;
}

}  // namespace settings
