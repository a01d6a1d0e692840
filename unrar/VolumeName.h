// The name of the volume that follows a given one.
#pragma once

#include <string>

namespace unrar {

// New numbering: the number right before the extension goes up by one with
// carry, growing the field when needed (x.part9.rar -> x.part10.rar).
// Old numbering: x.rar -> x.r00 ... x.r99 -> x.s00; x.000 -> x.001.
// A new-numbering name without a number falls back to the old rule.
std::string nextVolumeName(const std::string& path, bool newNumbering);

}  // namespace unrar
