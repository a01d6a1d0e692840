// Start-up load and "Apply" save of the option controls: the order of the
// steps, run through the real reactions, decides the outcome.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "FakePanel.h"
#include "TempFolder.h"
#include "platform/Folders.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsLocation.h"
#include "settings/SettingsLock.h"
#include "tests/common/ChildProcess.h"

using settings::Option;
using testing_support::FakePanel;
using testing_support::ReadFile;
using testing_support::RunInChild;
using testing_support::TempFolder;
using testing_support::WriteFile;

namespace {

const char kNotice[] = "Extraction not supported - libunrar.so not found in /opt/lumeskar/";

struct Loaded {
  bool extract, dirEnabled, choose;
};

Loaded LoadWith(const std::string& text, bool library, std::vector<std::string>* notices = nullptr,
                std::string* fileAfter = nullptr) {
  TempFolder dir;
  const std::string path = dir / "lumeskar.ini";
  WriteFile(path, text);
  FakePanel panel(path, library);
  EXPECT_TRUE(settings::LoadSettings(panel, settings::ProfileFile(path)).ok());
  if (notices) *notices = panel.notices;
  if (fileAfter) *fileAfter = ReadFile(path);
  return {panel.IsChecked(Option::Extract), panel.extractDirEnabled, panel.IsChecked(Option::ChooseExtract)};
}

TEST(SettingsLoad, ExtractionChoicesWithLibraryPresent) {
  struct Row {
    const char* extract;  // nullptr: key absent
    const char* choose;
    Loaded expected;
  };
  const Row rows[] = {
      {"Yes", "No", {true, true, false}},       {"No", "Yes", {false, false, true}},
      {nullptr, "Yes", {false, false, true}},   {"No", "No", {true, true, false}},
      {nullptr, "No", {true, true, false}},     {"No", nullptr, {false, false, true}},
      {nullptr, nullptr, {false, false, true}}, {"Yes", "Yes", {false, false, true}},
      {"Yes", nullptr, {true, true, false}},
  };
  for (const auto& r : rows) {
    std::string text = "[Options]\n";
    if (r.extract) text += std::string("Extract=") + r.extract + "\n";
    if (r.choose) text += std::string("ChooseExtract=") + r.choose + "\n";
    std::vector<std::string> notices;
    const Loaded got = LoadWith(text, true, &notices);
    EXPECT_EQ(got.extract, r.expected.extract) << text;
    EXPECT_EQ(got.dirEnabled, r.expected.dirEnabled) << text;
    EXPECT_EQ(got.choose, r.expected.choose) << text;
    EXPECT_TRUE(notices.empty()) << text;
  }
}

TEST(SettingsLoad, ExtractionChoicesWithLibraryMissing) {
  std::vector<std::string> notices;
  std::string file;
  // Both turn-ons are undone by the reaction, each with its notice; the
  // "ChooseExtract" = "No" step then enables the folder box again.
  Loaded got = LoadWith("[Options]\nExtract=Yes\nChooseExtract=No\n", false, &notices, &file);
  EXPECT_FALSE(got.extract);
  EXPECT_TRUE(got.dirEnabled);
  EXPECT_FALSE(got.choose);
  EXPECT_EQ(notices, (std::vector<std::string>{kNotice, kNotice}));
  EXPECT_EQ(file, "[Options]\nExtract=No\nChooseExtract=No\n");  // written in place, at once

  got = LoadWith("[Options]\nChooseExtract=Yes\n", false, &notices, &file);
  EXPECT_FALSE(got.extract);
  EXPECT_FALSE(got.dirEnabled);
  EXPECT_TRUE(got.choose);  // already checked: no reaction runs
  EXPECT_TRUE(notices.empty());
  EXPECT_EQ(file, "[Options]\nChooseExtract=Yes\n");
}

TEST(SettingsLoad, ExtractionTableWithLibraryMissing) {
  // Every turn-on of either box is undone by its reaction with one notice;
  // only "Extract to Directory" disables itself and saves "Extract" = "No".
  struct Row {
    const char* extract;  // nullptr: key absent
    const char* choose;
    bool dirEnabled, choose_, boxEnabled;
    size_t notices;
  };
  const Row rows[] = {
      {"Yes", "No", true, false, false, 2},   {"No", "Yes", false, true, true, 0},
      {nullptr, "No", true, false, false, 1}, {nullptr, nullptr, false, true, true, 0},
      {"Yes", "Yes", false, true, false, 1},  {"Yes", nullptr, false, true, false, 1},
  };
  for (const auto& r : rows) {
    std::string text = "[Options]\n";
    if (r.extract) text += std::string("Extract=") + r.extract + "\n";
    if (r.choose) text += std::string("ChooseExtract=") + r.choose + "\n";
    TempFolder dir;
    const std::string path = dir / "lumeskar.ini";
    WriteFile(path, text);
    FakePanel panel(path, false);
    ASSERT_TRUE(settings::LoadSettings(panel, settings::ProfileFile(path)).ok());
    EXPECT_FALSE(panel.IsChecked(Option::Extract)) << text;
    EXPECT_EQ(panel.extractDirEnabled, r.dirEnabled) << text;
    EXPECT_EQ(panel.IsChecked(Option::ChooseExtract), r.choose_) << text;
    EXPECT_EQ(panel.extractToDirEnabled, r.boxEnabled) << text;
    EXPECT_EQ(panel.notices.size(), r.notices) << text;
    const std::string extractAfter = settings::ProfileFile(path).ReadString("Options", "Extract");
    EXPECT_EQ(extractAfter, r.notices ? "No" : (r.extract ? r.extract : "")) << text;
  }
}

TEST(SettingsLoad, OtherKeys) {
  TempFolder dir;
  const std::string path = dir / "lumeskar.ini";
  const std::string longCommand(2100, 'c');
  WriteFile(path,
            "[options]\r\nwordwrap=yes\r\nALWAYSONTOP=Yes\r\nRunAfterExt=Yes\r\nUseBin=Yes\r\nUseCue=Yes\r\n"
            "ExtractTo= \"/media/My Releases\" \r\nAfterExtract=" +
                longCommand + "\r\n");
  FakePanel panel(path, true);
  ASSERT_TRUE(settings::LoadSettings(panel, settings::ProfileFile(path)).ok());
  EXPECT_TRUE(panel.IsChecked(Option::WordWrap));  // "yes" is not "Yes"
  EXPECT_TRUE(panel.wordWrap);
  EXPECT_TRUE(panel.IsChecked(Option::AlwaysOnTop));
  EXPECT_TRUE(panel.stayOnTop);
  EXPECT_TRUE(panel.IsChecked(Option::RunAfterExt));
  EXPECT_TRUE(panel.afterRunEnabled);
  EXPECT_TRUE(panel.IsChecked(Option::UseCue));  // the later of the two wins
  EXPECT_FALSE(panel.IsChecked(Option::UseBin));
  EXPECT_EQ(panel.extractDir, "/media/My Releases");
  EXPECT_EQ(panel.afterRun, longCommand.substr(0, 2047));

  FakePanel untouched(dir / "missing.ini", true);
  ASSERT_TRUE(settings::LoadSettings(untouched, settings::ProfileFile(dir / "missing.ini")).ok());
  EXPECT_TRUE(untouched.IsChecked(Option::ChooseExtract));
  EXPECT_TRUE(untouched.wordWrap);
  EXPECT_FALSE(std::filesystem::exists(dir / "missing.ini"));

  WriteFile(path, "[Options]\nWordWrap=No\nAlwaysOnTop=No\n");
  FakePanel off(path, true);
  ASSERT_TRUE(settings::LoadSettings(off, settings::ProfileFile(path)).ok());
  EXPECT_FALSE(off.IsChecked(Option::WordWrap));
  EXPECT_FALSE(off.wordWrap);
}

TEST(SettingsSave, FirstSaveFromInitialStateAndRoundTrip) {
  TempFolder dir;
  const std::string path = dir / "cfg/lumeskar/lumeskar.ini";
  FakePanel panel(path, true);
  settings::ProfileFile file(path);
  ASSERT_TRUE(settings::SaveSettings(panel, file).ok());
  EXPECT_EQ(ReadFile(path),
            "[Options]\nUseBin=Yes\nChooseExtract=Yes\nWordWrap=Yes\nAlwaysOnTop=No\nAssociate=No\n"
            "Extract=No\nRunAfterExt=No\nUseCue=No\nExtractTo=\nAfterExtract=\n");

  // Keys keep their place when rewritten; a load brings the states back.
  ASSERT_TRUE(panel.SetChecked(Option::Extract, true).ok());
  ASSERT_TRUE(panel.SetChecked(Option::UseCue, true).ok());
  ASSERT_TRUE(panel.SetChecked(Option::WordWrap, false).ok());
  panel.extractDir = "/srv/out";
  panel.afterRun = "burn \"%F\"";
  ASSERT_TRUE(settings::SaveSettings(panel, file).ok());
  EXPECT_EQ(ReadFile(path),
            "[Options]\nUseBin=No\nChooseExtract=No\nWordWrap=No\nAlwaysOnTop=No\nAssociate=No\n"
            "Extract=Yes\nRunAfterExt=No\nUseCue=Yes\nExtractTo=/srv/out\nAfterExtract=burn \"%F\"\n");
  FakePanel reloaded(path, true);
  ASSERT_TRUE(settings::LoadSettings(reloaded, file).ok());
  EXPECT_TRUE(reloaded.IsChecked(Option::Extract));
  EXPECT_TRUE(reloaded.extractDirEnabled);
  EXPECT_TRUE(reloaded.IsChecked(Option::UseCue));
  EXPECT_FALSE(reloaded.wordWrap);
  EXPECT_EQ(reloaded.extractDir, "/srv/out");
  EXPECT_EQ(reloaded.afterRun, "burn \"%F\"");  // quotes not at both ends stay
}

TEST(SettingsSave, StopsAtTheKeyThatCannotBeWritten) {
  TempFolder dir;
  const std::string path = dir / "lumeskar.ini";
  // The first three keys fit under the size limit, the fourth does not.
  const int code = RunInChild(
      [&] {
        FakePanel panel(path, true);
        settings::ProfileFile file(path);
        const platform::Result done = settings::SaveSettings(panel, file);
        if (done) return 1;
        return done.message() == "Unable to write to " + path ? 0 : 2;
      },
      {.maxFileSize = 60});
  EXPECT_EQ(code, 0);
  EXPECT_EQ(ReadFile(path), "[Options]\nUseBin=Yes\nChooseExtract=Yes\nWordWrap=Yes\n");
}

TEST(SettingsSave, MissingLibraryWriteFailureStopsTheLoad) {
  TempFolder dir;
  const std::string path = dir / "lumeskar.ini";
  WriteFile(path, "[Options]\nExtract=Yes\nWordWrap=No\n");
  chmod(path.c_str(), 0444);
  const int code = RunInChild(
      [&] {
        FakePanel panel(path, false);
        if (settings::LoadSettings(panel, settings::ProfileFile(path))) return 1;
        // The load ends at the failing write: word wrap is still on.
        return panel.wordWrap && panel.notices.size() == 1 ? 0 : 2;
      },
      {.unprivileged = true});
  EXPECT_EQ(code, 0);
}

// Whether `child` comes to wait for a lock held by another process (true), or
// ends without ever waiting (false, and it is reaped).
bool WaitsForALock(pid_t child) {
  const std::string pid = " " + std::to_string(child) + " ";
  for (;;) {
    if (waitpid(child, nullptr, WNOHANG) == child) return false;
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);)
      if (line.find(" -> ") != std::string::npos && line.find(pid) != std::string::npos) return true;
    usleep(1000);
  }
}

