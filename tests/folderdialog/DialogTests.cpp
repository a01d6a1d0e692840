// The folder dialog component offscreen: the picker is driven by keys and
// clicks from timers while Execute runs its modal loop.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>

#include "DialogDriver.h"
#include "tests/common/TempDir.h"

using testing_support::TempDir;
#include "folderdialog/FolderPicker.h"
#include "folderdialog/PathShortening.h"
#include "folderdialog/VnFolderDialog.h"

namespace fs = std::filesystem;
using F = TBrowseInfoFlags;

namespace {

FolderPicker* Picker(QWidget* w) { return qobject_cast<FolderPicker*>(w); }
QTreeWidget* Tree(QWidget* w) { return w->findChild<QTreeWidget*>("folderTree"); }
QString CurrentPath(QWidget* w) { return FolderPicker::ReadItem(Picker(w)->CurrentItem()).path; }
QString Status(QWidget* w) { return w->findChild<QLabel*>("statusText")->text(); }
QPushButton* Ok(QWidget* w) { return w->findChild<QPushButton*>("okButton"); }
QPushButton* ComponentButton(QWidget* w) { return w->findChild<QPushButton*>("componentNewFolderButton"); }
QPushButton* PickerButton(QWidget* w) { return w->findChild<QPushButton*>("pickerNewFolderButton"); }
bool IsInputBox(QWidget* w) { return qobject_cast<QInputDialog*>(w) != nullptr; }
bool IsMessageBox(QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; }

// Types `text` into the input box and confirms it.
void Answer(QWidget* w, const QString& text) {
  auto* edit = w->findChild<QLineEdit*>();
  QTest::keyClicks(edit, text);
  Key(edit, Qt::Key_Return);
}

// A step that keeps a message box's text and closes it with Enter.
ModalDriver::Action ReadAndClose(QString* text) {
  return [text](QWidget* w) {
    *text = qobject_cast<QMessageBox*>(w)->text();
    Key(w, Qt::Key_Return);
  };
}

class FolderDialogTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(tmp_.path().empty());
    home_ = QString::fromStdString(tmp_ / "home");
    fs::create_directories(Local(home_ + "/a"));
    fs::create_directories(Local(home_ + "/b"));
    setenv("HOME", Local(home_).c_str(), 1);
    for (const char* v : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "LC_ALL", "LC_MESSAGES"}) unsetenv(v);
    setenv("LANG", "C", 1);
  }

  static std::string Local(const QString& s) { return s.toStdString(); }

  // Runs Execute with the steps queued on `driver` and checks that all of them ran.
  bool Run(TVnFolderDialog& dialog, ModalDriver& driver) {
    const bool result = dialog.Execute();
    EXPECT_TRUE(driver.Problems().isEmpty()) << driver.Problems().toStdString();
    return result;
  }

  TempDir tmp_;
  QString home_;
};

