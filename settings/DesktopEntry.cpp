#include "settings/DesktopEntry.h"

#include "platform/Utf8.h"

namespace settings {

std::optional<std::string> QuoteExecProgram(std::string_view programPath) {
  if (programPath.empty() || programPath.find_first_of(std::string_view("\r\n\0", 3)) != programPath.npos ||
      !platform::IsValidUtf8(programPath))  // desktop entries are UTF-8 text, and GIO rejects others
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
