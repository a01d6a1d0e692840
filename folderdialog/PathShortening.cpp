#include "folderdialog/PathShortening.h"

#include <algorithm>
#include <vector>

namespace {

// One character of the path: the bytes of a UTF-8 sequence, or one stray byte.
using Chars = std::vector<std::string_view>;

size_t SequenceLength(std::string_view s, size_t i) {
  const auto b = static_cast<unsigned char>(s[i]);
  size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
  if (n == 0 || i + n > s.size()) return 1;
  for (size_t k = 1; k < n; ++k) {
    if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 1;
  }
  return n;
}

Chars Split(std::string_view s) {
  Chars out;
  for (size_t i = 0; i < s.size();) {
    const size_t n = SequenceLength(s, i);
    out.push_back(s.substr(i, n));
    i += n;
  }
  return out;
}

std::string Join(Chars::const_iterator first, Chars::const_iterator last) {
  std::string out;
  for (; first != last; ++first) out.append(*first);
  return out;
}

std::string Head(const Chars& c, size_t n) { return Join(c.begin(), c.begin() + std::min(n, c.size())); }

// Position (from 1) of the first separator in c[from..], counted from `from`; 0 when none.
size_t FirstSeparator(const Chars& c, size_t from) {
  for (size_t i = from; i < c.size(); ++i) {
    if (c[i] == "/") return i - from + 1;
  }
  return 0;
}

}  // namespace

std::string ShortenPath(std::string_view path, int limit) {
  const Chars s = Split(path);
  const size_t m = limit < 0 ? 0 : static_cast<size_t>(limit);
  if (s.size() <= m || limit < 6 || FirstSeparator(s, 0) == 0) return Head(s, m);

  // `rest` is the part of the path still to be placed, as an index into s.
  size_t rest = 0;
  size_t resultLength = 0;  // in characters
  std::string result;
  if (s.size() >= 2 && s[0] == "/" && s[1] == "/") {
    result = "//";
    resultLength = 2;
    rest = 2;
  }
  size_t p = FirstSeparator(s, rest);
  if (p == 0) return Head(s, m);  // "//server" without a further separator
  // What stands before the first separator (a drive, a server, nothing at all
  // for an absolute path) is kept; a folder to drop and a last part must follow.
  if (std::count(s.begin() + rest + p - 1, s.end(), "/") < 2) return Head(s, m);
  result += Join(s.begin() + rest, s.begin() + rest + p) + "...";
  resultLength += p + 3;

  // Drop leading folders (at least one) until the remainder fits after a separator.
  do {
    rest += p;
    p = FirstSeparator(s, rest);
  } while (resultLength + (s.size() - rest) + 1 > m && p != 0);

  const std::string tail = Join(s.begin() + rest, s.end());
  if (resultLength + (s.size() - rest) + 1 <= m) return result + "/" + tail;
  // The last part alone is too long: cut it and mark the cut.
  return Head(Split(result + "/" + tail), m - 3) + "...";
}
