// The extraction's wiring in the real window (offscreen): the prompts' keys,
// the folder picker, CANCEL and the progress strip, closing the window and the
// hand-off after a clean check. The flows themselves are tested as plain
// logic in ExtractionRunTests.cpp. Releases written by the project's RAR
// writer into a temporary folder, the real libunrar.so, and a recording
// follow-up program first on PATH.
#include <QSignalBlocker>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <sys/stat.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "WindowFixture.h"
#include "app/ProgressStrip.h"
#include "folderdialog/VnFolderDialog.h"
#include "platform/DirSearch.h"
#include "platform/Path.h"
#include "release/CRC.h"
#include "tests/common/DuringRun.h"
#include "tests/common/LaunchTestSupport.h"
#include "tools/RarWriter.h"

namespace {

using Calls = std::vector<std::vector<std::string>>;

const QString kDoneNoCheck = "Extraction Done! (No SFV check was done), Click here to SFV check this release.";
const QString kLaunched = "External program successfully launched, all tasks completed!";
const QString kAllDone = "Extraction Completed, All jobs done!";
const QString kCancelled = "Extraction cancelled.";

void SetChecked(QAbstractButton* b, bool on) {
  QSignalBlocker quiet(b);  // the options' own reactions are not under test here
  b->setChecked(on);
}

class ExtractWindow : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    bin = Path("bin");
    mkdir(bin.c_str(), 0755);
    recorder = std::make_unique<launchtest::Recorder>(bin, "lumeskar-follow-up");
    oldPath = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(bin) + ":" + oldPath);
  }
  void TearDown() override {
    qputenv("PATH", oldPath);
    WindowTest::TearDown();
  }

  // A release in "rel/": the volumes of `entries`, an .nfo file and an SFV
  // file listing the volumes last-first, so only a real first-volume search
  // picks the right one. Opens the window on it.
  // With `checkable`, the SFV lists the volumes' real checksums, so a click
  // on the status line passes the check.
  TForm1TestAccess& OpenRelease(const std::vector<rarwriter::RarEntry>& entries, uint64_t volumeSize = 4096,
                                bool checkable = false) {
    rel = Path("rel");
    mkdir(rel.c_str(), 0755);
    rarwriter::RarOptions options;
    options.volumeSize = volumeSize;
    volumes = rarwriter::WriteRar(rel, "game", entries, options);
    std::string sfv = "; made by the tests\r\n";
    for (auto v = volumes.rbegin(); v != volumes.rend(); ++v) {
      uint32_t crc = 0;
      if (checkable) {
        const auto sum = release::FileCrc32(*v);
        if (sum) crc = **sum;
      }
      char hex[9];
      std::snprintf(hex, sizeof hex, "%08X", crc);
      sfv += platform::FileNameOf(*v) + " " + hex + "\r\n";
    }
    WriteFile("rel/game.sfv", sfv);
    TForm1TestAccess& f = Open(WriteFile("rel/game.nfo", "GAME\r\n"));
    f.show();
    SetChecked(f.extracttodircb, false);
    SetChecked(f.choosecb, false);
    SetChecked(f.afterextbox, true);
    SetChecked(f.binbutton, true);
    f.afterextrun->setText("lumeskar-follow-up --mount %F");
    return f;
  }

  static void Key(QLineEdit* box, Qt::Key key) { QTest::keyClick(box, key); }

  void DuringRun(std::function<bool()> step) { ::DuringRun(form.get(), std::move(step)); }

  // No follow-up call within a short while.
  Calls CallsAfterAWhile() {
    QTest::qWait(300);
    return recorder->Calls();
  }

  std::string bin, rel;
  std::vector<std::string> volumes;
  std::unique_ptr<launchtest::Recorder> recorder;
  QByteArray oldPath;
};

const std::string kReadme = "read me\n";
std::vector<rarwriter::RarEntry> ImageRelease() {
  return {rarwriter::File("readme.txt", kReadme), rarwriter::Pattern("game.iso", 20000, 7)};
}