TEST(SettingsLock, ALoadOrSaveWaitsForTheOneUnderWayInAnotherWindow) {
  for (const bool save : {true, false}) {
    SCOPED_TRACE(save ? "save" : "load");
    TempFolder home;
    setenv("XDG_CONFIG_HOME", home.path().c_str(), 1);
    const std::string path = settings::SettingsPath();
    unsetenv("XDG_CONFIG_HOME");
    ASSERT_EQ(path.rfind(home.path(), 0), 0u);
    ASSERT_TRUE(platform::CreateFolders(path.substr(0, path.rfind('/')), settings::kNewFolderMode));
    if (!save) WriteFile(path, "[Options]\nExtractTo=/before\n");

    int go[2];
    ASSERT_EQ(pipe(go), 0);
    const pid_t child = fork();
    if (child == 0) {
      char byte;
      if (read(go[0], &byte, 1) != 1) _exit(3);
      FakePanel panel(path, true);
      settings::ProfileFile file(path);
      if (!(save ? settings::SaveSettings(panel, file) : settings::LoadSettings(panel, file))) _exit(4);
      _exit(save || panel.extractDir == "/other/window" ? 0 : 2);
    }
    {
      // Another window in the middle of its save: it holds the lock while
      // the child is told to start.
      const settings::SettingsLock held(path);
      ASSERT_EQ(write(go[1], "x", 1), 1);
      ASSERT_TRUE(WaitsForALock(child)) << "went ahead while another window was saving";
      settings::ProfileFile other(path);
      ASSERT_TRUE(other.WriteString("Options", "ExtractTo", "/other/window"));
      ASSERT_TRUE(other.WriteString("Options", "OtherWindow", "kept"));
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    const std::string text = ReadFile(path);
    EXPECT_NE(text.find("OtherWindow=kept\n"), std::string::npos) << text;
    if (save) {
      EXPECT_NE(text.find("AfterExtract=\n"), std::string::npos) << text;
    }
    close(go[0]);
    close(go[1]);
  }
}

TEST(SettingsLocation, BesideTheProgramOrInTheConfigHome) {
  TempFolder dir;
  const std::string programDir = dir.path() + "/";
  EXPECT_EQ(settings::SettingsPathFor(programDir, "lumeskar", "/xdg/cfg", "/home/u"), "/xdg/cfg/lumeskar/lumeskar.ini");
  EXPECT_EQ(settings::SettingsPathFor(programDir, "lumeskar", "relative/cfg", "/home/u"),
            "/home/u/.config/lumeskar/lumeskar.ini");
  EXPECT_EQ(settings::SettingsPathFor(programDir, "lumeskar", "", "/home/u"), "/home/u/.config/lumeskar/lumeskar.ini");
  // The plug-in folder follows the settings, in the data home.
  EXPECT_EQ(settings::PluginsFolderFor(programDir, "lumeskar", "/xdg/data", "/home/u"), "/xdg/data/lumeskar/Plugins");
  EXPECT_EQ(settings::PluginsFolderFor(programDir, "lumeskar", "relative/data", "/home/u"),
            "/home/u/.local/share/lumeskar/Plugins");
  EXPECT_EQ(settings::PluginsFolderFor(programDir, "lumeskar", nullptr, "/home/u"),
            "/home/u/.local/share/lumeskar/Plugins");
  WriteFile(dir / "lumeskar.ini", "");
  EXPECT_EQ(settings::SettingsPathFor(programDir, "lumeskar", "/xdg/cfg", "/home/u"), programDir + "lumeskar.ini");
  EXPECT_EQ(settings::SettingsPathFor(programDir, "renamed", "/xdg/cfg", "/home/u"), "/xdg/cfg/lumeskar/renamed.ini");
  EXPECT_EQ(settings::PluginsFolderFor(programDir, "lumeskar", "/xdg/data", "/home/u"), programDir + "Plugins");
  EXPECT_EQ(settings::PluginsFolderFor(programDir, "renamed", "/xdg/data", "/home/u"), "/xdg/data/lumeskar/Plugins");
}

}  // namespace
