#pragma once
// Creating the folder named in the dialog's "New folder" box.
#include <string>

// The folder a typed name stands for inside `current`: a name beginning with
// '/' is appended as it stands, any other after a '/' unless `current` already
// ends with one. "a/b" therefore names two levels below `current`.
std::string NewFolderPath(const std::string& current, const std::string& name);

// Creates `path` with every missing level. Succeeds only when the folder exists
// afterwards. On failure every level this call created is removed again, so a
// failed attempt leaves the file system as it was. A path holding a ".."
// component is refused without touching anything: a new folder always lies
// below the folder it was asked for in.
bool CreateFolderLevels(const std::string& path);