TEST_F(FolderDialogTest, ConfirmSetsFolderAndCancelKeepsIt) {
  TVnFolderDialog dialog;
  dialog.SetFolder(home_ + "/a");
  int initialized = 0;
  QStringList selections;
  dialog.OnInitialized = [&](TVnFolderDialog* sender, QWidget* handle) {
    EXPECT_EQ(sender, &dialog);
    EXPECT_TRUE(IsPicker(handle));
    ++initialized;
  };
  dialog.OnSelectionChanged = [&](TVnFolderDialog*, QWidget*, PItemIDList item, const QString& folder, uint32_t attr) {
    EXPECT_NE(item, nullptr);
    EXPECT_NE(attr & kAttrFileSystem, 0u);
    selections << folder;
  };

  {
    ModalDriver driver;
    driver.Then(IsNewPicker, [&](QWidget* w) {
      EXPECT_EQ(CurrentPath(w), home_ + "/a");
      EXPECT_EQ(Status(w).toStdString(), ShortenPath(Local(home_ + "/a")));
      EXPECT_EQ(w->findChild<QLabel*>("labelCaption")->text(), "Current folder:");
      EXPECT_EQ(w->windowTitle(), "Browse for Folder");
      EXPECT_EQ(ComponentButton(w), nullptr);  // the default style brings its own button
      ASSERT_NE(PickerButton(w), nullptr);
      const QRect screen = w->screen()->geometry();
      EXPECT_LE(std::abs(w->frameGeometry().center().x() - screen.center().x()), 1);
      EXPECT_LE(std::abs(w->frameGeometry().center().y() - screen.center().y()), 1);
      Key(Tree(w), Qt::Key_Down);  // the next folder, b
      EXPECT_EQ(CurrentPath(w), home_ + "/b");
      Key(Tree(w), Qt::Key_Return);
    });
    EXPECT_TRUE(Run(dialog, driver));
  }
  EXPECT_EQ(dialog.Folder(), home_ + "/b");
  EXPECT_EQ(dialog.SpecialFolder(), -1);
  EXPECT_EQ(initialized, 1);
  EXPECT_EQ(selections, QStringList({home_ + "/a", home_ + "/b"}));

  {
    ModalDriver driver;
    driver.Then(IsNewPicker, [&](QWidget* w) {
      EXPECT_EQ(CurrentPath(w), home_ + "/b");  // starts at the folder confirmed last
      Key(Tree(w), Qt::Key_Up);
      EXPECT_EQ(CurrentPath(w), home_ + "/a");
      Key(Tree(w), Qt::Key_Escape);
    });
    EXPECT_FALSE(Run(dialog, driver));
  }
  EXPECT_EQ(dialog.Folder(), home_ + "/b");
  EXPECT_EQ(initialized, 2);
}

TEST_F(FolderDialogTest, PlacesWithoutPathAndTheOkRules) {
  std::ofstream(Local(home_ + "/a/notes.txt")) << "x";
  TVnFolderDialog dialog;
  dialog.SetFolder(home_ + "/a");
  dialog.SetReturnSpecialFolder(true);
  {
    // With the default flags the network place can be confirmed; it has no path.
    ModalDriver driver;
    driver.Then(IsNewPicker, [&](QWidget* w) {
      Key(Tree(w), Qt::Key_End);
      EXPECT_EQ(CurrentPath(w), "");
      EXPECT_EQ(Status(w), "Network");
      EXPECT_TRUE(Ok(w)->isEnabled());
      EXPECT_FALSE(PickerButton(w)->isEnabled());
      Key(Tree(w), Qt::Key_Return);
    });
    EXPECT_TRUE(Run(dialog, driver));
    EXPECT_EQ(dialog.Folder(), "");
    EXPECT_EQ(dialog.SpecialFolder(), 18);
  }
  {
    // Only file-system items: OK is off for the network place, and Enter does nothing.
    dialog.SetFlags({F::ShowPath, F::NewDialogStyle, F::OnlyFileSystem});
    dialog.SetSpecialFolder(-1);
    dialog.SetFolder(home_ + "/b");
    ModalDriver driver;
    driver.Then(IsNewPicker, [&](QWidget* w) {
      EXPECT_TRUE(Ok(w)->isEnabled());
      Key(Tree(w), Qt::Key_End);
      EXPECT_FALSE(Ok(w)->isEnabled());
      Key(Tree(w), Qt::Key_Return);
      EXPECT_TRUE(w->isVisible());
      Key(Tree(w), Qt::Key_Escape);
    });
    EXPECT_FALSE(Run(dialog, driver));
    EXPECT_EQ(dialog.Folder(), home_ + "/b");
  }
  {
    // Files listed; only folders may be confirmed with OnlyAncestors.
    dialog.SetFlags({F::ShowPath, F::Includefiles, F::OnlyAncestors});
    dialog.SetFolder(home_ + "/a/notes.txt");
    ModalDriver driver;
    driver.Then(IsNewPicker, [&](QWidget* w) {
      EXPECT_EQ(CurrentPath(w), home_ + "/a/notes.txt");
      EXPECT_FALSE(Ok(w)->isEnabled());
      Key(Tree(w), Qt::Key_Left);  // to the parent folder
      EXPECT_EQ(CurrentPath(w), home_ + "/a");
      EXPECT_TRUE(Ok(w)->isEnabled());
      Key(Tree(w), Qt::Key_Return);
    });
    EXPECT_TRUE(Run(dialog, driver));
    EXPECT_EQ(dialog.Folder(), home_ + "/a");
  }
}

