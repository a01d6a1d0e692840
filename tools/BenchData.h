#pragma once
// Benchmark data: a folder of files that looks like a real release's
// contents to a compressor. About 40 % text (prose, logs, source code), 30 %
// executables (the machine's own ELF binaries, concatenated), and 30 %
// already-compressed media (deflate streams of text between runs of random
// bytes, as in a video or music container). Deterministic for a given seed
// and machine.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/RarWriter.h"

namespace rarwriter {

// Writes about `size` bytes of such files into `folder` (created if needed)
// and returns them as entries named "<folder name>/<file>".
std::vector<RarEntry> WriteBenchFiles(const std::string& folder, uint64_t size, uint64_t seed = 1);

}  // namespace rarwriter
