#include "extract/VolumeSet.h"
#include "platform/VolumeName.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/common/LaunchTestSupport.h"

namespace {

TEST(VolumeSet, NamesTheFollowingVolumeInEveryNamingScheme) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"/r/x.part1.rar", "/r/x.part2.rar"},
      {"/r/x.part09.rar", "/r/x.part10.rar"},
      {"/r/x.part9.rar", "/r/x.part10.rar"},
      {"/r/X.PART099.RAR", "/r/X.PART100.RAR"},
      {"/r/x.rar", "/r/x.r00"},
      {"/r/X.RAR", "/r/X.R00"},
      {"/r/x.r00", "/r/x.r01"},
      {"/r/x.r99", "/r/x.s00"},
      {"/r/x.001", "/r/x.002"},
      {"/r/x.999", "/r/x.1000"},
      {"/r/x.000", "/r/x.001"},
      {"/r/x.part.rar", "/r/x.part.r00"},
      {"/r/x.iso", ""},
      {"/r.d/x", ""},
      {"/r/x.z99", ""},
  };
  for (const auto& [path, next] : cases)
    EXPECT_EQ(platform::NextVolumeName(path, platform::VolumeNumbering::FromName), next) << path;
}

TEST(VolumeSet, SumsTheVolumesThatExistUpToTheFirstGap) {
  launchtest::TempDir dir;
  auto write = [&](const std::string& name, size_t size) {
    std::ofstream(dir.path() + "/" + name) << std::string(size, 'v');
  };
  write("g.part1.rar", 100);
  write("g.part2.rar", 50);
  write("g.part3.rar", 7);
  write("g.part5.rar", 1000);  // after a gap: not part of what is read
  EXPECT_EQ(extract::SetVolumes(dir.path() + "/g.part1.rar").size(), 3u);
  EXPECT_EQ(extract::SetSize(dir.path() + "/g.part1.rar"), 157u);
  EXPECT_EQ(extract::SetSize(dir.path() + "/g.part2.rar"), 57u);
  EXPECT_EQ(extract::SetSize(dir.path() + "/missing.rar"), 0u);
}

}  // namespace
