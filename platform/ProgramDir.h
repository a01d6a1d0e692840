#pragma once
#include <string>

namespace platform {
// The folder that holds the running program (from /proc/self/exe), ending in '/'.
std::string ProgramDir();
// The running program's file name without folder ("lumeskar").
std::string ProgramFileName();
// The running program's full path.
std::string ProgramPath();
}  // namespace platform
