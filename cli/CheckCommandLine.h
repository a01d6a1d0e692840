#pragma once
// The checker's command line: `lumeskar-check [OPTION]... [--] FILE.sfv`.
#include "cli/CommandLine.h"

namespace cli {

extern const Program kCheck;
inline constexpr Option kQuiet{'q', "quiet"};

}  // namespace cli
