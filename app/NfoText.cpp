#include "app/NfoText.h"

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.emplace_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

void RemoveEmptyLines(std::vector<std::string>& lines) {
  // One pass, equivalent to walking i and deleting in place (which costs
  // quadratic time on a hostile file of many empty lines): an empty line is
  // dropped and the line that would move into its place is kept unexamined.
  // The walk stops when only the last line is left.
  const size_t n = lines.size();
  size_t out = 0, j = 0;
  while (n - j >= 2) {
    if (lines[j].empty()) {
      lines[out++] = std::move(lines[j + 1]);
      j += 2;
    } else {
      if (out != j) lines[out] = std::move(lines[j]);
      ++out;
      j += 1;
    }
  }
  for (; j < n; ++j, ++out)
    if (out != j) lines[out] = std::move(lines[j]);
  lines.resize(out);
}
