#pragma once
// A profile (INI) file on disk with the rules of ProfileText.h. Every read
// looks at the file afresh; every write replaces the whole file atomically
// (a temporary file in the same folder, flushed to disk, then renamed over
// the old one), so a crash or a full disk leaves either the old file or the
// new one, never half a file. The file's permission bits are kept.
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Result.h"

namespace settings {

// The largest settings file read. Its values are a few folders and a command
// line; a bound keeps a device or a huge file in its place from eating all
// memory. A larger file counts as unreadable.
inline constexpr uint64_t kMaxSettingsFileSize = uint64_t(1) << 20;

// The folders made for the settings and the desktop entry are the user's own.
inline constexpr mode_t kNewFolderMode = 0700;

class ProfileFile {
 public:
  explicit ProfileFile(std::string path) : path_(std::move(path)) {}

  const std::string& Path() const { return path_; }
  bool Exists() const;

  // The value of `key` in `section`; "" when the file, section or key is
  // missing or the file cannot be read (also when it is no regular file or
  // larger than kMaxSettingsFileSize).
  std::string ReadString(std::string_view section, std::string_view key) const;

  // Writes key=value into `section`, creating the file and the section as
  // needed. Fails when the entry cannot be stored as given, or the file or its
  // folder cannot be written (or the file not read: keys are never dropped);
  // the file is then unchanged. With `createFolders`, missing folders above
  // the file are created first (kNewFolderMode).
  platform::Result WriteString(std::string_view section, std::string_view key, std::string_view value,
                               bool createFolders = false);

 private:
  std::string path_;
};

// Replaces the file at `path` with `content` atomically (see above). A file
// that exists but may not be written by us, or is no regular file, is left
// alone and the replacement fails.
platform::Result ReplaceFileAtomically(const std::string& path, std::string_view content);

}  // namespace settings
