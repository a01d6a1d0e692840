// Feeds arbitrary file texts and entries to the profile reader and writer.
// Besides memory errors it checks the writer's promise: a stored entry reads
// back as written (with the reading rules applied), and other keys keep their values.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "settings/ProfileText.h"

namespace {
std::string ReadBack(std::string_view value) {
  // What reading makes of a stored value: blanks and one pair of quotes dropped, cut to the limit.
  constexpr std::string_view blanks = " \t\r\v\f";
  const auto first = value.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  value = value.substr(first, value.find_last_not_of(blanks) - first + 1);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
    value = value.substr(1, value.size() - 2);
  return std::string(value.substr(0, settings::kProfileReadLimit));
}
}  // namespace

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
  if (settings::ProfileLookup(after, parts[0], parts[1]) != ReadBack(parts[2])) std::abort();
  std::string key(parts[1]);
  for (char& c : key) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  if (key != "lumeskarotherkey" && settings::ProfileLookup(after, parts[0], "LumeskarOtherKey") != otherBefore)
    std::abort();
  // Writing the same entry twice changes nothing more.
  if (settings::ProfileUpdate(after, parts[0], parts[1], parts[2]) != after) std::abort();
  return 0;
}
