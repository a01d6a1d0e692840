#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "platform/FileRead.h"
#include "tests/common/Shell.h"
#include "tests/release/VerificationFixtures.h"

using namespace testfiles;

namespace {

struct Outcome {
  int exitCode = -1;
  std::string output;
};

// Runs the built lumeskar-check program on `sfv` and collects its output.
Outcome RunCheck(const std::string& sfv, const std::string& redirect = "2>&1") {
  const testing_support::ShellResult r =
      testing_support::Shell(std::string("'") + LUMESKAR_BINARY_DIR + "/lumeskar-check' " + sfv + " " + redirect);
  return {r.exitCode, r.output};
}

std::string Line(const std::string& what, const std::string& result) {
  char line[256];
  std::snprintf(line, sizeof line, "%-60s %s\n", what.c_str(), result.c_str());
  return line;
}

std::string Entry(const std::string& name, const std::string& bytes) {
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08x", ZlibCrc(bytes));
  return name + " " + hex + "\r\n";
}

}  // namespace

TEST(CheckTests, EveryKindOfResultAndTheExitCodes) {
  TempDir dir;
  WriteFile(dir / "good one.rar", "good");
  WriteFile(dir / "Bad.r00", "damaged");
  WriteFile(dir / "locked.r01", "locked");
  MakeUnreadable(dir / "locked.r01");
  const std::string sfv = "; header\r\n" + Entry("good one.rar", "good") + Entry("bad.r00", "original") +
                          Entry("locked.r01", "locked") + "not an entry\r\n" + Entry("gone.r02", "x");
  WriteFile(dir / "mixed.sfv", sfv);

  Outcome o = RunCheck("'" + dir / "mixed.sfv" + "'");
  EXPECT_EQ(o.exitCode, 1);
  EXPECT_EQ(o.output, Line("good one.rar", "OK") + Line("bad.r00", "BAD CRC") + Line("locked.r01", "UNREADABLE") +
                          Line("line 5", "MALFORMED LINE") + Line("gone.r02", "MISSING") +
                          "1 OK, 1 MISSING, 1 BAD CRC, 1 UNREADABLE, 1 MALFORMED LINE\nErrors occurred\n");

  WriteFile(dir / "good.sfv", Entry("good one.rar", "good") + Entry("BAD.R00", "damaged"));
  o = RunCheck("'" + dir / "good.sfv" + "'");
  EXPECT_EQ(o.exitCode, 0) << o.output;
  EXPECT_NE(o.output.find("2 OK, 0 MISSING"), std::string::npos);
  EXPECT_NE(o.output.find("Everything OK\n"), std::string::npos);

  WriteFile(dir / "empty.sfv", "; nothing listed\r\n");
  EXPECT_EQ(RunCheck("'" + dir / "empty.sfv" + "'").exitCode, 1);

  EXPECT_EQ(RunCheck("'" + dir / "absent.sfv" + "'").exitCode, 2);
  EXPECT_EQ(RunCheck("'" + dir.path() + "'").exitCode, 2);  // a folder is no SFV file
  symlink("/dev/zero", (dir / "zero.sfv").c_str());
  EXPECT_EQ(RunCheck("'" + dir / "zero.sfv" + "'").exitCode, 2);
}

// Exit 2, with the reason on standard error, when the SFV file is not read or
// the report does not reach standard output (a full disk: /dev/full).
TEST(CheckTests, WhatCannotBeReadOrWrittenEndsWithExitTwo) {
  TempDir dir;
  WriteFile(dir / "ok.rar", "good");
  WriteFile(dir / "ok.sfv", Entry("ok.rar", "good"));
  WriteSparseFile(dir / "huge.sfv", platform::kMaxTextFileSize + 1, Entry("ok.rar", "good"));
  const std::string ok = "'" + dir / "ok.sfv" + "'";
  const std::string full = "2>&1 >/dev/full";
  const std::string notWritten = "lumeskar-check: cannot write the report: No space left on device\n";
  struct Case {
    std::string arguments, redirect, output;
  };
  const Case cases[] = {
      {ok, full, notWritten},
      {"-q " + ok, full, notWritten},
      {"--help", full, notWritten},
      {"'" + dir / "huge.sfv" + "'", "2>&1", "lumeskar-check: " + dir / "huge.sfv" + " is larger than 64 MiB\n"},
      {"'" + dir / "absent.sfv" + "'", "2>&1", "lumeskar-check: cannot read " + dir / "absent.sfv" + "\n"},
  };
  for (const Case& c : cases) {
    const Outcome o = RunCheck(c.arguments, c.redirect);
    EXPECT_EQ(o.exitCode, 2) << c.arguments << " " << c.redirect;
    EXPECT_EQ(o.output, c.output) << c.arguments << " " << c.redirect;
  }
  EXPECT_EQ(RunCheck(ok, "> /dev/null").exitCode, 0);  // the same check, written where it fits
}
