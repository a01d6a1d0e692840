// The settings and the options panel in the real window, offscreen: the
// start-up load, "Apply", a failing write, the reactions, and the .nfo
// association with its start-up probe.
#include <QApplication>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QSortFilterProxyModel>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <filesystem>
#include <functional>

#include "GioDefault.h"
#include "TempFolder.h"
#include "WindowFixture.h"
#include "extract/FollowUp.h"
#include "platform/ProgramDir.h"
#include "settings/SettingsLocation.h"

using testing_support::GioDefault;
using testing_support::ReadFile;

namespace {

class SettingsWindowTest : public WindowTest {
 protected:
  std::string SettingsFile() const { return settings::SettingsPath(); }
  void WriteSettings(const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(SettingsFile()).parent_path());
    testing_support::WriteFile(SettingsFile(), text);
  }
};

const QString kNotice =
    QString::fromStdString("Extraction not supported - libunrar.so not found in " + platform::ProgramDir());

TEST_F(SettingsWindowTest, LoadAppliesTheFileThroughTheReactions) {
  ASSERT_FALSE(std::filesystem::exists(platform::ProgramDir() + "libunrar.so"));
  WriteSettings(
      "[Options]\r\nExtract=Yes\r\nChooseExtract=No\r\nWordWrap=No\r\nAlwaysOnTop=Yes\r\n"
      "RunAfterExt=Yes\r\nUseCue=Yes\r\nExtractTo=/srv/out\r\nAfterExtract=burn \"%F\"\r\n");
  TForm1TestAccess& w = Open("");
  // Without the library both turn-ons are undone, each with its notice.
  EXPECT_EQ(messages, (QStringList{kNotice, kNotice}));
  EXPECT_FALSE(w.extracttodircb->isChecked());
  EXPECT_FALSE(w.extracttodircb->isEnabled());
  EXPECT_FALSE(w.choosecb->isChecked());
  EXPECT_TRUE(w.extracttodir->isEnabled());
  EXPECT_NE(ReadFile(SettingsFile()).find("\nExtract=No\n"), std::string::npos);
  EXPECT_FALSE(w.wwrapcb->isChecked());
  EXPECT_FALSE(w.edit->wordWrap());
  EXPECT_TRUE(w.aotcb->isChecked());
  EXPECT_TRUE(w.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_TRUE(w.afterextbox->isChecked());
  EXPECT_TRUE(w.afterextrun->isEnabled());
  EXPECT_TRUE(w.cuebutton->isChecked());
  EXPECT_FALSE(w.binbutton->isChecked());
  EXPECT_EQ(w.extracttodir->text(), "/srv/out");
  EXPECT_EQ(w.afterextrun->text(), "burn \"%F\"");
}

TEST_F(SettingsWindowTest, ApplyWritesTheFirstSaveFileAndClosesThePanel) {
  TForm1TestAccess& w = Open("");
  w.transparentlabClick();
  ASSERT_TRUE(w.optionspanel->isVisible() || !w.optionspanel->isHidden());
  Click(w.Button2);
  EXPECT_EQ(ReadFile(SettingsFile()),
            "[Options]\nUseBin=Yes\nChooseExtract=Yes\nWordWrap=Yes\nAlwaysOnTop=No\nAssociate=No\n"
            "Extract=No\nRunAfterExt=No\nUseCue=No\nExtractTo=\nAfterExtract=\n");
  EXPECT_TRUE(w.optionspanel->isHidden());
  EXPECT_TRUE(messages.isEmpty());
}

TEST_F(SettingsWindowTest, FailingWriteIsReportedAndThePanelStaysOpen) {
  // The config folder cannot be created: a plain file stands in its way.
  WriteFile("blocked", "");
  qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(Path("blocked/config")));
  TForm1TestAccess& w = Open("");
  w.transparentlabClick();
  Click(w.Button2);
  ASSERT_EQ(messages.size(), 1);
  EXPECT_EQ(messages[0], QString::fromStdString("Unable to write to " + SettingsFile() + "."));
  EXPECT_FALSE(w.optionspanel->isHidden());
}

