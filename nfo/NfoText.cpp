#include "nfo/NfoText.h"

#include "nfo/Sauce.h"
#include "nfo/TextEncoding.h"

namespace {

template <typename Char>
std::vector<std::basic_string_view<Char>> SplitViews(std::basic_string_view<Char> text) {
  std::vector<std::basic_string_view<Char>> lines;
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

template <typename Char>
std::vector<std::basic_string<Char>> Split(std::basic_string_view<Char> text) {
  const std::vector<std::basic_string_view<Char>> views = SplitViews(text);
  return {views.begin(), views.end()};
}

template <typename String>
void RemoveEmpty(std::vector<String>& lines) {
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

}  // namespace

std::vector<std::string> SplitLines(std::string_view text) { return Split(text); }
std::vector<std::u16string> SplitLines(std::u16string_view text) { return Split(text); }
void RemoveEmptyLines(std::vector<std::string>& lines) { RemoveEmpty(lines); }
void RemoveEmptyLines(std::vector<std::u16string>& lines) { RemoveEmpty(lines); }

std::vector<std::u16string> NfoLines(std::string_view file) { return SplitLines(DecodeText(WithoutSauce(file)).text); }

std::u16string NfoViewText(std::string_view file) {
  // Lines are views into the decoded text, so the text is copied once, into
  // the result, however many lines it has.
  const std::u16string text = DecodeText(WithoutSauce(file)).text;
  std::vector<std::u16string_view> lines = SplitViews(std::u16string_view(text));
  RemoveEmpty(lines);
  std::u16string shown;
  shown.reserve(text.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i != 0) shown += u'\n';
    shown += lines[i];
  }
  return shown;
}
