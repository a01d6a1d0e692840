// The "..." buttons of the two extraction-folder prompts on the real main
// window: the folder dialog fills the prompt's box, or leaves it alone.
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>

#include "DialogDriver.h"
#include "WindowFixture.h"
#include "folderdialog/FolderPicker.h"
#include "folderdialog/VnFolderDialog.h"

namespace {

class FolderButtonsTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    std::filesystem::create_directories(Path("home/a"));
    std::filesystem::create_directories(Path("home/b"));
    qputenv("HOME", QByteArray::fromStdString(Path("home")));
  }
  QString Home(const char* name) const { return QString::fromStdString(Path(std::string("home/") + name)); }

  // Clicks `button` while a picker that confirms with `key` after moving down `downs` times is queued.
  void ClickAndPick(QPushButton* button, int downs, int key) {
    ModalDriver driver;
    driver.Then(IsNewPicker, [&](QWidget* w) {
      auto* tree = w->findChild<QTreeWidget*>("folderTree");
      for (int i = 0; i < downs; ++i) Key(tree, Qt::Key_Down);
      Key(tree, key);
    });
    Click(button);
    EXPECT_TRUE(driver.Problems().isEmpty()) << driver.Problems().toStdString();
  }
};

TEST_F(FolderButtonsTest, ConfirmedFolderFillsThePromptAndTakesTheFocus) {
  TForm1TestAccess& w = Open("");
  ASSERT_NE(w.vn1, nullptr);
  EXPECT_EQ(w.vn1->Flags().Bits(), 0x1220);
  EXPECT_EQ(w.vn1->parent(), &w);
  w.show();
  w.popupdir->show();
  w.sfvpopuppanel->show();

  // Plain extraction prompt ("..." is Button5).
  w.popupdirbox->setText("typed");
  w.vn1->SetFolder(Home("a"));
  ClickAndPick(w.Button5, 1, Qt::Key_Return);
  EXPECT_EQ(w.popupdirbox->text(), Home("b"));
  EXPECT_EQ(w.focusWidget(), w.popupdirbox);

  // The prompt after a check ("..." is Button4) starts where the last choice ended.
  w.sfvpopupbox->setText("");
  ClickAndPick(w.Button4, 0, Qt::Key_Return);
  EXPECT_EQ(w.sfvpopupbox->text(), Home("b"));
  EXPECT_EQ(w.focusWidget(), w.sfvpopupbox);
  EXPECT_EQ(w.popupdirbox->text(), Home("b"));
  EXPECT_TRUE(messages.isEmpty());
}

TEST_F(FolderButtonsTest, CancelLeavesTheBoxAndTheFocusAlone) {
  TForm1TestAccess& w = Open("");
  w.show();
  w.popupdir->show();
  w.sfvpopuppanel->show();
  w.popupdirbox->setText("keep me");
  w.sfvpopupbox->setText("and me");
  w.edit->setFocus();
  w.vn1->SetFolder(Home("a"));

  ClickAndPick(w.Button5, 1, Qt::Key_Escape);
  ClickAndPick(w.Button4, 1, Qt::Key_Escape);
  EXPECT_EQ(w.popupdirbox->text(), "keep me");
  EXPECT_EQ(w.sfvpopupbox->text(), "and me");
  EXPECT_NE(w.focusWidget(), w.popupdirbox);
  EXPECT_NE(w.focusWidget(), w.sfvpopupbox);
  EXPECT_EQ(w.vn1->Folder(), Home("a"));
}

}  // namespace
