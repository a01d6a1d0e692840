// The main window, offscreen: start-up texts, release discovery as the user
// sees it, the panels, and start-up errors.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QMessageBox>
#include <QRegion>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include "WindowFixture.h"
#include "app/Dialogs.h"
#include "platform/FileRead.h"
#include "platform/ProgramDir.h"
#include "release/SfvEntries.h"

#include <filesystem>
#include <fstream>

namespace {
const char* kWelcome = "Please load the program by double clicking an NFO file";
}

TEST_F(WindowTest, StartsWithoutArgumentShowingTheWelcomeTexts) {
  TForm1TestAccess& w = Open("");
  EXPECT_EQ(w.edit->toPlainText(), "No SFV Opened");
  EXPECT_EQ(w.sfvfilelab->text(), kWelcome);
  EXPECT_EQ(w.fromsite->text(), "Unknown Site");
  EXPECT_EQ(w.size(), QSize(531, 452));
  EXPECT_TRUE(form->context.sfvfile.empty());
  EXPECT_EQ(form->context.cdcount, 0);
  EXPECT_TRUE(messages.isEmpty());
  // Clicking the status line without a release does nothing.
  Click(w.sfvfilelab);
  EXPECT_EQ(w.sfvfilelab->text(), kWelcome);
}

TEST_F(WindowTest, LoadsTheNfoAsCodePage437WithEmptyLinesRemoved) {
  std::string nfo = WriteFile("rel/x.nfo", "A\r\n\r\n\r\nB\xDB\xDF\r\n\r\nC\n");
  TForm1TestAccess& w = Open(nfo);
  EXPECT_EQ(w.edit->toPlainText(), QString::fromUtf8("A\n\nB\u2588\u2580\nC"));
  EXPECT_EQ(w.edit->font().family(), "Lumeskar Terminal");
  // No SFV beside it: the status line and the site stay as they were.
  EXPECT_EQ(w.sfvfilelab->text(), kWelcome);
  EXPECT_EQ(w.fromsite->text(), "Unknown Site");
}

TEST_F(WindowTest, LoadsUtf8WithoutItsSauceAndKeepsOtherScriptsOnTheGrid) {
  std::string sauce = "SAUCE00" + std::string(121, ' ');
  std::string nfo = WriteFile("rel/u.nfo",
                              "\xEF\xBB\xBF"
                              "A\r\n\r\n\r\n"
                              "\xE2\x96\x88\xE4\xB8\xAD\xE2\x96\x88\xF0\x9F\x98\x80\xE2\x96\x88 x"
                              "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD\xE2\x96\x88\r\n\x1A" +
                                  sauce);
  TForm1TestAccess& w = Open(nfo);
  EXPECT_EQ(w.edit->toPlainText(),
            QString::fromUtf8("A\n\n\u2588\u4E2D\u2588\U0001F600\u2588 x\U0001F44D\U0001F3FD\u2588"));
  w.show();
  // A CJK character and an emoji take two cells each, and so does an emoji's
  // skin-tone modifier; what follows them stays on the 6-pixel grid.
  const size_t line = w.edit->content().RowStart(2);
  auto x = [&](int inLine) { return w.edit->cursorRect(line + size_t(inLine)).left(); };
  const std::pair<int, int> columnAt[] = {{1, 1}, {2, 3}, {3, 4}, {5, 6}, {6, 7}, {7, 8}, {8, 9}, {12, 13}};
  for (auto [inBlock, column] : columnAt) EXPECT_EQ(x(inBlock) - x(0), column * 6) << inBlock;
  // Nor does the fallback font make the line taller: the rows stay 8 pixels apart.
  EXPECT_EQ(w.edit->cursorRect(line).top() - w.edit->cursorRect(w.edit->content().RowStart(1)).top(), 8);
  EXPECT_EQ(w.edit->cursorRect(line).height(), 8);
}

