#include "nfo/LinkTarget.h"

#include <algorithm>
#include <cctype>

#include "nfo/WordAtPoint.h"

namespace links {

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsAsciiAlnum(char c) { return std::isalnum(static_cast<unsigned char>(c)) && static_cast<unsigned char>(c) < 128; }

// Characters of an address's local part that can be handed on as they are:
// none that would start a header, a query or an escape in a mailto: target.
bool IsLocalChar(char c) {
  return IsAsciiAlnum(c) || std::string_view(".!#$*+-/^_~").find(c) != std::string_view::npos;
}

bool IsDomainChar(char c) { return IsAsciiAlnum(c) || c == '-' || c == '.'; }

// Where the earliest scheme starts, or npos.
std::size_t SchemeStart(std::string_view word) {
  std::size_t best = std::string_view::npos;
  for (std::string_view scheme : {"http://", "https://", "ftp://"}) {
    auto it = std::search(word.begin(), word.end(), scheme.begin(), scheme.end(),
                          [](char a, char b) { return Lower(a) == b; });
    if (it != word.end()) best = std::min(best, static_cast<std::size_t>(it - word.begin()));
  }
  return best;
}

}  // namespace

std::string WebTarget(std::string_view word) {
  const std::size_t start = SchemeStart(word);
  if (start == std::string_view::npos) return {};
  std::string target(word.substr(start));
  const auto art =
      std::find_if(target.begin(), target.end(), [](char c) { return static_cast<unsigned char>(c) > 127; });
  target.erase(art, target.end());
  while (!target.empty() && std::string_view(".,;:!?'\")]}>").find(target.back()) != std::string_view::npos)
    target.pop_back();
  const std::size_t colon = target.find(':');
  std::transform(target.begin(), target.begin() + static_cast<std::ptrdiff_t>(colon), target.begin(), Lower);
  // Nothing after the scheme's slashes is no address.
  return target.size() > target.find("://") + 3 ? target : std::string();
}

std::string MailTarget(std::string_view word) {
  const std::size_t at = word.find('@');
  if (at == std::string_view::npos) return {};
  std::size_t a = at, b = at + 1;
  while (a > 0 && IsLocalChar(word[a - 1])) --a;
  while (b < word.size() && IsDomainChar(word[b])) ++b;
  std::string_view local = word.substr(a, at - a);
  std::string_view domain = word.substr(at + 1, b - at - 1);
  while (!local.empty() && local.front() == '.') local.remove_prefix(1);
  while (!domain.empty() && (domain.back() == '.' || domain.back() == '-')) domain.remove_suffix(1);
  while (!domain.empty() && (domain.front() == '.' || domain.front() == '-')) domain.remove_prefix(1);
  if (local.empty() || domain.empty()) return {};
  return "mailto:" + std::string(local) + "@" + std::string(domain);
}

std::string LinkTarget(std::string_view word) {
  if (IsWebLink(word)) return WebTarget(word);
  if (IsMailLink(word)) return MailTarget(word);
  return {};
}

}  // namespace links
