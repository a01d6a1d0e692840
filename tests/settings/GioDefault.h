#pragma once
// The default application for .nfo files as the desktop's own tool (gio)
// reports it, read in the XDG folders of the environment `prefix` sets ("":
// the process's own).
#include <string>

#include "tests/common/Shell.h"

namespace testing_support {

// The desktop file gio names as the default application for text/x-nfo, or
// "" when there is none.
inline std::string GioDefault(const std::string& prefix = "") {
  const std::string out = Shell(prefix + "gio mime text/x-nfo 2>&1").output;
  const auto at = out.find("Default application for");
  if (at == std::string::npos) return "";
  const auto start = out.find(": ", at) + 2;
  return out.substr(start, out.find('\n', start) - start);
}

}  // namespace testing_support
