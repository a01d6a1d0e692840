#pragma once
// `lumeskar --render FILE.nfo [-o OUT.png] [--columns N]`: the .nfo text as a
// PNG picture, made without a window or a display.
#include <optional>

// Runs the render command when the command line asks for it (its first
// argument is --render) and returns the program's exit code: 0 when the
// picture was written, 2 after an error (reported on standard error).
// Returns nothing when the command line is not a render command.
std::optional<int> RunRenderCommand(int argc, char** argv);
