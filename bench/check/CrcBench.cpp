// Ways to take the CRC-32 of a cached file, beside reading it alone. Prints
// the CPU, the kernel ISA-L's dispatch picks on it, the in-cache speed of
// each kernel, then for each way of reading and summing the file its MB/s
// and its ratio to the plain read, once with the kernel ISA-L picks and once
// with its 128-bit PCLMUL kernel and with our 256-bit one (which FileCrc32
// takes on a CPU with VPCLMULQDQ but without AVX-512), and the
// CPU time all threads spent per byte (on a busy machine, where threads wait
// for a core, that shows what two idle cores would do: about half the
// two-thread ways' CPU time):
//   read 4M unaligned   one thread, a 4 MiB buffer from new[] (16 bytes into a page)
//   read aligned        one thread, a page-aligned chunk
//   overlap read        a second thread reads the next chunk while this one is summed
//   halves              each chunk's CRC split over two threads and combined
//   mmap                the page-cache pages summed in place, one thread
//   mmap halves         the same, each window's halves on two threads
//   two readers         two threads each read and sum every other chunk
//   FileCrc32           the program's own, the same way (ISA-L's pick only)
//   bench_crc FILE [passes]
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <isa-l/crc.h>
#include <zlib.h>

#include "bench/BenchSupport.h"
#include "platform/AlignedBuffer.h"
#include "platform/CrcWide.h"
#include "release/CRC.h"

namespace {

// A CRC kernel with ISA-L's and zlib's convention (complement in and out).
using Kernel = uint32_t (*)(uint32_t, const unsigned char*, uint64_t);
Kernel kernel = crc32_gzip_refl;

uint32_t Raw(uint32_t reg, const unsigned char* p, size_t n) { return n ? ~kernel(~reg, p, n) : reg; }

double Seconds(const std::function<void()>& f) {
  auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// ISA-L 2.x's dispatch rule for crc32_gzip_refl, from the CPU flags the
// kernel reports (which already take the OS's saved register state into
// account): AVX-512 with VPCLMULQDQ, else AVX with PCLMULQDQ, else SSE4.1
// with PCLMULQDQ, else a table.
std::string IsalPick(const std::string& flags) {
  auto has = [&](const char* f) { return (" " + flags + " ").find(std::string(" ") + f + " ") != std::string::npos; };
  if (has("avx512f") && has("avx512dq") && has("avx512bw") && has("avx512vl") && has("vpclmulqdq"))
    return "crc32_gzip_refl_by16_10 (AVX-512 + VPCLMULQDQ, 512-bit folds)";
  if (has("avx") && has("pclmulqdq")) return "crc32_gzip_refl_by8_02 (AVX + PCLMULQDQ, 128-bit folds)";
  if (has("sse4_1") && has("pclmulqdq")) return "crc32_gzip_refl_by8 (SSE + PCLMULQDQ, 128-bit folds)";
  return "crc32_gzip_refl_base (table)";
}

int OpenOrDie(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    std::perror(path.c_str());
    std::exit(2);
  }
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return fd;
}

constexpr size_t kChunk = release::kCrcChunkBytes;
constexpr size_t kWindow = size_t{8} << 20;  // mmap window

// Runs `job` on a second thread when asked, as often as asked.
class Helper {
 public:
  Helper() : thread_([this] { Loop(); }) {}
  ~Helper() {
    Run(nullptr);
    thread_.join();
  }
  void Start(std::function<void()> job) { Run(std::move(job)); }
  void Wait() {
    for (int s = state_.load(); s != 0; s = state_.load()) state_.wait(s);
  }

