// The verification run in the real window, offscreen: clicks on the status
// line and on CANCEL, on releases written to a temporary folder.
#include <QCheckBox>
#include <QTimer>

#include <cstdio>
#include <functional>

#include "WindowFixture.h"
#include "app/ProgressStrip.h"
#include "tests/common/DuringRun.h"
#include "tests/release/VerificationFixtures.h"

namespace {

const QString kCompleted = "SFV check completed. (click here again to re-check)";
const QString kWithErrors = "SFV check completed, but with missing files / errors";

class VerifyWindowTest : public WindowTest {
 protected:
  // Writes a release file and returns its SFV line.
  std::string Listed(const std::string& name, const std::string& bytes) {
    WriteFile("rel/" + name, bytes);
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", testfiles::ZlibCrc(bytes));
    return name + " " + hex + "\r\n";
  }
  TForm1TestAccess& OpenRelease(const std::string& sfv) {
    WriteFile("rel/release.sfv", "; Uploaded on the mighty SiteName\r\n" + sfv);
    return Open(WriteFile("rel/release.nfo", "art"));
  }
  QString Rel(const std::string& name) const { return QString::fromStdString(Path("rel/" + name)); }

  void DuringRun(std::function<bool()> step) { ::DuringRun(form.get(), std::move(step)); }

  static void ExpectIdle(TForm1TestAccess& w) {
    EXPECT_TRUE(w.cancelab->isHidden());
    EXPECT_FALSE(w.fromsite->isHidden());
    EXPECT_FALSE(w.Label2->isHidden());
    EXPECT_TRUE(w.progressbar->isHidden());
    EXPECT_FALSE(w.busy);
  }
};

}  // namespace

TEST_F(VerifyWindowTest, GoodDamagedAndRepairedReleases) {
  const std::string sfv = Listed("Game.part1.rar", testfiles::RandomBytes(100000, 1)) +
                          Listed("Game.part2.rar", "second volume") + Listed("game.nfo.txt", "");
  TForm1TestAccess& w = OpenRelease(sfv);
  const std::string memo = w.sfvmemo;

  bool runningLook = false;
  DuringRun([&] {
    runningLook = !w.cancelab->isHidden() && w.fromsite->isHidden() && w.Label2->isHidden() && w.busy;
    return true;
  });
  Click(w.sfvfilelab);
  EXPECT_TRUE(runningLook);
  EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
  EXPECT_EQ(w.sfvfilelab->text(), kCompleted);
  EXPECT_EQ(form->context.checkresult, "");
  EXPECT_EQ(w.sfvmemo, memo);
  ExpectIdle(w);

  // A damaged middle volume: reported, the run goes on to the last file.
  WriteFile("rel/Game.part2.rar", "second volume, damaged");
  Click(w.sfvfilelab);
  ASSERT_EQ(messages.size(), 1);
  EXPECT_EQ(messages[0], "ERROR IN FILE: " + Rel("Game.part2.rar"));
  EXPECT_EQ(form->context.checkfile, Path("rel/game.nfo.txt"));
  EXPECT_EQ(w.sfvfilelab->text(), kWithErrors);
  EXPECT_EQ(form->context.checkresult, "error");
  ExpectIdle(w);

  // Repaired: a further click passes.
  messages.clear();
  WriteFile("rel/Game.part2.rar", "second volume");
  Click(w.sfvfilelab);
  EXPECT_TRUE(messages.isEmpty());
  EXPECT_EQ(w.sfvfilelab->text(), kCompleted);
}

TEST_F(VerifyWindowTest, AMissingFileStopsTheRun) {
  TForm1TestAccess& w = OpenRelease(Listed("a.rar", "first") + "b.r00 3A5B7C9D\r\n" + Listed("c.r01", "never taken"));
  Click(w.sfvfilelab);
  ASSERT_EQ(messages.size(), 1);
  EXPECT_EQ(messages[0], "Warning: File " + Rel("b.r00") + " is missing!");
  EXPECT_EQ(form->context.checkfile, Path("rel/b.r00"));
  EXPECT_EQ(w.sfvfilelab->text(), kWithErrors);
  ExpectIdle(w);
}

