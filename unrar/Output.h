// Writing entries under a destination folder without ever leaving it.
// Folders are walked with openat(O_NOFOLLOW) one component at a time, so no
// write goes through a symbolic link; files are written to a temporary name
// and renamed into place only when complete.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace unrar {

// Splits an archive name into components, dropping "." and empty ones.
// False for empty names, absolute names, names with ".." and names of
// PATH_MAX bytes or more.
bool splitSafeName(const std::string& name, std::vector<std::string>& parts);

struct Target {
  std::string root;                // folder the parts are relative to ("." when empty)
  std::vector<std::string> parts;  // at least one component
};

// The destination of an entry: DestName (taken as the caller's own full path)
// wins over DestPath + the stored name. Returns 0 or ERAR_ECREATE.
int resolveTarget(const char* destPath, const char* destName, const std::string& entryName, Target& t);

struct Metadata {
  unsigned mode = 0644;
  uint64_t mtime = 0, atime = 0;  // FILETIME, 0 = leave as is
};

class OutputFile {
 public:
  ~OutputFile() { discard(); }
  int create(const Target& t);               // 0 or ERAR_ECREATE
  int write(const void* data, size_t size);  // 0 or ERAR_EWRITE
  int commit(const Metadata& m);             // 0, ERAR_EWRITE or ERAR_ECREATE
  void discard();

 private:
  int dirFd_ = -1;
  int fd_ = -1;
  std::string tempName_, finalName_;
};

int makeDirectory(const Target& t, const Metadata& m);
// A symbolic link is made only when its target, taken from the link's
// folder, stays inside the destination.
int makeSymlink(const Target& t, const std::string& linkTarget);
// Hard link or copy of an entry extracted earlier (`source` is an archive name).
int makeLinkOrCopy(const Target& t, const std::string& source, bool copy, const Metadata& m);

}  // namespace unrar