 private:
  void Run(std::function<void()> job) {
    job_ = std::move(job);
    state_.store(1);
    state_.notify_one();
  }
  void Loop() {
    for (;;) {
      state_.wait(0);
      if (!job_) return;
      job_();
      state_.store(0);
      state_.notify_one();
    }
  }
  std::atomic<int> state_{0};
  std::function<void()> job_;
  std::thread thread_;
};

uint32_t ReadOnly(const std::string& path) {
  int fd = OpenOrDie(path);
  platform::AlignedBuffer<> buf(kChunk);
  uint32_t sum = 0;
  for (ssize_t got; (got = read(fd, buf.data(), kChunk)) > 0;) sum += buf.data()[0];
  close(fd);
  return sum;
}

uint32_t ReadSerial(const std::string& path, unsigned char* buf, size_t chunk) {
  int fd = OpenOrDie(path);
  uint32_t reg = ~0u;
  for (ssize_t got; (got = read(fd, buf, chunk)) > 0;) reg = Raw(reg, buf, size_t(got));
  close(fd);
  return ~reg;
}

uint32_t ReadUnaligned4M(const std::string& path) {
  std::unique_ptr<unsigned char[]> buf(new unsigned char[4 << 20]);
  return ReadSerial(path, buf.get(), 4 << 20);
}

uint32_t ReadAligned(const std::string& path) {
  platform::AlignedBuffer<> buf(kChunk);
  return ReadSerial(path, buf.data(), kChunk);
}

uint32_t OverlapRead(const std::string& path) {
  int fd = OpenOrDie(path);
  platform::AlignedBuffer<> buf(2 * kChunk);
  Helper helper;
  uint32_t reg = ~0u;
  ssize_t got = read(fd, buf.data(), kChunk);
  for (int cur = 0; got > 0; cur ^= 1) {
    ssize_t next = 0;
    unsigned char* other = buf.data() + (cur ^ 1) * kChunk;
    helper.Start([&] { next = read(fd, other, kChunk); });
    reg = Raw(reg, buf.data() + cur * kChunk, size_t(got));
    helper.Wait();
    got = next;
  }
  close(fd);
  return ~reg;
}

// The register after `p[0, n)`, its halves summed on two threads.
uint32_t Halves(Helper& helper, uint32_t reg, const unsigned char* p, size_t n) {
  const size_t half = n / 2;
  uint32_t second = 0;
  helper.Start([&] { second = Raw(0, p + half, n - half); });
  reg = Raw(reg, p, half);
  helper.Wait();
  return release::Crc32Combine(reg, second, n - half);
}

uint32_t ReadHalves(const std::string& path) {
  int fd = OpenOrDie(path);
  platform::AlignedBuffer<> buf(kChunk);
  Helper helper;
  uint32_t reg = ~0u;
  for (ssize_t got; (got = read(fd, buf.data(), kChunk)) > 0;) reg = Halves(helper, reg, buf.data(), size_t(got));
  close(fd);
  return ~reg;
}

// FileCrc32's way with the kernel chosen here, handing over once per pair
// of chunks rather than through FileCrc32's queue.
uint32_t TwoReaders(const std::string& path) {
  int fd = OpenOrDie(path);
  platform::AlignedBuffer<> buf(2 * kChunk);
  Helper helper;
  uint32_t reg = ~0u;
  for (off_t at = 0;; at += 2 * kChunk) {
    ssize_t second = 0;
    uint32_t secondReg = 0;
    helper.Start([&] {
      second = pread(fd, buf.data() + kChunk, kChunk, at + off_t(kChunk));
      if (second > 0) secondReg = Raw(0, buf.data() + kChunk, size_t(second));
    });
    const ssize_t first = pread(fd, buf.data(), kChunk, at);
    if (first > 0) reg = Raw(reg, buf.data(), size_t(first));
    helper.Wait();
    if (second > 0) reg = release::Crc32Combine(reg, secondReg, uint64_t(second));
    if (second < ssize_t(kChunk)) break;
  }
  close(fd);
  return ~reg;
}

uint32_t Mmap(const std::string& path, bool twoThreads) {
  int fd = OpenOrDie(path);
  const off_t size = lseek(fd, 0, SEEK_END);
  std::unique_ptr<Helper> helper(twoThreads ? new Helper : nullptr);
  uint32_t reg = ~0u;
  for (off_t at = 0; at < size; at += kWindow) {
    const size_t n = size_t(std::min<off_t>(kWindow, size - at));
    void* m = mmap(nullptr, n, PROT_READ, MAP_SHARED | MAP_POPULATE, fd, at);
    if (m == MAP_FAILED) std::exit(2);
    auto* p = static_cast<const unsigned char*>(m);
    reg = helper ? Halves(*helper, reg, p, n) : Raw(reg, p, n);
    munmap(m, n);
  }
  close(fd);
  return ~reg;
}

uint32_t Own(const std::string& path) {
  const platform::Expected<std::optional<uint32_t>> value = release::FileCrc32(path);
  return value ? **value : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_crc FILE [passes]\n");
    return 2;
  }
  const std::string path = argv[1];
  const int passes = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

  const std::string flags = bench::CpuInfoLine("flags");
  std::printf("CPU: %s\n", bench::CpuInfoLine("model name").c_str());
  std::printf("  avx512f %s, vpclmulqdq %s, %u threads\n",
              (" " + flags + " ").find(" avx512f ") != std::string::npos ? "yes" : "no",
              (" " + flags + " ").find(" vpclmulqdq ") != std::string::npos ? "yes" : "no",
              std::thread::hardware_concurrency());
  std::printf("ISA-L's crc32_gzip_refl dispatches to %s\n", IsalPick(flags).c_str());
  std::printf("FileCrc32 sums with %s\n",
              platform::WideCrcPreferred() ? "our 256-bit VPCLMULQDQ kernel (AVX2, no AVX-512)" : "ISA-L's pick");

