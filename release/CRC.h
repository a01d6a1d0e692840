#pragma once
// CRC-32 as used by SFV files, ZIP and PNG (reflected polynomial 0xEDB88320,
// register starting at 0xFFFFFFFF, final complement), computed with the
// carry-less multiplies (ISA-L's kernels, or our 256-bit one on CPUs for
// which ISA-L has only a 128-bit one) so that checking runs at memory speed.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/Result.h"

namespace release {

// Advances a raw CRC register over `length` bytes. Applies neither the
// initial value nor the final complement: the caller does both. Gives the
// same results as the classic byte-at-a-time loop over the reflected table.
// With length 0 the register comes back unchanged.
uint32_t Crc32Update(uint32_t crc, const void* data, size_t length);

// The register after `first`'s bytes followed by `second`'s, from the
// register after the first part (`first`) and the one the second part alone
// leaves when started from 0 (`second`), given the second part's length:
// Crc32Update(Crc32Update(r, A, a), B, b) ==
// Crc32Combine(Crc32Update(r, A, a), Crc32Update(0, B, b), b).
uint32_t Crc32Combine(uint32_t first, uint32_t second, uint64_t secondLength);

// Called after every chunk of a file with the bytes read so far. Returning
// false stops the checksum.
using CrcChunkHook = std::function<bool(uint64_t bytesDone)>;

// The CRC-32 of a whole file (00000000 for an empty one), read in fixed-size
// chunks (bounded memory, any size); a file of more than a few chunks is read
// and summed on two threads, the hook always being called on the caller's.
// The file is only opened for reading. Fails ("Cannot read <path>") when the
// file is unreadable; anything but a regular file counts as unreadable.
// A run the hook stops is no failure: the result is then ok and holds no
// checksum (std::nullopt), which is how the hook's outcome is told. Without
// a hook, an ok result always holds the checksum.
platform::Expected<std::optional<uint32_t>> FileCrc32(const std::string& path, const CrcChunkHook& hook = {});

// Size of the chunks FileCrc32 reads: small enough that a chunk is still in
// the core's second-level cache when the CRC reads it after the copy.
inline constexpr size_t kCrcChunkBytes = size_t{256} << 10;

}  // namespace release
