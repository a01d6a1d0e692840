#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <array>
#include <vector>

#include "platform/CrcWide.h"
#include "release/CRC.h"
#include "tests/release/VerificationFixtures.h"

using release::Crc32Update;
using release::FileCrc32;
using namespace testfiles;

namespace {

// The classic byte-at-a-time loop over the reflected table, the reference
// for the register contract of Crc32Update.
uint32_t ReferenceUpdate(uint32_t crc, const std::string& data) {
  static const auto table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  for (unsigned char b : data) crc = (crc >> 8) ^ table[(crc ^ b) & 0xFF];
  return crc;
}

}  // namespace

TEST(CrcTests, KnownFileChecksums) {
  TempDir dir;
  struct Case {
    std::string bytes;
    uint32_t crc;
  } cases[] = {
      {"", 0x00000000u},
      {std::string(1, '\0'), 0xD202EF8Du},
      {"123456789", 0xCBF43926u},
      {"The quick brown fox jumps over the lazy dog", 0x414FA339u},
  };
  for (const auto& c : cases) {
    WriteFile(dir / "f", c.bytes);
    const auto crc = FileCrc32(dir / "f");
    ASSERT_TRUE(crc.ok()) << c.bytes;
    EXPECT_EQ(*crc, c.crc) << c.bytes;
    // The routine keeps nothing between calls.
    const auto again = FileCrc32(dir / "f");
    ASSERT_TRUE(again.ok());
    EXPECT_EQ(*again, c.crc);
  }
}

TEST(CrcTests, UpdateKeepsTheRawRegisterContract) {
  const std::string data = RandomBytes(70000, 1);
  std::mt19937 gen(2);
  for (int round = 0; round < 200; ++round) {
    size_t offset = gen() % 4096, length = gen() % 60000 + (round < 20 ? round : 0);
    if (round < 20) length = static_cast<size_t>(round);  // the tiny lengths too
    const std::string piece = data.substr(offset, length);
    // Any register value in, not only the standard initial value.
    const uint32_t reg = round % 3 == 0 ? 0xFFFFFFFFu : static_cast<uint32_t>(gen());
    EXPECT_EQ(Crc32Update(reg, data.data() + offset, length), ReferenceUpdate(reg, piece))
        << "offset " << offset << " length " << length;
    EXPECT_EQ(Crc32Update(0xFFFFFFFFu, piece.data(), piece.size()) ^ 0xFFFFFFFFu, ZlibCrc(piece));
  }
  EXPECT_EQ(Crc32Update(0x12345678u, data.data(), 0), 0x12345678u);
  // Feeding a buffer in pieces gives the same register as in one go.
  uint32_t split = 0xFFFFFFFFu;
  for (size_t pos = 0; pos < data.size(); pos += 997)
    split = Crc32Update(split, data.data() + pos, std::min<size_t>(997, data.size() - pos));
  EXPECT_EQ(split, ReferenceUpdate(0xFFFFFFFFu, data));
}

TEST(CrcTests, FilesLargerThanOneChunkReportProgressAndCanBeCancelled) {
  TempDir dir;
  const std::string bytes = RandomBytes(2 * release::kCrcChunkBytes + 12345, 3);
  WriteFile(dir / "big.bin", bytes);

  std::vector<uint64_t> seen;
  const auto crc = FileCrc32(dir / "big.bin", [&](uint64_t done) {
    seen.push_back(done);
    return true;
  });
  ASSERT_TRUE(crc.ok());
  EXPECT_EQ(*crc, ZlibCrc(bytes));
  ASSERT_GE(seen.size(), 3u);
  for (size_t i = 1; i < seen.size(); ++i) EXPECT_GT(seen[i], seen[i - 1]);
  EXPECT_EQ(seen.back(), bytes.size());

  int calls = 0;
  const auto stopped = FileCrc32(dir / "big.bin", [&](uint64_t) { return ++calls < 2; });
  EXPECT_TRUE(stopped.ok());  // a cancel is no failure
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(*stopped, std::nullopt);  // and gives no checksum
}

