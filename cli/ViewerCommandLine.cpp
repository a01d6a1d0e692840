#include "cli/ViewerCommandLine.h"

#include <array>

namespace cli {

namespace {

constexpr std::array kOptions{kHelp, kVersion};

}  // namespace

const Program kViewer{
    .name = "lumeskar",
    .options = kOptions,
    .usage = "Usage: lumeskar [OPTION]... [--] [FILE.nfo]\n",
    .description =
        "Show a release's .nfo file in its block-character art; from the window, check\n"
        "the release against its SFV file and unpack its RAR volumes.\n"
        "Without FILE.nfo the window opens empty. Arguments after the first are ignored.\n",
    .optionHelp =
        "      --render   write the text as a PNG picture and open no window;\n"
        "                 see 'lumeskar --render --help'\n",
    .exitStatus =
        "  0  the window was closed\n"
        "  2  the command line is wrong\n",
};

}  // namespace cli
