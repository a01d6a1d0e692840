// The real program on an X server (Xvfb), clicked by xdotool: a release with
// a damaged volume and a recovery set. The first click on the status line
// checks it (closing the check's error box), the status line then offers
// the repair; the second click repairs, checks again and extracts into the
// configured folder. Skipped when Xvfb or xdotool is not installed.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <thread>

#include "platform/Launch.h"
#include "release/CRC.h"
#include "tests/common/XDisplay.h"
#include "tests/par2/Par2Fixtures.h"
#include "tools/RarWriter.h"

using namespace par2test;

namespace {

// Waits up to 30 s for `done`.
bool WaitFor(const std::function<bool()>& done) {
  for (int i = 0; i < 300 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  return done();
}

}  // namespace

TEST(RepairMouse, OfferRepairCheckAndExtract) {
  if (platform::FindProgram("Xvfb").empty() || platform::FindProgram("xdotool").empty())
    GTEST_SKIP() << "Xvfb and xdotool are needed";
  xdisplay::VirtualDisplay display;
  ASSERT_FALSE(display.Name().empty()) << "Xvfb did not start";

  // The release: an .nfo file, three RAR volumes of a disc image, their SFV
  // file and a recovery set of 1 KiB slices; extraction set to a folder.
  TempDir dir;
  const std::string rel = dir / "rel", out = dir / "out";
  mkdir(rel.c_str(), 0755);
  mkdir(out.c_str(), 0755);
  const std::string image = RandomBytes(30000, 9);
  rarwriter::RarOptions options;
  options.volumeSize = 12000;
  rarwriter::RarEntry entry;
  entry.name = "game.iso";
  entry.data = image;
  const std::vector<std::string> volumes = rarwriter::WriteRar(rel, "game", {entry}, options);
  ASSERT_EQ(volumes.size(), 3u);
  std::string sfv, names;
  for (const std::string& v : volumes) {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", **release::FileCrc32(v));
    const std::string name = v.substr(v.rfind('/') + 1);
    sfv += name + " " + hex + "\r\n";
    names += " " + Quote(name);
  }
  WriteFile(rel + "/game.sfv", sfv);
  WriteFile(rel + "/game.nfo", "GAME\r\n");
  ASSERT_EQ(Shell("cd " + Quote(rel) + " && par2 create -q -q -s1024 -c6 game.par2" + names).first, 0);
  mkdir((dir / "cfg").c_str(), 0755);
  mkdir((dir / "cfg/lumeskar").c_str(), 0755);
  WriteFile(dir / "cfg/lumeskar/lumeskar.ini",
            "[Options]\r\nExtract=Yes\r\nChooseExtract=No\r\nExtractTo=" + out + "/\r\n");
  const std::string original = ReadFile(volumes[1]);
  std::string damaged = original;
  damaged[100] ^= 1;
  damaged[5000] ^= 1;
  WriteFile(volumes[1], damaged);

  const std::string env = "env QT_QPA_PLATFORM=xcb HOME=" + dir.path() + " XDG_CONFIG_HOME=" + dir.path() + "/cfg";
  xdisplay::Child program(
      {"sh", "-c", "exec " + env + " '" + LUMESKAR_BINARY_DIR + "/lumeskar' '" + rel + "/game.nfo'"});
  const std::string window = Shell("timeout 20 xdotool search --sync --onlyvisible --name '^Lumeskar'").second;
  ASSERT_FALSE(window.empty());
  Shell("xdotool windowmove --sync " + window.substr(0, window.find('\n')) + " 0 0");

  // First click: the check finds the damaged volume and says so in a box.
  ASSERT_EQ(Shell("xdotool mousemove 20 436 click 1").first, 0);
  ASSERT_EQ(Shell("timeout 20 xdotool search --sync --onlyvisible --name '^Lumeskar$'").first, 0) << "no error box";
  Shell("xdotool key Return");
  // The status line now offers the repair: nothing is changed until clicked.
  std::this_thread::sleep_for(std::chrono::seconds(2));
  EXPECT_EQ(ReadFile(volumes[1]), damaged);
  EXPECT_NE(access((volumes[1] + ".1").c_str(), F_OK), 0);

  // Second click: repaired, checked again and extracted.
  ASSERT_EQ(Shell("xdotool mousemove 20 436 click 1").first, 0);
  EXPECT_TRUE(WaitFor([&] { return ReadFile(out + "/game.iso") == image; })) << "the image was not extracted";
  EXPECT_EQ(ReadFile(volumes[1]), original);
  EXPECT_EQ(ReadFile(volumes[1] + ".1"), damaged);
}
