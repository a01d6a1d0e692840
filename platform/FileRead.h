#pragma once
// Reading a whole text file (an .nfo, an SFV, the settings) safely: regular
// files only, with a size cap.
#include <cstdint>
#include <string>

#include "platform/Result.h"

namespace platform {

// The largest .nfo or SFV file read: no real one comes near it, and a bound
// keeps a device or a huge file from eating all memory.
inline constexpr uint64_t kMaxTextFileSize = uint64_t(64) << 20;

// The whole content of the regular file at `path`, or failure when it cannot
// be read, is not a regular file (a device, a pipe, a folder) or holds more
// than `limit` bytes. The failure's message is the system's text for why
// (strerror of EISDIR, ENODEV, EFBIG or the error of the failing call).
Expected<std::string> ReadWholeFile(const std::string& path, uint64_t limit = kMaxTextFileSize);

}  // namespace platform