// Lengths from nothing to a few chunks, the odd ones beside every edge: SIMD
// block sizes, chunks, and the size from which a file is read on two threads.
TEST(CrcTests, EveryAlignmentAndLengthMatchesZlib) {
  constexpr size_t C = release::kCrcChunkBytes;
  const size_t lengths[] = {0,           1,     2,         3,     7,         15,         16,
                            17,          63,    64,        65,    255,       256,        257,
                            4095,        4096,  4097,      C - 1, C,         C + 1,      2 * C + 5,
                            8 * C - 1,   8 * C, 8 * C + 1, 9 * C, 9 * C + 1, 10 * C - 3, 11 * C + 4097,
                            17 * C + 333};
  const std::string data = RandomBytes(18 * C + 64, 4);
  TempDir dir;
  for (size_t length : lengths) {
    const std::string piece = data.substr(0, length);
    const uint32_t expected = ZlibCrc(piece);
    // The kernel taken here, and the 256-bit one that CPUs without AVX-512
    // take, wherever this CPU can run it.
    for (size_t align = 0; align < 64; ++align) {
      const uint32_t zlib = ZlibCrc(data.substr(align, length));
      ASSERT_EQ(Crc32Update(0xFFFFFFFFu, data.data() + align, length) ^ 0xFFFFFFFFu, zlib)
          << "length " << length << " alignment " << align;
      if (platform::WideCrcAvailable()) {
        ASSERT_EQ(platform::Crc32UpdateWide(0xFFFFFFFFu, data.data() + align, length, Crc32Update) ^ 0xFFFFFFFFu, zlib)
            << "wide, length " << length << " alignment " << align;
      }
    }
    // Any split of the buffer, put together again.
    for (size_t split : {size_t{0}, length / 3, length / 2, length}) {
      const uint32_t head = Crc32Update(0xFFFFFFFFu, piece.data(), split);
      EXPECT_EQ(release::Crc32Combine(head, Crc32Update(0, piece.data() + split, length - split), length - split) ^
                    0xFFFFFFFFu,
                expected)
          << "length " << length << " split " << split;
    }
    WriteFile(dir / "f", piece);
    uint64_t last = 0;
    const auto crc = FileCrc32(dir / "f", [&](uint64_t done) { return (last = done), true; });
    ASSERT_TRUE(crc.ok());
    EXPECT_EQ(*crc, expected) << "file of " << length << " bytes";
    EXPECT_EQ(last, length);
    // A cancel on the third chunk stops there, on one thread or two.
    if (length > 3 * C) {
      int calls = 0;
      const auto stopped = FileCrc32(dir / "f", [&](uint64_t) { return ++calls < 3; });
      EXPECT_TRUE(stopped.ok());
      EXPECT_EQ(calls, 3);
      EXPECT_EQ(*stopped, std::nullopt);
    }
  }
}

TEST(CrcTests, ReadOnlyFilesAreChecked) {
  TempDir dir;
  WriteFile(dir / "ro.bin", "123456789");
  chmod((dir / "ro.bin").c_str(), 0444);
  chmod(dir.path().c_str(), 0555);
  const auto crc = FileCrc32(dir / "ro.bin");
  ASSERT_TRUE(crc.ok());
  EXPECT_EQ(*crc, 0xCBF43926u);
}

TEST(CrcTests, UnreadableFilesFail) {
  TempDir dir;
  WriteFile(dir / "locked.bin", "data");
  MakeUnreadable(dir / "locked.bin");
  mkdir((dir / "folder").c_str(), 0755);
  mkfifo((dir / "pipe").c_str(), 0644);  // must not block waiting for a writer
  for (const char* name : {"missing.bin", "locked.bin", "folder", "pipe"}) {
    const auto sum = FileCrc32(dir / name);
    EXPECT_FALSE(sum.ok()) << name;
    EXPECT_EQ(sum.message(), "Cannot read " + (dir / name)) << name;
    // With a hook as without: the hook is never called.
    bool called = false;
    EXPECT_FALSE(FileCrc32(dir / name, [&](uint64_t) { return called = true; }).ok()) << name;
    EXPECT_FALSE(called) << name;
  }
}

TEST(CrcTests, FilesAbove4GiBWithBoundedMemory) {
  TempDir dir;
  const uint64_t size = 5ull << 30;
  const std::string tail = "end of a 5 GiB file";
  WriteSparseFile(dir / "huge.bin", size, tail);

  rusage before{};
  getrusage(RUSAGE_SELF, &before);
  uint64_t last = 0;
  const auto crc = FileCrc32(dir / "huge.bin", [&](uint64_t done) {
    last = done;
    return true;
  });
  ASSERT_TRUE(crc.ok());
  rusage after{};
  getrusage(RUSAGE_SELF, &after);

  EXPECT_EQ(last, size);
  EXPECT_EQ(*crc, ZlibCrcOfZerosThen(size - tail.size(), tail));
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024)
      << "max RSS grew by " << (after.ru_maxrss - before.ru_maxrss) << " KiB";
}
