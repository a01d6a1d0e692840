#include "release/OriginSite.h"

namespace release {

namespace {
void EraseFirst(std::string& s, char c) {
  if (auto at = s.find(c); at != std::string::npos) s.erase(at, 1);
}
}  // namespace

std::optional<std::string> OriginSite(std::string_view T) {
  std::optional<std::string> site;
  // The phrase at the very start of the text does not count. The name is
  // taken right after the occurrence that matched (not after some earlier
  // "on the" elsewhere in the text, which would show a piece of that line).
  constexpr std::string_view kPlain = "on the mighty ";
  constexpr std::string_view kComma = "on the mighty ,";
  if (auto at = T.find(kPlain); at != std::string_view::npos && at >= 1) {
    site = std::string(T.substr(at + kPlain.size(), 20));
  }
  if (auto at = T.find(kComma); at != std::string_view::npos && at >= 1) {
    std::string piece(T.substr(at + kComma.size(), 20));
    EraseFirst(piece, '\'');
    EraseFirst(piece, ',');
    site = piece;
  }
  if (T.find("on the") == std::string_view::npos) site = "Unknown Site";
  return site;
}

std::string FirstLine(std::string_view text) { return std::string(text.substr(0, text.find_first_of("\r\n"))); }

}  // namespace release
