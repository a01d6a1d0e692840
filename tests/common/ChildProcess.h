#pragma once
// Runs a piece of a test in a forked child: for process-wide state that must
// start fresh (GIO reads the XDG folders once per process), for resource
// limits, and to act as an ordinary user when the tests run as root (root may
// write read-only files and folders).
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>

namespace testing_support {

struct ChildOptions {
  bool unprivileged = false;  // drop to "nobody" when running as root
  rlim_t maxFileSize = RLIM_INFINITY;
};

// The child's exit code (what `body` returned), or -1 when it did not exit.
inline int RunInChild(const std::function<int()>& body, ChildOptions options = {}) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (options.unprivileged && geteuid() == 0) {
      if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(120);
    }
    if (options.maxFileSize != RLIM_INFINITY) {
      signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails with EFBIG instead
      rlimit limit{options.maxFileSize, options.maxFileSize};
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(121);
    }
    _exit(body());
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace testing_support
