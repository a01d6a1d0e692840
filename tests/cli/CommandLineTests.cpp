#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "platform/Version.h"
#include "tests/common/TempDir.h"

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

struct Outcome {
  int exitCode = -1;
  std::string out, err;
};

// Runs a built program in `dir` with `args`, without any display, and
// collects its exit code and both output streams.
Outcome RunProgram(const TempDir& dir, const std::string& program, const std::vector<std::string>& args) {
  std::string command = "cd '" + dir.path() + "' && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" +
                        LUMESKAR_BINARY_DIR + "/" + program + "'";
  for (const auto& a : args) command += " '" + a + "'";
  command += " >" + dir / "out" + " 2>" + dir / "err";
  const int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(dir / "out"), ReadFile(dir / "err")};
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::vector<std::string> Programs() {
#ifdef LUMESKAR_HAS_VIEWER
  return {"lumeskar-check", "lumeskar"};
#else
  return {"lumeskar-check"};
#endif
}

}  // namespace

// Neither program needs a display for these answers: they run without one.
TEST(CommandLineTests, HelpVersionAndUnknownOptionsOfBothPrograms) {
  TempDir dir;
  for (const std::string& program : Programs()) {
    SCOPED_TRACE(program);
    const std::string usage = "Usage: " + program + " [OPTION]... [--] ";
    for (const char* help : {"--help", "-h"}) {
      Outcome o = RunProgram(dir, program, {help});
      EXPECT_EQ(o.exitCode, 0);
      EXPECT_EQ(o.out.rfind(usage, 0), 0u) << o.out;
      EXPECT_TRUE(Contains(o.out, "\nExit status:\n  0  ")) << o.out;
      EXPECT_EQ(o.err, "");
    }

    Outcome o = RunProgram(dir, program, {"--version"});
    EXPECT_EQ(o.exitCode, 0);
    EXPECT_EQ(o.out, program + " " LUMESKAR_VERSION "\n");

    for (const char* wrong : {"--bogus", "-x", "--version=2"}) {
      o = RunProgram(dir, program, {wrong, "file"});
      EXPECT_EQ(o.exitCode, 2) << wrong;
      EXPECT_EQ(o.out, "") << wrong;
      EXPECT_EQ(o.err.rfind(program + ": ", 0), 0u) << o.err;
      EXPECT_TRUE(Contains(o.err, "\n" + usage)) << o.err;
    }
  }
}

TEST(CommandLineTests, CheckerTakesADashedNameAfterDoubleDashAndQuietDropsGoodFiles) {
  TempDir dir;
  WriteFile(dir / "-a.rar", "123456789");  // CRC-32 cbf43926
  WriteFile(dir / "-odd.sfv", "-a.rar cbf43926\r\ngone.r00 00000000\r\n");

  Outcome o = RunProgram(dir, "lumeskar-check", {"-q", "--", "-odd.sfv"});
  EXPECT_EQ(o.exitCode, 1);
  char missing[128];
  std::snprintf(missing, sizeof missing, "%-60s %s\n", "gone.r00", "MISSING");
  EXPECT_EQ(o.out,
            std::string(missing) + "1 OK, 1 MISSING, 0 BAD CRC, 0 UNREADABLE, 0 MALFORMED LINE\nErrors occurred\n");

  o = RunProgram(dir, "lumeskar-check", {"--", "-odd.sfv"});
  EXPECT_TRUE(Contains(o.out, "-a.rar")) << o.out;

  // Without "--" the name is read as options.
  EXPECT_EQ(RunProgram(dir, "lumeskar-check", {"-odd.sfv"}).exitCode, 2);
  // Exactly one SFV file.
  EXPECT_EQ(RunProgram(dir, "lumeskar-check", {}).exitCode, 2);
  EXPECT_EQ(RunProgram(dir, "lumeskar-check", {"-odd.sfv", "x.sfv"}).exitCode, 2);
}

#ifdef LUMESKAR_HAS_VIEWER
// Given after "--", "--version" is the file to show: the viewer goes on to
// open its window, which fails here for want of a display.
TEST(CommandLineTests, ViewerTakesADashedNameAfterDoubleDashAsTheFile) {
  TempDir dir;
  Outcome o = RunProgram(dir, "lumeskar", {"--", "--version"});
  EXPECT_EQ(o.out, "");
  EXPECT_NE(o.exitCode, 0);
  EXPECT_NE(o.exitCode, 2);
  EXPECT_TRUE(Contains(o.err, "platform plugin")) << o.err;
}
#endif

// The rules of the parser that the two programs' tables do not reach: values
// of options, grouped short options, operands among options, "-" and "--".
TEST(CommandLineTests, ParserRules) {
  constexpr cli::Option options[] = {{'q', "quiet"}, {'o', "output", true}};
  struct Case {
    std::vector<const char*> args;
    std::string given;  // "name=value" of each option, in order, blank-separated
    std::vector<std::string> operands;
    std::string error;
  };
  const Case cases[] = {
      {{"a", "-q", "b"}, "quiet=", {"a", "b"}, ""},
      {{"-qo", "x.png", "a"}, "quiet= output=x.png", {"a"}, ""},
      {{"-oOUT", "--output=o2", "--output", "-q"}, "output=OUT output=o2 output=-q", {}, ""},
      {{"-", "--", "-q", "--"}, "", {"-", "-q", "--"}, ""},
      {{"--output"}, "", {}, "option '--output' needs a value"},
      {{"--output="}, "", {}, "option '--output' needs a value"},
      {{"-q", "-o"}, "quiet=", {}, "option '-o' needs a value"},
      {{"--quiet=yes"}, "", {}, "option '--quiet' takes no value"},
      {{"-qz"}, "quiet=", {}, "unknown option '-z'"},
      {{"--qui"}, "", {}, "unknown option '--qui'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.empty() ? "" : c.args[0]);
    const cli::Parsed p = cli::Parse(options, c.args);
    std::string given;
    for (const auto& g : p.options) given += (given.empty() ? "" : " ") + std::string(g.name) + "=" + g.value;
    EXPECT_EQ(given, c.given);
    if (c.error.empty()) {
      EXPECT_EQ(p.operands, c.operands);
    }
    EXPECT_EQ(p.error, c.error);
  }
  // An option given twice counts as given last.
  const char* const twice[] = {"-oA", "--output=B"};
  EXPECT_EQ(cli::Parse(options, twice).Value("output"), "B");
  EXPECT_EQ(cli::Parse(options, twice).Value("quiet"), std::nullopt);
}
