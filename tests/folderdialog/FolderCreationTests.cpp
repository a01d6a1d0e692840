#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/common/TempDir.h"

using testing_support::TempDir;
#include "folderdialog/FolderCreation.h"

namespace fs = std::filesystem;

namespace {

TEST(NewFolderPath, NameJoinsTheCurrentFolder) {
  EXPECT_EQ(NewFolderPath("/data", "new"), "/data/new");
  EXPECT_EQ(NewFolderPath("/data/", "new"), "/data/new");
  EXPECT_EQ(NewFolderPath("/data", "/new"), "/data/new");  // a leading separator is kept as typed
  EXPECT_EQ(NewFolderPath("/", "a/b"), "/a/b");
  EXPECT_EQ(NewFolderPath("/data", "a/b/c"), "/data/a/b/c");
}

TEST(CreateFolderLevels, CreatesEveryMissingLevel) {
  TempDir tmp;
  EXPECT_TRUE(CreateFolderLevels(tmp / "a/b/c"));
  EXPECT_TRUE(fs::is_directory(tmp / "a/b/c"));
  EXPECT_TRUE(CreateFolderLevels(tmp / "a/b"));  // already there
  EXPECT_TRUE(CreateFolderLevels(tmp / "a//./d/"));
  EXPECT_TRUE(fs::is_directory(tmp / "a/d"));
  EXPECT_FALSE(CreateFolderLevels(""));
}

TEST(CreateFolderLevels, FailureLeavesNothingBehind) {
  TempDir tmp;
  std::ofstream(tmp / "file") << "x";
  const std::string tooLong(300, 'n');

  EXPECT_FALSE(CreateFolderLevels(tmp / ("x/y/" + tooLong)));  // the last level cannot be made
  EXPECT_FALSE(fs::exists(tmp / "x"));
  EXPECT_FALSE(CreateFolderLevels(tmp / "file/q"));
  EXPECT_FALSE(CreateFolderLevels(tmp / "file"));  // a file is not a folder
  EXPECT_TRUE(fs::is_regular_file(tmp / "file"));

  // Never outside the folder it was asked for in.
  fs::create_directory(tmp / "inner");
  EXPECT_FALSE(CreateFolderLevels(tmp / "inner/../escaped"));
  EXPECT_FALSE(CreateFolderLevels(tmp / "inner/new/.."));
  EXPECT_FALSE(fs::exists(tmp / "escaped"));
  EXPECT_FALSE(fs::exists(tmp / "inner/new"));
  EXPECT_TRUE(fs::is_directory(tmp / "inner"));
}

TEST(CreateFolderLevels, ReadOnlyParent) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  TempDir tmp;
  fs::create_directory(tmp / "ro");
  chmod((tmp / "ro").c_str(), 0555);
  EXPECT_FALSE(CreateFolderLevels(tmp / "ro/a/b"));
  chmod((tmp / "ro").c_str(), 0755);
  EXPECT_FALSE(fs::exists(tmp / "ro/a"));
}

}  // namespace
