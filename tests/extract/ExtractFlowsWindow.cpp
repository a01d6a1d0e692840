// The extraction flows in the real window (offscreen): releases written by
// the project's RAR writer into a temporary folder, the real libunrar.so, and
// a recording follow-up program first on PATH.
#include <QSignalBlocker>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "LaunchTestSupport.h"
#include "WindowFixture.h"
#include "app/ExtractHandlers.h"
#include "app/ProgressStrip.h"
#include "extract/RARArc.h"
#include "folderdialog/VnFolderDialog.h"
#include "platform/DirSearch.h"
#include "platform/Path.h"
#include "release/CRC.h"
#include "tests/release/DuringRun.h"
#include "tools/RarWriter.h"

namespace {

using Calls = std::vector<std::vector<std::string>>;

const QString kDoneNoCheck = "Extraction Done! (No SFV check was done), Click here to SFV check this release.";
const QString kLaunched = "External program successfully launched, all tasks completed!";
const QString kNotLaunched = "External program unsuccessfully launched, partial tasks completed!";
const QString kError = "Unexpected error occured whilst extracting archive!";
const QString kAllDone = "Extraction Completed, All jobs done!";
const QString kCheckCompleted = "SFV check completed. (click here again to re-check)";
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
  TForm1& OpenRelease(const std::vector<rarwriter::RarEntry>& entries, uint64_t volumeSize = 4096,
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
        if (sum) crc = *sum;
      }
      char hex[9];
      std::snprintf(hex, sizeof hex, "%08X", crc);
      sfv += platform::FileNameOf(*v) + " " + hex + "\r\n";
    }
    WriteFile("rel/game.sfv", sfv);
    TForm1& f = Open(WriteFile("rel/game.nfo", "GAME\r\n"));
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

TEST_F(ExtractWindow, ExtractLabelUnpacksTheSetIntoTheConfiguredFolderAndStartsTheFollowUp) {
  TForm1& f = OpenRelease(ImageRelease());
  ASSERT_GT(volumes.size(), 3u);
  const std::string out = Path("out dir");  // no trailing '/', a blank inside
  mkdir(out.c_str(), 0755);
  f.extracttodir->setText(QString::fromStdString(out));

  f.Label5Click();

  EXPECT_EQ(launchtest::ReadAll(out + "/readme.txt"), kReadme);
  EXPECT_TRUE(launchtest::ReadAll(out + "/game.iso") == rarwriter::PatternBytes(7, 0, 20000));
  EXPECT_EQ(f.sfvfilelab->text(), kDoneNoCheck);
  EXPECT_EQ(form->context.archivefile, rel + "/game.part1.rar");
  EXPECT_EQ(form->context.imagefile, out + "/game.iso");
  EXPECT_EQ(recorder->WaitForCalls(1), (Calls{{"--mount", out + "/game.iso"}}));
  EXPECT_FALSE(f.busy);
  EXPECT_FALSE(f.progressbar->isVisible());
  EXPECT_TRUE(messages.isEmpty()) << messages.join("|").toStdString();
}

TEST_F(ExtractWindow, ExtractLabelWithoutArchiveNeitherExtractsNorStartsTheFollowUp) {
  TForm1& f = OpenRelease(ImageRelease());
  for (const auto& v : volumes) std::remove(v.c_str());
  f.extracttodir->setText(QString::fromStdString(Path("out")));
  f.Label5Click();
  EXPECT_EQ(f.sfvfilelab->text(), "Unable to find RAR file");
  EXPECT_TRUE(CallsAfterAWhile().empty());

  // An empty configured folder: the label does nothing at all.
  f.sfvfilelab->setText("before");
  f.extracttodir->clear();
  f.Label5Click();
  EXPECT_EQ(f.sfvfilelab->text(), "before");
}

