// TRAR against the real libunrar.so, on archives made by the project's writer.
#include "extract/RARArc.h"
#include "tests/common/EncryptedRar.h"
#include "tests/common/RarTestSupport.h"
#include "tools/RarWriter.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <stdexcept>

using namespace rarwriter;
using rartest::ReadFile;
using rartest::TempDir;
namespace fs = std::filesystem;

namespace {

const std::string kLibrary = std::string(LUMESKAR_BINARY_DIR) + "/libunrar.so";

// Binds every event of a TRAR and writes what happens into one log.
struct EventLog {
  std::vector<std::string> log;
  std::map<std::string, int64_t> lastPosition;  // per entry, from OnProcessData
  std::string current;

  void Bind(TRAR& r) {
    auto sender = [this, &r](TRAR* s) {
      if (s != &r) log.push_back("wrong sender");
    };
    r.OnError = [this, sender](TRAR* s, int e) {
      sender(s);
      log.push_back("error " + std::to_string(e));
    };
    r.OnComment = [this, sender](TRAR* s, const TComment& c) {
      sender(s);
      log.push_back("comment " + std::to_string(c.Length) + " " + c.Text);
    };
    r.OnExtracting = [this, sender](TRAR* s, const RARHeaderData& h) {
      sender(s);
      current = h.FileName;
      log.push_back("extracting " + current);
    };
    r.OnExtract = [this, sender](TRAR* s, const RARHeaderData& h, bool ok) {
      sender(s);
      log.push_back("extract " + std::string(h.FileName) + (ok ? " ok" : " failed"));
    };
  }
  void BindDataAndVolumes(TRAR& r) {
    r.OnProcessData = [this](TRAR*, unsigned char*, int, int64_t position) {
      lastPosition[current] = position;
      return 1;
    };
    r.OnVolumeChange = [this](TRAR*, char* name, int mode) {
      log.push_back("volume " + fs::path(name).filename().string() + " " + std::to_string(mode));
      return 1;
    };
  }
};

using Log = std::vector<std::string>;

}  // namespace

TEST(TStringList, SortedCaseInsensitiveWithoutDuplicates) {
  TStringList list;
  for (const char* s : {"b.rar", "A.rar", "a.RAR", "c.r00", "B.RAR", "10.rar", "2.rar"}) list.Add(s);
  EXPECT_EQ(list.Strings(), (std::vector<std::string>{"10.rar", "2.rar", "A.rar", "b.rar", "c.r00"}));
  EXPECT_EQ(list.IndexOf("C.R00"), 4);
  EXPECT_EQ(list.IndexOf("a.rar"), 2);
  EXPECT_EQ(list.IndexOf("d.rar"), -1);
  EXPECT_EQ(list.IndexOf(""), -1);
  list = std::vector<std::string>{"x", "X", "y"};
  EXPECT_EQ(list.Count(), 2);
}

TEST(TRAR, MissingOrIncompleteLibraryReportsFiftyAndNothingElse) {
  TempDir dir;
  const auto volumes = WriteRar(dir.path(), "a", {File("a.txt", "a")}, RarOptions{});
  for (const std::string& path : {dir / "libunrar.so", std::string(LUMESKAR_INCOMPLETE_UNRAR)}) {
    SCOPED_TRACE(path);
    TRAR r(path);
    EXPECT_FALSE(r.LoadedDLL());
    EventLog events;
    events.Bind(r);
    events.BindDataAndVolumes(r);
    r.ArchiveName = volumes[0];
    r.TargetDir = dir.path();
    EXPECT_FALSE(r.ExtractArchive());
    EXPECT_EQ(events.log, Log{"error 50"});
    EXPECT_FALSE(fs::exists(dir / "a.txt"));
  }
}

TEST(TRAR, ArchivesThatDoNotOpenReportOneError) {
  TempDir dir;
  rartest::WriteFile(dir / "notes.txt", "this is not an archive");
  const struct {
    std::string archive;
    int error;
  } rows[] = {
      {"", TRAR::kErrorNoArchiveName},
      {dir / "notes.txt", ERAR_BAD_ARCHIVE},
      {dir / "missing.rar", ERAR_EOPEN},
  };
  TRAR r(kLibrary);
  ASSERT_TRUE(r.LoadedDLL());
  for (const auto& row : rows) {
    SCOPED_TRACE(row.archive);
    EventLog events;
    events.Bind(r);
    r.ArchiveName = row.archive;
    EXPECT_FALSE(r.ExtractArchive());
    EXPECT_EQ(events.log, Log{"error " + std::to_string(row.error)});
  }
}

