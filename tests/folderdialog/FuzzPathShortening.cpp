// Path shortening and caption lookup on arbitrary bytes: no crash, the result
// never exceeds the limit in characters, and a UTF-8 character is never split.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "folderdialog/CaptionLists.h"
#include "folderdialog/PathShortening.h"
#include "tests/common/FuzzTarget.h"

namespace {
size_t Characters(const std::string& s) {
  size_t n = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    const auto b = static_cast<unsigned char>(s[i]);
    size_t len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 1;
    bool valid = i + len <= s.size();
    for (size_t k = 1; valid && k < len; ++k) valid = (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
    i += valid ? len - 1 : 0;
    ++n;
  }
  return n;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int limit = data[0] % 80;
  const std::string path(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string shortened = ShortenPath(path, limit);
  if (Characters(shortened) > static_cast<size_t>(limit)) std::abort();

  CaptionList lines;
  size_t start = 1;
  for (size_t i = 1; i <= size; ++i) {
    if (i == size || data[i] == '\n') {
      lines.emplace_back(reinterpret_cast<const char*>(data + start), i - start);
      start = i + 1;
    }
  }
  (void)LookupCaption(lines, path.substr(0, 4));
  return 0;
}
