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

size_t CountLines(std::u16string_view text) {
  size_t lines = 0;
  for (size_t i = 0; i < text.size(); ++i)
    if (text[i] == u'\n' || (text[i] == u'\r' && (i + 1 == text.size() || text[i + 1] != u'\n'))) ++lines;
  if (!text.empty() && text.back() != u'\n' && text.back() != u'\r') ++lines;
  return lines;
}

std::vector<std::u16string> NfoLines(std::string_view file) { return SplitLines(DecodeText(WithoutSauce(file)).text); }

std::u16string NfoViewText(std::string_view file) {
  // The empty-line rule in one pass over the decoded text, written over it
  // in place: a kept line never moves right, since every line before it
  // gave up at least its line break for the LF written before it. No list
  // of lines is made: a file of empty lines has tens of millions of them.
  std::u16string text = DecodeText(WithoutSauce(file)).text;
  const size_t lines = CountLines(text);

  size_t read = 0, written = 0;
  // The next line: its start and length; `read` moves past its line break.
  auto next = [&](size_t& start) {
    start = read;
    while (read < text.size() && text[read] != u'\r' && text[read] != u'\n') ++read;
    const size_t length = read - start;
    if (read < text.size() && text[read] == u'\r' && read + 1 < text.size() && text[read + 1] == u'\n') ++read;
    if (read < text.size()) ++read;
    return length;
  };
  size_t start = 0;
  bool first = true;
  auto emit = [&](size_t from, size_t length) {
    if (!first) text[written++] = u'\n';
    first = false;
    std::char_traits<char16_t>::move(text.data() + written, text.data() + from, length);
    written += length;
  };
  for (size_t j = 0; j < lines;) {
    const size_t length = next(start);
    if (lines - j >= 2 && length == 0) {
      // An empty line goes; the line that takes its place is kept unexamined.
      const size_t following = next(start);
      emit(start, following);
      j += 2;
    } else {
      emit(start, length);
      j += 1;
    }
  }
  text.resize(written);
  return text;
}
