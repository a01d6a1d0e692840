// The real program on an X server (Xvfb), driven by real mouse clicks and
// keys from xdotool: every button's release over a link opens it once, no
// paste route (middle button, Ctrl+V, Shift+Insert) crashes the program, with
// and without an owner of the X selection and clipboard, and a key that closes
// a message box does nothing more. Skipped when Xvfb or xdotool is not
// installed.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/Launch.h"
#include "tests/extract/LaunchTestSupport.h"

namespace {

using Calls = std::vector<std::vector<std::string>>;

// Output of a shell command, with its trailing newline removed.
std::string Output(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe)) out += buffer;
    pclose(pipe);
  }
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
  bool Running() const { return waitpid(pid, nullptr, WNOHANG) == 0; }
  ~Child() {
    if (pid <= 0) return;
    kill(-pid, SIGTERM);
    waitpid(pid, nullptr, 0);
  }
};

class MouseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (platform::FindProgram("Xvfb").empty() || platform::FindProgram("xdotool").empty())
      GTEST_SKIP() << "Xvfb and xdotool are needed";
    // Xvfb picks a free display and writes its number once it accepts clients.
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    xvfb_ = std::make_unique<Child>(std::vector<std::string>{"Xvfb", "-displayfd", std::to_string(ready[1]), "-screen",
                                                             "0", "1024x768x24", "-nolisten", "tcp"},
                                    ready[1]);
    close(ready[1]);
    std::string number;
    char c;
    while (read(ready[0], &c, 1) == 1 && c != '\n') number += c;
    close(ready[0]);
    ASSERT_FALSE(number.empty()) << "Xvfb did not start";
    display_ = ":" + number;
    setenv("DISPLAY", display_.c_str(), 1);
  }
  void TearDown() override {
    owners_.clear();
    program_.reset();
    xvfb_.reset();
    unsetenv("DISPLAY");
  }

  // Starts the program on `nfo`, with the recording opener first on PATH and
  // settings of its own, and puts its window at the top left of the screen.
  void Start(const std::string& nfo) {
    const std::string env = "env QT_QPA_PLATFORM=xcb HOME=" + dir_.path() + " XDG_CONFIG_HOME=" + dir_.path() +
                            "/cfg PATH=" + dir_.path() + ":" + getenv("PATH");
    program_ = std::make_unique<Child>(
        std::vector<std::string>{"sh", "-c", "exec " + env + " '" + LUMESKAR_BINARY_DIR + "/lumeskar' '" + nfo + "'"});
    const std::string window = Output("xdotool search --sync --onlyvisible --name '^Lumeskar'");
    ASSERT_FALSE(window.empty());
    Output("xdotool windowmove --sync " + window + " 0 0");
  }
  // Runs xdotool with `args`.
  static void Do(const std::string& args) { ASSERT_EQ(std::system(("xdotool " + args).c_str()), 0) << args; }
  // Makes xclip own the primary selection and the clipboard.
  bool OwnSelections() {
    if (platform::FindProgram("xclip").empty()) return false;
    for (const char* selection : {"primary", "clipboard"})
      owners_.push_back(std::make_unique<Child>(std::vector<std::string>{
          "sh", "-c", std::string("printf pasted | exec xclip -quiet -selection ") + selection}));
    Output("until xclip -o -selection clipboard >/dev/null 2>&1; do sleep 0.01; done");
    return true;
  }

  launchtest::TempDir dir_;
  launchtest::Recorder opener_{dir_.path(), "xdg-open"};
  std::string display_;
  std::unique_ptr<Child> xvfb_, program_;
  std::vector<std::unique_ptr<Child>> owners_;
};

TEST_F(MouseTest, EveryButtonOpensALinkAndNoPasteRouteCrashes) {
  launchtest::WriteExecutable(dir_.path() + "/demo.nfo", "http://www.example.org/ is a link\r\nplain words\r\n");
  Start(dir_.path() + "/demo.nfo");
  // Line 1 holds the link from x 0 to 137, line 2 plain words; lines are 8 pixels high.
  const std::string link = "mousemove 30 4 ", plain = "mousemove 10 12 ";
  Calls expected;
  for (const bool owned : {false, true}) {
    SCOPED_TRACE(owned ? "with selection owners" : "without selection owners");
    if (owned && !OwnSelections()) GTEST_SKIP() << "xclip is needed for the selection owners";
    Do(plain + "click 2");
    Do(plain + "click 1 key ctrl+v shift+Insert");
    for (const char* button : {"1", "2", "3"}) {
      Do(link + "click " + button);
      expected.push_back({"http://www.example.org/"});
      EXPECT_EQ(opener_.WaitForCalls(expected.size()), expected) << "button " << button;
    }
    ASSERT_TRUE(program_->Running());
  }
}

// Enter that closes a message box is no Enter for the window: the folder
// prompt's error box, closed with Enter, stays closed, and Escape closing it
// leaves the program running.
TEST_F(MouseTest, AKeyThatClosesAMessageBoxDoesNotActOnTheWindow) {
  launchtest::WriteExecutable(dir_.path() + "/demo.nfo", "GAME\r\n");
  Start(dir_.path() + "/demo.nfo");
  const std::string box = "timeout 10 xdotool search --sync --onlyvisible --name '^Lumeskar$'";
  for (const char* closer : {"Return", "KP_Enter", "Escape"}) {
    SCOPED_TRACE(closer);
    // "Extract" opens the folder prompt ("choose where to extract" is on at
    // first); a folder whose parent is missing cannot be made.
    Do("mousemove 378 444 click 1");
    Do("type --delay 10 '" + dir_.path() + "/no/such/folder'");
    Do("key Return");
    ASSERT_FALSE(Output(box).empty()) << "the error box did not show";
    Do(std::string("key ") + closer);
    EXPECT_EQ(Output("sleep 0.5; xdotool search --onlyvisible --name '^Lumeskar$'"), "") << "the box came back";
    ASSERT_TRUE(program_->Running());
  }
}

}  // namespace
