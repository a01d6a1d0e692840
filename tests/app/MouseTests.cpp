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
#include "tests/common/LaunchTestSupport.h"
#include "tests/common/XDisplay.h"

namespace {

using Calls = std::vector<std::vector<std::string>>;
using xdisplay::Child;
using xdisplay::Output;

class MouseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (platform::FindProgram("Xvfb").empty() || platform::FindProgram("xdotool").empty())
      GTEST_SKIP() << "Xvfb and xdotool are needed";
    xvfb_ = std::make_unique<xdisplay::VirtualDisplay>();
    ASSERT_FALSE(xvfb_->Name().empty()) << "Xvfb did not start";
  }
  void TearDown() override {
    owners_.clear();
    program_.reset();
    xvfb_.reset();
  }

  // Starts the program on `nfo`, with the recording opener first on PATH and
  // settings of its own, at display scale `scale`, and puts its window at
  // the top left of the screen.
  void Start(const std::string& nfo, const std::string& scale = "1") {
    const std::string env = "env QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=" + scale + " HOME=" + dir_.path() +
                            " XDG_CONFIG_HOME=" + dir_.path() + "/cfg PATH=" + dir_.path() + ":" + getenv("PATH");
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
  std::unique_ptr<xdisplay::VirtualDisplay> xvfb_;
  std::unique_ptr<Child> program_;
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

TEST_F(MouseTest, DraggingOverArtAndCtrlCPutsItsCharactersOnTheClipboard) {
  if (platform::FindProgram("xclip").empty()) GTEST_SKIP() << "xclip is needed";
  launchtest::WriteExecutable(dir_.path() + "/art.nfo",
                              "\xC9\xCD\xCD\xBB \xDB\xDB\xB0\xB1\xB2\r\n\xC8\xCD\xCD\xBC \xDC\xDF\xDD\xDE\r\n");
  for (const int scale : {1, 2}) {
    SCOPED_TRACE("display scale " + std::to_string(scale));
    Start(dir_.path() + "/art.nfo", std::to_string(scale));
    // From the left half of the first cell of line 1 to the left half of the
    // fifth cell of line 2 (cells are 6 x 8 pixels at scale 1).
    auto at = [scale](int x, int y) { return std::to_string(x * scale) + " " + std::to_string(y * scale) + " "; };
    Do("mousemove " + at(1, 3) + "mousedown 1 mousemove " + at(40, 12) + "mousemove " + at(25, 12) + "mouseup 1");
    Do("key ctrl+c");
    const std::string copied = Output(
        "for i in $(seq 50); do xclip -o -selection clipboard 2>/dev/null && break; "
        "sleep 0.1; done");
    EXPECT_EQ(copied, "\u2554\u2550\u2550\u2557 \u2588\u2588\u2591\u2592\u2593\n\u255A\u2550\u2550\u255D");
    program_.reset();
  }
}

}  // namespace