TEST_F(WindowTest, FindsTheSfvAndShowsTheOriginSite) {
  WriteFile("rel/b.sfv", "; Uploaded on the mighty Other\r\nb.rar 00000000\r\n");
  WriteFile("rel/A.SFV", "; Uploaded on the mighty SiteName\r\n; more\r\ngame.rar 1234ABCD\n");
  std::string nfo = WriteFile("rel/x.nfo", "art");
  TForm1TestAccess& w = Open(nfo);
  EXPECT_EQ(form->context.sfvfile, Path("rel/A.SFV"));  // case ignored; first in sorted order
  EXPECT_EQ(form->context.sfvsearch.Name, "A.SFV");
  EXPECT_EQ(w.sfvmemo, "; Uploaded on the mighty SiteName\r\n; more\r\ngame.rar 1234ABCD\r\n");
  EXPECT_EQ(w.sfvfilelab->text(), "Click here to SFV check this release");
  EXPECT_EQ(w.fromsite->text(), "SiteName");
  EXPECT_LE(w.fromsite->height(), 11);
  // The status label widens and narrows with its text.
  EXPECT_EQ(w.sfvfilelab->width(), 36 * 6);
}

TEST_F(WindowTest, ReportsMultiDiscReleasesAndIgnoresClicksOnThem) {
  WriteFile("rel/cd1/one.sfv", "a 00000000\r\n");
  WriteFile("rel/CD3/three.sfv", "a 00000000\r\n");
  std::string nfo = WriteFile("rel/x.nfo", "art");
  TForm1TestAccess& w = Open(nfo);
  EXPECT_EQ(w.sfvfilelab->text(), "Multiple release detected. (3 CD's) - SFV check unsupported");
  EXPECT_EQ(form->context.cdcount, 3);
  EXPECT_TRUE(form->context.sfvfile.empty());
  EXPECT_TRUE(w.sfvmemo.empty());
  EXPECT_EQ(w.fromsite->text(), "Unknown Site");
  Click(w.sfvfilelab);
  EXPECT_EQ(w.sfvfilelab->text(), "Multiple release detected. (3 CD's) - SFV check unsupported");
  EXPECT_TRUE(messages.isEmpty());
}

TEST_F(WindowTest, UnreadableNfoIsReportedAndTheWindowStillOpens) {
  std::string missing = Path("gone/x.nfo");
  TForm1TestAccess& w = Open(missing);
  ASSERT_EQ(messages.size(), 1);
  EXPECT_EQ(messages[0], QString::fromStdString("Cannot open file " + missing + "."));
  EXPECT_EQ(w.edit->toPlainText(), "");
  EXPECT_EQ(w.sfvfilelab->text(), kWelcome);

  // A folder given as the file is reported the same way.
  messages.clear();
  form.reset();
  WriteFile("folder.nfo/inside", "");
  Open(Path("folder.nfo"));
  ASSERT_EQ(messages.size(), 1);
  EXPECT_TRUE(messages[0].startsWith("Cannot open file "));
}

TEST_F(WindowTest, SfvThatCannotBeLoadedStopsStartUpWithAnError) {
  // An SFV file larger than any real one is not read.
  std::filesystem::resize_file(WriteFile("rel/x.sfv", ""), platform::kMaxTextFileSize + 1);
  std::string nfo = WriteFile("rel/x.nfo", "art");
  TForm1TestAccess& w = Open(nfo);
  ASSERT_EQ(messages.size(), 1);
  EXPECT_EQ(messages[0], QString::fromStdString("Cannot open file " + Path("rel/x.sfv") + "."));
  EXPECT_EQ(w.sfvfilelab->text(), kWelcome);
  EXPECT_EQ(form->context.sfvsearch.Name, "x.sfv");
}

TEST_F(WindowTest, MessageBoxesBelongToTheMainWindowEvenWhenItIsNotActive) {
  SetMessageSink({});  // real boxes, each closed as soon as it shows
  QList<QWidget*> owners;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      owners << box->parentWidget();
      box->accept();
    }
  });
  closer.start(10);
  WriteFile("rel/x.sfv", "gone.rar 00000000\r\n");
  const TForm1TestAccess* starting = &Open(Path("rel/missing.nfo"));  // a box during start-up
  ASSERT_EQ(owners.size(), 1);
  EXPECT_EQ(owners[0], starting);
  form.reset();
  TForm1TestAccess& checked = Open(WriteFile("rel/x.nfo", "art"));
  Click(checked.sfvfilelab);  // a box from a click: the listed file is missing
  ASSERT_EQ(owners.size(), 2);
  EXPECT_EQ(owners[1], &checked);
}

