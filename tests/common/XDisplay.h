#pragma once
// Test helpers for the real program on a virtual X server: a process of our
// own ended with its process group, the output of a shell command, and an
// Xvfb of the test's own that DISPLAY names while it lives.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tests/common/Shell.h"

namespace xdisplay {

// Output of a shell command, with its trailing newline removed.
inline std::string Output(const std::string& command) {
  std::string out = testing_support::Shell(command).output;
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

// A process of ours, ended with its group when the object goes.
struct Child {
  pid_t pid = -1;
  explicit Child(const std::vector<std::string>& argv, int keepFd = -1) {
    pid = fork();
    if (pid == 0) {
      setpgid(0, 0);
      for (int fd = 3; fd < 1024; ++fd)
        if (fd != keepFd) close(fd);
      std::vector<char*> args;
      for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      execvp(args[0], args.data());
      _exit(127);
    }
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  bool Running() const { return waitpid(pid, nullptr, WNOHANG) == 0; }
  ~Child() {
    if (pid <= 0) return;
    kill(-pid, SIGTERM);
    waitpid(pid, nullptr, 0);
  }
};

// Xvfb on a free display of its own (`screen` as Xvfb takes it), named by
// DISPLAY while the object lives. Name() is empty when it did not start.
class VirtualDisplay {
 public:
  explicit VirtualDisplay(const std::string& screen = "1024x768x24") {
    int ready[2];
    if (pipe(ready) != 0) return;
    // Xvfb picks a free display and writes its number once it accepts clients.
    server_ = std::make_unique<Child>(std::vector<std::string>{"Xvfb", "-displayfd", std::to_string(ready[1]),
                                                               "-screen", "0", screen, "-nolisten", "tcp"},
                                      ready[1]);
    close(ready[1]);
    std::string number;
    char c;
    while (read(ready[0], &c, 1) == 1 && c != '\n') number += c;
    close(ready[0]);
    if (number.empty()) return;
    name_ = ":" + number;
    setenv("DISPLAY", name_.c_str(), 1);
  }
  ~VirtualDisplay() {
    server_.reset();
    unsetenv("DISPLAY");
  }
  const std::string& Name() const { return name_; }

 private:
  std::unique_ptr<Child> server_;
  std::string name_;
};

}  // namespace xdisplay
