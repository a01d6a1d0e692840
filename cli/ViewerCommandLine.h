#pragma once
// The viewer's command line: `lumeskar [OPTION]... [--] [FILE.nfo]`.
#include "cli/CommandLine.h"

namespace cli {

extern const Program kViewer;

}  // namespace cli
