// bench_volume_names [COUNT]
//
// A RAR 5 first volume that holds one whole entry and the start of a second,
// beside COUNT - 1 (default 2,999) empty files that carry the next volumes'
// names, extracted through TRAR as the window runs it: once as written and
// once behind a 100-byte prefix (where the library searches each empty file
// for a signature). Each case runs in its own process; prints its seconds
// and peak resident memory, and the ratio of the prefixed case to the plain
// one. The extraction must end in an error at the first empty volume in
// bounded memory: both cases should need a few MiB.
#include "bench/BenchSupport.h"
#include "extract/RARArc.h"
#include "tools/RarWriter.h"

#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Outcome {
  double seconds = 0;
  long peakKiB = 0;
  int exitCode = -1;  // 0: the first entry came out and the set ended in an error
};

// Extracts `first` into `out` in a child process and reports its time and
// peak resident size.
Outcome Extract(const std::string& first, const std::string& out) {
  std::fflush(stdout);
  const auto start = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    TRAR rar(std::string(LUMESKAR_BINARY_DIR) + "/libunrar.so");
    if (!rar.LoadedDLL()) _exit(3);
    int errors = 0;
    rar.OnError = [&](TRAR*, int) { ++errors; };
    rar.ArchiveName = first;
    rar.TargetDir = out + "/";
    const bool ok = rar.ExtractArchive();
    _exit(!ok && errors > 0 && fs::exists(out + "/a.txt") ? 0 : 1);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  Outcome o;
  o.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  o.peakKiB = usage.ru_maxrss;
  o.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return o;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::stoi(argv[1]) : 3000;
  const bench::ScratchFolder scratch("/tmp");
  const std::string& dir = scratch.path();

  std::printf("CPU: %s\n", bench::CpuModel().c_str());
  fs::create_directories(dir + "/src");
  rarwriter::RarOptions o;
  o.volumeSize = 4096;
  o.partDigits = 4;
  const auto volumes = rarwriter::WriteRar(
      dir + "/src", "x", {rarwriter::File("a.txt", std::string(1200, 'a')), rarwriter::Pattern("b.bin", 20000, 7)}, o);
  const std::string firstVolume = ReadAll(volumes[0]);

  int failures = 0;
  Outcome plain;
  for (const bool prefixed : {false, true}) {
    const std::string set = dir + (prefixed ? "/prefixed" : "/plain");
    fs::create_directories(set + "/out");
    std::ofstream(set + "/x.part0001.rar", std::ios::binary) << (prefixed ? std::string(100, 'P') : "") << firstVolume;
    std::ofstream(set + "/empty", std::ios::binary).flush();
    for (int i = 2; i <= count; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "/x.part%04d.rar", i);
      fs::create_hard_link(set + "/empty", set + name);
    }
    const Outcome r = Extract(set + "/x.part0001.rar", set + "/out");
    failures += r.exitCode != 0;
    std::printf("%-8s %d volume names: %.3f s, peak %.1f MiB%s\n", prefixed ? "prefixed" : "plain", count, r.seconds,
                r.peakKiB / 1024.0, r.exitCode == 0 ? "" : "  (did not end as expected)");
    if (!prefixed)
      plain = r;
    else
      std::printf("ratio prefixed / plain: %.2fx time, %.2fx peak memory\n", r.seconds / plain.seconds,
                  double(r.peakKiB) / double(plain.peakKiB));
  }
  return failures ? 1 : 0;
}
