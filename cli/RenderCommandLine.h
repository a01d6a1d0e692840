#pragma once
// The render command's line: `lumeskar --render [OPTION]... [--] FILE.nfo`.
#include "cli/CommandLine.h"

namespace cli {

extern const Program kRender;

inline constexpr Option kOutput{'o', "output", true};
inline constexpr Option kColumns{0, "columns", true};
inline constexpr Option kScale{0, "scale", true};

}  // namespace cli
