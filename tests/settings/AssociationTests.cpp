// The .nfo association in a temporary XDG_CONFIG_HOME / XDG_DATA_HOME. GIO
// reads those folders once per process, so every GIO step runs in a fresh
// child process; the results are judged by the desktop's own tools.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>

#include "GioDefault.h"
#include "TempFolder.h"
#include "settings/Association.h"
#include "settings/DesktopEntry.h"
#include "tests/common/ChildProcess.h"

using testing_support::ReadFile;
using testing_support::RunInChild;
using testing_support::TempFolder;
using testing_support::WriteFile;

namespace {

class AssociationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    config_ = dir_ / "config";
    data_ = dir_ / "data";
    std::filesystem::create_directories(data_ + "/applications");
    std::filesystem::create_directories(config_);
    // A real executable whose path needs quoting in an Exec line.
    program_ = dir_ / "my \"odd\" $HOME `x` \\prog";
    std::filesystem::copy_file("/bin/true", program_);
    chmod(program_.c_str(), 0755);
  }

  // Runs `body` in a child that sees only the temporary XDG folders.
  int InChild(const std::function<int()>& body) {
    return RunInChild([&] {
      setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
      setenv("XDG_DATA_HOME", data_.c_str(), 1);
      setenv("XDG_DATA_DIRS", (dir_ / "nosystem").c_str(), 1);
      setenv("PATH", Path().c_str(), 1);
      return body();
    });
  }

  // The temporary XDG folders and PATH for a desktop tool's command line.
  std::string Env() {
    return "env XDG_CONFIG_HOME='" + config_ + "' XDG_DATA_HOME='" + data_ + "' XDG_DATA_DIRS='" + dir_.path() +
           "/nosystem' PATH='" + Path() + "' ";
  }
  // A desktop tool's output (standard error included) in that environment.
  std::string Tool(const std::string& command) { return testing_support::Shell(Env() + command + " 2>&1").output; }
  std::string GioDefault() { return testing_support::GioDefault(Env()); }
  static int Report(const platform::Result& done) {
    if (!done) fprintf(stderr, "%s\n", done.message().c_str());
    return done ? 0 : 1;
  }
  int Register() {
    return InChild([&] { return Report(settings::RegisterAssociation(program_)); });
  }
  int Unregister() {
    return InChild([] { return Report(settings::UnregisterAssociation()); });
  }
  bool Probe() {
    return InChild([] { return settings::AssociationIsOurs() ? 0 : 1; }) == 0;
  }

  void InstallOtherViewer() {
    WriteFile(data_ + "/applications/other.desktop",
              "[Desktop Entry]\nType=Application\nName=Other\nExec=/bin/true %f\nMimeType=text/x-nfo;\n");
    WriteFile(config_ + "/mimeapps.list", "[Added Associations]\ntext/x-nfo=other.desktop;\n");
  }

  // The PATH the desktop's tools and the association see: a folder of the
  // test's own first, where a package's link to the program may lie.
  std::string Path() { return dir_ / "bin" + ":" + getenv("PATH"); }

  TempFolder dir_;
  std::string config_, data_, program_;
};

TEST_F(AssociationTest, CheckingRegistersUsAsTheDefault) {
  EXPECT_FALSE(Probe());
  ASSERT_EQ(Register(), 0);
  EXPECT_EQ(Tool("xdg-mime query default text/x-nfo"), "lumeskar.desktop\n");
  EXPECT_EQ(GioDefault(), "lumeskar.desktop");
  EXPECT_TRUE(Probe());  // GIO accepted the entry, so it found the quoted program
  const std::string entry = ReadFile(data_ + "/applications/lumeskar.desktop");
  EXPECT_NE(entry.find("\nMimeType=text/x-nfo;\n"), std::string::npos);
  EXPECT_NE(entry.find("\nIcon=lumeskar\n"), std::string::npos);
  EXPECT_NE(entry.find(" %f\n"), std::string::npos);
}

TEST_F(AssociationTest, UncheckingTakesItBackAndLeavesOthersAlone) {
  InstallOtherViewer();
  ASSERT_EQ(Register(), 0);
  ASSERT_EQ(GioDefault(), "lumeskar.desktop");
  ASSERT_EQ(Unregister(), 0);
  EXPECT_NE(GioDefault(), "lumeskar.desktop");
  EXPECT_FALSE(Probe());
  const std::string list = ReadFile(config_ + "/mimeapps.list");
  EXPECT_NE(list.find("[Removed Associations]\ntext/x-nfo=lumeskar.desktop;"), std::string::npos) << list;
  EXPECT_NE(list.find("[Added Associations]\ntext/x-nfo=other.desktop;"), std::string::npos) << list;

  ASSERT_EQ(Register(), 0);  // checking again undoes the removal
  EXPECT_EQ(GioDefault(), "lumeskar.desktop");
  EXPECT_TRUE(Probe());
  EXPECT_EQ(ReadFile(config_ + "/mimeapps.list").find("text/x-nfo=lumeskar.desktop;\n\n[Removed"), std::string::npos);
  EXPECT_NE(Tool("gio mime text/x-nfo").find("other.desktop"), std::string::npos);
}

