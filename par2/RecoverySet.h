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

// A recovery slice whose packet is framed as it should be (its length is the
// set's, and a packet or the file's end follows it) but whose MD5 has not
// been checked yet: an intact set never needs its recovery slices, so the
// check waits until verification finds damage (see Verify).
struct UncheckedRecovery {
  RecoverySlice slice;
  uint64_t packetOffset = 0;  // where its packet starts in slice.path
  uint64_t packetLength = 0;
  Digest packetMd5{};  // the MD5 its packet header gives
};

struct RecoverySet {
  Digest id{};
  uint64_t sliceSize = 0;
  std::string folder;                        // the set's folder, with its trailing '/' (or "")
  std::vector<SourceFile> files;             // in slice order
  std::vector<RecoverySlice> recovery;       // checked, one per exponent, by exponent
  std::vector<UncheckedRecovery> unchecked;  // none of an exponent in `recovery`; may repeat one
  std::string creator;
  uint32_t sliceCount = 0;
};

// Bounds on what a set may ask for, checked before anything is allocated
// for it.
inline constexpr uint64_t kMaxSliceSize = uint64_t(64) << 20;
inline constexpr uint64_t kMaxPlainPacket = uint64_t(16) << 20;  // any packet but a recovery slice
inline constexpr size_t kFirstBlockBytes = 16384;                // the head hashed to find renamed files

}  // namespace par2
