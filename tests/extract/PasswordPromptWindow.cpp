// The real program on an X server (Xvfb) with an encrypted release: a click
// on "Extract" brings up the password prompt over the main window, xdotool
// types the password, the disc image is extracted and the follow-up program
// (a recorder first on PATH) starts on it. A second run with a wrong
// password shows the message, asks again, and after Cancel leaves nothing of
// the image. Skipped when Xvfb or xdotool is not installed.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/Launch.h"
#include "tests/common/EncryptedRar.h"
#include "tests/common/LaunchTestSupport.h"
#include "tests/common/XDisplay.h"

namespace {

using xdisplay::Child;
using xdisplay::Output;

// Waits (up to ten seconds) for a visible window named exactly `name`, and
// gives it the keyboard focus (there is no window manager to do that).
bool Appears(const std::string& name) {
  for (int i = 0; i < 200; ++i) {
    const std::string id = Output("xdotool search --onlyvisible --name '^" + name + "$' 2>/dev/null | tail -n 1");
    if (!id.empty()) return std::system(("xdotool windowfocus --sync " + id).c_str()) == 0;
    usleep(50000);
  }
  return false;
}

void Do(const std::string& args) { ASSERT_EQ(std::system(("xdotool " + args).c_str()), 0) << args; }

std::vector<std::string> Files(const std::string& folder) {
  std::vector<std::string> names;
  if (std::filesystem::exists(folder))
    for (auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

TEST(PasswordPromptWindow, ThePromptTakesThePasswordAndAWrongOneLeavesNothing) {
  if (platform::FindProgram("Xvfb").empty() || platform::FindProgram("xdotool").empty())
    GTEST_SKIP() << "Xvfb and xdotool are needed";
  xdisplay::VirtualDisplay display;
  ASSERT_FALSE(display.Name().empty()) << "Xvfb did not start";

  // The release: an .nfo, an SFV naming the archive, and the archive with a
  // plain readme and the image encrypted. The settings extract into out/
  // and start the recorder on the image.
  launchtest::TempDir dir;
  const std::string rel = dir.path() + "/rel", out = dir.path() + "/out", bin = dir.path() + "/bin";
  for (const std::string& d : {rel, bin, dir.path() + "/cfg", dir.path() + "/cfg/lumeskar"}) mkdir(d.c_str(), 0755);
  const std::string image = rarwriter::PatternBytes(3, 0, 30000);
  testing_support::WriteFile(rel + "/game.rar", testing_support::EncryptedRar4(
                                                    {{"readme.txt", "read me\n", ""}, {"game.iso", image, "right"}}));
  testing_support::WriteFile(rel + "/game.sfv", "game.rar 00000000\r\n");
  testing_support::WriteFile(rel + "/game.nfo", "an encrypted release\r\n");
  testing_support::WriteFile(dir.path() + "/cfg/lumeskar/lumeskar.ini",
                             "[Options]\r\nChooseExtract=No\r\nRunAfterExt=Yes\r\nExtractTo=" + out +
                                 "/\r\nAfterExtract=lumeskar-follow-up --mount %F\r\n");
  launchtest::Recorder recorder(bin, "lumeskar-follow-up");
  const std::string env = "env QT_QPA_PLATFORM=xcb HOME=" + dir.path() + " XDG_CONFIG_HOME=" + dir.path() +
                          "/cfg PATH=" + bin + ":" + getenv("PATH");
  Child program(
      {"sh", "-c", "exec " + env + " '" + LUMESKAR_BINARY_DIR + "/lumeskar' '" + rel + "/game.nfo' >/dev/null 2>&1"});
  const std::string window = Output("xdotool search --sync --onlyvisible --name '^Lumeskar - '");
  ASSERT_FALSE(window.empty());
  Do("windowmove --sync " + window + " 0 0");

  // "Extract" (at 368,439 in the window), the prompt, the right password.
  Do("mousemove --sync 380 444 click 1");
  ASSERT_TRUE(Appears("Password"));
  Do("type --delay 20 right");
  Do("key Return");
  const auto calls = recorder.WaitForCalls(1);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0], (std::vector<std::string>{"--mount", out + "/game.iso"}));
  EXPECT_TRUE(launchtest::ReadFile(out + "/game.iso") == image);

  // Again, with a wrong password: the message, the prompt again, Cancel.
  std::filesystem::remove_all(out);
  Do("mousemove --sync 380 444 click 1");
  ASSERT_TRUE(Appears("Password"));
  Do("type --delay 20 wrong");
  Do("key Return");
  ASSERT_TRUE(Appears("Lumeskar"));  // "Wrong password or damaged data in game.iso"
  if (const char* shot = getenv("LUMESKAR_SHOT")) std::system(("import -window root " + std::string(shot)).c_str());
  Do("key Return");
  ASSERT_TRUE(Appears("Password"));
  Do("key Escape");
  for (int i = 0; i < 100 && Files(out).empty(); ++i) usleep(50000);
  usleep(300000);  // a failed run starts no follow-up program
  EXPECT_EQ(recorder.Calls().size(), 1u);
  EXPECT_EQ(Files(out), std::vector<std::string>{"readme.txt"});
}
