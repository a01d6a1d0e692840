// Extracts a >= 1 GiB stored volume set through the C API (libunrar.so loaded
// with dlopen) and compares the time with `cat` of the same volumes into one
// file on the same disk. Prints the ratio; the aim is at most 1.1.
//   bench_unrar [folder-for-temp-files] [size-in-MiB] [rounds]
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "tools/RarWriter.h"
#include "unrar/unrar.h"

namespace fs = std::filesystem;

namespace {

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double timeCat(const std::vector<std::string>& vols, const std::string& out) {
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, 1);
    std::vector<char*> argv{const_cast<char*>("cat")};
    for (auto& v : vols) argv.push_back(const_cast<char*>(v.c_str()));
    argv.push_back(nullptr);
    execvp("cat", argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  double t = seconds(start);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    fprintf(stderr, "cat failed\n");
    exit(1);
  }
  return t;
}

struct Api {
  decltype(&RAROpenArchive) open;
  decltype(&RARReadHeader) read;
  decltype(&RARProcessFile) process;
  decltype(&RARCloseArchive) close;
};

double timeExtract(const Api& api, const std::string& first, const std::string& dest) {
  auto start = std::chrono::steady_clock::now();
  RAROpenArchiveData od{};
  od.ArcName = const_cast<char*>(first.c_str());
  od.OpenMode = RAR_OM_EXTRACT;
  HANDLE h = api.open(&od);
  if (!h) {
    fprintf(stderr, "open failed: %u\n", od.OpenResult);
    exit(1);
  }
  RARHeaderData hd{};
  while (api.read(h, &hd) == 0) {
    int r = api.process(h, RAR_EXTRACT, const_cast<char*>(dest.c_str()), nullptr);
    if (r) {
      fprintf(stderr, "extract failed: %d\n", r);
      exit(1);
    }
  }
  api.close(h);
  return seconds(start);
}

}  // namespace

int main(int argc, char** argv) {
  std::string base = argc > 1 ? argv[1] : fs::temp_directory_path().string();
  uint64_t mib = argc > 2 ? std::stoull(argv[2]) : 1100;
  int rounds = argc > 3 ? std::max(1, std::stoi(argv[3])) : 7;
  const bench::ScratchFolder scratch(base);
  const fs::path dir = scratch.path();

  void* lib = dlopen(LUMESKAR_BINARY_DIR "/libunrar.so", RTLD_NOW);
  if (!lib) {
    fprintf(stderr, "%s\n", dlerror());
    return 1;
  }
  Api api{reinterpret_cast<decltype(&RAROpenArchive)>(dlsym(lib, "RAROpenArchive")),
          reinterpret_cast<decltype(&RARReadHeader)>(dlsym(lib, "RARReadHeader")),
          reinterpret_cast<decltype(&RARProcessFile)>(dlsym(lib, "RARProcessFile")),
          reinterpret_cast<decltype(&RARCloseArchive)>(dlsym(lib, "RARCloseArchive"))};

  rarwriter::RarOptions o;
  o.format = rarwriter::Format::Rar4;
  o.volumeSize = 100ull << 20;
  o.naming = rarwriter::Naming::Old;
  auto vols = rarwriter::WriteRar(dir.string(), "set", {rarwriter::Pattern("release.iso", mib << 20, 42)}, o);
  printf("set: %zu volumes, %llu MiB\n", vols.size(), static_cast<unsigned long long>(mib));

  // Alternating rounds, each side after a sync so neither pays for the
  // other's dirty pages, and with the side that goes first swapped every
  // round; the machine is shared, so medians are compared.
  std::vector<double> cats, apis;
  for (int round = 0; round < rounds; ++round) {
    for (int side = 0; side < 2; ++side) {
      sync();
      if ((side + round) % 2 == 0) {
        std::string out = (dir / "cat.out").string();
        cats.push_back(timeCat(vols, out));
        fs::remove(out);
      } else {
        apis.push_back(timeExtract(api, vols[0], (dir / "out").string()));
        fs::remove_all(dir / "out");
      }
    }
    printf("round %d: cat %.3f s, libunrar %.3f s\n", round + 1, cats.back(), apis.back());
  }
  const double bestCat = bench::Median(cats), bestApi = bench::Median(apis);
  double mb = double(mib) * 1048576.0 / 1e6;
  printf("median cat:      %.3f s  %.0f MB/s\n", bestCat, mb / bestCat);
  printf("median libunrar: %.3f s  %.0f MB/s\n", bestApi, mb / bestApi);
  printf("ratio libunrar/cat: %.2f (target <= 1.10)\n", bestApi / bestCat);
  // On a shared machine some rounds of either side stall; the fastest round
  // of each shows what the two do undisturbed.
  const double fastCat = *std::min_element(cats.begin(), cats.end());
  const double fastApi = *std::min_element(apis.begin(), apis.end());
  printf("fastest rounds: cat %.3f s, libunrar %.3f s, ratio %.2f\n", fastCat, fastApi, fastApi / fastCat);
  return 0;
}
