#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "tests/release/VerificationFixtures.h"

using namespace testfiles;

namespace {

struct Outcome {
  int exitCode = -1;
  std::string output;
};

// Runs the built lumeskar-check program on `sfv` and collects its output.
Outcome RunCheck(const std::string& sfv) {
  const std::string command = std::string("'") + LUMESKAR_BINARY_DIR + "/lumeskar-check' '" + sfv + "' 2>&1";
  Outcome o;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return o;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) o.output.append(buffer, got);
  int status = pclose(pipe);
  o.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return o;
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

  Outcome o = RunCheck(dir / "mixed.sfv");
  EXPECT_EQ(o.exitCode, 1);
  EXPECT_EQ(o.output, Line("good one.rar", "OK") + Line("bad.r00", "BAD CRC") + Line("locked.r01", "UNREADABLE") +
                          Line("line 5", "MALFORMED LINE") + Line("gone.r02", "MISSING") +
                          "1 OK, 1 MISSING, 1 BAD CRC, 1 UNREADABLE, 1 MALFORMED LINE\nErrors occurred\n");

  WriteFile(dir / "good.sfv", Entry("good one.rar", "good") + Entry("BAD.R00", "damaged"));
  o = RunCheck(dir / "good.sfv");
  EXPECT_EQ(o.exitCode, 0) << o.output;
  EXPECT_NE(o.output.find("2 OK, 0 MISSING"), std::string::npos);
  EXPECT_NE(o.output.find("Everything OK\n"), std::string::npos);

  WriteFile(dir / "empty.sfv", "; nothing listed\r\n");
  EXPECT_EQ(RunCheck(dir / "empty.sfv").exitCode, 1);

  EXPECT_EQ(RunCheck(dir / "absent.sfv").exitCode, 2);
  EXPECT_EQ(RunCheck(dir.path()).exitCode, 2);  // a folder is no SFV file
  symlink("/dev/zero", (dir / "zero.sfv").c_str());
  EXPECT_EQ(RunCheck(dir / "zero.sfv").exitCode, 2);
}
