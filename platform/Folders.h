#pragma once
// Creating a folder with every missing level above it.
#include <sys/types.h>

#include <string>

#include "platform/Result.h"

namespace platform {

// Creates `path` and every missing folder above it; new folders get `mode`
// less the process's umask. Succeeds when `path` is a folder afterwards (also
// when it already was). On failure every folder this call created is removed
// again, so a failed attempt leaves the file system as it was, and the
// message names the level that could not be made and why ("Cannot create
// /a/b: Permission denied"). "." and empty components are skipped; an empty
// path fails.
Result CreateFolders(const std::string& path, mode_t mode = 0777);

}  // namespace platform
