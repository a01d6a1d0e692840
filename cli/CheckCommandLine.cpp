#include "cli/CheckCommandLine.h"

#include <array>

namespace cli {

namespace {

constexpr std::array kOptions{kQuiet, kHelp, kVersion};

}  // namespace

const Program kCheck{
    .name = "lumeskar-check",
    .options = kOptions,
    .usage = "Usage: lumeskar-check [OPTION]... [--] FILE.sfv\n",
    .description =
        "Check every file listed in FILE.sfv against its CRC-32 and print one line per\n"
        "file, then a summary. Listed names are looked up in FILE.sfv's folder.\n",
    .optionHelp = "  -q, --quiet    print only the problems and the summary\n",
    .exitStatus =
        "  0  every listed file is present and intact\n"
        "  1  a file is missing, damaged or unreadable, a line is malformed, or the SFV\n"
        "     file lists no files\n"
        "  2  the SFV file cannot be read, the report cannot be written, or the command\n"
        "     line is wrong\n",
    .minOperands = 1,
    .maxOperands = 1,
};

}  // namespace cli
