#pragma once
// Recovery sets made by Debian's par2 over files of random bytes, the damage
// done to them, and what `par2 verify` says about the result.
#include <sys/wait.h>

#include <cstdio>
#include <map>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "tests/common/RandomBytes.h"
#include "tests/common/Shell.h"
#include "tests/common/TempDir.h"

namespace par2test {

using testing_support::RandomBytes;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

inline std::string Quote(const std::string& s) { return "'" + s + "'"; }

// Runs a shell command; its output and exit code.
inline std::pair<int, std::string> Shell(const std::string& command) {
  const testing_support::ShellResult r = testing_support::Shell(command + " 2>&1");
  return {r.exitCode, r.output};
}

// `par2 create` in `dir` over `names`; `amount` is "-r10" (percent) or
// "-c3" (recovery slices).
inline bool CreateSet(const TempDir& dir, const std::vector<std::string>& names, size_t sliceSize,
                      const std::string& amount) {
  std::string command =
      "cd " + Quote(dir.path()) + " && par2 create -q -q -s" + std::to_string(sliceSize) + " " + amount + " set.par2";
  for (const std::string& n : names) command += " " + Quote(n);
  return Shell(command).first == 0;
}

// What `par2 verify` reports.
struct Par2Says {
  std::map<std::string, size_t> found;   // data slices found per file under its name
  std::vector<std::string> renamedFrom;  // other files that are a whole file of the set
  size_t available = 0, total = 0, recovery = 0, needMore = 0;
  bool intact = false;
};

inline Par2Says Par2Verify(const TempDir& dir, const std::vector<std::string>& extra) {
  std::string command = "cd " + Quote(dir.path()) + " && par2 verify set.par2";
  for (const std::string& n : extra) command += " " + Quote(n);
  const std::string out = Shell(command).second;
  Par2Says says;
  std::smatch m;
  const std::regex target("Target: \"([^\"]*)\" - (found|damaged|missing)\\.(?: Found ([0-9]+) of ([0-9]+))?");
  for (auto it = std::sregex_iterator(out.begin(), out.end(), target); it != std::sregex_iterator(); ++it) {
    const std::smatch& t = *it;
    says.found[t[1]] = t[2] == "damaged" ? std::stoul(t[3]) : 0;
    if (t[2] == "found") says.found[t[1]] = SIZE_MAX;  // all: filled in by the caller
  }
  const std::regex match("File: \"([^\"]*)\" - is a match for");
  for (auto it = std::sregex_iterator(out.begin(), out.end(), match); it != std::sregex_iterator(); ++it)
    says.renamedFrom.push_back((*it)[1]);
  if (std::regex_search(out, m, std::regex("You have ([0-9]+) out of ([0-9]+) data blocks available")))
    says.available = std::stoul(m[1]), says.total = std::stoul(m[2]);
  if (std::regex_search(out, m, std::regex("You have ([0-9]+) recovery blocks available")))
    says.recovery = std::stoul(m[1]);
  if (std::regex_search(out, m, std::regex("You need ([0-9]+) more recovery blocks"))) says.needMore = std::stoul(m[1]);
  says.intact = out.find("All files are correct") != std::string::npos;
  return says;
}

}  // namespace par2test
