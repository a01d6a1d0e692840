#include "cli/CheckCommandLine.h"

#include <array>

namespace cli {

namespace {

constexpr std::array kOptions{kQuiet, kRepair, kHelp, kVersion};

}  // namespace

const Program kCheck{
    .name = "lumeskar-check",
    .options = kOptions,
    .usage = "Usage: lumeskar-check [OPTION]... [--] FILE.sfv|FILE.par2\n",
    .description =
        "Check every file listed in FILE.sfv against its CRC-32 and print one line per\n"
        "file, then a summary. Listed names are looked up in FILE.sfv's folder.\n"
        "Given a .par2 file, check the files of its recovery set (read from every .par2\n"
        "file of its folder) by their MD5 and slice checksums instead, and say whether\n"
        "the recovery data can repair what is damaged or missing.\n",
    .optionHelp =
        "  -q, --quiet    print only the problems and the summary\n"
        "  -r, --repair   with a .par2 file: repair damaged and missing files; each\n"
        "                 damaged original is kept as NAME.1 (or .2, ...)\n",
    .exitStatus =
        "  0  every listed file is present and intact (or was repaired)\n"
        "  1  a file is missing, damaged or unreadable, a line is malformed, or the SFV\n"
        "     file lists no files; with a .par2 file: damage that can be repaired and\n"
        "     was not\n"
        "  2  the SFV or .par2 file cannot be read, the damage cannot be repaired (too\n"
        "     few recovery slices) or the repair failed, the report cannot be written,\n"
        "     or the command line is wrong\n",
    .minOperands = 1,
    .maxOperands = 1,
};

}  // namespace cli
