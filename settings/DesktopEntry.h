#pragma once
// The desktop entry that registers Lumeskar as an application for .nfo files.
#include <optional>
#include <string>
#include <string_view>

namespace settings {

inline constexpr char kDesktopId[] = "lumeskar.desktop";
inline constexpr char kNfoContentType[] = "text/x-nfo";

// `programPath` as one quoted argument of an Exec line, already escaped for a
// desktop-entry string value. Empty when the path cannot be written into a
// desktop entry (a line break, a NUL, or not UTF-8).
std::optional<std::string> QuoteExecProgram(std::string_view programPath);

// The whole desktop entry for the program at `programPath`, or nothing when
// the path cannot be written into one.
std::optional<std::string> DesktopEntryText(std::string_view programPath);

}  // namespace settings