TEST_F(WindowTest, TheAssociationBoxNamesTheFileManagerInFull) {
  TForm1TestAccess& w = Open("");
  w.show();
  Click(w.transparentlab);  // the options panel fits its captions when first shown
  EXPECT_EQ(w.assocfiles->text().replace('\n', ' ').toStdString(),
            "Associate .nfo files with Lumeskar in the file manager (this is required for optimum performance)");
  EXPECT_TRUE(w.optionspanel->rect().contains(w.assocfiles->geometry())) << w.assocfiles->geometry().right();
  EXPECT_LE(w.assocfiles->sizeHint().width(), w.assocfiles->width());
  EXPECT_LT(w.assocfiles->geometry().bottom(), w.extracttodircb->parentWidget()->geometry().top());  // its group
}

TEST_F(WindowTest, HelpAndOptionsPanelsExcludeEachOther) {
  TForm1TestAccess& w = Open("");
  w.show();
  EXPECT_TRUE(w.aboutbox->isHidden());
  EXPECT_TRUE(w.optionspanel->isHidden());
  Click(w.helplab);
  EXPECT_TRUE(w.aboutbox->isVisible());
  Click(w.transparentlab);  // Options while About is open: nothing
  EXPECT_TRUE(w.optionspanel->isHidden());
  Click(w.Button1);  // Close
  EXPECT_TRUE(w.aboutbox->isHidden());
  Click(w.transparentlab);
  EXPECT_TRUE(w.optionspanel->isVisible());
  Click(w.helplab);  // Help while Options is open: nothing
  EXPECT_TRUE(w.aboutbox->isHidden());
  // Cancel closes the panel and undoes nothing.
  w.wwrapcb->setChecked(false);
  Click(w.Button3);
  EXPECT_TRUE(w.optionspanel->isHidden());
  EXPECT_FALSE(w.wwrapcb->isChecked());
}

TEST_F(WindowTest, ComponentsSitWhereTheLayoutPutsThem) {
  TForm1TestAccess& w = Open("");
  EXPECT_EQ(w.edit->geometry(), QRect(0, 0, 531, 427));
  EXPECT_EQ(w.sfvfilelab->geometry(), QRect(0, 432, 324, 8));
  EXPECT_EQ(w.helplab->geometry(), QRect(496, 439, 33, 11));
  EXPECT_EQ(w.optionspanel->geometry(), QRect(16, 64, 489, 329));
  EXPECT_EQ(w.aboutbox->geometry(), QRect(16, 104, 489, 249));
  EXPECT_EQ(w.popupdir->geometry(), QRect(72, 200, 393, 65));
  EXPECT_EQ(w.sfvpopuppanel->geometry(), QRect(72, 200, 393, 65));
  EXPECT_TRUE(w.cancelab->isHidden());
  EXPECT_TRUE(w.choosecb->isChecked());
  EXPECT_TRUE(w.wwrapcb->isChecked());
  EXPECT_TRUE(w.binbutton->isChecked());
  EXPECT_FALSE(w.extracttodir->isEnabled());
  EXPECT_TRUE(w.windowTitle().startsWith("Lumeskar - "));
  // An 80-column line fits the viewer without wrapping.
  w.show();
  QFontMetrics fm(w.edit->font());
  EXPECT_EQ(fm.horizontalAdvance(QString(80, QChar(0x2588))), 480);
  EXPECT_LE(480, w.edit->viewport()->width());
}

