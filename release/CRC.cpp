#include "release/CRC.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <optional>
#include <system_error>
#include <thread>

#include <isa-l/crc.h>

#include "platform/AlignedBuffer.h"
#include "platform/CrcMath.h"
#include "platform/CrcWide.h"

namespace release {

namespace {

uint32_t IsalUpdate(uint32_t crc, const void* data, size_t length) {
  // crc32_gzip_refl complements the register on the way in and on the way
  // out; undo both so the caller keeps full control of the register.
  if (length == 0) return crc;
  return ~crc32_gzip_refl(~crc, static_cast<const unsigned char*>(data), length);
}

}  // namespace

uint32_t Crc32Update(uint32_t crc, const void* data, size_t length) {
  if (length >= platform::kWideCrcMinimum && platform::WideCrcPreferred())
    return platform::Crc32UpdateWide(crc, data, length, IsalUpdate);
  return IsalUpdate(crc, data, length);
}

namespace {

using platform::crcmath::MultiplyModP;

// x^(8 * bytes) modulo the polynomial: what moves a register past `bytes`
// zero bytes.
constexpr uint32_t ShiftOperator(uint64_t bytes) {
  return platform::crcmath::PowerModP(platform::crcmath::kXTo8, bytes);
}

constexpr uint32_t kWholeChunkShift = ShiftOperator(kCrcChunkBytes);

uint32_t CombineWith(uint32_t first, uint32_t second, uint32_t shift) { return MultiplyModP(shift, first) ^ second; }

}  // namespace

uint32_t Crc32Combine(uint32_t first, uint32_t second, uint64_t secondLength) {
  return CombineWith(first, second, ShiftOperator(secondLength));
}

namespace {

// Closes the descriptor on every path out of FileCrc32.
struct FdCloser {
  int fd;
  ~FdCloser() {
    if (fd >= 0) close(fd);
  }
};

// Reads chunk `index` of the file into `buffer`: a whole chunk, or fewer
// bytes at the end of the file. Returns the count, or -1 on a read error.
ssize_t ReadChunk(int fd, unsigned char* buffer, uint64_t index) {
  const off_t offset = static_cast<off_t>(index * kCrcChunkBytes);
  size_t got = 0;
  while (got < kCrcChunkBytes) {
    ssize_t n = pread(fd, buffer + got, kCrcChunkBytes - got, offset + static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(got);
}

// A chunk read on the second thread: its length as ReadChunk gives it and
// the register its bytes leave when started from 0.
struct Chunk {
  ssize_t length = 0;
  uint32_t crc = 0;
};

// Why two threads, and why this way. Per byte, a cached file costs the
// kernel's copy into our buffer plus the CRC. With ISA-L's AVX-512 kernel
// the copy dominates; on CPUs without AVX-512 ISA-L takes its 128-bit
// kernel, at about 5 GB/s slower than the copy, so there Crc32Update takes
// our 256-bit kernel where the CPU has VPCLMULQDQ (platform/CrcWide.h, twice
// as fast or more). Either way one thread doing both in turn stays under
// the speed of `cat`, which only copies. bench_crc (bench/check) measures
// the options; on an AMD EPYC with AVX-512, its narrower kernels standing
// in for CPUs without, by the busiest thread's CPU time (a shared machine):
// - a second thread reading the next chunk while this one is summed runs
//   at the speed of the slower of the two;
// - splitting each chunk's CRC over two threads leaves the copy on one and
//   adds a hand-over per chunk;
// - summing the page-cache pages in place through mmap saves the copy, but
//   mapping and unmapping them cost nearly as much as copying them (0.15
//   against 0.17 ns a byte), and a file that shrinks or fails to read under
//   the mapping kills the process with SIGBUS instead of giving an error;
// - two threads that each read and sum every other chunk (this code) split
//   the copy and the CRC alike, sum each chunk while it is still in the
//   cache, and hand over only a 32-bit register per chunk: 1.6 times the
//   speed of `cat`, level with mmap on two threads and ahead of the rest,
//   with either ISA-L kernel.
// The two threads read the chunks in order give or take a few, so the
// kernel's read-ahead sees one sequential reader.
class OddChunkReader {
 public:
  explicit OddChunkReader(int fd) : fd_(fd), buffer_(kCrcChunkBytes) {
    if (buffer_) thread_ = std::thread(&OddChunkReader::Run, this);
  }
  ~OddChunkReader() {
    stop_.store(true);
    taken_.fetch_add(1);
    taken_.notify_one();
    if (thread_.joinable()) thread_.join();
  }
  OddChunkReader(const OddChunkReader&) = delete;
  OddChunkReader& operator=(const OddChunkReader&) = delete;

  bool Running() const { return thread_.joinable(); }

  // Odd chunk `index`, waiting until it has been read. Chunks are taken in
  // order, and none past the first one shorter than a whole chunk.
  Chunk Take(uint64_t index) {
    const uint32_t ordinal = static_cast<uint32_t>(index / 2);
    for (uint32_t ready = ready_.load(std::memory_order_acquire); ready == ordinal;
         ready = ready_.load(std::memory_order_acquire))
      ready_.wait(ready);
    const Chunk chunk = slots_[ordinal % kSlots];
    taken_.store(ordinal + 1, std::memory_order_release);
    taken_.notify_one();
    return chunk;
  }

 private:
  // How far the thread may read ahead of the chunks taken.
  static constexpr uint32_t kSlots = 8;

  void Run() {
    for (uint32_t ordinal = 0;; ++ordinal) {
      for (uint32_t taken = taken_.load(std::memory_order_acquire); ordinal - taken >= kSlots;
           taken = taken_.load(std::memory_order_acquire)) {
        if (stop_.load()) return;
        taken_.wait(taken);
      }
      if (stop_.load()) return;
      Chunk chunk;
      chunk.length = ReadChunk(fd_, buffer_.data(), 2 * uint64_t{ordinal} + 1);
      if (chunk.length > 0) chunk.crc = Crc32Update(0, buffer_.data(), static_cast<size_t>(chunk.length));
      slots_[ordinal % kSlots] = chunk;
      ready_.store(ordinal + 1, std::memory_order_release);
      ready_.notify_one();
      if (chunk.length != static_cast<ssize_t>(kCrcChunkBytes)) return;  // the end, or an error
    }
  }

  const int fd_;
  platform::AlignedBuffer<> buffer_;
  Chunk slots_[kSlots];
  std::atomic<uint32_t> ready_{0};  // odd chunks read (counted, not numbered)
  std::atomic<uint32_t> taken_{0};  // odd chunks taken
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Files up to this size are read on the caller's thread alone: starting a
// thread would cost more than it saves.
constexpr uint64_t kTwoThreadBytes = 8 * kCrcChunkBytes;

}  // namespace

platform::Expected<std::optional<uint32_t>> FileCrc32(const std::string& path, const CrcChunkHook& hook) {
  const auto unreadable = [&path] {
    return platform::Expected<std::optional<uint32_t>>::Failed("Cannot read " + path);
  };
  // O_NONBLOCK keeps a FIFO named in a list from blocking the open; it is
  // rejected below with every other non-regular file.
  FdCloser file{open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
  if (file.fd < 0) return unreadable();
  struct stat st;
  if (fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode)) return unreadable();
  posix_fadvise(file.fd, 0, 0, POSIX_FADV_SEQUENTIAL);

  // One chunk buffer per thread, kept between calls: a release of many
  // volumes then pays for allocating and faulting in the buffer only once.
  // A nested call from inside the hook is harmless: the hook runs only after
  // the chunk in the buffer has been taken into the register.
  thread_local platform::AlignedBuffer<> buffer;
  if (!buffer) buffer = platform::AlignedBuffer<>(kCrcChunkBytes);
  if (!buffer) return unreadable();

  std::optional<OddChunkReader> helper;
  if (static_cast<uint64_t>(st.st_size) > kTwoThreadBytes) {
    try {
      helper.emplace(file.fd);
    } catch (const std::system_error&) {
      // No second thread to be had: read every chunk here.
    }
    if (helper && !helper->Running()) helper.reset();
  }

  constexpr auto kWhole = static_cast<ssize_t>(kCrcChunkBytes);
  uint32_t crc = 0xFFFFFFFFu;
  uint64_t done = 0;
  for (uint64_t index = 0;; ++index) {
    ssize_t length;
    if (helper && index % 2 == 1) {
      const Chunk chunk = helper->Take(index);
      length = chunk.length;
      if (length > 0)
        crc = CombineWith(crc, chunk.crc, length == kWhole ? kWholeChunkShift : ShiftOperator(uint64_t(length)));
    } else {
      length = ReadChunk(file.fd, buffer.data(), index);
      if (length > 0) crc = Crc32Update(crc, buffer.data(), static_cast<size_t>(length));
    }
    if (length < 0) return unreadable();
    if (length == 0) break;
    done += static_cast<uint64_t>(length);
    if (hook && !hook(done)) return std::optional<uint32_t>();  // stopped: no checksum, no failure
    if (length < kWhole) break;
  }
  return std::optional<uint32_t>(~crc);
}

}  // namespace release