// Both folder prompts: Escape closes the prompt, Enter hands the folder to the
// run and closes it, unless a run is under way; a folder that cannot be made
// is reported in a message box.
TEST_F(ExtractWindow, PromptPanelsTakeEnterAndEscape) {
  TForm1TestAccess& f = OpenRelease(ImageRelease());
  SetChecked(f.choosecb, true);
  SetChecked(f.afterextbox, false);
  struct Prompt {
    QWidget* panel;
    QLineEdit* box;
    std::function<void()> open;
    Qt::Key enter;
    QString done;
  };
  const Prompt prompts[] = {
      {f.popupdir, f.popupdirbox, [&f] { f.Label5Click(); }, Qt::Key_Return, kDoneNoCheck},
      {f.sfvpopuppanel, f.sfvpopupbox, [&f] { f.ExtractAfterCleanCheck(); }, Qt::Key_Enter, kAllDone},
  };
  for (const Prompt& p : prompts) {
    const std::string out = Path(p.panel == f.popupdir ? "typed" : "typed after check");
    p.open();
    ASSERT_TRUE(p.panel->isVisible());
    p.box->setText(QString::fromStdString(out));
    Key(p.box, Qt::Key_Escape);
    EXPECT_FALSE(p.panel->isVisible());
    EXPECT_TRUE(p.box->text().isEmpty());

    p.open();
    p.box->setText(QString::fromStdString(out));
    f.busy = true;  // a run under way: the prompt stays as it is
    Key(p.box, p.enter);
    f.busy = false;
    EXPECT_TRUE(p.panel->isVisible());
    EXPECT_EQ(p.box->text().toStdString(), out);
    EXPECT_FALSE(platform::FolderExists(out));

    const std::string bad = Path("no/such/parent");
    p.box->setText(QString::fromStdString(bad));
    Key(p.box, p.enter);
    EXPECT_EQ(messages, QStringList{QString::fromStdString("Error creating directory (" + bad +
                                                           " possibly contains invalid characters")});
    messages.clear();
    EXPECT_FALSE(p.panel->isVisible());

    p.open();
    p.box->setText(QString::fromStdString(out));
    Key(p.box, p.enter);
    EXPECT_EQ(launchtest::ReadFile(out + "/readme.txt"), kReadme);
    EXPECT_EQ(f.sfvfilelab->text(), p.done);
    EXPECT_FALSE(p.panel->isVisible());
    EXPECT_TRUE(p.box->text().isEmpty());
    EXPECT_TRUE(messages.isEmpty()) << messages.join("|").toStdString();
  }
}

TEST_F(ExtractWindow, FolderPickedWithTheDotsButtonIsUsedAndSearchedForTheImage) {
  TForm1TestAccess& f = OpenRelease(ImageRelease());
  const std::string picked = Path("picked");  // the dialog gives no trailing '/'
  mkdir(picked.c_str(), 0755);
  const QByteArray oldHome = qgetenv("HOME");  // the picker's tree starts at home
  qputenv("HOME", dir.path().toUtf8());
  SetChecked(f.choosecb, true);
  f.Label5Click();
  f.vn1->SetFolder(QString::fromStdString(picked));
  f.vn1->OnInitialized = [](TVnFolderDialog*, QWidget* dialog) {
    // Confirms the preselected folder as a user would: Enter in the tree.
    QTimer::singleShot(0, dialog, [dialog] { QTest::keyClick(dialog->findChild<QTreeWidget*>(), Qt::Key_Return); });
  };
  Click(f.Button5);
  qputenv("HOME", oldHome);
  ASSERT_EQ(f.popupdirbox->text().toStdString(), picked);
  Key(f.popupdirbox, Qt::Key_Return);
  EXPECT_EQ(launchtest::ReadFile(picked + "/readme.txt"), kReadme);
  EXPECT_EQ(form->context.imagefile, picked + "/game.iso");
  EXPECT_EQ(recorder->WaitForCalls(1), (Calls{{"--mount", picked + "/game.iso"}}));
}

