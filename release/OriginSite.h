#pragma once
// The site a release was uploaded to, read from the comment that upload
// scripts write into the SFV file ("... on the mighty SiteName").
#include <optional>
#include <string>
#include <string_view>

namespace release {

// The text the origin-site label takes for SFV text `T` (line breaks CR LF),
// or nothing when the label keeps its current text. The text may run on
// past the comment's line; only its first line is meant to be shown.
std::optional<std::string> OriginSite(std::string_view T);

// The first line of a text (everything before the first CR or LF).
std::string FirstLine(std::string_view text);

}  // namespace release
