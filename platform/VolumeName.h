// The name of the RAR volume that follows a given one, shared by the
// extraction library and the program (which measures a set before it
// extracts it). Plain C++.
#pragma once

#include <string>

namespace platform {

enum class VolumeNumbering {
  // The number right before the extension goes up by one with carry,
  // growing the field when needed (x.part9.rar -> x.part10.rar); a name
  // without such a number falls back to the old rule.
  New,
  // x.rar -> x.r00 ... x.r99 -> x.s00 (the carry goes into the letter);
  // x.000 -> x.001; any other name gets ".r00" after it.
  Old,
  // Told by the name itself: x.partN.rar is new numbering, x.rar, x.rNN
  // and x.NNN are old; "" for a name that numbers no volume (x.iso, a name
  // without extension, x.z99).
  FromName,
};

// The letter case of the extension is kept (X.RAR -> X.R00).
std::string NextVolumeName(const std::string& path, VolumeNumbering numbering);

}  // namespace platform
