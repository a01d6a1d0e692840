#pragma once
// Creating the folder named in the dialog's "New folder" box.
#include <string>

#include "platform/Result.h"

// The folder a typed name stands for inside `current`: a name beginning with
// '/' is appended as it stands, any other after a '/' unless `current` already
// ends with one. "a/b" therefore names two levels below `current`.
std::string NewFolderPath(const std::string& current, const std::string& name);

// Creates `path` with every missing level (platform::CreateFolders: on failure
// nothing is left behind). A path holding a ".." component is refused without
// touching anything: a new folder always lies below the folder it was asked
// for in.
platform::Result CreateFolderLevels(const std::string& path);