TEST_F(ExtractWindow, PromptWithoutCheckHandlesEscapeExistingAndUncreatableFolders) {
  TForm1& f = OpenRelease(ImageRelease());
  SetChecked(f.choosecb, true);
  f.extracttodir->setText(QString::fromStdString(Path("configured")));
  f.Label5Click();
  ASSERT_TRUE(f.popupdir->isVisible());
  EXPECT_EQ(form->context.archivefile, "") << "opening the prompt extracts nothing";

  f.popupdirbox->setText("typed");
  Key(f.popupdirbox, Qt::Key_Escape);
  EXPECT_FALSE(f.popupdir->isVisible());
  EXPECT_TRUE(f.popupdirbox->text().isEmpty());

  for (const std::string& bad : {Path("no/such/parent"), std::string()}) {
    f.Label5Click();
    f.popupdirbox->setText(QString::fromStdString(bad));
    Key(f.popupdirbox, Qt::Key_Return);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages.takeFirst(),
              QString::fromStdString("Error creating directory (" + bad + " possibly contains invalid characters"));
    EXPECT_FALSE(f.popupdir->isVisible());
  }
  EXPECT_FALSE(platform::FolderExists(Path("no/such/parent")));

  const std::string existing = Path("existing") + "/";
  mkdir(existing.c_str(), 0755);
  f.Label5Click();
  f.popupdirbox->setText(QString::fromStdString(existing));
  Key(f.popupdirbox, Qt::Key_Return);
  EXPECT_TRUE(messages.isEmpty());
  EXPECT_EQ(launchtest::ReadAll(existing + "game.iso").size(), 20000u);
  EXPECT_EQ(f.sfvfilelab->text(), kDoneNoCheck);
  EXPECT_FALSE(f.popupdir->isVisible());
  EXPECT_TRUE(f.popupdirbox->text().isEmpty());
  EXPECT_EQ(recorder->WaitForCalls(1), (Calls{{"--mount", existing + "game.iso"}}));
  EXPECT_FALSE(platform::FolderExists(Path("configured")));
}

TEST_F(ExtractWindow, FolderPickedWithTheDotsButtonIsUsedAndSearchedForTheImage) {
  TForm1& f = OpenRelease(ImageRelease());
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
  EXPECT_EQ(launchtest::ReadAll(picked + "/readme.txt"), kReadme);
  EXPECT_EQ(form->context.imagefile, picked + "/game.iso");
  EXPECT_EQ(recorder->WaitForCalls(1), (Calls{{"--mount", picked + "/game.iso"}}));
}

TEST_F(ExtractWindow, PromptAfterCheckCreatesTheFolderAndReportsTheLaunch) {
  TForm1& f = OpenRelease(ImageRelease());
  form->context.archivefile = rel + "/game.part1.rar";
  f.sfvpopuppanel->show();
  const std::string out = Path("new folder");
  f.sfvpopupbox->setText(QString::fromStdString(out));
  Key(f.sfvpopupbox, Qt::Key_Enter);
  EXPECT_EQ(launchtest::ReadAll(out + "/readme.txt"), kReadme);
  EXPECT_EQ(f.sfvfilelab->text(), kLaunched);
  EXPECT_EQ(recorder->WaitForCalls(1), (Calls{{"--mount", out + "/game.iso"}}));
  EXPECT_FALSE(f.sfvpopuppanel->isVisible());

  // A follow-up program that does not exist is reported as such.
  f.afterextrun->setText("lumeskar-no-such-program %F");
  f.sfvpopuppanel->show();
  f.sfvpopupbox->setText(QString::fromStdString(out));
  Key(f.sfvpopupbox, Qt::Key_Return);
  EXPECT_EQ(f.sfvfilelab->text(), kNotLaunched);
}