TEST(TRAR, ExtractsVolumeSetsWithEventsInOrder) {
  for (Format f : {Format::Rar4, Format::Rar5}) {
    SCOPED_TRACE(f == Format::Rar4 ? "RAR4" : "RAR5");
    TempDir dir;
    RarOptions o;
    o.format = f;
    o.volumeSize = 40'000;
    o.comment = "Greetings";
    const std::string big = PatternBytes(5, 0, 70'000);
    const auto volumes =
        WriteRar(dir.path(), "set", {Dir("d"), File("d/a.txt", "alpha"), File("big.bin", big), File("z", "")}, o);
    ASSERT_EQ(volumes.size(), 2u);
    TRAR r(kLibrary);
    EventLog events;
    events.Bind(r);
    events.BindDataAndVolumes(r);
    r.ArchiveName = volumes[0];
    r.TargetDir = dir / "out";
    EXPECT_TRUE(r.ExtractArchive());
    EXPECT_EQ(events.log, (Log{"comment 10 Greetings", "extracting d", "extract d ok", "extracting d/a.txt",
                               "extract d/a.txt ok", "extracting big.bin", "volume set.part2.rar 1",
                               "extract big.bin ok", "extracting z", "extract z ok"}));
    EXPECT_EQ(ReadFile(dir / "out/d/a.txt"), "alpha");
    EXPECT_TRUE(ReadFile(dir / "out/big.bin") == big);
    EXPECT_TRUE(fs::exists(dir / "out/z"));
    EXPECT_EQ(events.lastPosition["d/a.txt"], 5);
    EXPECT_EQ(events.lastPosition["big.bin"], 70'000);
  }
}

TEST(TRAR, FilesToExtractIgnoresLetterCase) {
  TempDir dir;
  const auto volumes =
      WriteRar(dir.path(), "a", {File("Docs/ReadMe.TXT", "read me"), File("other.txt", "no")}, RarOptions{});
  TRAR r(kLibrary);
  EventLog events;
  events.Bind(r);
  r.FilesToExtract.Add("docs/readme.txt");
  r.ArchiveName = volumes[0];
  r.TargetDir = dir / "out";
  EXPECT_TRUE(r.ExtractArchive());
  EXPECT_EQ(events.log, (Log{"extracting Docs/ReadMe.TXT", "extract Docs/ReadMe.TXT ok"}));
  EXPECT_EQ(ReadFile(dir / "out/Docs/ReadMe.TXT"), "read me");
  EXPECT_FALSE(fs::exists(dir / "out/other.txt"));
}

TEST(TRAR, StopEndsTheRunBeforeTheNextEntry) {
  TempDir dir;
  const auto volumes = WriteRar(dir.path(), "a", {File("a", "1"), File("b", "2")}, RarOptions{});
  for (const std::string stopAt : {"a", "b"}) {
    SCOPED_TRACE("stop requested while extracting " + stopAt);
    TRAR r(kLibrary);
    EventLog events;
    events.Bind(r);
    r.OnExtracting = [&](TRAR*, const RARHeaderData& h) {
      events.log.push_back("extracting " + std::string(h.FileName));
      if (stopAt == h.FileName) r.Stop = true;
    };
    r.ArchiveName = volumes[0];
    r.TargetDir = dir / ("out-" + stopAt);
    EXPECT_TRUE(r.ExtractArchive());
    if (stopAt == "a") {
      EXPECT_EQ(events.log, (Log{"extracting a", "extract a ok"}));
      EXPECT_FALSE(r.Stop);
      EXPECT_FALSE(fs::exists(dir / "out-a/b"));
    } else {
      // The request outlives the run and ends the next one at its first entry.
      EXPECT_EQ(events.log, (Log{"extracting a", "extract a ok", "extracting b", "extract b ok"}));
      EXPECT_TRUE(r.Stop);
      events.log.clear();
      EXPECT_TRUE(r.ExtractArchive());
      EXPECT_EQ(events.log, Log{});
      EXPECT_FALSE(r.Stop);
    }
  }
}

TEST(TRAR, FailedEntriesGoOnOnlyAfterTwelveOrSixteen) {
  TempDir dir;
  RarEntry damaged = File("a", "1");
  damaged.damageData = true;
  RarEntry encrypted = File("a", "1");
  encrypted.encrypted = true;
  RarEntry brokenHeader = File("b", "2");
  brokenHeader.damageHeader = true;
  RarOptions volumes;
  volumes.volumeSize = 20'000;
  const auto split = WriteRar(dir.path(), "split", {Pattern("a", 50'000, 1), File("b", "2")}, volumes);
  fs::remove(split[1]);
  fs::create_directories(dir / "blocked/a");  // a folder where file "a" must go

  const struct {
    std::string what, archive, target;
    Log log;
  } rows[] = {
      {"cannot create",
       WriteRar(dir.path(), "ok", {File("a", "1"), File("b", "2")}, {})[0],
       dir / "blocked",
       {"extracting a", "extract a failed", "error 16", "extracting b", "extract b ok"}},
      {"damaged data",
       WriteRar(dir.path(), "dd", {damaged, File("b", "2")}, {})[0],
       dir / "dd",
       {"extracting a", "extract a failed", "error 12", "extracting b", "extract b ok"}},
      {"encrypted, no password handler",
       WriteRar(dir.path(), "enc", {encrypted, File("b", "2")}, {})[0],
       dir / "enc",
       {"extracting a", "extract a failed", "error 22"}},
      {"missing volume", split[0], dir / "split", {"extracting a", "extract a failed", "error 15"}},
      {"damaged header",
       WriteRar(dir.path(), "dh", {File("a", "1"), brokenHeader, File("c", "3")}, {})[0],
       dir / "dh",
       {"extracting a", "extract a ok", "error 12"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    TRAR r(kLibrary);
    EventLog events;
    events.Bind(r);
    r.ArchiveName = row.archive;
    r.TargetDir = row.target;
    EXPECT_FALSE(r.ExtractArchive());
    EXPECT_EQ(events.log, row.log);
  }
}

TEST(TRAR, PasswordIsAskedForEncryptedEntriesOnly) {
  TempDir dir;
  RarEntry encrypted = File("secret", "s");
  encrypted.encrypted = true;
  const auto volumes = WriteRar(dir.path(), "a", {File("plain", "p"), encrypted}, RarOptions{});
  TRAR r(kLibrary);
  EventLog events;
  events.Bind(r);
  r.OnReqPassword = [&](TRAR*, const RARHeaderData& h, std::string& password) {
    events.log.push_back("password for " + std::string(h.FileName) + " [" + password + "]");
    password = "guess";
  };
  r.ArchiveName = volumes[0];
  r.TargetDir = dir / "out";
  EXPECT_FALSE(r.ExtractArchive());  // the data cannot be decrypted
  ASSERT_GE(events.log.size(), 5u);
  EXPECT_EQ(Log(events.log.begin(), events.log.begin() + 5),
            (Log{"extracting plain", "extract plain ok", "extracting secret", "password for secret []",
                 "extract secret failed"}));
}

// With OnBadPassword bound, a wrong password is asked again and the entry
// extracted again with the new answer; an archive with encrypted headers
// asks while it opens; Cancel (an empty answer) skips the encrypted entries
// and the run goes on.
TEST(TRAR, WrongPasswordsAreAskedAgainAndEntriesRetried) {
  using testing_support::EncryptedEntry;
  TempDir dir;
  const std::vector<EncryptedEntry> entries = {
      {"a", "plain a", ""}, {"b", "secret b", "one"}, {"c", "secret c", "two"}, {"d", "plain d", ""}};
  const std::string twoPasswords = dir / "two.rar";
  testing_support::WriteFile(twoPasswords, testing_support::EncryptedRar4(entries));
  const std::string hidden = dir / "hidden.rar";
  testing_support::WriteFile(hidden, testing_support::EncryptedRar4({{"e", "secret e", "hp"}}, "hp"));
  const struct {
    std::string what, archive;
    std::vector<std::string> answers;  // given in turn when asked with no or a wrong password
    bool result;
    Log log;
    std::vector<std::string> files;
  } rows[] = {
      {"a second password after a wrong one",
       twoPasswords,
       {"one", "x", "two"},
       true,
       {"extracting a", "extract a ok", "extracting b", "password for b []", "extract b ok", "extracting c",
        "password for c [one]", "bad password c 12", "password for c [one]", "bad password c 12", "password for c [x]",
        "extract c ok", "extracting d", "extract d ok"},
       {"a", "b", "c", "d"}},
      {"cancelled",
       twoPasswords,
       {""},
       false,
       {"extracting a", "extract a ok", "extracting b", "password for b []", "extract b failed", "error 22",
        "extracting c", "password for c []", "extract c failed", "error 22", "extracting d", "extract d ok"},
       {"a", "d"}},
      {"encrypted headers",
       hidden,
       {"wrong", "hp"},
       true,
       {"password for  []", "bad password hidden.rar 12", "password for  [wrong]", "extracting e",
        "password for e [hp]", "extract e ok"},
       {"e"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    TRAR r(kLibrary);
    EventLog events;
    events.Bind(r);
    size_t next = 0;
    bool wrong = false;
    r.OnReqPassword = [&](TRAR*, const RARHeaderData& h, std::string& password) {
      events.log.push_back("password for " + std::string(h.FileName) + " [" + password + "]");
      if (password.empty() || wrong) password = next < row.answers.size() ? row.answers[next++] : "";
      wrong = false;
    };
    r.OnBadPassword = [&](TRAR*, const RARHeaderData& h, int error) {
      const std::string name = h.FileName[0] ? h.FileName : fs::path(h.ArcName).filename().string();
      events.log.push_back("bad password " + name + " " + std::to_string(error));
      wrong = true;
    };
    r.ArchiveName = row.archive;
    r.TargetDir = dir / "out";
    fs::remove_all(dir / "out");
    EXPECT_EQ(r.ExtractArchive(), row.result);
    EXPECT_EQ(events.log, row.log);
    std::vector<std::string> files;
    if (fs::exists(dir / "out"))
      for (auto& f : fs::directory_iterator(dir / "out")) files.push_back(f.path().filename().string());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, row.files);  // nothing half-written beside them
    for (const auto& f : files)
      EXPECT_EQ(ReadFile(dir / ("out/" + f)).substr(0, 6), f == "a" || f == "d" ? "plain " : "secret");
  }
}

// RAR 5 volumes from our writer, headers and data encrypted: the password
// is asked once, while the first volume opens (a wrong one told by the
// archive's check value), and every entry of every volume comes out.
TEST(TRAR, EncryptedRar5VolumesWithARecordingPasswordHandler) {
  TempDir dir;
  RarOptions o;
  o.password = "pw";
  o.encryptedHeaders = true;
  o.volumeSize = 30'000;
  o.kdfLog2 = 10;
  const auto volumes = WriteRar(dir.path(), "set", {Pattern("big.bin", 100'000, 2), File("small.txt", "s")}, o);
  ASSERT_GT(volumes.size(), 2u);
  TRAR r(kLibrary);
  EventLog events;
  events.Bind(r);
  std::vector<std::string> answers = {"wrong", "pw"};
  r.OnReqPassword = [&](TRAR*, const RARHeaderData& h, std::string& password) {
    events.log.push_back("password for " + std::string(h.FileName) + " [" + password + "]");
    if ((password.empty() || password == "wrong") && !answers.empty()) {
      password = answers.front();
      answers.erase(answers.begin());
    }
  };
  r.OnBadPassword = [&](TRAR*, const RARHeaderData& h, int error) {
    events.log.push_back("bad password " + fs::path(h.ArcName).filename().string() + " " + std::to_string(error));
  };
  r.ArchiveName = volumes[0];
  r.TargetDir = dir / "out";
  EXPECT_TRUE(r.ExtractArchive());
  EXPECT_EQ(events.log, (Log{"password for  []", "bad password set.part1.rar 24", "password for  [wrong]",
                             "extracting big.bin", "password for big.bin [pw]", "extract big.bin ok",
                             "extracting small.txt", "password for small.txt [pw]", "extract small.txt ok"}));
  EXPECT_TRUE(ReadFile(dir / "out/big.bin") == PatternBytes(2, 0, 100'000));
  EXPECT_EQ(ReadFile(dir / "out/small.txt"), "s");
}

TEST(TRAR, NoExceptionLeavesAndHandlersCanAbort) {
  TempDir dir;
  const auto volumes = WriteRar(dir.path(), "a", {File("a", "1"), File("b", "2")}, RarOptions{});
  TRAR r(kLibrary);
  EventLog events;
  events.Bind(r);
  r.ArchiveName = volumes[0];
  r.TargetDir = dir / "out";

  r.OnExtracting = [](TRAR*, const RARHeaderData&) { throw std::runtime_error("handler failed"); };
  EXPECT_FALSE(r.ExtractArchive());
  r.OnProcessData = [](TRAR*, unsigned char*, int, int64_t) -> int { throw std::runtime_error("handler failed"); };
  r.OnExtracting = nullptr;
  EXPECT_FALSE(r.ExtractArchive());
  ASSERT_FALSE(events.log.empty());
  EXPECT_EQ(events.log[0], "extract a failed");  // the library was told to stop

  // The archive was closed each time: the next run works normally.
  r.OnProcessData = nullptr;
  events.log.clear();
  EXPECT_TRUE(r.ExtractArchive());
  EXPECT_EQ(events.log, (Log{"extract a ok", "extract b ok"}));
}

TEST(TRAR, AnotherComponentDoesNotDisturbTheFirst) {
  TempDir dir;
  const auto volumes = WriteRar(dir.path(), "a", {File("a", "1")}, RarOptions{});
  TRAR first(kLibrary);
  { TRAR gone(kLibrary); }
  TRAR incomplete(LUMESKAR_INCOMPLETE_UNRAR);  // the last to take the shared entry points
  EventLog events;
  events.Bind(first);
  first.ArchiveName = volumes[0];
  first.TargetDir = dir / "out";
  EXPECT_TRUE(first.ExtractArchive());
  EXPECT_EQ(events.log, (Log{"extracting a", "extract a ok"}));
  EXPECT_FALSE(incomplete.LoadedDLL());
}

TEST(TRAR, PositionCountsPastTwoGiB) {
  TempDir dir;
  const uint64_t size = (2ull << 30) + 4096;
  const auto volumes = WriteRar(dir.path(), "a", {Zeros("z.img", size)}, RarOptions{});
  TRAR r(kLibrary);
  int64_t last = 0;
  bool monotonic = true;
  r.OnProcessData = [&](TRAR*, unsigned char*, int, int64_t position) {
    monotonic = monotonic && position > last;
    last = position;
    return 1;
  };
  r.ArchiveName = volumes[0];
  r.TargetDir = dir / "out";
  EXPECT_TRUE(r.ExtractArchive());
  EXPECT_TRUE(monotonic);
  EXPECT_EQ(last, static_cast<int64_t>(size));
}

// An event handler that runs another component, or creates and destroys one,
// must not take the library or the callbacks away from the run it is in.
TEST(TRAR, HandlersMayRunOrDestroyOtherComponents) {
  TempDir dir;
  const auto outer = WriteRar(dir.path(), "outer", {File("a", "11"), Pattern("b", 300'000, 5)}, RarOptions{});
  const auto inner = WriteRar(dir.path(), "inner", {File("i", "inner")}, RarOptions{});
  TRAR r(kLibrary);
  TRAR other(kLibrary);
  other.ArchiveName = inner[0];
  other.TargetDir = dir / "inner-out";
  EventLog events;
  events.Bind(r);
  events.BindDataAndVolumes(r);
  r.OnExtracting = [&](TRAR*, const RARHeaderData& h) {
    events.current = h.FileName;
    if (events.current != "a") return;
    events.log.push_back(std::string("nested ") + (other.ExtractArchive() ? "ok" : "failed"));
    { TRAR gone(kLibrary); }
  };
  r.ArchiveName = outer[0];
  r.TargetDir = dir / "out";
  EXPECT_TRUE(r.ExtractArchive());
  EXPECT_EQ(events.log, (Log{"nested ok", "extract a ok", "extract b ok"}));
  EXPECT_EQ(events.lastPosition["a"], 2);
  EXPECT_EQ(events.lastPosition["b"], 300'000);
  EXPECT_EQ(ReadFile(dir / "inner-out/i"), "inner");
}
