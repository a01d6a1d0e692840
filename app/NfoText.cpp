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
  for (size_t i = 0; i + 1 < lines.size(); ++i) {
    if (lines[i].empty()) lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
  }
}