TEST_F(ExtractWindow, HandOffAfterACleanCheckExtractsFromTheFirstVolume) {
  TForm1& f = OpenRelease(ImageRelease());
  const std::string out = Path("after check") + "/";
  mkdir(out.c_str(), 0755);
  SetChecked(f.extracttodircb, true);
  f.extracttodir->setText(QString::fromStdString(out));
  form->context.archivefile = volumes.back();  // what the check leaves: the last file it checked
  f.busy = true;                               // the check is still running when it hands off
  ExtractAfterCleanCheck(f);
  EXPECT_EQ(form->context.archivefile, rel + "/game.part1.rar");
  EXPECT_TRUE(launchtest::ReadAll(out + "game.iso") == rarwriter::PatternBytes(7, 0, 20000));
  EXPECT_EQ(f.sfvfilelab->text(), kLaunched);
  EXPECT_EQ(recorder->WaitForCalls(1), (Calls{{"--mount", out + "game.iso"}}));
  EXPECT_FALSE(f.sfvpopuppanel->isVisible());

  // With "choose where to extract" on, the hand-off only opens the prompt.
  SetChecked(f.extracttodircb, false);
  SetChecked(f.choosecb, true);
  ExtractAfterCleanCheck(f);
  EXPECT_TRUE(f.sfvpopuppanel->isVisible());
  EXPECT_EQ(recorder->Calls().size(), 1u);
}

TEST_F(ExtractWindow, MissingLibraryAndDamagedVolumesShowTheErrorText) {
  auto entries = ImageRelease();
  entries[1].damageData = true;
  TForm1& f = OpenRelease(entries);
  const std::string out = Path("out") + "/";
  mkdir(out.c_str(), 0755);
  form->context.archivefile = rel + "/game.part1.rar";

  SetChecked(f.afterextbox, false);
  f.sfvpopupbox->setText(QString::fromStdString(out));
  Key(f.sfvpopupbox, Qt::Key_Return);
  EXPECT_EQ(f.sfvfilelab->text(), kError);
  EXPECT_FALSE(platform::FileExists(out + "game.iso")) << "a damaged file is not left behind";
  EXPECT_EQ(launchtest::ReadAll(out + "readme.txt"), kReadme);

  // The follow-up launch still follows a failed run, and reports.
  SetChecked(f.afterextbox, true);
  f.sfvpopupbox->setText(QString::fromStdString(out));
  Key(f.sfvpopupbox, Qt::Key_Return);
  EXPECT_EQ(f.sfvfilelab->text(), kLaunched);

  // Without the library every run ends with error 50 at once.
  TRAR* missing = new TRAR(Path("no-library/libunrar.so"));
  ASSERT_FALSE(missing->LoadedDLL());
  missing->OnError = f.winrar->OnError;
  missing->OnExtracting = f.winrar->OnExtracting;
  missing->OnExtract = f.winrar->OnExtract;
  missing->OnProcessData = f.winrar->OnProcessData;
  f.DestroyExtractor();
  f.winrar = missing;
  SetChecked(f.afterextbox, false);
  f.sfvpopupbox->setText(QString::fromStdString(out));
  Key(f.sfvpopupbox, Qt::Key_Return);
  EXPECT_EQ(f.sfvfilelab->text(), kError);
  f.extracttodir->setText(QString::fromStdString(out));
  f.Label5Click();
  EXPECT_EQ(f.sfvfilelab->text(), kError);  // a failure is never reported as done
}

TEST_F(ExtractWindow, CancelStopsALargeExtractionAndNothingElseStartsMeanwhile) {
  TForm1& f = OpenRelease({rarwriter::Zeros("big.iso", 1ull << 30)}, 256ull << 20);
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
  EXPECT_EQ(f.sfvfilelab->text(), "Extraction cancelled.");
  EXPECT_FALSE(platform::FileExists(out + "big.iso")) << "no half-written file";
  EXPECT_EQ(platform::FindAll(out, "*"), std::vector<std::string>{}) << "no temporary file left either";
  EXPECT_FALSE(f.cancelab->isVisible());
  EXPECT_TRUE(f.fromsite->isVisible());
  EXPECT_TRUE(f.Label2->isVisible());
  EXPECT_FALSE(f.busy);
  EXPECT_FALSE(form->context.cancelcheck);
  EXPECT_TRUE(CallsAfterAWhile().empty());
}

