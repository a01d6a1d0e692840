#pragma once
// Test helpers for launching real programs: a temporary folder, and a
// recording program that appends the arguments of every call to a log file.
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/common/TempDir.h"

namespace launchtest {

using testing_support::ReadFile;
using testing_support::TempDir;

inline void WriteExecutable(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
  chmod(path.c_str(), 0755);
}

// `program` (in `folder`, named `name`) writes each argument followed by
// \037 and ends each call with \036 in `log`.
struct Recorder {
  std::string program, log;
  Recorder(const std::string& folder, const std::string& name = "recorder")
      : program(folder + "/" + name), log(folder + "/" + name + ".log") {
    WriteExecutable(program, "#!/bin/sh\n{ for a in \"$@\"; do printf '%s\\037' \"$a\"; done; printf '\\036'; } >> '" +
                                 log + "'\n");
  }
  std::vector<std::vector<std::string>> Calls() const {
    std::vector<std::vector<std::string>> calls;
    std::vector<std::string> args;
    std::string arg;
    for (char c : ReadFile(log)) {
      if (c == '\037') {
        args.push_back(arg);
        arg.clear();
      } else if (c == '\036') {
        calls.push_back(args);
        args.clear();
      } else {
        arg += c;
      }
    }
    return calls;
  }
  // Waits (up to ten seconds) until `count` calls are logged.
  std::vector<std::vector<std::string>> WaitForCalls(size_t count) const {
    for (int i = 0; i < 200 && Calls().size() < count; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return Calls();
  }
};

// Puts a folder first on PATH for the lifetime of the object.
struct PathPrefix {
  std::string old;
  explicit PathPrefix(const std::string& folder) {
    const char* p = std::getenv("PATH");
    old = p ? p : "";
    setenv("PATH", (folder + ":" + old).c_str(), 1);
  }
  ~PathPrefix() { setenv("PATH", old.c_str(), 1); }
};

}  // namespace launchtest
