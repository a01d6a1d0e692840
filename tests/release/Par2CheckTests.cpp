// lumeskar-check on .par2 files: the lines, the verdict and the exit codes,
// run as the built program on sets made by par2.
#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/par2/Par2Fixtures.h"

using namespace par2test;

TEST(Par2CheckTests, VerdictsAndExitCodes) {
  struct Case {
    std::string what, options;
    std::string amount;  // par2 create's recovery amount
    bool damage;
    int exitCode;
    std::vector<std::string> lines;  // expected in the output, in order
    bool repaired;                   // the files equal the originals afterwards
  };
  const std::string line = std::string(60 - 6, ' ');
  const std::vector<Case> cases = {
      {"intact", "", "-c2", false, 0, {"aa.bin" + line + " OK", "2 OK, 0 DAMAGED", "Everything OK"}, true},
      {"intact, quiet", "-q", "-c2", false, 0, {"2 OK, 0 DAMAGED, 0 MISSING, 0 RENAMED\nEverything OK"}, true},
      {"damaged, not repaired",
       "-q",
       "-c4",
       true,
       1,
       {"aa.bin" + line + " DAMAGED (8 of 10 slices intact)", "bb.bin" + line + " MISSING",
        "Repair possible: 4 recovery slices needed, 4 at hand"},
       false},
      {"damaged, repaired",
       "--repair",
       "-c4",
       true,
       0,
       {"bb.bin" + line + " REPAIRED", "Damaged original kept as", "aa.bin.1", "Repair complete"},
       true},
      {"too few recovery slices", "-r", "-c3", true, 2, {"Repair not possible: 1 more recovery slices needed"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string a = RandomBytes(10 * 1024 - 100, 1), b = RandomBytes(2000, 2);
    WriteFile(dir / "aa.bin", a);
    WriteFile(dir / "bb.bin", b);
    ASSERT_TRUE(CreateSet(dir, {"aa.bin", "bb.bin"}, 1024, c.amount));
    std::string damaged = a;
    if (c.damage) {
      damaged[0] ^= 1;
      damaged[5000] ^= 1;
      WriteFile(dir / "aa.bin", damaged);
      unlink((dir / "bb.bin").c_str());
    }
    const auto [code, out] =
        Shell(std::string(LUMESKAR_BINARY_DIR) + "/lumeskar-check " + c.options + " " + Quote(dir / "set.par2"));
    EXPECT_EQ(code, c.exitCode) << out;
    size_t at = 0;
    for (const std::string& expected : c.lines) {
      at = out.find(expected, at);
      ASSERT_NE(at, std::string::npos) << "no '" << expected << "' in\n" << out;
    }
    EXPECT_EQ(ReadFile(dir / "aa.bin"), c.repaired ? a : damaged);
    EXPECT_EQ(access((dir / "bb.bin").c_str(), F_OK) == 0, c.repaired || !c.damage);
  }
}

TEST(Par2CheckTests, UnreadableSetsAndMisusedRepair) {
  TempDir dir;
  WriteFile(dir / "junk.par2", "not a recovery set");
  WriteFile(dir / "list.sfv", "a.bin 00000000\r\n");
  const std::string check = std::string(LUMESKAR_BINARY_DIR) + "/lumeskar-check ";
  EXPECT_EQ(Shell(check + Quote(dir / "junk.par2")),
            std::make_pair(2, "lumeskar-check: " + (dir / "junk.par2") + ": " + (dir / "junk.par2") +
                                  " holds no intact packet of a recovery set\n"));
  EXPECT_EQ(Shell(check + Quote(dir / "gone.par2")).first, 2);
  const auto [code, out] = Shell(check + "--repair " + Quote(dir / "list.sfv"));
  EXPECT_EQ(code, 2);
  EXPECT_NE(out.find("--repair needs a .par2 file"), std::string::npos) << out;
}
