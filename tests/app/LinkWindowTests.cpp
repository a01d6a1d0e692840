// Links in the real window, offscreen: the pointer over words, a release
// handing the address to a recording xdg-open placed first on PATH, and the
// small handlers on the same controls.
#include <QApplication>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "WindowFixture.h"
#include "nfo/LinkTarget.h"

namespace {

class LinkWindowTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    record_ = Path("opened.txt");
    const std::string opener = WriteFile("bin/xdg-open", "#!/bin/sh\nprintf '%s|' \"$#\" \"$@\" >> '" + record_ +
                                                             "'\nprintf '\\n' >> '" + record_ + "'\n");
    std::filesystem::permissions(opener, std::filesystem::perms::owner_all);
    savedPath_ = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(Path("bin") + ":") + savedPath_);
  }
  void TearDown() override {
    qputenv("PATH", savedPath_);
    WindowTest::TearDown();
  }

  // The middle of the character at `index` of the text, in viewport coordinates.
  static QPoint At(QPlainTextEdit* box, int index) {
    QTextCursor c(box->document());
    c.setPosition(index);
    const QRect r = box->cursorRect(c);
    return QPoint(r.left() + 2, r.center().y());
  }
  static QPoint At(TNfoView* box, size_t index) {
    const QRect r = box->cursorRect(index);
    return QPoint(r.left() + 2, r.center().y());
  }
  static void Send(QAbstractScrollArea* box, QEvent::Type type, const QPoint& p,
                   Qt::MouseButton button = Qt::NoButton) {
    QMouseEvent e(type, QPointF(p), QPointF(box->viewport()->mapToGlobal(p)), button,
                  type == QEvent::MouseButtonPress ? Qt::MouseButtons(button) : Qt::MouseButtons(), Qt::NoModifier);
    QApplication::sendEvent(box->viewport(), &e);
  }
  static Qt::CursorShape Pointer(QAbstractScrollArea* box) { return box->viewport()->cursor().shape(); }

  // The recorded opener calls ("<argument count>|<arguments>|"), waiting for `count` of them.
  std::vector<std::string> Opened(size_t count) {
    std::vector<std::string> lines;
    for (int i = 0; i < 100; ++i) {
      lines.clear();
      std::ifstream in(record_);
      for (std::string l; std::getline(in, l);) lines.push_back(l);
      if (lines.size() >= count) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return lines;
  }

  std::string record_;
  QByteArray savedPath_;
};

TEST_F(LinkWindowTest, HoverSetsThePointerAndAReleaseOpensTheAddress) {
  const std::string text = "Visit (http://example.org/a), now\nmail <me@host.net>.\nplain readme.txt\n";
  TForm1TestAccess& w = Open(WriteFile("rel/x.nfo", text));
  w.show();
  TNfoView* e = w.edit;
  const int web = 8, mail = 34 + 7, plain = 34 + 20 + 1, file = 34 + 20 + 8, blank = 5;

  Send(e, QEvent::MouseMove, At(e, plain));
  EXPECT_EQ(Pointer(e), Qt::ArrowCursor);
  Send(e, QEvent::MouseMove, At(e, file));  // "." alone: unchanged
  EXPECT_EQ(Pointer(e), Qt::ArrowCursor);
  Send(e, QEvent::MouseMove, At(e, web));
  EXPECT_EQ(Pointer(e), Qt::PointingHandCursor);
  Send(e, QEvent::MouseMove, At(e, file));
  EXPECT_EQ(Pointer(e), Qt::PointingHandCursor);
  Send(e, QEvent::MouseMove, At(e, blank));
  EXPECT_EQ(Pointer(e), Qt::ArrowCursor);

  Send(e, QEvent::MouseButtonRelease, At(e, web), Qt::RightButton);
  Send(e, QEvent::MouseButtonRelease, At(e, blank), Qt::LeftButton);  // opens nothing
  Send(e, QEvent::MouseButtonRelease, At(e, mail), Qt::LeftButton);
  EXPECT_EQ(Opened(2), (std::vector<std::string>{"1|http://example.org/a|", "1|mailto:me@host.net|"}));
}

