// Repair from the status line: the recovery set looked at after a failed
// check, the offer, the repair and the check that follows it, on real
// release folders with sets made by par2.
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>

#include "release/RepairRun.h"
#include "release/SfvEntries.h"
#include "tests/par2/Par2Fixtures.h"
#include "tests/release/RecordingUi.h"
#include "tests/release/VerificationFixtures.h"

using namespace release;

namespace {

// A release: three volumes, an SFV file (unless left out) and a recovery
// set over the volumes with `blocks` recovery slices of 1 KiB.
struct RepairRelease {
  par2test::TempDir dir;
  ReleaseContext context;
  std::string sfvmemo;
  bool busy = false;
  RecordingUi ui;
  RunSettings settings;
  int handOffs = 0;
  std::vector<std::string> names = {"rel.rar", "rel.r00", "rel.r01"};
  std::vector<std::string> data;

  RepairRelease(int blocks, bool withSfv) {
    std::string sfv = "; made for the test\r\n";
    for (size_t i = 0; i < names.size(); ++i) {
      data.push_back(testfiles::RandomBytes(8000 + 1000 * i, static_cast<unsigned>(i + 1)));
      testfiles::WriteFile(dir / names[i], data[i]);
      char hex[9];
      std::snprintf(hex, sizeof hex, "%08x", testfiles::ZlibCrc(data[i]));
      sfv += names[i] + " " + hex + "\r\n";
    }
    EXPECT_TRUE(par2test::CreateSet(dir, names, 1024, "-c" + std::to_string(blocks)));
    if (withSfv) {
      testfiles::WriteFile(dir / "rel.sfv", sfv);
      context.sfvfile = dir / "rel.sfv";
      context.sfvsearch.Name = "rel.sfv";
      sfvmemo = sfv;
    }
    context.par2file = FindPar2File(dir.folder());
    ui.sfvmemo = &sfvmemo;
    ui.busy = &busy;
    settings.nfoFolder = dir.folder();
    settings.afterCleanRun = [this] { ++handOffs; };
  }
  RunOutcome Click() { return StatusLineClick(ui, context, settings); }
  bool Intact() const {
    for (size_t i = 0; i < names.size(); ++i)
      if (par2test::ReadFile(dir / names[i]) != data[i]) return false;
    return true;
  }
};

void FlipSlices(const par2test::TempDir& dir, const std::string& name, std::vector<size_t> slices) {
  std::string bytes = par2test::ReadFile(dir / name);
  for (size_t s : slices) bytes[s * 1024 + 3] ^= 1;
  par2test::WriteFile(dir / name, bytes);
}

}  // namespace

TEST(RepairRun, OffersRepairsAndChecksAgain) {
  struct Case {
    std::string what;
    int blocks;
    bool withSfv;
    std::function<void(const par2test::TempDir&)> damage;
    std::string afterFirstClick;
    std::string afterSecondClick;
    int handOffs;  // after both clicks
    bool intact;   // after both clicks
  };
  const std::vector<Case> cases = {
      {"a damaged volume", 4, true,
       [](auto& d) {
         FlipSlices(d, "rel.r00", {0, 5});
       },
       RepairOfferText(2), kStatusCompleted, 1, true},
      {"a missing volume", 12, true, [](auto& d) { unlink((d / "rel.r01").c_str()); }, RepairOfferText(10),
       kStatusCompleted, 1, true},
      {"too few blocks", 2, true,
       [](auto& d) {
         FlipSlices(d, "rel.rar", {0, 1, 2, 7});
       },
       RepairImpossibleText(2), RepairImpossibleText(2), 0, false},
      {"an intact release without SFV file", 2, false, [](auto&) {}, kStatusPar2Completed, kStatusPar2Completed, 2,
       true},
      {"a damaged release without SFV file", 3, false, [](auto& d) { FlipSlices(d, "rel.rar", {7}); },
       RepairOfferText(1), kStatusPar2Completed, 1, true},
      {"damage the set does not cover", 2, true,
       [](auto& d) {
         std::string sfv = par2test::ReadFile(d / "rel.sfv");
         par2test::WriteFile(d / "rel.sfv", sfv + "extra.nfo 12345678\r\n");
       },
       kStatusCompletedWithErrors, kStatusCompletedWithErrors, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RepairRelease r(c.blocks, c.withSfv);
    c.damage(r.dir);
    if (c.withSfv) r.sfvmemo = NormalizeLineBreaks(par2test::ReadFile(r.dir / "rel.sfv"));
    r.Click();
    EXPECT_EQ(r.ui.Status(), c.afterFirstClick);
    r.Click();
    EXPECT_EQ(r.ui.Status(), c.afterSecondClick);
    EXPECT_EQ(r.handOffs, c.handOffs);
    EXPECT_EQ(r.Intact(), c.intact);
    EXPECT_FALSE(r.busy);
    EXPECT_FALSE(r.ui.cancelVisible);
    EXPECT_TRUE(r.ui.originVisible);
    EXPECT_FALSE(r.ui.progressVisible);
    if (!c.withSfv && c.handOffs > 0) {
      EXPECT_EQ(r.context.archivefile, r.dir / "rel.rar");
    }
  }
}

TEST(RepairRun, CancelDuringTheRepairChangesNothingAndKeepsTheOffer) {
  RepairRelease r(4, true);
  FlipSlices(r.dir, "rel.r00", {1});
  const std::string damaged = par2test::ReadFile(r.dir / "rel.r00");
  r.Click();
  ASSERT_EQ(r.ui.Status(), RepairOfferText(1));
  r.ui.onPump = [&] {
    if (r.ui.Status() == kStatusRepairing) r.context.cancelcheck = true;
  };
  EXPECT_EQ(r.Click(), RunOutcome::Cancelled);
  EXPECT_EQ(r.ui.Status(), RepairOfferText(1));
  EXPECT_EQ(par2test::ReadFile(r.dir / "rel.r00"), damaged);
  EXPECT_FALSE(r.context.cancelcheck);
  r.ui.onPump = nullptr;
  r.Click();
  EXPECT_EQ(r.ui.Status(), kStatusCompleted);
  EXPECT_TRUE(r.Intact());
}
