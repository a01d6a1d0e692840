// libFuzzer target: the SFV parser over arbitrary bytes. Every valid entry
// it reports must stay inside the release folder and re-parse to itself.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "release/SfvEntries.h"
#include "tests/common/FuzzTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto items = release::ParseSfv(text);
  size_t lastLine = 0;
  for (const auto& item : items) {
    if (item.line <= lastLine) std::abort();
    lastLine = item.line;
    if (!item.valid) continue;
    if (item.name.empty() || item.name.front() == '/' || item.name.find('\\') != std::string::npos) std::abort();
    std::string name;
    uint32_t crc = 0;
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", item.crc);
    if (release::ClassifySfvLine(item.name + " " + hex, &name, &crc) != release::SfvLineKind::Entry ||
        name != item.name || crc != item.crc)
      std::abort();
  }
  const std::string normal = release::NormalizeLineBreaks(text);
  for (size_t i = 0; i < normal.size(); ++i)
    if ((normal[i] == '\n' && (i == 0 || normal[i - 1] != '\r')) ||
        (normal[i] == '\r' && (i + 1 == normal.size() || normal[i + 1] != '\n')))
      std::abort();
  return 0;
}