TEST_F(LinkWindowTest, WrappedDisplayLinesAreLinesOfTheirOwn) {
  // One file line much wider than the viewer: with word wrap on, the word
  // under the pointer ends where the display line ends.
  const std::string padding(80, 'x');
  TForm1TestAccess& w = Open(WriteFile("rel/x.nfo", padding + " " + padding + " http://example.org/page\n"));
  w.show();
  TNfoView* e = w.edit;
  ASSERT_GT(e->content().RowCount(), 1u);
  const int link = 2 * 81 + 1;
  Send(e, QEvent::MouseMove, At(e, link));
  EXPECT_EQ(Pointer(e), Qt::PointingHandCursor);
  Send(e, QEvent::MouseButtonRelease, At(e, link), Qt::LeftButton);
  EXPECT_EQ(Opened(1), std::vector<std::string>{"1|http://example.org/page|"});
}

TEST_F(LinkWindowTest, LinksInUtf8TextFollowTheCharacterGrid) {
  // After two wide CJK characters the address starts at column 5 (pixel 30);
  // the pointer there, by pixels on the grid, is over the link.
  TForm1TestAccess& w = Open(WriteFile("rel/x.nfo", "\xEF\xBB\xBF\xE4\xB8\xAD\xE6\x96\x87 http://example.cn/\n"));
  w.show();
  TNfoView* e = w.edit;
  const int row = At(e, 0).y();
  Send(e, QEvent::MouseMove, QPoint(5 * 6 + 2, row));
  EXPECT_EQ(Pointer(e), Qt::PointingHandCursor);
  Send(e, QEvent::MouseMove, QPoint(4 * 6 + 2, row));  // the blank before it
  EXPECT_EQ(Pointer(e), Qt::ArrowCursor);
  Send(e, QEvent::MouseButtonRelease, QPoint(8 * 6 + 2, row), Qt::LeftButton);
  EXPECT_EQ(Opened(1), std::vector<std::string>{"1|http://example.cn/|"});
}

TEST_F(LinkWindowTest, AboutTextLinksAndItsSmallHandlers) {
  TForm1TestAccess& w = Open("");
  w.show();
  w.helplabClick();
  QPlainTextEdit* m = w.Memo1;
  const int at = m->toPlainText().indexOf("http");
  ASSERT_GE(at, 0);
  Send(m, QEvent::MouseMove, At(m, at + 2));
  EXPECT_EQ(Pointer(m), Qt::PointingHandCursor);
  Send(m, QEvent::MouseButtonPress, At(m, at + 2), Qt::LeftButton);
  EXPECT_FALSE(m->isEnabled());
  QMouseEvent move(QEvent::MouseMove, QPointF(1, 1), QPointF(1, 1), Qt::NoButton, {}, Qt::NoModifier);
  QApplication::sendEvent(w.aboutbox, &move);
  EXPECT_TRUE(m->isEnabled());

  // A whole click opens the link although its press disables the text.
  const QString word = m->toPlainText().mid(at).section(QRegularExpression("\\s"), 0, 0);
  const std::string target = links::LinkTarget(word.toStdString());
  ASSERT_FALSE(target.empty()) << word.toStdString();
  QTest::mouseClick(m->viewport(), Qt::LeftButton, {}, At(m, at + 2));
  EXPECT_FALSE(m->isEnabled());
  EXPECT_EQ(Opened(1), std::vector<std::string>{"1|" + target + "|"});
}

TEST_F(LinkWindowTest, EscapeReleasedInTheViewerEndsTheProgram) {
  TForm1TestAccess& w = Open("");
  QTest::keyRelease(w.edit, Qt::Key_A);
  QTimer::singleShot(0, [&] { QTest::keyClick(w.edit, Qt::Key_Escape); });
  QTimer::singleShot(5000, [] { QCoreApplication::exit(2); });  // only if Escape did nothing
  EXPECT_EQ(QCoreApplication::exec(), 0);
}

}  // namespace
