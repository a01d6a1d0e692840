#include "platform/Launch.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "tests/common/LaunchTestSupport.h"

namespace {

using launchtest::ReadFile;
using launchtest::TempDir;
using launchtest::WriteExecutable;

// Fields of /proc/<pid>/stat after the command name: state ppid pgrp session.
struct ProcStat {
  pid_t ppid = -1, session = -1;
};
ProcStat ReadProcStat(pid_t pid) {
  std::string text = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  ProcStat st;
  auto close = text.rfind(')');
  if (close == std::string::npos) return st;
  char state;
  int pgrp;
  std::sscanf(text.c_str() + close + 1, " %c %d %d %d", &state, &st.ppid, &pgrp, &st.session);
  return st;
}

bool WaitForFile(const std::string& path) {
  for (int i = 0; i < 200; ++i) {
    if (access(path.c_str(), F_OK) == 0) return true;
    usleep(50000);
  }
  return false;
}

TEST(Launch, StartsAProgramDetachedWithItsArgumentsUnchanged) {
  TempDir dir;
  // The program records its arguments and standard input, then stays alive
  // until told to go, so its process can be inspected.
  const std::string program = dir.path() + "/stay";
  WriteExecutable(program,
                  "#!/bin/sh\n"
                  "printf '%s\\n' \"$#\" \"$1\" \"$2\" \"$3\" > \"$0.args\"\n"
                  "readlink /proc/$$/fd/0 > \"$0.stdin\"\n"
                  "touch \"$0.ready\"\n"
                  "i=0; while [ ! -e \"$0.go\" ] && [ $i -lt 200 ]; do sleep 0.05; i=$((i+1)); done\n");
  auto r = platform::StartDetached({program, "two words", "", "'q' \"d\" $HOME *"});
  ASSERT_TRUE(r.ok()) << r.message();
  ASSERT_GT(*r, 0);
  ASSERT_TRUE(WaitForFile(program + ".ready"));

  ProcStat st = ReadProcStat(*r);
  EXPECT_EQ(st.session, *r) << "runs in a session of its own";
  EXPECT_NE(st.ppid, getpid()) << "is not our child";
  errno = 0;
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << "leaves no child of ours behind";
  EXPECT_EQ(errno, ECHILD);

  EXPECT_EQ(ReadFile(program + ".args"), "3\ntwo words\n\n'q' \"d\" $HOME *\n");
  EXPECT_EQ(ReadFile(program + ".stdin"), "/dev/null\n");
  std::ofstream(program + ".go") << "";
}

TEST(Launch, ReportsProgramsThatCannotBeExecuted) {
  TempDir dir;
  const std::string plain = dir.path() + "/plain.txt";
  std::ofstream(plain) << "just text";
  const std::string garbage = dir.path() + "/garbage";
  WriteExecutable(garbage, "\x01\x02\x03 neither a program nor a script");
  const std::string interp = dir.path() + "/bad-interpreter";
  WriteExecutable(interp, "#!" + dir.path() + "/no-such-interpreter\n");

  struct Case {
    std::vector<std::string> argv;
    int error;
  };
  const std::vector<Case> cases = {
      {{}, EINVAL},
      {{dir.path() + "/missing"}, ENOENT},
      {{"lumeskar-no-such-program-on-path"}, ENOENT},
      {{plain}, EACCES},
      {{dir.path()}, EACCES},
      {{garbage}, ENOEXEC},  // found by execve itself, after the fork
      {{interp, "x"}, ENOENT},
  };
  for (const auto& c : cases) {
    auto r = platform::StartDetached(c.argv);
    EXPECT_FALSE(r.ok()) << (c.argv.empty() ? "" : c.argv[0]);
    EXPECT_EQ(r.message(), std::strerror(c.error)) << (c.argv.empty() ? "" : c.argv[0]);
  }
}

TEST(Launch, FindsProgramsOnPathAndOpensOtherFilesWithTheDesktopOpener) {
  TempDir dir;
  launchtest::Recorder opener(dir.path(), "xdg-open");
  launchtest::Recorder tool(dir.path(), "lumeskar-test-tool");
  launchtest::PathPrefix path(dir.path());
  EXPECT_EQ(platform::FindProgram("lumeskar-test-tool"), tool.program);

  ASSERT_TRUE(platform::StartOrOpen({"lumeskar-test-tool", "a b"}).ok());
  EXPECT_EQ(tool.WaitForCalls(1), (std::vector<std::vector<std::string>>{{"a b"}}));

  const std::string doc = dir.path() + "/read me.txt";
  std::ofstream(doc) << "text";
  ASSERT_TRUE(platform::StartOrOpen({doc, "ignored"}).ok());
  ASSERT_EQ(opener.WaitForCalls(1).size(), 1u);  // detached calls may finish in any order
  ASSERT_TRUE(platform::OpenWithDesktop("https://example.org/a b?x=1&y='2'").ok());
  EXPECT_EQ(opener.WaitForCalls(2),
            (std::vector<std::vector<std::string>>{{doc}, {"https://example.org/a b?x=1&y='2'"}}));
  EXPECT_FALSE(platform::StartOrOpen({dir.path() + "/missing.txt"}).ok());
}

}  // namespace
