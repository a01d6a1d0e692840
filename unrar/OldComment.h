// The archive comment of RAR 2.x archives: a comment block embedded in the
// main header, stored or packed with the RAR 1.5 (or later) method.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace unrar {

// Reads the comment from the whole main header block `mainHeader`, cut to
// `limit` bytes. False when there is none, or it is damaged or its CRC
// does not match.
bool readOldComment(const std::vector<uint8_t>& mainHeader, uint64_t limit, std::string& text);

}  // namespace unrar
