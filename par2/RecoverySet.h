#pragma once
// A recovery set as its packets describe it: the files it protects, cut into
// slices of one size with a CRC-32 and an MD5 each, and the recovery slices
// found for it.
#include <cstdint>
#include <string>
#include <vector>

#include "par2/Md5.h"

namespace par2 {

struct SliceCheck {
  Digest md5{};
  uint32_t crc = 0;
};

struct SourceFile {
  Digest id{};
  Digest md5{};          // of the whole file
  Digest md5First16k{};  // of its first 16 KiB (the whole file when shorter)
  uint64_t length = 0;
  std::string name;  // a plain file name, checked safe
  std::vector<SliceCheck> slices;
  uint32_t firstSlice = 0;  // index of its first slice in the whole set
};

// Where one recovery slice's data lies.
struct RecoverySlice {
  uint32_t exponent = 0;
  std::string path;
  uint64_t offset = 0;
};

struct RecoverySet {
  Digest id{};
  uint64_t sliceSize = 0;
  std::string folder;                   // the set's folder, with its trailing '/' (or "")
  std::vector<SourceFile> files;        // in slice order
  std::vector<RecoverySlice> recovery;  // one per exponent
  std::string creator;
  uint32_t sliceCount = 0;
};

// Bounds on what a set may ask for, checked before anything is allocated
// for it.
inline constexpr uint64_t kMaxSliceSize = uint64_t(64) << 20;
inline constexpr uint64_t kMaxPlainPacket = uint64_t(16) << 20;  // any packet but a recovery slice
inline constexpr size_t kFirstBlockBytes = 16384;                // the head hashed to find renamed files

}  // namespace par2