TEST_F(FolderDialogTest, ComponentButtonCreatesNestedFoldersAndReopensOnThem) {
  TVnFolderDialog dialog;
  dialog.SetFlags({F::ShowPath});  // the plain style: the component adds its own button
  dialog.SetFolder(home_ + "/a");
  ModalDriver driver;
  driver.Then(IsNewPicker, [&](QWidget* w) {
    EXPECT_EQ(PickerButton(w), nullptr);
    QPushButton* button = ComponentButton(w);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), "New folder");
    EXPECT_GE(button->width(), button->fontMetrics().horizontalAdvance("New folder") + 12);
    EXPECT_GE(button->width(), 75);
    QTest::mouseClick(button, Qt::LeftButton);
  });
  driver.Then(IsInputBox, [&](QWidget* w) {
    auto* box = qobject_cast<QInputDialog*>(w);
    EXPECT_EQ(box->windowTitle(), "New folder");
    EXPECT_EQ(box->labelText(), "");
    EXPECT_EQ(box->textValue(), "");
    Answer(w, "x/y/z");
  });
  driver.Then(IsNewPicker, [&](QWidget* w) {
    EXPECT_EQ(CurrentPath(w), home_ + "/a/x/y/z");
    QTest::mouseClick(ComponentButton(w), Qt::LeftButton);
  });
  driver.Then(IsInputBox, [&](QWidget* w) { Answer(w, "/top"); });  // appended as it stands
  driver.Then(IsNewPicker, [&](QWidget* w) {
    EXPECT_EQ(CurrentPath(w), home_ + "/a/x/y/z/top");
    Key(Tree(w), Qt::Key_Return);
  });
  EXPECT_TRUE(Run(dialog, driver));
  EXPECT_EQ(dialog.Folder(), home_ + "/a/x/y/z/top");
  EXPECT_TRUE(fs::is_directory(Local(dialog.Folder())));
}

TEST_F(FolderDialogTest, NameThatCannotBeCreatedShowsTheErrorAndCreatesNothing) {
  TVnFolderDialog dialog;
  dialog.SetFlags({F::ShowPath});
  dialog.SetFolder(home_ + "/a");
  QString message;
  ModalDriver driver;
  driver.Then(IsNewPicker, [&](QWidget* w) {
    Key(Tree(w), Qt::Key_Down);  // b is current when the button is pressed
    QTest::mouseClick(ComponentButton(w), Qt::LeftButton);
  });
  driver.Then(IsInputBox, [&](QWidget* w) { Answer(w, "new/" + QString(300, 'n')); });
  driver.Then(IsMessageBox, ReadAndClose(&message));
  driver.Then(IsNewPicker, [&](QWidget* w) {
    EXPECT_EQ(CurrentPath(w), home_ + "/b");
    Key(Tree(w), Qt::Key_Escape);
  });
  driver.Then(IsNewPicker, [&](QWidget*) { ADD_FAILURE() << "the picker reopened after a cancel"; });
  const bool result = dialog.Execute();
  EXPECT_FALSE(result);
  EXPECT_EQ(message, "The directory or file cannot be created.");
  EXPECT_FALSE(fs::exists(Local(home_ + "/b/new")));
  // The folder current when the button was pressed is where the last picker started.
  EXPECT_EQ(dialog.Folder(), home_ + "/b");
}