// A package installs our entry for every user, and its trigger indexes it;
// GIO then takes it as the default, but nobody has chosen it yet.
TEST_F(AssociationTest, ProbeIgnoresAnInstalledEntryTheUserDidNotChoose) {
  const std::string system = dir_ / "nosystem/applications";
  std::filesystem::create_directories(system);
  WriteFile(system + "/lumeskar.desktop",
            "[Desktop Entry]\nType=Application\nName=Lumeskar\nExec=/bin/true %f\nMimeType=text/x-nfo;\n");
  Tool("update-desktop-database '" + system + "'");
  ASSERT_EQ(GioDefault(), "lumeskar.desktop");
  EXPECT_FALSE(Probe());
  ASSERT_EQ(Register(), 0);
  EXPECT_TRUE(Probe());
}

// A package's entry is named by its id alone, so that removing the package
// leaves nothing in the user's folders pointing at the program; only a
// program that is not the installed one gets a copy of its own.
TEST_F(AssociationTest, AnInstalledEntryIsUsedByItsIdAndCopiedOnlyForAnotherProgram) {
  struct Case {
    const char* name;
    std::string installedExec;  // the program the package's entry starts; "" = no package
    bool earlierCopy;           // the user holds the copy an earlier version wrote
    bool copied;                // the user gets a copy of the entry
  };
  // As a package installs it: a command on the PATH that links to the program.
  std::filesystem::create_directories(dir_ / "bin");
  std::filesystem::create_symlink(program_, dir_ / "bin/lumeskar");
  const Case cases[] = {
      {"installed", *settings::QuoteExecProgram(program_), false, false},
      {"installed, started through a link on the PATH", "lumeskar", false, false},
      {"installed, with the copy an earlier version wrote", "lumeskar", true, false},
      {"run from a build folder beside a package", "/bin/true", false, true},
      {"not installed", "", false, true},
  };
  const std::string system = dir_ / "nosystem/applications";
  const std::string copy = data_ + "/applications/lumeskar.desktop";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(system);
    std::filesystem::remove(copy);
    std::filesystem::remove(config_ + "/mimeapps.list");
    if (!c.installedExec.empty()) {
      std::filesystem::create_directories(system);
      WriteFile(system + "/lumeskar.desktop", "[Desktop Entry]\nType=Application\nName=Lumeskar\nExec=" +
                                                  c.installedExec + " %f\nMimeType=text/x-nfo;\n");
    }
    if (c.earlierCopy) WriteFile(copy, *settings::DesktopEntryText(program_));

    ASSERT_EQ(Register(), 0);
    EXPECT_EQ(std::filesystem::exists(copy), c.copied);
    if (c.copied) {
      EXPECT_NE(ReadFile(copy).find(*settings::QuoteExecProgram(program_)), std::string::npos);
    }
    EXPECT_EQ(Tool("xdg-mime query default text/x-nfo"), "lumeskar.desktop\n");
    EXPECT_EQ(GioDefault(), "lumeskar.desktop");
    EXPECT_TRUE(Probe());

    ASSERT_EQ(Unregister(), 0);  // unchecking takes back the installed entry too
    EXPECT_NE(GioDefault(), "lumeskar.desktop");
    EXPECT_FALSE(Probe());
  }
}

TEST_F(AssociationTest, ProbeIgnoresAnEntryWhoseProgramIsGone) {
  ASSERT_EQ(Register(), 0);
  std::filesystem::remove(program_);
  EXPECT_FALSE(Probe());
}

TEST_F(AssociationTest, FailuresNameThePathThatCouldNotBeWritten) {
  WriteFile(dir_ / "plain-file", "");
  data_ = dir_ / "plain-file/data";
  std::string error;
  int code = InChild([&] {
    return settings::RegisterAssociation(program_).message() ==
                   "Unable to write to " + data_ + "/applications/lumeskar.desktop"
               ? 0
               : 1;
  });
  EXPECT_EQ(code, 0);

  data_ = dir_ / "data";
  config_ = dir_ / "plain-file/config";
  code = InChild([&] {
    return settings::RegisterAssociation(program_).message() == "Unable to write to " + config_ + "/mimeapps.list" ? 0
                                                                                                                   : 1;
  });
  EXPECT_EQ(code, 0);
}

TEST(DesktopEntry, ExecQuotesTheProgramAsOneArgument) {
  EXPECT_EQ(*settings::QuoteExecProgram("/opt/lumeskar/lumeskar"), "\"/opt/lumeskar/lumeskar\"");
  EXPECT_EQ(*settings::QuoteExecProgram("/a b/\"q\" $v `c` 100%\\x"),
            "\"/a b/\\\\\"q\\\\\" \\\\$v \\\\`c\\\\` 100%%\\\\\\\\x\"");
  EXPECT_FALSE(settings::QuoteExecProgram("/bad\npath"));
  EXPECT_FALSE(settings::QuoteExecProgram("/latin1-\xE9.bin"));
  EXPECT_TRUE(settings::QuoteExecProgram("/utf8-\xC3\xA9.bin"));
}

}  // namespace
