// Decodes RAR 5 archives with our decoder (libunrar.so through the C API,
// RAR_TEST: decoded and checked, not written), libarchive (every entry's
// data read) and unar's lsar -t (a separate process that decodes and checks
// every entry), and prints the output MB/s of each (median of the rounds,
// CPU seconds of the decoding: this process's for the first two, the
// child's for lsar) and our ratios against both. First the single-file RAR
// 5 fixtures together (each decoded as often as it takes to measure), then
// each archive named on the command line.
//   bench_rar5 [rounds] [ARCHIVE...]
#include <archive.h>
#include <archive_entry.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/OurUnrar.h"
#include "unrar/unrar.h"

namespace fs = std::filesystem;

namespace {

using Ours = bench::OurUnrar;

// Every entry tested; the unpacked bytes, or -1 when an entry fails.
int64_t decodeOurs(const Ours& api, const std::string& path) {
  RAROpenArchiveDataEx d{};
  d.ArcName = const_cast<char*>(path.c_str());
  d.OpenMode = RAR_OM_EXTRACT;
  HANDLE h = api.open(&d);
  if (!h) return -1;
  static RARHeaderDataEx hd;
  int64_t bytes = 0;
  while (api.read(h, &hd) == 0) {
    if (api.process(h, RAR_TEST, nullptr, nullptr) != 0) bytes = -1;
    if (bytes >= 0) bytes += int64_t(uint64_t(hd.UnpSizeHigh) << 32 | hd.UnpSize);
  }
  api.close(h);
  return bytes;
}

int64_t decodeLibarchive(const std::string& path) {
  archive* a = archive_read_new();
  archive_read_support_format_rar5(a);
  int64_t bytes = -1;
  if (archive_read_open_filename(a, path.c_str(), 1 << 20) == ARCHIVE_OK) {
    bytes = 0;
    archive_entry* entry;
    while (bytes >= 0 && archive_read_next_header(a, &entry) == ARCHIVE_OK) {
      const void* buf;
      size_t size;
      la_int64_t offset;
      int r;
      while ((r = archive_read_data_block(a, &buf, &size, &offset)) == ARCHIVE_OK) bytes += int64_t(size);
      if (r != ARCHIVE_EOF) bytes = -1;
    }
  }
  archive_read_free(a);
  return bytes;
}

// lsar -t in a child process; its CPU seconds, or -1 when it fails.
double lsarSeconds(const std::string& path) {
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    execlp("lsar", "lsar", "-t", path.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage u{};
  wait4(pid, &status, 0, &u);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  auto s = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
  return s(u.ru_utime) + s(u.ru_stime);
}

struct Result {
  double ours = 0, libarchive = 0, lsar = 0;  // MB/s, 0 when it failed
};

// Medians over `rounds` of decoding every archive `repeat` times.
Result measure(const Ours& api, const std::vector<std::string>& archives, int rounds, int repeat, int64_t bytes) {
  std::vector<double> ours, la, ls;
  bool laOk = true, lsOk = true;
  for (int round = 0; round < rounds; ++round) {
    double t = bench::CpuSeconds();
    for (int i = 0; i < repeat; ++i)
      for (const auto& a : archives)
        if (decodeOurs(api, a) < 0) {
          fprintf(stderr, "our decoder failed on %s\n", a.c_str());
          exit(1);
        }
    ours.push_back(double(bytes) * repeat / 1e6 / (bench::CpuSeconds() - t));
    t = bench::CpuSeconds();
    for (int i = 0; i < repeat && laOk; ++i)
      for (const auto& a : archives) laOk = laOk && decodeLibarchive(a) >= 0;
    la.push_back(double(bytes) * repeat / 1e6 / (bench::CpuSeconds() - t));
    // lsar runs once per archive (a process each time: repeating it would
    // only repeat its start-up).
    double child = 0;
    for (const auto& a : archives) {
      const double s = lsarSeconds(a);
      lsOk = lsOk && s >= 0;
      child += s;
    }
    ls.push_back(double(bytes) / 1e6 / child);
  }
  return {bench::Median(ours), laOk ? bench::Median(la) : 0, lsOk ? bench::Median(ls) : 0};
}

void print(const std::string& what, int64_t bytes, const Result& r) {
  printf("%s (%.1f MB)\n", what.c_str(), double(bytes) / 1e6);
  printf("  ours        %8.1f MB/s\n", r.ours);
  if (r.libarchive > 0)
    printf("  libarchive  %8.1f MB/s   ours/libarchive %.2fx\n", r.libarchive, r.ours / r.libarchive);
  else
    printf("  libarchive  failed\n");
  if (r.lsar > 0)
    printf("  unar (lsar) %8.1f MB/s   ours/unar %.2fx\n", r.lsar, r.ours / r.lsar);
  else
    printf("  unar (lsar) failed\n");
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
  printf("CPU: %s\n", bench::CpuModel().c_str());
  const Ours api = bench::LoadOurUnrar();

  // The single-file RAR 5 fixtures that every decoder reads whole (no
  // password, no links lsar refuses to test).
  std::vector<std::string> fixtures;
  int64_t fixtureBytes = 0;
  if (fs::exists(LUMESKAR_SHARED_FIXTURES))
    for (auto& e : fs::directory_iterator(LUMESKAR_SHARED_FIXTURES)) {
      const std::string name = e.path().filename().string();
      if (name.rfind("test_read_format_rar5_", 0) != 0 || name.find(".part") != std::string::npos) continue;
      const int64_t bytes = decodeOurs(api, e.path().string());
      if (bytes <= 0 || decodeLibarchive(e.path().string()) != bytes || lsarSeconds(e.path().string()) < 0) continue;
      fixtures.push_back(e.path().string());
      fixtureBytes += bytes;
    }
  if (!fixtures.empty()) {
    // Enough repeats for about 50 MB per round: the fixtures are small.
    const int repeat = int(std::max<int64_t>(1, 50'000'000 / fixtureBytes));
    print(std::to_string(fixtures.size()) + " RAR 5 fixtures, each decoded " + std::to_string(repeat) + " times",
          fixtureBytes, measure(api, fixtures, rounds, repeat, fixtureBytes));
    printf("  (lsar starts a process per archive: on files this small that start dominates)\n");
  }
  for (int i = 2; i < argc; ++i) {
    const int64_t bytes = decodeOurs(api, argv[i]);
    if (bytes < 0) {
      fprintf(stderr, "our decoder failed on %s\n", argv[i]);
      return 1;
    }
    print(argv[i], bytes, measure(api, {argv[i]}, rounds, 1, bytes));
  }
  return 0;
}