TEST_F(FolderDialogTest, CancelledInputAndNamesLeavingTheFolderChangeNothing) {
  TVnFolderDialog dialog;
  dialog.SetFlags({F::ShowPath});
  dialog.SetFolder(home_ + "/a");
  QString message;
  ModalDriver driver;
  driver.Then(IsNewPicker, [&](QWidget* w) { QTest::mouseClick(ComponentButton(w), Qt::LeftButton); });
  driver.Then(IsInputBox, [&](QWidget* w) { Key(w, Qt::Key_Escape); });
  driver.Then(IsPicker, [&](QWidget* w) {  // still the same picker: nothing happened
    EXPECT_TRUE(w->property("handledByTest").toBool());
    QTest::mouseClick(ComponentButton(w), Qt::LeftButton);
  });
  driver.Then(IsInputBox, [&](QWidget* w) { Answer(w, "../escaped"); });
  driver.Then(IsMessageBox, ReadAndClose(&message));
  driver.Then(IsNewPicker, [&](QWidget* w) { Key(Tree(w), Qt::Key_Escape); });
  EXPECT_FALSE(Run(dialog, driver));
  EXPECT_EQ(message, "The directory or file cannot be created.");
  EXPECT_FALSE(fs::exists(Local(home_ + "/escaped")));
}

TEST_F(FolderDialogTest, SpecialFolderSearchAndInitialSelection) {
  fs::create_directories(Local(home_ + "/Desktop"));
  TVnFolderDialog dialog;
  dialog.SetReturnSpecialFolder(true);
  dialog.SetFolder(home_ + "/Desktop");
  auto confirm = [&](const QString& expectedStart) {
    ModalDriver driver;
    driver.Then(IsNewPicker, [&](QWidget* w) {
      EXPECT_EQ(CurrentPath(w), expectedStart);
      Key(Tree(w), Qt::Key_Return);
    });
    EXPECT_TRUE(Run(dialog, driver));
  };
  confirm(home_ + "/Desktop");
  EXPECT_EQ(dialog.SpecialFolder(), 0);  // desktop (0) and desktop folder (16): the lowest

  // A special folder wins over Folder as the start.
  dialog.SetFolder(home_ + "/a");
  confirm(home_ + "/Desktop");
  EXPECT_EQ(dialog.SpecialFolder(), 0);

  dialog.SetReturnSpecialFolder(false);
  confirm(home_ + "/Desktop");
  EXPECT_EQ(dialog.SpecialFolder(), -1);
  EXPECT_EQ(dialog.Folder(), home_ + "/Desktop");
}

TEST_F(FolderDialogTest, CaptionsFollowTheLanguageAndListChanges) {
  setenv("LANG", "de_CH.UTF-8", 1);
  TVnFolderDialog dialog;
  EXPECT_EQ(dialog.LanguageKey(), "0807");
  EXPECT_EQ(dialog.NewFolderCaption(), "Neuer Ordner");
  EXPECT_EQ(dialog.LabelCaption(), QString::fromUtf8("Ausgew\u00e4hlter Ordner:"));
  dialog.SetFlags({F::ShowPath});
  dialog.SetTitles({"0409=Pick a folder", "040C=Choisir un dossier"});
  dialog.SetFolder(home_);
  const QString longer = "Einen neuen Ordner hier anlegen";
  ModalDriver driver;
  driver.Then(IsNewPicker, [&](QWidget* w) {
    EXPECT_EQ(w->windowTitle(), "Pick a folder");  // neither the key nor Default: the first line
    EXPECT_EQ(w->findChild<QLabel*>("labelCaption")->text(), QString::fromUtf8("Ausgew\u00e4hlter Ordner:"));
    QPushButton* button = ComponentButton(w);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), "Neuer Ordner");
    const int before = button->width();
    dialog.SetNewFolderCaptions({"0407=Nicht diese", "Default=" + longer});
    EXPECT_EQ(button->text(), longer);  // at once, while the picker is open
    EXPECT_GE(button->width(), button->fontMetrics().horizontalAdvance(longer) + 12);
    EXPECT_GT(button->width(), before);
    Key(Tree(w), Qt::Key_Escape);
  });
  EXPECT_FALSE(Run(dialog, driver));
  EXPECT_EQ(dialog.NewFolderCaption(), longer);

  setenv("LANG", "C", 1);
  TVnFolderDialog english;
  EXPECT_EQ(english.LanguageKey(), "0409");
  EXPECT_EQ(english.NewFolderCaption(), "New folder");
  EXPECT_EQ(english.LabelCaption(), "Current folder:");
  english.SetLabelCaptions({});
  EXPECT_EQ(english.LabelCaption(), "");
}

