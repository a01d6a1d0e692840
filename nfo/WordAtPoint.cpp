#include "nfo/WordAtPoint.h"

#include <algorithm>
#include <array>

#include "nfo/Cp437.h"

namespace links {

namespace {

bool IsWordChar(char c) { return static_cast<unsigned char>(c) > 32; }

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool ContainsNoCase(std::string_view haystack, std::string_view needle) {
  return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end(),
                     [](char a, char b) { return Lower(a) == Lower(b); }) != haystack.end();
}

// The byte a shown character stands for: the text holds the .nfo bytes as
// their code page 437 characters. Characters outside that set (typed ones)
// count as word characters.
unsigned char ByteOf(char16_t c) {
  static const auto table = [] {
    std::array<unsigned char, 0x10000> t{};
    t.fill(0xFF);
    for (int b = 255; b >= 0; --b) t[Cp437ToUnicode(static_cast<unsigned char>(b))] = static_cast<unsigned char>(b);
    for (int b = 0; b < 128; ++b) t[b] = static_cast<unsigned char>(b);  // plain ASCII stands for itself
    return t;
  }();
  return table[c];
}

}  // namespace

std::string WordInRow(std::u16string_view row, std::size_t position) {
  if (position >= row.size() || ByteOf(row[position]) <= 32) return {};
  std::size_t a = position, b = position + 1;
  while (a > 0 && ByteOf(row[a - 1]) > 32) --a;
  while (b < row.size() && ByteOf(row[b]) > 32) ++b;
  std::string bytes(b - a, '\0');
  for (std::size_t i = a; i < b; ++i) bytes[i - a] = static_cast<char>(ByteOf(row[i]));
  return WordInLine(bytes, static_cast<std::int64_t>(position - a));
}

std::string WordInLine(std::string_view line, std::int64_t position) {
  if (position < 0 || static_cast<std::uint64_t>(position) >= line.size()) return {};
  const auto p = static_cast<std::size_t>(position);
  if (!IsWordChar(line[p])) return {};
  std::size_t a = p, b = p;
  while (a > 0 && IsWordChar(line[a - 1])) --a;
  while (b + 1 < line.size() && IsWordChar(line[b + 1])) ++b;
  return std::string(line.substr(a, b - a + 1));
}

bool IsWebLink(std::string_view word) {
  static constexpr std::array<std::string_view, 3> kSchemes = {"http://", "https://", "ftp://"};
  return std::any_of(kSchemes.begin(), kSchemes.end(), [&](std::string_view s) { return ContainsNoCase(word, s); });
}

bool IsMailLink(std::string_view word) { return word.find('@') != word.npos && word.find('.') != word.npos; }

PointerShape PointerFor(std::string_view word) {
  if (IsWebLink(word) || IsMailLink(word)) return PointerShape::Hand;
  if (word.find_first_of("@.") == word.npos) return PointerShape::Arrow;
  return PointerShape::Unchanged;
}

}  // namespace links
