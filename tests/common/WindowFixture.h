#pragma once
// Test fixture for the main window: a fresh release context, a temporary
// folder for release files, message boxes captured instead of shown.
#include <gtest/gtest.h>

#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <string>

#include "TForm1TestAccess.h"

class WindowTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes `bytes` to `name` inside the temporary folder (creating folders)
  // and returns the file's full path.
  std::string WriteFile(const std::string& name, const std::string& bytes);
  std::string Path(const std::string& name) const;

  // Creates the window as the program does, with `argument` as the command
  // line's first argument.
  TForm1TestAccess& Open(const std::string& argument);

  // Clicks a widget (mouse press and release in its middle).
  static void Click(QWidget* w);

  QTemporaryDir dir;
  QStringList messages;  // every message box text, in order
  std::unique_ptr<TForm1TestAccess> form;
};