TEST_F(FolderDialogTest, TypedPathsAndValidation) {
  TVnFolderDialog dialog;
  dialog.SetFlags({F::ShowPath, F::NewDialogStyle, F::EditBox, F::Validate});
  dialog.SetFolder(home_);
  int failures = 0;
  dialog.OnValidateFailed = [&](TVnFolderDialog* sender, QWidget* handle) {
    EXPECT_EQ(sender, &dialog);
    EXPECT_TRUE(IsPicker(handle));
    ++failures;
  };
  auto typeAndConfirm = [&](const QString& text) {
    ModalDriver driver;
    driver.Then(IsNewPicker, [&, text](QWidget* w) {
      auto* edit = w->findChild<QLineEdit*>("editBox");
      ASSERT_NE(edit, nullptr);
      EXPECT_EQ(edit->text(), QFileInfo(home_).fileName());
      edit->selectAll();
      QTest::keyClicks(edit, text);
      Key(edit, Qt::Key_Return);
    });
    return Run(dialog, driver);
  };
  EXPECT_TRUE(typeAndConfirm("a"));  // relative to the selected folder
  EXPECT_EQ(dialog.Folder(), home_ + "/a");
  dialog.SetFolder(home_);
  EXPECT_TRUE(typeAndConfirm(home_ + "/b/../b"));
  EXPECT_EQ(dialog.Folder(), home_ + "/b");
  EXPECT_EQ(failures, 0);

  dialog.SetFolder(home_);
  EXPECT_FALSE(typeAndConfirm("missing"));
  EXPECT_EQ(failures, 1);
  EXPECT_EQ(dialog.Folder(), home_);
  EXPECT_FALSE(fs::exists(Local(home_ + "/missing")));

  // Without validation a name that matches nothing confirms the selected folder.
  dialog.SetFlags({F::ShowPath, F::EditBox});
  EXPECT_TRUE(typeAndConfirm("missing"));
  EXPECT_EQ(dialog.Folder(), home_);
  EXPECT_EQ(failures, 1);
}

TEST_F(FolderDialogTest, PickerButtonMakesAFolderToNameInPlace) {
  TVnFolderDialog dialog;  // default flags: the picker's own button
  dialog.SetFolder(home_ + "/a");
  ModalDriver driver;
  driver.Then(IsNewPicker, [&](QWidget* w) {
    QTest::mouseClick(PickerButton(w), Qt::LeftButton);
    EXPECT_EQ(CurrentPath(w), home_ + "/a/New folder");
    EXPECT_TRUE(fs::is_directory(Local(home_ + "/a/New folder")));
    auto* editor = Tree(w)->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, "Made");
    Key(editor, Qt::Key_Return);  // the edit ends once the event loop runs
    EXPECT_TRUE(WaitFor([&] { return CurrentPath(w) == home_ + "/a/Made"; })) << CurrentPath(w).toStdString();
    EXPECT_EQ(Status(w).toStdString(), ShortenPath(Local(home_ + "/a/Made")));
    Key(Tree(w), Qt::Key_Return);
  });
  EXPECT_TRUE(Run(dialog, driver));
  EXPECT_EQ(dialog.Folder(), home_ + "/a/Made");
  EXPECT_TRUE(fs::is_directory(Local(home_ + "/a/Made")));
  EXPECT_FALSE(fs::exists(Local(home_ + "/a/New folder")));

  // Hidden in both styles.
  for (TBrowseInfoFlagSet flags :
       {TBrowseInfoFlagSet{F::NewDialogStyle, F::HideNewFolderButton}, TBrowseInfoFlagSet{F::HideNewFolderButton}}) {
    dialog.SetFlags(flags);
    ModalDriver hidden;
    hidden.Then(IsNewPicker, [&](QWidget* w) {
      EXPECT_EQ(PickerButton(w), nullptr);
      EXPECT_EQ(ComponentButton(w), nullptr);
      EXPECT_FALSE(w->findChild<QLabel*>("statusText")->isVisibleTo(w));  // no ShowPath
      Key(Tree(w), Qt::Key_Escape);
    });
    EXPECT_FALSE(Run(dialog, hidden));
  }
}

}  // namespace
