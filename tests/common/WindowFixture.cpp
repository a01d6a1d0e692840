#include "WindowFixture.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <fstream>

#include "app/Dialogs.h"

void WindowTest::SetUp() {
  ASSERT_TRUE(dir.isValid());
  // Settings and desktop associations go to the temporary folder, never to
  // the home folder of whoever runs the tests.
  qputenv("XDG_CONFIG_HOME", (dir.path() + "/xdg-config").toUtf8());
  qputenv("XDG_DATA_HOME", (dir.path() + "/xdg-data").toUtf8());
  SetMessageSink([this](const QString& text) { messages << text; });
}

void WindowTest::TearDown() {
  form.reset();
  SetMessageSink({});
}

std::string WindowTest::Path(const std::string& name) const { return (dir.path() + "/").toStdString() + name; }

std::string WindowTest::WriteFile(const std::string& name, const std::string& bytes) {
  std::string path = Path(name);
  QDir().mkpath(QFileInfo(QString::fromStdString(path)).path());
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

TForm1TestAccess& WindowTest::Open(const std::string& argument) {
  form = std::make_unique<TForm1TestAccess>(QString::fromStdString(argument));
  return *form;
}

void WindowTest::Click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center()); }
