// Release discovery and the origin site, on real folders.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "release/OriginSite.h"
#include "release/ReleaseDiscovery.h"
#include "tests/common/TempDir.h"

namespace fs = std::filesystem;

namespace {
class DiscoveryTest : public testing::Test {
 protected:
  void Touch(const std::string& name) {
    fs::create_directories(fs::path(root + name).parent_path());
    std::ofstream(root + name) << "x";
  }
  release::Discovery Discover(std::string searchName = "") {
    release::Discovery d;
    d.searchName = std::move(searchName);
    release::DiscoverRelease(root, d);
    return d;
  }
  testing_support::TempDir dir;
  std::string root = dir.folder();
};
}  // namespace

TEST_F(DiscoveryTest, ChoosesTheFirstSfvInSortedOrderIgnoringCase) {
  Touch("zz.sfv");
  Touch("B.SFV");
  Touch("a.Sfv");
  Touch("c.sfv.txt");
  Touch("CD1/disc.sfv");
  auto d = Discover();
  EXPECT_EQ(d.searchName, "B.SFV");  // byte order: upper case sorts first
  EXPECT_EQ(d.sfvfile, root + "B.SFV");
  EXPECT_EQ(d.cdcount, 0);  // no disc probing once the folder has an SFV
}

TEST_F(DiscoveryTest, OnlyRegularFilesCountAsSfvFiles) {
  fs::create_directories(root + "a.sfv");
  fs::create_directory_symlink("/dev", root + "b.sfv");
  fs::create_symlink("/dev/zero", root + "c.sfv");
  auto d = Discover();
  EXPECT_TRUE(d.sfvfile.empty());
  Touch("d.sfv");
  d = Discover();
  EXPECT_EQ(d.sfvfile, root + "d.sfv");
}

TEST_F(DiscoveryTest, ProbesDiscFoldersWithGapsAndMixedCase) {
  struct Case {
    std::vector<std::string> files;
    int cdcount;
  } cases[] = {
      {{"CD1/a.sfv", "cd3/b.sfv"}, 3},
      {{"Cd2/a.sfv"}, 2},
      {{"CD1/a.sfv"}, 1},
      {{"CD6/a.sfv", "CD7/b.sfv"}, 6},
      {{"CD7/a.sfv", "x/CD1/a.sfv"}, 0},  // CD7 and deeper folders never count
      {{}, 0},
  };
  for (const auto& c : cases) {
    fs::remove_all(root);
    fs::create_directories(root);
    for (const auto& f : c.files) Touch(f);
    auto d = Discover();
    EXPECT_EQ(d.cdcount, c.cdcount) << (c.files.empty() ? "" : c.files[0]);
    EXPECT_TRUE(d.sfvfile.empty());
  }
}

TEST_F(DiscoveryTest, AFolderFirstInADiscFolderIsPassedOver) {
  fs::create_directories(root + "CD2/a.sfv");  // a folder sorts first
  Touch("CD2/b.sfv");
  Touch("CD1/z.sfv");
  auto d = Discover();
  EXPECT_EQ(d.cdcount, 2);
  EXPECT_EQ(d.cdsfv[2], root + "CD2/b.sfv");
}

TEST_F(DiscoveryTest, PathWithoutFolderSearchesTheWorkingFolder) {
  EXPECT_EQ(release::FolderOf("x.nfo"), "");
  EXPECT_EQ(release::FolderOf("/a/b/x.nfo"), "/a/b/");
  Touch("r.sfv");
  auto old = fs::current_path();
  fs::current_path(root);
  release::Discovery d;
  release::DiscoverRelease("", d);
  fs::current_path(old);
  EXPECT_EQ(d.sfvfile, "r.sfv");
}

TEST(OriginSite, ReadsTheSiteAfterTheUploadPhrase) {
  struct Case {
    std::string text;
    std::optional<std::string> site;
  } cases[] = {
      {"; Uploaded on the mighty SiteName\r\nabcdefghijklmnop\r\n", "SiteName\r\nabcdefghij"},
      {"; Uploaded on the mighty ,'SiteName', enjoy\r\n", "SiteName' enjoy\r\n"},
      {"on the mighty SiteName\r\n", std::nullopt},  // at the very start: no site
      {"on the mighty X\r\n; on the mighty Y\r\n", std::nullopt},
      {"a.rar 00000000\r\n", "Unknown Site"},  // no "on the" at all
      {"", "Unknown Site"},
      {"; put on the shelf\r\n", std::nullopt},               // "on the" but no site phrase
      {"; Uploaded On The Mighty Site\r\n", "Unknown Site"},  // letter case counts
      {"; on the mighty ABCDEFGHIJKLMNOPQRSTUVWXYZ", "ABCDEFGHIJKLMNOPQRST"},
  };
  for (const auto& c : cases) EXPECT_EQ(release::OriginSite(c.text), c.site) << c.text;
}

TEST(OriginSite, TakesTheNameAfterTheMatchedPhraseNotAnEarlierOnThe) {
  // An earlier "on the" elsewhere used to shift the name to a piece of that line.
  std::string text = "; Checked on the 3rd of May\r\n; Uploaded on the mighty SiteName\r\n";
  EXPECT_EQ(release::FirstLine(*release::OriginSite(text)), "SiteName");
  EXPECT_EQ(release::FirstLine("SiteName\r\nnext"), "SiteName");
  EXPECT_EQ(release::FirstLine("only"), "only");
}
