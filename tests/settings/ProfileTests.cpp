// The profile-file rules on real files: what reads back, where writes land,
// and that a failed write changes nothing.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "TempFolder.h"
#include "settings/ProfileFile.h"
#include "settings/ProfileText.h"
#include "tests/common/ChildProcess.h"

using settings::ProfileFile;
using settings::ProfileLookup;
using settings::ProfileUpdate;
using testing_support::ReadFile;
using testing_support::RunInChild;
using testing_support::TempFolder;
using testing_support::WriteFile;

namespace {

struct ReadCase {
  const char* text;
  const char* section;
  const char* key;
  const char* expected;
};

TEST(ProfileRead, WindowsRules) {
  const ReadCase cases[] = {
      {"[Options]\nWordWrap=Yes\n", "Options", "WordWrap", "Yes"},
      {"[options]\nwordwrap=Yes\n", "OPTIONS", "WORDWRAP", "Yes"},  // names ignore case
      {"[Options]\nWordWrap=yes\n", "Options", "WordWrap", "yes"},  // values keep it
      {"[Options]\r\nA=1\r\nB=2\r\n", "Options", "A", "1"},         // CR LF lines
      {"  [ Options ]  \n  A  =   spaced out  \n", "Options", "A", "spaced out"},
      {"[Options]\nA=\"quoted\"\n", "Options", "A", "quoted"},
      {"[Options]\nA='quoted'\n", "Options", "A", "quoted"},
      {"[Options]\nA=  \" inner blanks \"  \n", "Options", "A", " inner blanks "},
      {"[Options]\nA=\"\"x\"\"\n", "Options", "A", "\"x\""},  // only one pair
      {"[Options]\nA=\"mixed'\n", "Options", "A", "\"mixed'"},
      {"[Options]\nA=\"\n", "Options", "A", "\""},
      {"[Options]\nA=b=c\n", "Options", "A", "b=c"},
      {"[Options]\nA=\n", "Options", "A", ""},
      {"[Options]\nA\n", "Options", "A", ""},
      {"[Other]\nA=1\n[Options]\nB=2\n", "Options", "A", ""},  // other section
      {"A=1\n[Options]\n", "Options", "A", ""},                // before any section
      {"[Options]\nA=1\nA=2\n", "Options", "A", "1"},          // first one counts
      {"[Options]\n;A=1\n", "Options", "A", ""},               // comment
      {"", "Options", "A", ""},
      {"[Options]\nA=last line without break", "Options", "A", "last line without break"},
  };
  for (const auto& c : cases) EXPECT_EQ(ProfileLookup(c.text, c.section, c.key), c.expected) << "text: " << c.text;
}

TEST(ProfileRead, ValuesAreCutAt2047Characters) {
  const std::string longValue(3000, 'x');
  const std::string text = "[Options]\nAfterExtract=" + longValue + "\n";
  EXPECT_EQ(ProfileLookup(text, "Options", "AfterExtract"), longValue.substr(0, 2047));
  const std::string exact(2047, 'y');
  EXPECT_EQ(ProfileLookup("[Options]\nA=" + exact + "\n", "Options", "A"), exact);
}

struct UpdateCase {
  const char* before;
  const char* key;
  const char* value;
  const char* after;
};

TEST(ProfileWrite, ReplacesInPlaceOrAppendsToItsSection) {
  const UpdateCase cases[] = {
      {"", "A", "1", "[Options]\nA=1\n"},
      {"[Options]\nA=1\nB=2\n", "a", "9", "[Options]\na=9\nB=2\n"},
      {"[Options]\nA=1\n\n[Other]\nX=1\n", "B", "2", "[Options]\nA=1\nB=2\n\n[Other]\nX=1\n"},
      {"[Other]\nX=1\n", "A", "1", "[Other]\nX=1\n[Options]\nA=1\n"},
      {"[OPTIONS]\r\nA=1\r\n", "B", "", "[OPTIONS]\nA=1\nB=\n"},
      {"; note\n[Options]\nA=1", "A", "2", "; note\n[Options]\nA=2\n"},
      {"[Options]\n[Other]\nA=1\n", "A", "2", "[Options]\nA=2\n[Other]\nA=1\n"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ProfileUpdate(c.before, "Options", c.key, c.value), c.after) << "before: " << c.before;
}

TEST(ProfileFileOnDisk, EveryValueReadsBackAsWritten) {
  struct Case {
    std::string value, stored;
  } cases[] = {
      {"\"/opt/my player/run\" \"%F\"", "\"\"/opt/my player/run\" \"%F\"\""},
      {"'single'", "\"'single'\""},
      {"\"\"", "\"\"\"\""},
      {" /leading blank", "\" /leading blank\""},
      {"trailing tab\t", "\"trailing tab\t\""},
      {"burn \"%F\"", "burn \"%F\""},  // quotes not at both ends are kept as they are
      {"\"mixed'", "\"mixed'"},
      {"\"", "\""},
      {"", ""},
  };
  for (const auto& c : cases) {
    TempFolder dir;
    ProfileFile file(dir / "lumeskar.ini");
    ASSERT_TRUE(file.WriteString("Options", "AfterExtract", c.value)) << c.value;
    EXPECT_EQ(ReadFile(file.Path()), "[Options]\nAfterExtract=" + c.stored + "\n") << c.value;
    EXPECT_EQ(file.ReadString("Options", "AfterExtract"), c.value);
  }
}

TEST(ProfileWrite, RefusesEntriesThatWouldNotReadBack) {
  EXPECT_TRUE(settings::ProfileEntryStorable("Options", "ExtractTo", " /a b/\"c\" "));
  EXPECT_FALSE(settings::ProfileEntryStorable("Options", "ExtractTo", "two\nlines"));
  EXPECT_FALSE(settings::ProfileEntryStorable("Options", "Key=X", "v"));
  EXPECT_FALSE(settings::ProfileEntryStorable("Options", "[Key", "v"));
  EXPECT_FALSE(settings::ProfileEntryStorable("Opt]ions", "Key", "v"));
  EXPECT_FALSE(settings::ProfileEntryStorable("Options", "", "v"));

  TempFolder dir;
  ProfileFile file(dir / "lumeskar.ini");
  ASSERT_TRUE(file.WriteString("Options", "A", "1"));
  EXPECT_FALSE(file.WriteString("Options", "B", "x\r\nInjected=Yes"));
  EXPECT_EQ(ReadFile(file.Path()), "[Options]\nA=1\n");
}

TEST(ProfileFileOnDisk, CreatesKeepsModeAndFollowsLinks) {
  TempFolder dir;
  ProfileFile file(dir / "sub/deeper/lumeskar.ini");
  EXPECT_FALSE(file.WriteString("Options", "A", "1"));  // no folder, none asked for
  ASSERT_TRUE(file.WriteString("Options", "A", "1", /*createFolders=*/true));
  EXPECT_EQ(file.ReadString("options", "a"), "1");

  chmod(file.Path().c_str(), 0640);
  ASSERT_TRUE(file.WriteString("Options", "B", "2"));
  struct stat st {};
  ASSERT_EQ(stat(file.Path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);

  const std::string link = dir / "link.ini";
  std::filesystem::create_symlink(file.Path(), link);
  ASSERT_TRUE(ProfileFile(link).WriteString("Options", "C", "3"));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadFile(file.Path()), "[Options]\nA=1\nB=2\nC=3\n");
  // Nothing but the file itself and the link is left in the folder.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "sub/deeper"), {}), 1);
}

TEST(ProfileFileOnDisk, ReadOnlyFileOrFolderIsLeftUnchanged) {
  TempFolder dir;
  const std::string roFile = dir / "ro.ini";
  WriteFile(roFile, "[Options]\nA=1\n");
  chmod(roFile.c_str(), 0444);
  const std::string roFolder = dir / "locked";
  std::filesystem::create_directory(roFolder);
  chmod(roFolder.c_str(), 0555);

  const int code = RunInChild(
      [&] {
        if (ProfileFile(roFile).WriteString("Options", "A", "2")) return 1;
        if (ProfileFile(roFolder + "/new.ini").WriteString("Options", "A", "2", true)) return 2;
        return ProfileFile(roFile).ReadString("Options", "A") == "1" ? 0 : 3;
      },
      {.unprivileged = true});
  EXPECT_EQ(code, 0);
  EXPECT_EQ(ReadFile(roFile), "[Options]\nA=1\n");
  EXPECT_TRUE(std::filesystem::is_empty(roFolder));
}

TEST(ProfileFileOnDisk, FullDiskKeepsTheOldFileWhole) {
  TempFolder dir;
  const std::string path = dir / "lumeskar.ini";
  const std::string before = "[Options]\nExtract=Yes\nWordWrap=No\n";
  WriteFile(path, before);
  // A file size limit makes the write fail part-way, as a full disk would.
  const int code = RunInChild(
      [&] { return ProfileFile(path).WriteString("Options", "AfterExtract", std::string(4096, 'x')) ? 1 : 0; },
      {.maxFileSize = 1024});
  EXPECT_EQ(code, 0);
  EXPECT_EQ(ReadFile(path), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);  // no temp file left
}

// Only a regular file of sane size is read: a FIFO (whose open would block),
// an endless device, an oversized file or a folder in the settings file's
// place reads at once as unreadable (no value), and is not written over,
// since a write must not drop keys it could not read.
TEST(ProfileFileOnDisk, OnlyARegularFileOfBoundedSizeIsRead) {
  TempFolder dir;
  const std::string fifo = dir / "fifo.ini", zero = dir / "zero.ini", big = dir / "big.ini", folder = dir / "folder";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_symlink("/dev/zero", zero);
  const std::string bigText = "[Options]\nA=1\n;" + std::string(settings::kMaxSettingsFileSize, 'x');
  WriteFile(big, bigText);
  std::filesystem::create_directory(folder);
  for (const std::string& path : {fifo, zero, big, folder}) {
    const int code = RunInChild([&] {
      alarm(2);  // a read that blocks or never ends is killed, and RunInChild gives -1
      try {
        if (!ProfileFile(path).ReadString("Options", "A").empty()) return 1;
        return ProfileFile(path).WriteString("Options", "A", "2") ? 2 : 0;
      } catch (...) {
        return 3;
      }
    });
    EXPECT_EQ(code, 0) << path;
  }
  EXPECT_TRUE(std::filesystem::is_fifo(fifo));
  EXPECT_EQ(std::filesystem::read_symlink(zero), "/dev/zero");
  EXPECT_EQ(ReadFile(big), bigText);
  EXPECT_TRUE(std::filesystem::is_empty(folder));
}

}  // namespace
