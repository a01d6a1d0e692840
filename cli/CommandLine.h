#pragma once
// The command line of our programs: options in the usual Unix form, the
// answers to --help and --version, and the usage error.
//
// Short options are "-q" (several may share one dash: "-qh"), long ones
// "--quiet"; an option that takes a value reads it from the rest of the
// argument ("-oOUT", "--columns=80") or from the next argument. "--" ends the
// options: every argument after it is an operand, even one that begins
// with '-'. A lone "-" is an operand.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

struct Option {
  char shortName = 0;         // 0: no short form
  std::string_view longName;  // without the dashes; names the option in Given
  bool takesValue = false;
};

// One program's command line: its name, its options and the texts of --help.
struct Program {
  std::string_view name;
  std::span<const Option> options;
  std::string_view usage;        // the "Usage: ..." line, shown on errors too
  std::string_view description;  // what the program does, for --help
  std::string_view optionHelp;   // --help lines of the program's own options
  std::string_view exitStatus;   // --help lines on the exit codes
  size_t minOperands = 0;
  size_t maxOperands = SIZE_MAX;  // operands beyond it are a usage error
};

struct Given {
  std::string_view name;  // the option's long name
  std::string value;
};

struct Parsed {
  std::vector<Given> options;  // in the order given
  std::vector<std::string> operands;
  std::string error;  // the first problem found; empty when none

  bool Has(std::string_view longName) const;
  // The value of the last occurrence of the option, if given.
  std::optional<std::string> Value(std::string_view longName) const;
};

// `args` are the arguments after the program name. Parsing stops at the
// first problem.
Parsed Parse(std::span<const Option> options, std::span<const char* const> args);
Parsed Parse(const Program& program, int argc, const char* const* argv);

// Answers --help and --version on standard output (exit code 0), and a
// problem with the options or the number of operands with the usage on
// standard error (exit code 2). Nothing, when the program is to do its work.
std::optional<int> Answer(const Program& program, const Parsed& parsed);

// The options every program has.
inline constexpr Option kHelp{'h', "help"};
inline constexpr Option kVersion{0, "version"};

// "<name> <version>".
std::string VersionText(std::string_view programName);

}  // namespace cli
