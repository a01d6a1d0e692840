#pragma once
// What every benchmark program needs: medians of its rounds, the CPU time
// the process has used, and the CPU it ran on (the results depend on it).
#include <stdlib.h>
#include <sys/resource.h>

#include <cstdio>
#include <filesystem>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

namespace bench {

inline double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// CPU seconds (user + system) of all this process's threads so far.
inline double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  auto s = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return s(u.ru_utime) + s(u.ru_stime);
}

// The value of the first /proc/cpuinfo line that starts with `key` ("" if none).
inline std::string CpuInfoLine(const std::string& key) {
  std::ifstream in("/proc/cpuinfo");
  for (std::string line; std::getline(in, line);)
    if (line.rfind(key, 0) == 0) return line.substr(line.find(':') + 2);
  return "";
}

inline std::string CpuModel() {
  std::string model = CpuInfoLine("model name");
  return model.empty() ? "unknown CPU" : model;
}

// A new folder below `parent`, removed with everything in it when this goes
// out of scope. Exits the program when the folder cannot be made.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& parent) {
    std::string name = parent + "/lumeskar-bench-XXXXXX";
    if (!mkdtemp(name.data())) {
      std::perror("mkdtemp");
      std::exit(1);
    }
    path_ = name;
  }
  ~ScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace bench
