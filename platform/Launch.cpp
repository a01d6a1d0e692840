#include "platform/Launch.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#if __has_include(<linux/close_range.h>)
#include <linux/close_range.h>
#endif

extern char** environ;

namespace platform {

namespace {

bool IsExecutableFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// A pipe whose ends close themselves on exec and on scope exit.
struct Pipe {
  int fd[2] = {-1, -1};
  bool Open() { return pipe2(fd, O_CLOEXEC) == 0; }
  void Close(int end) {
    if (fd[end] >= 0) close(fd[end]);
    fd[end] = -1;
  }
  ~Pipe() {
    Close(0);
    Close(1);
  }
};

// Reads exactly `size` bytes unless the writers close first; returns the count read.
size_t ReadFull(int fd, void* buf, size_t size) {
  size_t got = 0;
  while (got < size) {
    ssize_t n = read(fd, static_cast<char*>(buf) + got, size - got);
    if (n > 0) {
      got += static_cast<size_t>(n);
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  return got;
}

void WriteFull(int fd, const void* buf, size_t size) {
  const char* p = static_cast<const char*>(buf);
  while (size > 0) {
    ssize_t n = write(fd, p, size);
    if (n > 0) {
      p += n;
      size -= static_cast<size_t>(n);
    } else if (n < 0 && errno != EINTR) {
      return;
    }
  }
}

// The grandchild: a new session, default signal handling, stdin from
// /dev/null, no inherited descriptors beyond 0-2, then the program. Only
// async-signal-safe calls here: the parent may have other threads.
[[noreturn]] void ExecGrandchild(const char* path, char* const* argv, int statusFd) {
  setsid();
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  for (int s = 1; s < NSIG; ++s) sigaction(s, &dfl, nullptr);
  int devnull = open("/dev/null", O_RDONLY);
  if (devnull >= 0 && devnull != STDIN_FILENO) {
    dup2(devnull, STDIN_FILENO);
    close(devnull);
  }
#ifdef CLOSE_RANGE_CLOEXEC
  close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
#endif
  execve(path, argv, environ);
  int err = errno;
  WriteFull(statusFd, &err, sizeof err);
  _exit(127);
}

// The failure report of a launch stopped by `error` (an errno value).
Expected<pid_t> NotStarted(int error) { return Expected<pid_t>::Failed(std::strerror(error)); }

}  // namespace

std::string FindProgram(const std::string& name) {
  if (name.empty()) return "";
  if (name.find('/') != std::string::npos) return IsExecutableFile(name) ? name : "";
  const char* env = std::getenv("PATH");
  std::string path = env ? env : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  for (;;) {
    size_t colon = path.find(':', start);
    std::string dir = path.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
    if (IsExecutableFile(candidate)) return candidate;
    if (colon == std::string::npos) return "";
    start = colon + 1;
  }
}

Expected<pid_t> StartDetached(const std::vector<std::string>& args) {
  if (args.empty()) return NotStarted(EINVAL);
  std::string path = FindProgram(args[0]);
  if (path.empty()) {
    struct stat st;
    bool present = args[0].find('/') != std::string::npos && stat(args[0].c_str(), &st) == 0;
    return NotStarted(present ? EACCES : ENOENT);
  }
  // Everything the children need is prepared before forking.
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  Pipe pidPipe, statusPipe;
  if (!pidPipe.Open() || !statusPipe.Open()) return NotStarted(errno);
  pid_t middle = fork();
  if (middle < 0) return NotStarted(errno);
  if (middle == 0) {
    // The short-lived middle child: fork the real program and leave at once,
    // so the program is re-parented and never becomes our zombie.
    pid_t child = fork();
    if (child < 0) _exit(1);
    if (child == 0) ExecGrandchild(path.c_str(), argv.data(), statusPipe.fd[1]);
    WriteFull(pidPipe.fd[1], &child, sizeof child);
    _exit(0);
  }
  pidPipe.Close(1);
  statusPipe.Close(1);

  int status = 0;
  while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
  pid_t child = -1;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || ReadFull(pidPipe.fd[0], &child, sizeof child) != sizeof child)
    return NotStarted(EAGAIN);
  // The status pipe closes without data when execve succeeded; otherwise it
  // carries the errno of the failed execve.
  int execError = 0;
  if (ReadFull(statusPipe.fd[0], &execError, sizeof execError) == sizeof execError) return NotStarted(execError);
  return child;
}

Expected<pid_t> OpenWithDesktop(const std::string& target) { return StartDetached({"xdg-open", target}); }

Expected<pid_t> OpenFile(const std::string& path) {
  struct stat st;
  if (path.empty() || stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) {
    return NotStarted(ENOENT);
  }
  // A relative name starting with '-' would read as an option of the opener.
  return OpenWithDesktop(path.front() == '-' ? "./" + path : path);
}

Expected<pid_t> StartOrOpen(const std::vector<std::string>& argv) {
  if (argv.empty() || argv[0].empty()) {
    return NotStarted(ENOENT);
  }
  if (!FindProgram(argv[0]).empty()) return StartDetached(argv);
  struct stat st;
  if (stat(argv[0].c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(argv[0].c_str(), X_OK) != 0)
    return OpenWithDesktop(argv[0]);
  return StartDetached(argv);  // reports why it cannot run
}

}  // namespace platform
