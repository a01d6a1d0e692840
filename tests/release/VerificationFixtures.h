#pragma once
// Real files in a per-test temporary folder, for the checksum, SFV and
// verification tests.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>

#include <zlib.h>

#include "tests/common/RandomBytes.h"
#include "tests/common/TempDir.h"

namespace testfiles {

using testing_support::RandomBytes;
using testing_support::TempDir;
using testing_support::WriteFile;

inline uint32_t ZlibCrc(const std::string& bytes) {
  return static_cast<uint32_t>(crc32_z(0, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size()));
}

// Makes an existing file impossible to read: without read permission for an
// ordinary user; for root, which ignores permissions, a link to a file whose
// reads fail (the first page of this process's memory is never mapped).
inline void MakeUnreadable(const std::string& path) {
  if (geteuid() != 0) {
    chmod(path.c_str(), 0);
    return;
  }
  unlink(path.c_str());
  if (symlink("/proc/self/mem", path.c_str()) != 0) throw std::runtime_error("symlink failed");
}

// A sparse file of `size` bytes, all zero but for `tail` at its very end.
inline void WriteSparseFile(const std::string& path, uint64_t size, const std::string& tail) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0 || ftruncate(fd, static_cast<off_t>(size)) != 0 ||
      pwrite(fd, tail.data(), tail.size(), static_cast<off_t>(size - tail.size())) != static_cast<ssize_t>(tail.size()))
    throw std::runtime_error("cannot write sparse file " + path);
  close(fd);
}

// CRC-32 of `count` zero bytes followed by `tail`, built from zlib's
// combination rule so no large buffer is needed.
inline uint32_t ZlibCrcOfZerosThen(uint64_t count, const std::string& tail) {
  static const std::string zeros(1 << 20, '\0');
  uLong crc = 0;
  uLong block = crc32_z(0, reinterpret_cast<const Bytef*>(zeros.data()), zeros.size());
  uint64_t blockLen = zeros.size();
  uint64_t rest = count;
  // Binary decomposition: block holds the CRC of blockLen zeros, doubling each step.
  uint64_t small = rest % blockLen;
  crc = crc32_z(0, reinterpret_cast<const Bytef*>(zeros.data()), small);
  rest /= blockLen;
  while (rest) {
    if (rest & 1) crc = crc32_combine64(crc, block, static_cast<z_off64_t>(blockLen));
    block = crc32_combine64(block, block, static_cast<z_off64_t>(blockLen));
    blockLen *= 2;
    rest >>= 1;
  }
  crc = crc32_combine64(crc, crc32_z(0, reinterpret_cast<const Bytef*>(tail.data()), tail.size()),
                        static_cast<z_off64_t>(tail.size()));
  return static_cast<uint32_t>(crc);
}

}  // namespace testfiles
