#include "extract/FollowUp.h"
#include "extract/RARArc.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/common/LaunchTestSupport.h"

namespace {

using Words = std::vector<std::string>;

TEST(FollowUp, SplitsCommandsByShellQuotingRules) {
  struct Case {
    const char* command;
    std::optional<Words> words;
  };
  const std::vector<Case> cases = {
      {"", Words{}},
      {"   \t ", Words{}},
      {"mount -m %F", Words{"mount", "-m", "%F"}},
      {"  a   b\tc\n", Words{"a", "b", "c"}},
      {"\"/opt/my tools/run\" --x", Words{"/opt/my tools/run", "--x"}},
      {"'/opt/my tools/run' 'it''s'", Words{"/opt/my tools/run", "its"}},
      {"a'b c'd", Words{"ab cd"}},
      {"'single \\ and \" stay'", Words{"single \\ and \" stay"}},
      {"\"dq \\\" \\\\ \\$ \\` \\n\"", Words{"dq \" \\ $ ` \\n"}},
      {"back\\ slash\\\\x \\'q", Words{"back slash\\x", "'q"}},
      {"line\\\ncontinued", Words{"linecontinued"}},
      {"\"\" ''", Words{"", ""}},
      {"$HOME ~ *.iso", Words{"$HOME", "~", "*.iso"}},
      {"\"unterminated", std::nullopt},
      {"'unterminated", std::nullopt},
      {"trailing\\", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(extract::SplitCommand(c.command), c.words) << c.command;
}

TEST(FollowUp, PutsTheImageInPlaceOfEveryPlaceholderWithinItsWord) {
  struct Case {
    const char* command;
    const char* image;
    std::optional<Words> args;
  };
  const std::vector<Case> cases = {
      {"mount %F", "/out/game.iso", Words{"mount", "/out/game.iso"}},
      {"mount %f", "/out/game.iso", Words{"mount", "/out/game.iso"}},
      {"tool --image=%F -v", "/o/g.iso", Words{"tool", "--image=/o/g.iso", "-v"}},
      {"tool %F %f", "/o/g.iso", Words{"tool", "/o/g.iso", "/o/g.iso"}},
      {"tool %F%F", "x", Words{"tool", "xx"}},
      {"tool \"%F\"", "/my games/a b.iso", Words{"tool", "/my games/a b.iso"}},
      {"tool %F", "/my games/it's \"q\".iso", Words{"tool", "/my games/it's \"q\".iso"}},
      {"tool %F", "/o/100%F.iso", Words{"tool", "/o/100%F.iso"}},
      {"tool %G %% %", "x", Words{"tool", "%G", "%%", "%"}},
      {"'/opt/a b/run' now", "x", Words{"/opt/a b/run", "now"}},
      {"run %F", "", Words{"run", ""}},
      {"", "x", std::nullopt},
      {"run \"%F", "x", std::nullopt},
  };
  for (const auto& c : cases)
    EXPECT_EQ(extract::BuildFollowUpArgs(c.command, c.image), c.args) << c.command << " with " << c.image;
}

class ImageSearch : public ::testing::Test {
 protected:
  launchtest::TempDir dir;
  void Touch(const std::string& name) { std::ofstream(dir.path() + "/" + name) << "x"; }
};

TEST_F(ImageSearch, LaterKindsReplaceEarlierOnesAndOnlyCheckedKindsAreSought) {
  Touch("game.iso");
  EXPECT_EQ(extract::FindImage(dir.path() + "/", true, false), dir.path() + "/game.iso");
  Touch("game.bin");
  Touch("game.cue");
  EXPECT_EQ(extract::FindImage(dir.path() + "/", true, false), dir.path() + "/game.bin");
  EXPECT_EQ(extract::FindImage(dir.path() + "/", false, true), dir.path() + "/game.cue");
  EXPECT_EQ(extract::FindImage(dir.path() + "/", false, false), dir.path() + "/game.iso");
}

TEST_F(ImageSearch, OnlyACueImageWithTheBinChoiceFindsNothing) {
  Touch("game.cue");
  EXPECT_EQ(extract::FindImage(dir.path() + "/", true, false), "");
}

TEST_F(ImageSearch, MatchesLetterCaseIgnoredAndTakesTheFirstSortedName) {
  Touch("b.ISO");
  Touch("a.Iso");
  Touch("c.iso");
  EXPECT_EQ(extract::FindImage(dir.path() + "/", false, false), dir.path() + "/a.Iso");
}

TEST_F(ImageSearch, LooksInsideAFolderGivenWithoutTrailingSlash) {
  // A sibling whose name starts with the folder's name must not be matched.
  mkdir((dir.path() + "/out").c_str(), 0755);
  std::ofstream(dir.path() + "/out.iso") << "x";
  std::ofstream(dir.path() + "/out/game.iso") << "x";
  EXPECT_EQ(extract::FindImage(dir.path() + "/out", false, false), dir.path() + "/out/game.iso");
  EXPECT_EQ(extract::FindImage(dir.path() + "/missing", true, true), "");
}

TEST(FollowUpLaunch, StartsTheProgramOnceWithTheImagePathAsOneArgument) {
  launchtest::TempDir dir;
  launchtest::Recorder rec(dir.path());
  std::string image = dir.path() + "/my game 'v1' \"final\".iso";
  auto r = extract::LaunchFollowUp("'" + rec.program + "' -m %F --also=%f", image);
  ASSERT_TRUE(r.ok()) << r.message();
  EXPECT_EQ(rec.WaitForCalls(1), (std::vector<Words>{{"-m", image, "--also=" + image}}));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(rec.Calls().size(), 1u) << "the program must be started once";
}

TEST(FollowUpLaunch, ReportsCommandsThatStartNothing) {
  launchtest::TempDir dir;
  EXPECT_FALSE(extract::LaunchFollowUp("", "x").ok());
  EXPECT_FALSE(extract::LaunchFollowUp("\"unterminated %F", "x").ok());
  EXPECT_FALSE(extract::LaunchFollowUp(dir.path() + "/no-such-program %F", "x").ok());
}

TEST(FollowUpLaunch, AnUnpackedImageIsHandedToTheOpenerAndNeverRun) {
  // A release whose game.iso is a shell script with its exec bit set in the archive.
  launchtest::TempDir dir;
  const std::string ran = dir.path() + "/script-ran";
  mkdir((dir.path() + "/in").c_str(), 0755);
  launchtest::WriteExecutable(dir.path() + "/in/game.iso", "#!/bin/sh\ntouch '" + ran + "'\n");
  const std::string pack = std::string(LUMESKAR_BINARY_DIR) + "/tools/rarwrite '" + dir.path() + "/rel' '" +
                           dir.path() + "/in/game.iso' > /dev/null";
  ASSERT_EQ(std::system(pack.c_str()), 0);
  TRAR rar(std::string(LUMESKAR_BINARY_DIR) + "/libunrar.so");
  rar.ArchiveName = dir.path() + "/rel.rar";
  rar.TargetDir = dir.path() + "/out/";
  ASSERT_TRUE(rar.ExtractArchive());
  const std::string image = extract::FindImage(rar.TargetDir, false, false);
  ASSERT_EQ(image, dir.path() + "/out/game.iso");
  ASSERT_EQ(access(image.c_str(), X_OK), 0) << "the archive's exec bit survives extraction";

  launchtest::Recorder opener(dir.path(), "xdg-open");
  launchtest::PathPrefix path(dir.path());
  const std::vector<std::string> commands = {"%F", "%f --fullscreen", "\"%F\" -x"};
  for (size_t i = 0; i < commands.size(); ++i) {
    EXPECT_TRUE(extract::LaunchFollowUp(commands[i], image).ok()) << commands[i];
    ASSERT_EQ(opener.WaitForCalls(i + 1).size(), i + 1) << commands[i];
    EXPECT_EQ(opener.Calls()[i], Words{image}) << commands[i];
  }
  EXPECT_NE(access(ran.c_str(), F_OK), 0) << "the image was executed";
  EXPECT_FALSE(extract::LaunchFollowUp("%F", "").ok()) << "no image found: nothing to open";
}

}  // namespace
