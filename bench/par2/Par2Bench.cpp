// Recovery-set speed figures that need no peer:
//   bench_par2 kernels        every GF(2^16) kernel the CPU runs, in GB/s of
//                             source bytes multiplied and added, and the one
//                             repair chooses
//   bench_par2 md5 FILE...    the rate at which the files' bytes (held in
//                             memory) are MD5-hashed on all cores: the bound
//                             for verifying an intact set
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchSupport.h"
#include "par2/File.h"
#include "par2/Md5.h"
#include "par2/RegionKernels.h"
#include "par2/Verify.h"
#include "platform/AlignedBuffer.h"

namespace {

double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

int Kernels() {
  // The shape of a repair's inner loop: 64 sources of 4 KiB into 16
  // destinations, as a batch of input slices meets the rebuilt slices.
  const size_t sources = 64, dsts = 16, bytes = 4096;
  platform::AlignedBuffer<uint8_t> src(sources * bytes), dst(dsts * bytes);
  for (size_t i = 0; i < sources * bytes; ++i) src.data()[i] = static_cast<uint8_t>(i * 7 + 3);
  std::memset(dst.data(), 0, dsts * bytes);
  std::vector<const uint8_t*> s(sources);
  std::vector<uint8_t*> d(dsts);
  for (size_t i = 0; i < sources; ++i) s[i] = src.data() + i * bytes;
  for (size_t i = 0; i < dsts; ++i) d[i] = dst.data() + i * bytes;
  for (const par2::Kernel* k : par2::AvailableKernels()) {
    platform::AlignedBuffer<uint8_t> prepared(sources * dsts * k->preparedBytes);
    for (size_t i = 0; i < sources * dsts; ++i)
      k->prepare(static_cast<uint16_t>(i * 40503 + 1), prepared.data() + i * k->preparedBytes);
    std::vector<double> rates;
    for (int round = 0; round < 5; ++round) {
      const double start = Now();
      int calls = 0;
      while (Now() - start < 0.2) {
        k->accumulate(prepared.data(), s.data(), sources, d.data(), dsts, bytes);
        ++calls;
      }
      rates.push_back(double(calls) * sources * dsts * bytes / (Now() - start) / 1e9);
    }
    std::printf("kernel %-16s %6.2f GB/s per core\n", k->name, bench::Median(rates));
  }
  std::printf("kernel chosen: %s\n", par2::ChosenKernel().name);
  return 0;
}

int Md5Bound(int argc, char** argv) {
  uint64_t total = 0;
  for (int i = 0; i < argc; ++i) {
    uint64_t size = 0;
    if (par2::RegularFileSize(argv[i], size)) total += size;
  }
  platform::AlignedBuffer<uint8_t> all(total);
  if (!all) return 2;
  uint64_t at = 0;
  for (int i = 0; i < argc; ++i) {
    par2::File f = par2::File::OpenRead(argv[i]);
    const int64_t got = f.ReadAt(all.data() + at, f.Size(), 0);
    if (got > 0) at += static_cast<uint64_t>(got);
  }
  const unsigned threads = par2::WorkerThreads();
  std::vector<double> times;
  for (int round = 0; round < 3; ++round) {
    const double start = Now();
    std::vector<std::thread> pool;
    for (unsigned t = 0; t < threads; ++t)
      pool.emplace_back([&, t] {
        const uint64_t from = at * t / threads, to = at * (t + 1) / threads;
        par2::Md5Of(all.data() + from, to - from);
      });
    for (auto& p : pool) p.join();
    times.push_back(Now() - start);
  }
  std::printf("%.1f\n", double(at) / bench::Median(times) / 1e6);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "kernels") == 0) return Kernels();
  if (argc >= 3 && std::strcmp(argv[1], "md5") == 0) return Md5Bound(argc - 2, argv + 2);
  std::fprintf(stderr, "usage: bench_par2 kernels | md5 FILE...\n");
  return 2;
}
