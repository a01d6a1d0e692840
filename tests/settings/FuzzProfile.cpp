// Feeds arbitrary file texts and entries to the profile reader and writer.
// Besides memory errors it checks the writer's promise: a stored entry reads
// back exactly as written (cut to the read limit), and other keys keep their values.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "settings/ProfileText.h"
#include "tests/common/FuzzTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Layout: section \x01 key \x01 value \x01 file text.
  std::string_view in(reinterpret_cast<const char*>(data), size);
  std::string_view parts[3];
  for (auto& part : parts) {
    const auto cut = in.find('\x01');
    if (cut == std::string_view::npos) return 0;
    part = in.substr(0, cut);
    in.remove_prefix(cut + 1);
  }
  const std::string_view text = in;
  if (!settings::ProfileEntryStorable(parts[0], parts[1], parts[2])) return 0;
  const auto otherBefore = settings::ProfileLookup(text, parts[0], "LumeskarOtherKey");
  const std::string after = settings::ProfileUpdate(text, parts[0], parts[1], parts[2]);
  if (settings::ProfileLookup(after, parts[0], parts[1]) != parts[2].substr(0, settings::kProfileReadLimit))
    std::abort();
  std::string key(parts[1]);
  for (char& c : key) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  if (key != "lumeskarotherkey" && settings::ProfileLookup(after, parts[0], "LumeskarOtherKey") != otherBefore)
    std::abort();
  // Writing the same entry twice changes nothing more.
  if (settings::ProfileUpdate(after, parts[0], parts[1], parts[2]) != after) std::abort();
  return 0;
}
