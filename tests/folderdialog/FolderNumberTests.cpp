#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/common/TempDir.h"

using testing_support::TempDir;
#include "folderdialog/FolderNumbers.h"

namespace fs = std::filesystem;

namespace {

TEST(UserDirs, ConfigFileValues) {
  const std::string text =
      "# written by xdg-user-dirs-update\n"
      "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
      "XDG_DOCUMENTS_DIR=\"/data/docs/\"\n"
      "XDG_TEMPLATES_DIR=\"$HOME/\"\n"
      "XDG_MUSIC_DIR=\"relative/music\"\n"
      "  XDG_VIDEOS_DIR=\"$HOME/Videos\"\r\n"
      "#XDG_PICTURES_DIR=\"$HOME/Pictures\"\n"
      "XDG_DOWNLOAD_DIR=\"$HOMEWORK\"\n";
  EXPECT_EQ(UserDirFromConfig(text, "DESKTOP", "/home/u"), "/home/u/Schreibtisch");
  EXPECT_EQ(UserDirFromConfig(text, "DOCUMENTS", "/home/u"), "/data/docs");
  EXPECT_EQ(UserDirFromConfig(text, "TEMPLATES", "/home/u"), "");  // pointing at home turns it off
  EXPECT_EQ(UserDirFromConfig(text, "MUSIC", "/home/u"), "");      // neither absolute nor under $HOME
  EXPECT_EQ(UserDirFromConfig(text, "VIDEOS", "/home/u"), "/home/u/Videos");
  EXPECT_EQ(UserDirFromConfig(text, "PICTURES", "/home/u"), "");
  EXPECT_EQ(UserDirFromConfig(text, "DOWNLOAD", "/home/u"), "");
  EXPECT_EQ(UserDirFromConfig("", "DESKTOP", "/home/u"), "");
}

class SpecialFolders : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(tmp_.path().empty());
    home_ = tmp_ / "home";
    fs::create_directories(home_ + "/.config");
    setenv("HOME", home_.c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("XDG_DATA_HOME");
    unsetenv("XDG_CACHE_HOME");
  }
  void WriteUserDirs(const std::string& text) { std::ofstream(home_ + "/.config/user-dirs.dirs") << text; }

  TempDir tmp_;
  std::string home_;
};

TEST_F(SpecialFolders, NumbersMapToDesktopPlaces) {
  WriteUserDirs("XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\nXDG_TEMPLATES_DIR=\"$HOME/Vorlagen\"\n");
  EXPECT_EQ(SpecialFolderPath(0), home_ + "/Desktop");  // the desktop has a default
  EXPECT_EQ(SpecialFolderPath(16), home_ + "/Desktop");
  EXPECT_EQ(SpecialFolderPath(5), home_ + "/Dokumente");
  EXPECT_EQ(SpecialFolderPath(21), home_ + "/Vorlagen");
  EXPECT_EQ(SpecialFolderPath(20), home_ + "/.local/share/fonts");
  EXPECT_EQ(SpecialFolderPath(17), "/");
  EXPECT_EQ(SpecialFolderPath(40), home_);
  EXPECT_EQ(SpecialFolderPath(13), "");  // music not configured
  EXPECT_EQ(SpecialFolderPath(kSpecialNetwork), "");
  EXPECT_EQ(SpecialFolderPath(255), "");

  setenv("XDG_DATA_HOME", (tmp_ / "data").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (tmp_ / "config").c_str(), 1);  // user-dirs.dirs is looked for here now
  EXPECT_EQ(SpecialFolderPath(20), tmp_ / "data/fonts");
  EXPECT_EQ(SpecialFolderPath(5), "");
}

TEST_F(SpecialFolders, SearchFindsTheLowestExistingNumber) {
  fs::create_directories(home_ + "/Desktop");
  fs::create_directories(home_ + "/Docs");
  WriteUserDirs("XDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n");
  fs::create_directory_symlink(home_ + "/Desktop", tmp_ / "desk-link");

  EXPECT_EQ(FindSpecialFolder(home_ + "/Desktop"), 0);
  EXPECT_EQ(FindSpecialFolder(home_ + "/Desktop/"), 0);
  EXPECT_EQ(FindSpecialFolder(tmp_ / "desk-link"), 0);  // the same folder through a link
  EXPECT_EQ(FindSpecialFolder(home_ + "/Docs"), 5);
  EXPECT_EQ(FindSpecialFolder(home_), 40);
  EXPECT_EQ(FindSpecialFolder("/"), 17);
  EXPECT_EQ(FindSpecialFolder(tmp_.path()), -1);
  EXPECT_EQ(FindSpecialFolder(""), -1);
  EXPECT_EQ(FindSpecialFolder(home_ + "/missing"), -1);

  fs::remove(home_ + "/Desktop");
  EXPECT_FALSE(SpecialFolderAvailable(0));
  EXPECT_TRUE(SpecialFolderAvailable(5));
}

}  // namespace