TEST_F(VerifyWindowTest, MixedCaseChecksumsPassAndUnreadableFilesAreReported) {
  char mixed[9];
  std::snprintf(mixed, sizeof mixed, "%08x", testfiles::ZlibCrc("zz"));
  for (int i = 0; i < 8; i += 2) mixed[i] = static_cast<char>(std::toupper(mixed[i]));
  WriteFile("rel/Sub/A.R00", "zz");
  TForm1TestAccess& w =
      OpenRelease("sub\\a.r00 " + std::string(mixed) + "\r\n" + Listed("locked.r01", "x") + Listed("z.r02", "z"));
  testfiles::MakeUnreadable(Path("rel/locked.r01"));
  Click(w.sfvfilelab);
  ASSERT_EQ(messages.size(), 1) << messages.join('|').toStdString();
  EXPECT_EQ(messages[0], "Warning: File " + Rel("locked.r01") + " could not be read!");
  EXPECT_EQ(form->context.checkfile, Path("rel/z.r02"));  // the run went on after it
  EXPECT_EQ(w.sfvfilelab->text(), kWithErrors);
  ExpectIdle(w);

  messages.clear();
  std::remove(Path("rel/locked.r01").c_str());  // never write through the link MakeUnreadable may leave
  WriteFile("rel/locked.r01", "x");
  Click(w.sfvfilelab);
  EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
  EXPECT_EQ(w.sfvfilelab->text(), kCompleted);
}

TEST_F(VerifyWindowTest, CancelInsideALargeFileAndClicksDuringTheRun) {
  const uint64_t big = 3ull << 30;
  WriteFile("rel/big.r00", "");  // creates the folder
  testfiles::WriteSparseFile(Path("rel/big.r00"), big, "tail");
  TForm1TestAccess& w = OpenRelease(Listed("a.rar", "first") + "big.r00 00000000\r\n" + Listed("c.r01", "last"));

  int ignoredClicks = 0;
  double fractionAtCancel = 0;
  DuringRun([&] {
    // A second click on the status line while the run pumps does nothing.
    const QString before = w.sfvfilelab->text();
    Click(w.sfvfilelab);
    if (w.sfvfilelab->text() == before) ++ignoredClicks;
    if (!w.sfvfilelab->text().contains("big.r00") || w.progressbar->Fraction() <= 0) return false;
    fractionAtCancel = w.progressbar->Fraction();
    Click(w.cancelab);
    EXPECT_EQ(w.sfvfilelab->text(), kCompleted);
    EXPECT_TRUE(w.cancelab->isHidden());
    EXPECT_FALSE(w.fromsite->isHidden());
    return true;
  });
  Click(w.sfvfilelab);
  EXPECT_GT(ignoredClicks, 0);
  EXPECT_GT(fractionAtCancel, 0);
  EXPECT_LT(fractionAtCancel, 0.5);
  EXPECT_EQ(form->context.checkfile, Path("rel/big.r00"));  // stopped there, c.r01 never taken
  EXPECT_TRUE(messages.isEmpty());
  EXPECT_EQ(w.sfvfilelab->text(), kWithErrors);
  EXPECT_FALSE(form->context.cancelcheck);
  ExpectIdle(w);
}

TEST_F(VerifyWindowTest, OnlyACleanRunHandsOnToExtraction) {
  TForm1TestAccess& w = OpenRelease(Listed("a.rar", "first") + Listed("b.r00", "second"));
  w.choosecb->setChecked(true);  // "choose where to extract": the prompt opens after a clean check

  WriteFile("rel/b.r00", "damaged");
  Click(w.sfvfilelab);
  EXPECT_EQ(w.sfvfilelab->text(), kWithErrors);
  EXPECT_TRUE(w.sfvpopuppanel->isHidden());

  WriteFile("rel/b.r00", "second");
  Click(w.sfvfilelab);
  EXPECT_EQ(w.sfvfilelab->text(), kCompleted);
  EXPECT_FALSE(w.sfvpopuppanel->isHidden());
  EXPECT_EQ(form->context.archivefile, Path("rel/a.rar"));  // the set's first volume
}
