#include "release/SfvEntries.h"

#include <algorithm>

#include "release/ListedFiles.h"

namespace release {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// Calls `onLine(number, text)` for every line of `text`.
template <typename F>
void ForEachLine(std::string_view text, F onLine) {
  size_t number = 0, pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    onLine(++number, text.substr(pos, end - pos));
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++end;
    pos = end + 1;
  }
}

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

}  // namespace

bool IsSafeRelativeName(const std::string& name) {
  if (name.empty() || name.front() == '/' || name.find('\0') != std::string::npos) return false;
  size_t start = 0;
  for (;;) {
    size_t slash = name.find('/', start);
    std::string_view part(name.data() + start, (slash == std::string::npos ? name.size() : slash) - start);
    if (part == "..") return false;
    if (slash == std::string::npos) return true;
    start = slash + 1;
  }
}

SfvLineKind ClassifySfvLine(std::string_view line, std::string* name, uint32_t* crc) {
  line = TrimBlanks(line);
  // Some tools end the file with a line of NUL bytes (and stray CRs): blank too.
  if (line.find_first_not_of(std::string_view(" \t\r\0", 4)) == std::string_view::npos) return SfvLineKind::Blank;
  if (line.front() == ';') return SfvLineKind::Comment;
  if (line.size() < 10) return SfvLineKind::Malformed;  // a name, a blank and eight digits at least

  uint32_t value = 0;
  for (char c : line.substr(line.size() - 8)) {
    int digit = HexValue(c);
    if (digit < 0) return SfvLineKind::Malformed;
    value = (value << 4) | static_cast<uint32_t>(digit);
  }
  std::string_view rest = line.substr(0, line.size() - 8);
  if (!IsBlank(rest.back())) return SfvLineKind::Malformed;
  rest = TrimBlanks(rest);

  std::string listed(rest);
  std::replace(listed.begin(), listed.end(), '\\', '/');
  if (!IsSafeRelativeName(listed)) return SfvLineKind::Malformed;
  if (name) *name = std::move(listed);
  if (crc) *crc = value;
  return SfvLineKind::Entry;
}

std::vector<SfvItem> ParseSfv(std::string_view text) {
  if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) text.remove_prefix(kUtf8Bom.size());
  std::vector<SfvItem> items;
  ForEachLine(text, [&](size_t number, std::string_view line) {
    SfvItem item;
    item.line = number;
    switch (ClassifySfvLine(line, &item.name, &item.crc)) {
      case SfvLineKind::Blank:
      case SfvLineKind::Comment: return;
      case SfvLineKind::Entry: item.valid = true; break;
      case SfvLineKind::Malformed: break;
    }
    items.push_back(std::move(item));
  });
  return items;
}

std::vector<std::string> SfvEntryNames(std::string_view text) {
  std::vector<std::string> names;
  for (auto& item : ParseSfv(text))
    if (item.valid) names.push_back(std::move(item.name));
  return names;
}

std::string NormalizeLineBreaks(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      out += "\r\n";
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += c;
    }
  }
  return out;
}

std::string ListedFilePath(const std::string& folder, const std::string& name) {
  return ListedFiles(folder).Path(name);
}

}  // namespace release