// The "Extract" label starts a run that shows the progress strip and CANCEL
// over the origin-site line; a click on CANCEL stops it, and the label does
// nothing meanwhile.
TEST_F(ExtractWindow, CancelStopsALargeExtractionAndNothingElseStartsMeanwhile) {
  TForm1TestAccess& f = OpenRelease({rarwriter::Zeros("big.iso", 1ull << 30)}, 256ull << 20);
  const std::string out = Path("out") + "/";
  mkdir(out.c_str(), 0755);
  f.extracttodir->setText(QString::fromStdString(out));

  bool sawRun = false, busyDuring = false, barDuring = false, cancelShown = false, originHidden = false;
  QTimer poke;
  poke.setInterval(5);
  QObject::connect(&poke, &QTimer::timeout, [&] {
    if (!f.progressbar->isVisible() || sawRun) return;
    sawRun = true;
    busyDuring = f.busy;
    barDuring = f.progressbar->Fraction() < 1.0;
    cancelShown = f.cancelab->isVisible();
    originHidden = f.fromsite->isHidden() && f.Label2->isHidden();  // CANCEL lies over it
    form->context.checkfile = "untouched";
    f.Label5Click();  // a second extraction must not start
    EXPECT_EQ(form->context.checkfile, "untouched");
    Click(f.cancelab);
  });
  poke.start();
  f.Label5Click();
  poke.stop();

  ASSERT_TRUE(sawRun);
  EXPECT_TRUE(busyDuring);
  EXPECT_TRUE(barDuring);
  EXPECT_TRUE(cancelShown);
  EXPECT_TRUE(originHidden);
  EXPECT_EQ(f.sfvfilelab->text(), kCancelled);
  EXPECT_FALSE(platform::FileExists(out + "big.iso"));
  EXPECT_FALSE(f.cancelab->isVisible());
  EXPECT_TRUE(f.fromsite->isVisible());
  EXPECT_TRUE(f.Label2->isVisible());
  EXPECT_FALSE(f.progressbar->isVisible());
  EXPECT_FALSE(f.busy);
}

// Closing the window stops a running check, so no extraction and no follow-up
// program come after it; the next clean check hands off to the extraction,
// with CANCEL still shown.
TEST_F(ExtractWindow, ClosingTheWindowStopsTheCheckAndACleanCheckHandsOff) {
  TForm1TestAccess& f = OpenRelease(ImageRelease(), 4096, true);
  const std::string out = Path("out") + "/";
  mkdir(out.c_str(), 0755);
  SetChecked(f.extracttodircb, true);
  f.extracttodir->setText(QString::fromStdString(out));

  bool closed = false;
  DuringRun([&] {
    if (!f.busy) return false;
    f.close();
    return closed = true;
  });
  Click(f.sfvfilelab);
  ASSERT_TRUE(closed);
  EXPECT_TRUE(f.sfvfilelab->text().startsWith("SFV check completed, but")) << f.sfvfilelab->text().toStdString();
  EXPECT_TRUE(messages.isEmpty()) << messages.join("|").toStdString();
  EXPECT_EQ(platform::FindAll(out, "*"), std::vector<std::string>{});
  EXPECT_TRUE(CallsAfterAWhile().empty());

  f.show();
  bool cancelShownInHandOff = false;  // CANCEL stays clickable while the hand-off processes messages
  DuringRun([&] {
    if (f.sfvfilelab->text() != "Extracting Archive, please wait...") return false;
    return cancelShownInHandOff = f.cancelab->isVisible();
  });
  Click(f.sfvfilelab);
  EXPECT_TRUE(cancelShownInHandOff);
  EXPECT_EQ(launchtest::ReadFile(out + "readme.txt"), kReadme);
  EXPECT_EQ(f.sfvfilelab->text(), kLaunched);
  EXPECT_EQ(recorder->WaitForCalls(1), (Calls{{"--mount", out + "game.iso"}}));
  EXPECT_FALSE(f.busy);
}

}  // namespace
