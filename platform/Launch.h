#pragma once
// Starting outside programs without a shell. A started program is detached:
// it runs in a session of its own, is not our child (nothing to reap) and
// outlives us. "Started" means its program image was executed; a failure to
// execute it (missing, not executable, bad format) is reported as such.
// Each launcher returns the started process, or failure with the system's
// text for the errno that stopped it (strerror).
#include <sys/types.h>

#include "platform/Result.h"

#include <string>
#include <vector>

namespace platform {

// The file that running `name` executes: a name holding '/' is taken as it
// stands, any other is looked up in the folders of PATH. Only executable
// regular files qualify. Returns "" when there is none.
std::string FindProgram(const std::string& name);

// Runs argv[0] (looked up by FindProgram) with the given arguments, detached,
// with standard input from /dev/null and the current working folder.
Expected<pid_t> StartDetached(const std::vector<std::string>& argv);

// Hands one file or URL to the desktop's opener (xdg-open) as one argument.
Expected<pid_t> OpenWithDesktop(const std::string& target);

// Hands an existing file to the desktop's opener, never executing it itself
// whatever its mode. A path that names no file reports ENOENT and starts
// nothing.
Expected<pid_t> OpenFile(const std::string& path);

// Starts argv[0] as a program when it is one; when it names an existing file
// that is not executable, opens that file with the desktop's opener instead
// (the arguments cannot be passed on then).
Expected<pid_t> StartOrOpen(const std::vector<std::string>& argv);

}  // namespace platform