// After a clean check CANCEL stays shown while the hand-off to extraction
// processes messages; a click there stops the extraction before any file is
// written, and no follow-up program starts.
TEST_F(ExtractWindow, CancelDuringTheHandOffAfterACheckExtractsNothing) {
  TForm1& f = OpenRelease(ImageRelease(), 4096, true);
  const std::string out = Path("out") + "/";
  mkdir(out.c_str(), 0755);
  SetChecked(f.extracttodircb, true);
  f.extracttodir->setText(QString::fromStdString(out));

  bool clicked = false;
  DuringRun([&] {
    if (f.sfvfilelab->text() != "Extracting Archive, please wait..." || !f.cancelab->isVisible()) return false;
    Click(f.cancelab);
    return clicked = true;
  });
  Click(f.sfvfilelab);

  ASSERT_TRUE(clicked);
  EXPECT_TRUE(messages.isEmpty()) << messages.join("|").toStdString();
  EXPECT_EQ(f.sfvfilelab->text(), kCancelled);
  EXPECT_EQ(platform::FindAll(out, "*"), std::vector<std::string>{});
  EXPECT_TRUE(CallsAfterAWhile().empty());
  EXPECT_FALSE(form->context.cancelcheck);
  EXPECT_FALSE(f.cancelab->isVisible());
  EXPECT_TRUE(f.fromsite->isVisible());
  EXPECT_FALSE(f.busy);

  // The request was used up: the next check extracts as usual.
  Click(f.sfvfilelab);
  EXPECT_EQ(launchtest::ReadAll(out + "readme.txt"), kReadme);
  EXPECT_EQ(f.sfvfilelab->text(), kLaunched);
}

// Closing the window stops a running check (no extraction, no follow-up
// program afterwards) and an extraction that is about to start.
TEST_F(ExtractWindow, ClosingTheWindowStopsTheRun) {
  TForm1& f = OpenRelease(ImageRelease(), 4096, true);
  const std::string out = Path("out") + "/";
  mkdir(out.c_str(), 0755);
  SetChecked(f.extracttodircb, true);
  f.extracttodir->setText(QString::fromStdString(out));

  bool closed = false;
  auto closeWhenBusy = [&] {
    if (!f.busy) return false;
    f.close();
    return closed = true;
  };
  DuringRun(closeWhenBusy);
  Click(f.sfvfilelab);  // a check, then the hand-off
  ASSERT_TRUE(closed);
  EXPECT_TRUE(f.sfvfilelab->text().startsWith("SFV check completed, but")) << f.sfvfilelab->text().toStdString();
  EXPECT_TRUE(messages.isEmpty()) << messages.join("|").toStdString();
  EXPECT_EQ(platform::FindAll(out, "*"), std::vector<std::string>{});

  f.show();
  closed = false;
  SetChecked(f.extracttodircb, false);
  DuringRun(closeWhenBusy);
  f.Label5Click();  // closed while the first volume is looked up
  ASSERT_TRUE(closed);
  EXPECT_EQ(f.sfvfilelab->text(), kCancelled);
  EXPECT_EQ(platform::FindAll(out, "*"), std::vector<std::string>{});
  EXPECT_TRUE(CallsAfterAWhile().empty());
  EXPECT_FALSE(form->context.cancelcheck);
  EXPECT_FALSE(f.busy);
}

// "Extract to Directory" with no folder typed: a clean check unpacks nothing
// (not into the folder the program was started from) and starts nothing.
TEST_F(ExtractWindow, CleanCheckWithoutAConfiguredFolderExtractsNothing) {
  TForm1& f = OpenRelease(ImageRelease(), 4096, true);
  const std::string cwd = Path("started here");
  mkdir(cwd.c_str(), 0755);
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(chdir(cwd.c_str()), 0);
  SetChecked(f.extracttodircb, true);
  f.extracttodir->clear();

  Click(f.sfvfilelab);
  const std::vector<std::string> left = platform::FindAll(cwd, "*");
  ASSERT_EQ(chdir(previous), 0);

  EXPECT_EQ(left, std::vector<std::string>{});
  EXPECT_EQ(f.sfvfilelab->text(), kCheckCompleted);
  EXPECT_TRUE(CallsAfterAWhile().empty());
  EXPECT_FALSE(f.busy);
}

}  // namespace