TEST_F(SettingsWindowTest, ReactionsTakeEffectAtOnce) {
  TForm1TestAccess& w = Open("");
  Click(w.wwrapcb);
  EXPECT_FALSE(w.edit->wordWrap());
  Click(w.aotcb);
  EXPECT_TRUE(w.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  Click(w.afterextbox);
  EXPECT_TRUE(w.afterextrun->isEnabled());
  Click(w.cuebutton);
  EXPECT_FALSE(w.binbutton->isChecked());
  // Without the library the choice cannot be switched on.
  Click(w.choosecb);  // off: nothing else happens
  EXPECT_TRUE(messages.isEmpty());
  Click(w.choosecb);
  EXPECT_EQ(messages, QStringList{kNotice});
  EXPECT_FALSE(w.choosecb->isChecked());
  EXPECT_TRUE(w.choosecb->isEnabled());
  EXPECT_FALSE(std::filesystem::exists(SettingsFile()));  // nothing saved without "Apply"
}

TEST_F(SettingsWindowTest, AssociationFollowsTheCheckBox) {
  TForm1TestAccess& w = Open("");
  EXPECT_FALSE(w.assocfiles->isChecked());
  Click(w.assocfiles);
  EXPECT_TRUE(messages.isEmpty()) << messages.join("|").toStdString();
  EXPECT_EQ(GioDefault(), "lumeskar.desktop");
  const std::string entry = ReadFile(Path("xdg-data/applications/lumeskar.desktop"));
  EXPECT_NE(entry.find("Exec=\"" + platform::ProgramPath() + "\" %f\n"), std::string::npos) << entry;
  Click(w.assocfiles);
  EXPECT_NE(GioDefault(), "lumeskar.desktop");
  EXPECT_NE(ReadFile(Path("xdg-config/mimeapps.list")).find("[Removed Associations]\ntext/x-nfo=lumeskar.desktop;"),
            std::string::npos);
}

TEST_F(SettingsWindowTest, StartUpProbeChecksTheBoxAndRegistersAgain) {
  // Registered earlier from another place: the probe finds us the default and
  // rewrites the entry with the current program path.
  WriteFile("xdg-data/applications/lumeskar.desktop",
            "[Desktop Entry]\nType=Application\nName=Lumeskar\nExec=/bin/true %f\nMimeType=text/x-nfo;\n");
  WriteFile("xdg-config/mimeapps.list", "[Default Applications]\ntext/x-nfo=lumeskar.desktop\n");
  TForm1TestAccess& w = Open("");
  EXPECT_TRUE(w.assocfiles->isChecked());
  EXPECT_TRUE(messages.isEmpty());
  EXPECT_NE(ReadFile(Path("xdg-data/applications/lumeskar.desktop")).find(platform::ProgramPath()), std::string::npos);
}

TEST_F(SettingsWindowTest, StartUpProbeLeavesTheBoxWhenAnotherViewerIsDefault) {
  WriteSettings("[Options]\nAssociate=Yes\n");
  WriteFile("xdg-data/applications/other.desktop",
            "[Desktop Entry]\nType=Application\nName=Other\nExec=/bin/true %f\nMimeType=text/x-nfo;\n");
  WriteFile("xdg-config/mimeapps.list", "[Default Applications]\ntext/x-nfo=other.desktop\n");
  TForm1TestAccess& w = Open("");
  EXPECT_FALSE(w.assocfiles->isChecked());
  EXPECT_FALSE(std::filesystem::exists(Path("xdg-data/applications/lumeskar.desktop")));
}

// Runs `step` on the file picker of SpeedButton3 once it is open.
void OnPicker(std::function<void(QFileDialog*)> step) {
  auto* timer = new QTimer;
  timer->setInterval(20);
  QObject::connect(timer, &QTimer::timeout, [timer, step = std::move(step)] {
    auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!d || !d->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    step(d);
  });
  timer->start();
}

// Types `path` into the picker's file name box, as a user may.
void Choose(QFileDialog* d, const std::string& path) {
  auto* name = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  ASSERT_NE(name, nullptr);
  name->setText(QString::fromStdString(path));
}

TEST_F(SettingsWindowTest, ExecutablePickerPutsTheProgramInAsOneWord) {
  const std::string plain = WriteFile("tools/burn", "#!/bin/sh\n");
  const std::string spaced = WriteFile("My Tools/it's new", "#!/bin/sh\n");
  WriteFile("tools/notes.txt", "text");
  std::filesystem::permissions(plain, std::filesystem::perms::owner_all);
  std::filesystem::permissions(spaced, std::filesystem::perms::owner_all);
  TForm1TestAccess& w = Open("");
  w.show();
  w.transparentlabClick();
  ASSERT_FALSE(w.afterextrun->isEnabled());  // the picker fills the box all the same

  int listed = -1;
  OnPicker([&](QFileDialog* d) {
    EXPECT_EQ(d->windowTitle(), "Select an executable to launch...");
    EXPECT_EQ(d->nameFilters().size(), 2);
    d->setDirectory(QString::fromStdString(Path("tools")));
    // Only the executable is listed while the executables filter is chosen.
    auto* proxy = d->proxyModel();
    const QString folder = QString::fromStdString(Path("tools"));
    auto* files = qobject_cast<QFileSystemModel*>(proxy->sourceModel());
    for (int i = 0; i < 100 && files->rowCount(files->index(folder)) < 2; ++i) QTest::qWait(20);
    listed = proxy->rowCount(proxy->mapFromSource(files->index(folder)));
    Choose(d, plain);
    static_cast<QDialog*>(d)->accept();  // QFileDialog::accept checks the choice
  });
  Click(w.SpeedButton3);
  EXPECT_EQ(listed, 1);
  EXPECT_EQ(w.afterextrun->text().toStdString(), plain);

  OnPicker([&](QFileDialog* d) {
    Choose(d, spaced);
    static_cast<QDialog*>(d)->accept();  // QFileDialog::accept checks the choice
  });
  Click(w.SpeedButton3);
  // The command is split into words when it runs: the path must stay one word.
  const auto words = extract::SplitCommand(w.afterextrun->text().toStdString());
  ASSERT_TRUE(words.has_value()) << w.afterextrun->text().toStdString();
  EXPECT_EQ(*words, std::vector<std::string>{spaced});

  const QString before = w.afterextrun->text();
  OnPicker([](QFileDialog* d) { d->reject(); });
  Click(w.SpeedButton3);
  EXPECT_EQ(w.afterextrun->text(), before);
  EXPECT_TRUE(messages.isEmpty());
}

}  // namespace