  // ISA-L's kernels by name (exported by libisal.so.2) where present.
  std::vector<std::pair<std::string, Kernel>> kernels = {{"crc32_gzip_refl (dispatched)", crc32_gzip_refl}};
  void* isal = dlopen("libisal.so.2", RTLD_NOW | RTLD_NOLOAD);
  if (!isal) isal = dlopen("libisal.so.2", RTLD_NOW);
  for (const char* name : {"crc32_gzip_refl_by16_10", "crc32_gzip_refl_by8_02", "crc32_gzip_refl_by8"})
    if (void* f = isal ? dlsym(isal, name) : nullptr) kernels.push_back({name, reinterpret_cast<Kernel>(f)});
  if (platform::WideCrcAvailable())
    kernels.push_back({"our 256-bit VPCLMULQDQ", [](uint32_t c, const unsigned char* d, uint64_t n) {
                         return ~platform::Crc32UpdateWide(~c, d, n, release::Crc32Update);
                       }});
  kernels.push_back({"zlib crc32_z", [](uint32_t c, const unsigned char* d, uint64_t n) {
                       return static_cast<uint32_t>(crc32_z(c, d, n));
                     }});

  // Kernel speed on a chunk in the cache. The AVX-512 kernel cannot run
  // where ISA-L would not pick it.
  const bool avx512 = IsalPick(flags).find("by16_10") != std::string::npos;
  platform::AlignedBuffer<> hot(kChunk);
  for (size_t i = 0; i < kChunk; ++i) hot.data()[i] = static_cast<unsigned char>(i * 131);
  std::printf("\nKernels on a %zu KiB chunk in the cache (best of 7 runs):\n", kChunk >> 10);
  Kernel narrow = nullptr, wide = nullptr;
  for (const auto& [name, pick] : kernels) {
    const Kernel k = pick;  // clang 14 cannot capture a structured binding in a lambda
    if (name.find("by16_10") != std::string::npos && !avx512) continue;
    if (name == "crc32_gzip_refl_by8_02") narrow = k;
    if (name == "our 256-bit VPCLMULQDQ") wide = k;
    // The best of a few short runs: the one least disturbed by other work.
    uint32_t c = 0;
    const int reps = 400;
    double t = 1e9;
    for (int run = 0; run < 7; ++run)
      t = std::min(t, Seconds([&] {
                     for (int r = 0; r < reps; ++r) c = k(c, hot.data(), kChunk);
                   }));
    std::printf("  %-30s %8.0f MB/s  (%08x)\n", name.c_str(), double(reps) * kChunk / t / 1e6, c);
  }

  struct Way {
    const char* name;
    uint32_t (*run)(const std::string&);
  };
  const Way ways[] = {
      {"read only", ReadOnly},
      {"read 4M unaligned", ReadUnaligned4M},
      {"read aligned", ReadAligned},
      {"overlap read", OverlapRead},
      {"halves", ReadHalves},
      {"mmap", [](const std::string& p) { return Mmap(p, false); }},
      {"mmap halves", [](const std::string& p) { return Mmap(p, true); }},
      {"two readers", TwoReaders},
      {"FileCrc32", Own},
  };
  std::vector<std::pair<const char*, Kernel>> runs = {{"ISA-L's pick", crc32_gzip_refl}};
  if (narrow && avx512) runs.push_back({"ISA-L's 128-bit kernel, its pick without AVX-512", narrow});
  if (wide && avx512) runs.push_back({"our 256-bit kernel, FileCrc32's pick with VPCLMULQDQ but no AVX-512", wide});

  const off_t bytes = [&] {
    int fd = OpenOrDie(path);
    off_t n = lseek(fd, 0, SEEK_END);
    close(fd);
    return n;
  }();
  ReadOnly(path);  // into the page cache
  for (const auto& [label, k] : runs) {
    kernel = k;
    // FileCrc32 always takes ISA-L's pick.
    const size_t count = k == crc32_gzip_refl ? std::size(ways) : std::size(ways) - 1;
    // Every pass runs every way once, so a change in the machine's load
    // hits them alike; the median of the passes is reported.
    std::vector<std::vector<double>> times(count), cpu(count);
    std::vector<uint32_t> values(count);
    for (int pass = 0; pass < passes; ++pass)
      for (size_t i = 0; i < count; ++i) {
        const double cpu0 = bench::CpuSeconds();
        times[i].push_back(Seconds([&] { values[i] = ways[i].run(path); }));
        cpu[i].push_back(bench::CpuSeconds() - cpu0);
      }
    std::printf("\n%s: %zu KiB chunks, %.0f MB, median of %d passes\n", label, kChunk >> 10, bytes / 1e6, passes);
    const double readRate = bytes / bench::Median(times[0]) / 1e6;
    for (size_t i = 0; i < count; ++i) {
      const double rate = bytes / bench::Median(times[i]) / 1e6;
      std::printf("  %-20s %8.0f MB/s  %5.2f of read  cpu %.3f ns/B", ways[i].name, rate, rate / readRate,
                  bench::Median(cpu[i]) / bytes * 1e9);
      if (i > 0) std::printf("  crc %08x", values[i]);
      std::printf("\n");
    }
  }
  return 0;
}
