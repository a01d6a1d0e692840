#pragma once
// Runs a shell command and collects what it writes to standard output
// (callers add "2>&1" where they want standard error too).
#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace testing_support {

struct ShellResult {
  int exitCode = -1;  // -1 when the command did not run or did not exit
  std::string output;
};

inline ShellResult Shell(const std::string& command) {
  ShellResult r;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return r;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) r.output.append(buffer, got);
  const int status = pclose(pipe);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

}  // namespace testing_support