TEST_F(WindowTest, PluginManagerBesideTheProgramShowsItsButton) {
  const std::string manager = platform::ProgramDir() + "PluginManager";
  ASSERT_FALSE(std::filesystem::exists(manager)) << "leftover " << manager;
  struct Cleanup {
    std::string path;
    ~Cleanup() { std::filesystem::remove_all(path); }
  } cleanup{manager};

  // Not a portable installation (no settings file beside the program): the
  // plug-in folder goes to the data home, and the program's folder is left
  // as it is.
  std::error_code ignored;
  std::filesystem::remove(platform::ProgramDir() + "Plugins", ignored);  // an empty leftover
  ASSERT_FALSE(std::filesystem::exists(platform::ProgramDir() + "Plugins"));
  EXPECT_TRUE(Open("").pluginbutton->isHidden());
  EXPECT_FALSE(std::filesystem::exists(platform::ProgramDir() + "Plugins"));
  EXPECT_TRUE(std::filesystem::is_directory(Path("xdg-data/lumeskar/Plugins")));

  std::filesystem::create_directory(manager);  // a folder of that name does not count
  EXPECT_TRUE(Open("").pluginbutton->isHidden());
  std::filesystem::remove(manager);

  std::ofstream(manager) << "#!/bin/sh\n";
  EXPECT_FALSE(Open("").pluginbutton->isHidden());
}

TEST_F(WindowTest, TheViewerDrawsTheSelectionAndTheCaretInTheirOwnCells) {
  TForm1TestAccess& w = Open(WriteFile("rel/x.nfo", "ab\r\ncd\r\nef\r\ngh\r\n"));
  w.show();
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  TNfoView* e = w.edit;
  e->clearFocus();
  const QImage plain = e->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  e->setFocus();
  QTest::keyClick(e, Qt::Key_Home, Qt::ControlModifier);
  QTest::keyClick(e, Qt::Key_Down);
  QTest::keyClick(e, Qt::Key_Down, Qt::ShiftModifier);  // "cd" selected, the caret before "ef"
  ASSERT_TRUE(e->hasFocus());
  const QImage marked = e->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(marked.size(), plain.size());

  // Exactly the two selected cells of the second row and the caret's
  // column of pixels at the start of the third row change.
  const QRegion expected = QRegion(0, 8, 12, 8) + QRegion(0, 16, 1, 8);
  int wrong = 0;
  for (int y = 0; y < plain.height(); ++y)
    for (int x = 0; x < plain.width(); ++x)
      wrong += (plain.pixel(x, y) != marked.pixel(x, y)) != expected.contains(QPoint(x, y));
  EXPECT_EQ(wrong, 0);
}

TEST_F(WindowTest, TheViewerScrollsWrapsEditsAndCopiesUnicode) {
  std::string nfo;
  for (int i = 0; i < 200; ++i)
    nfo += (i == 3 ? std::string(150, '\xDB') : "line " + std::to_string(i) + " \xB0\xB1\xB2") + "\r\n";
  TForm1TestAccess& w = Open(WriteFile("rel/x.nfo", nfo));
  w.show();
  TNfoView* e = w.edit;
  QScrollBar* bar = e->verticalScrollBar();

  // The option: with word wrap the wide line takes two rows, without it one.
  EXPECT_EQ(e->content().RowCount(), 201u);
  w.wwrapcb->setChecked(false);
  EXPECT_EQ(e->content().RowCount(), 200u);
  w.wwrapcb->setChecked(true);
  EXPECT_EQ(bar->maximum(), 201 - 427 / 8);

  // Keys scroll with the caret; the wheel scrolls three rows a notch.
  QTest::keyClick(e, Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(bar->value(), bar->maximum());
  QTest::keyClick(e, Qt::Key_PageUp);
  EXPECT_EQ(bar->value(), bar->maximum() - bar->pageStep());
  const int before = bar->value();
  QWheelEvent wheel(QPointF(50, 50), e->viewport()->mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, -120),
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(e->viewport(), &wheel);
  EXPECT_EQ(bar->value(), before + 3);

  // Selection by keys; the clipboard gets the characters, not their bytes.
  QTest::keyClick(e, Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(bar->value(), 0);
  QTest::keyClick(e, Qt::Key_Down, Qt::ShiftModifier);
  QTest::keyClick(e, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromUtf8("line 0 \u2591\u2592\u2593\n"));

  // Typing replaces the selection; undo brings it back.
  QTest::keyClicks(e, "new ");
  EXPECT_TRUE(e->toPlainText().startsWith("new line 1 ")) << e->toPlainText().left(20).toStdString();
  QTest::keyClick(e, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_TRUE(e->toPlainText().startsWith("line 0 \u2591")) << e->toPlainText().left(20).toStdString();
}
