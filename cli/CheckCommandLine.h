#pragma once
// The checker's command line: `lumeskar-check [OPTION]... [--] FILE.sfv|FILE.par2`.
#include "cli/CommandLine.h"

namespace cli {

extern const Program kCheck;
inline constexpr Option kQuiet{'q', "quiet"};
inline constexpr Option kRepair{'r', "repair"};

}  // namespace cli
