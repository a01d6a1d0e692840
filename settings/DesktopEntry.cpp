#include "settings/DesktopEntry.h"

namespace settings {

namespace {

// Strict UTF-8 check: desktop entries are UTF-8 text and GIO rejects others.
bool IsUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t extra = 0;
    char32_t cp = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if (c >= 0xC2 && c <= 0xDF) {
      extra = 1, cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2, cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3, cp = c & 0x07;
    } else {
      return false;
    }
    if (i + extra >= s.size()) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      const auto cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    if ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
        (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
      return false;
    i += extra + 1;
  }
  return true;
}

}  // namespace

std::optional<std::string> QuoteExecProgram(std::string_view programPath) {
  if (programPath.empty() || programPath.find_first_of(std::string_view("\r\n\0", 3)) != programPath.npos ||
      !IsUtf8(programPath))
    return std::nullopt;
  // Inside a quoted Exec argument '"', '`', '$' and '\' take a backslash; a
  // '%' is doubled so it is no field code. The result is then a string value,
  // in which every backslash is itself written as "\\".
  std::string quoted = "\"";
  for (char c : programPath) {
    switch (c) {
      case '"':
      case '`':
      case '$':
        quoted += "\\\\";
        quoted += c;
        break;
      case '\\': quoted += "\\\\\\\\"; break;
      case '%': quoted += "%%"; break;
      default: quoted += c;
    }
  }
  quoted += '"';
  return quoted;
}

std::optional<std::string> DesktopEntryText(std::string_view programPath) {
  const auto exec = QuoteExecProgram(programPath);
  if (!exec) return std::nullopt;
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Lumeskar\n"
         "Comment=Show .nfo files, check and unpack their releases\n"
         "Exec=" +
         *exec +
         " %f\n"
         "Icon=lumeskar\n"
         "Terminal=false\n"
         "MimeType=text/x-nfo;\n";
}

}  // namespace settings
