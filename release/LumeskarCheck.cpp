// lumeskar-check [-q] FILE.sfv: verifies the files listed in an SFV file with
// the same parser and checksum code as the window, for scripts and benchmarks.
// Exit status: 0 everything good, 1 anything failed, 2 the SFV unreadable, the
// report not written or the command line wrong. On a .par2 file it verifies
// (with --repair, repairs) the recovery set's files instead
// (release/Par2Check).
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/CheckCommandLine.h"
#include "platform/DirSearch.h"
#include "platform/FileRead.h"
#include "platform/Path.h"
#include "release/CRC.h"
#include "release/ListedFiles.h"
#include "release/Par2Check.h"
#include "release/SfvEntries.h"

namespace {

struct Tally {
  size_t ok = 0, missing = 0, bad = 0, unreadable = 0, malformed = 0;
  size_t Failures() const { return missing + bad + unreadable + malformed; }
};

void PrintResult(const std::string& what, const char* result) { std::printf("%-60s %s\n", what.c_str(), result); }

// `code`, once everything printed has reached standard output; 2 when some of
// it could not be written (a full disk): a script must not take a report it
// never got for a pass.
int Finish(int code) {
  const bool flushed = std::fflush(stdout) == 0;
  const int error = errno;
  if (flushed && !std::ferror(stdout)) return code;
  // A write that failed earlier leaves only the stream's error mark, no reason.
  if (flushed)
    std::fprintf(stderr, "lumeskar-check: cannot write the report\n");
  else
    std::fprintf(stderr, "lumeskar-check: cannot write the report: %s\n", std::strerror(error));
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const cli::Parsed command = cli::Parse(cli::kCheck, argc, argv);
  if (std::optional<int> exitCode = cli::Answer(cli::kCheck, command)) return Finish(*exitCode);
  const bool quiet = command.Has(cli::kQuiet.longName);
  const std::string& sfvPath = command.operands.front();
  const bool repair = command.Has(cli::kRepair.longName);
  if (release::IsPar2Name(sfvPath)) return Finish(release::CheckPar2(sfvPath, quiet, repair, stdout));
  if (repair) {
    std::fprintf(stderr,
                 "lumeskar-check: --repair needs a .par2 file\n%sTry 'lumeskar-check --help' for more information.\n",
                 std::string(cli::kCheck.usage).c_str());
    return 2;
  }
  auto text = platform::ReadWholeFile(sfvPath);
  if (!text) {
    if (text.message() == std::strerror(EFBIG))
      std::fprintf(stderr, "lumeskar-check: %s is larger than %llu MiB\n", sfvPath.c_str(),
                   static_cast<unsigned long long>(platform::kMaxTextFileSize >> 20));
    else
      std::fprintf(stderr, "lumeskar-check: cannot read %s\n", sfvPath.c_str());
    return 2;
  }
  // Listed names are relative to the SFV file's own folder.
  const std::string folder = platform::FolderOf(sfvPath);

  Tally tally;
  const auto items = release::ParseSfv(*text);
  release::ListedFiles files(folder);
  for (const auto& item : items) {
    if (!item.valid) {
      PrintResult("line " + std::to_string(item.line), "MALFORMED LINE");
      ++tally.malformed;
      continue;
    }
    const std::string path = files.Path(item.name);
    if (!platform::FileExists(path)) {
      PrintResult(item.name, "MISSING");
      ++tally.missing;
      continue;
    }
    const platform::Expected<std::optional<uint32_t>> crc = release::FileCrc32(path);
    if (!crc) {
      PrintResult(item.name, "UNREADABLE");
      ++tally.unreadable;
    } else if (**crc != item.crc) {
      PrintResult(item.name, "BAD CRC");
      ++tally.bad;
    } else {
      if (!quiet) PrintResult(item.name, "OK");
      ++tally.ok;
    }
  }

  std::printf("%zu OK, %zu MISSING, %zu BAD CRC, %zu UNREADABLE, %zu MALFORMED LINE\n", tally.ok, tally.missing,
              tally.bad, tally.unreadable, tally.malformed);
  if (items.empty()) {
    std::printf("No files listed\n");
    return Finish(1);
  }
  std::printf(tally.Failures() == 0 ? "Everything OK\n" : "Errors occurred\n");
  return Finish(tally.Failures() == 0 ? 0 : 1);
}
