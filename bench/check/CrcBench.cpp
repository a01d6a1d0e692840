// Throughput of CRC-32 implementations over a cached file, read the way
// FileCrc32 reads it, beside reading alone. Prints MB/s and the ratio to the
// plain read for: read only, ISA-L, zlib, libdeflate (when its shared library
// is installed) and FileCrc32 itself, for a few chunk sizes.
//   bench_crc FILE [passes]
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <isa-l/crc.h>
#include <zlib.h>

#include "release/CRC.h"

namespace {

using CrcFn = std::function<uint32_t(uint32_t, const unsigned char*, size_t)>;

double Seconds(const std::function<void()>& f) {
  auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Reads the whole file in `chunk`-byte reads, feeding each chunk to `crc`.
uint32_t ReadAndCrc(const std::string& path, size_t chunk, const CrcFn& crc, uint64_t& bytes) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    std::perror(path.c_str());
    std::exit(2);
  }
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  std::unique_ptr<unsigned char[]> buffer(new unsigned char[chunk]);
  uint32_t value = 0;
  bytes = 0;
  ssize_t got;
  while ((got = read(fd, buffer.get(), chunk)) > 0) {
    if (crc) value = crc(value, buffer.get(), static_cast<size_t>(got));
    bytes += static_cast<uint64_t>(got);
  }
  close(fd);
  return value;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_crc FILE [passes]\n");
    return 2;
  }
  const std::string path = argv[1];
  const int passes = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

  std::vector<std::pair<std::string, CrcFn>> impls = {
      {"read only", nullptr},
      {"ISA-L crc32_gzip_refl", [](uint32_t c, const unsigned char* d, size_t n) { return crc32_gzip_refl(c, d, n); }},
      {"zlib crc32_z", [](uint32_t c, const unsigned char* d, size_t n) { return static_cast<uint32_t>(crc32_z(c, d, n)); }},
  };
  using DeflateCrc = uint32_t (*)(uint32_t, const void*, size_t);
  if (void* lib = dlopen("libdeflate.so.0", RTLD_NOW)) {
    if (auto fn = reinterpret_cast<DeflateCrc>(dlsym(lib, "libdeflate_crc32")))
      impls.push_back({"libdeflate_crc32", [fn](uint32_t c, const unsigned char* d, size_t n) { return fn(c, d, n); }});
  } else {
    std::printf("libdeflate not installed: skipped\n");
  }

  uint64_t bytes = 0;
  ReadAndCrc(path, 1 << 20, nullptr, bytes);  // bring the file into the page cache
  const size_t chunks[] = {size_t{128} << 10, size_t{256} << 10, size_t{1} << 20, size_t{4} << 20};
  // Every pass runs every combination once, so a change in the machine's
  // load hits them alike; the median of the passes is reported.
  std::vector<std::vector<double>> times(std::size(chunks) * impls.size());
  std::vector<uint32_t> values(times.size());
  for (int pass = 0; pass < passes; ++pass)
    for (size_t c = 0; c < std::size(chunks); ++c)
      for (size_t i = 0; i < impls.size(); ++i) {
        const size_t k = c * impls.size() + i;
        times[k].push_back(Seconds([&] { values[k] = ReadAndCrc(path, chunks[c], impls[i].second, bytes); }));
      }
  for (size_t c = 0; c < std::size(chunks); ++c) {
    std::printf("\nchunk %zu KiB, %.0f MB, median of %d passes\n", chunks[c] >> 10, bytes / 1e6, passes);
    const double readRate = bytes / Median(times[c * impls.size()]) / 1e6;
    for (size_t i = 0; i < impls.size(); ++i) {
      const size_t k = c * impls.size() + i;
      const double rate = bytes / Median(times[k]) / 1e6;
      std::printf("  %-24s %8.0f MB/s  %5.2f of read  crc %08x\n", impls[i].first.c_str(), rate, rate / readRate, values[k]);
    }
  }

  std::vector<double> own;
  uint32_t value = 0;
  for (int i = 0; i < passes; ++i) own.push_back(Seconds([&] { release::FileCrc32(path, value); }));
  std::printf("\nFileCrc32 (%zu KiB chunks)   %8.0f MB/s  crc %08x\n", release::kCrcChunkBytes >> 10,
              bytes / Median(own) / 1e6, value);
  return 0;
}
