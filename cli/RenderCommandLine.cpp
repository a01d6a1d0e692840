#include "cli/RenderCommandLine.h"

#include <array>

namespace cli {

namespace {

constexpr std::array kOptions{kOutput, kColumns, kScale, kHelp, kVersion};

}  // namespace

const Program kRender{
    .name = "lumeskar --render",
    .options = kOptions,
    .usage = "Usage: lumeskar --render [-o OUT.png] [--columns N] [--scale N] [--] FILE.nfo\n",
    .description =
        "Write the whole text of FILE.nfo, every line and unwrapped, as a PNG picture in\n"
        "the 6x8 font: silver on black, 6 x 8 pixels per character. Opens no window and\n"
        "needs no display.\n",
    .optionHelp =
        "  -o, --output=OUT.png\n"
        "                 the picture to write; without it, FILE.png beside FILE.nfo\n"
        "      --columns=N\n"
        "                 make the picture N characters wide (longer lines are cut);\n"
        "                 without it, it is as wide as the longest line\n"
        "      --scale=N  draw each pixel of the font as an N x N square, N from 1 to 8\n"
        "                 (default 1), for today's screens\n",
    .exitStatus =
        "  0  the picture was written\n"
        "  2  FILE.nfo cannot be read, the picture cannot be written (OUT.png must be a\n"
        "     new file or a regular file, which is then replaced), or the command line\n"
        "     is wrong\n",
    .minOperands = 1,
    .maxOperands = 1,
};

}  // namespace cli
