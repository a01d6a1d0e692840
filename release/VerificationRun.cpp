#include "release/VerificationRun.h"
#include "platform/FileRead.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "platform/DirSearch.h"
#include "release/CRC.h"
#include "release/ListedFiles.h"
#include "release/SfvEntries.h"

namespace release {

namespace {

constexpr const char* kError = "error";

// The warning for the lines of `sfvfile` that are no valid entry: one line is
// named as such; of more, the count and the first few line numbers.
std::string MalformedLinesText(const std::string& sfvfile, const std::vector<size_t>& lines) {
  if (lines.size() == 1)
    return "Warning: Line " + std::to_string(lines[0]) + " of " + sfvfile + " is not a valid entry!";
  constexpr size_t kNamed = 5;
  std::string named;
  const size_t shown = std::min(lines.size(), kNamed);
  for (size_t i = 0; i < shown; ++i) {
    if (i > 0) named += (i + 1 == shown && lines.size() <= kNamed) ? " and " : ", ";
    named += std::to_string(lines[i]);
  }
  if (lines.size() > kNamed) named += ", ...";
  return "Warning: " + std::to_string(lines.size()) + " lines of " + sfvfile + " are not valid entries (lines " +
         named + ")!";
}

uint64_t SizeOf(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
}

// Marks the window busy for the length of a run, whichever way it ends.
struct BusyMark {
  bool& busy;
  explicit BusyMark(bool& b) : busy(b) { busy = true; }
  ~BusyMark() { busy = false; }
};

class Run {
 public:
  Run(VerificationUi& ui, ReleaseContext& context, const RunSettings& settings)
      : ui_(ui), v_(context), s_(settings), files_(settings.nfoFolder) {}

  RunOutcome Execute() {
    v_.cancelcheck = false;
    v_.checkresult.clear();
    ui_.SetStatus(kStatusProcessing);
    ui_.SetCancelVisible(true);
    ui_.SetOriginVisible(false);

    const std::vector<SfvItem> items = ParseSfv(ui_.EntryList());
    for (const auto& item : items)
      if (item.valid) total_ += SizeOf(files_.Path(item.name));
    ui_.ShowProgress(0, total_);

    if (items.empty()) {
      // Nothing listed means nothing was checked: never report that as a pass.
      ui_.ShowMessage("Warning: " + v_.sfvfile + " lists no files!");
      v_.checkresult = kError;
    }
    ReportMalformedLines(items);
    for (const auto& item : items) {
      if (!CheckItem(item)) break;
    }
    return Finish();
  }

 private:
  // Checks one line of the list; false when the run must stop.
  bool CheckItem(const SfvItem& item) {
    if (!item.valid) return true;  // reported before the check began
    v_.checkfile = files_.Path(item.name);
    Pump();
    if (cancelled_) return !HonourCancel();
    v_.archivefile = v_.checkfile;
    if (!platform::FileExists(v_.checkfile)) {
      ui_.ShowMessage("Warning: File " + v_.checkfile + " is missing!");
      v_.checkresult = kError;
      return false;
    }
    ui_.SetStatus("SFV File Check Progress: [" + v_.checkfile + "]");

    uint64_t fileDone = 0;
    const platform::Expected<std::optional<uint32_t>> sum = FileCrc32(v_.checkfile, [&](uint64_t done) {
      fileDone = done;
      if (std::chrono::steady_clock::now() - lastPump_ >= kPumpInterval) {
        ui_.ShowProgress(done_ + done, total_);
        Pump();
      }
      return !cancelled_;
    });
    done_ += fileDone;

    if (sum.ok() && !sum->has_value()) return !HonourCancel();  // the hook stopped the sum
    if (sum) v_.checkcrc = **sum;
    if (!sum) {
      ui_.ShowMessage("Warning: File " + v_.checkfile + " could not be read!");
      v_.checkresult = kError;
    } else if (v_.checkcrc != item.crc) {
      const std::string text = "ERROR IN FILE: " + v_.checkfile;
      ui_.SetStatus(text);
      ui_.ShowMessage(text);
      v_.checkresult = kError;
    }
    ui_.ShowProgress(done_, total_);
    Pump();
    return !(cancelled_ && HonourCancel());
  }

  // One message box for all the lines that are no valid entry, before the
  // first file is checked: a box per line would hold the run, CANCEL
  // included, for as many clicks as the file has bad lines.
  void ReportMalformedLines(const std::vector<SfvItem>& items) {
    std::vector<size_t> lines;
    for (const auto& item : items)
      if (!item.valid) lines.push_back(item.line);
    if (lines.empty()) return;
    ui_.ShowMessage(MalformedLinesText(v_.sfvfile, lines));
    v_.checkresult = kError;
  }

  void Pump() {
    ui_.ProcessMessages();
    lastPump_ = std::chrono::steady_clock::now();
    cancelled_ = v_.cancelcheck;
  }

  // Stops the run on a cancel request; always true, for use in conditions.
  bool HonourCancel() {
    ui_.SetCancelVisible(false);
    v_.cancelcheck = false;
    ui_.SetOriginVisible(true);
    v_.checkresult = kError;
    wasCancelled_ = true;
    return true;
  }

  RunOutcome Finish() {
    ui_.HideProgress();
    const bool clean = v_.checkresult != kError;
    if (clean) {
      ui_.SetStatus(kStatusCompleted);
      if (s_.afterCleanRun) s_.afterCleanRun();
    } else {
      ui_.SetStatus(kStatusCompletedWithErrors);
    }
    // Restore the full list so a further click checks the whole release.
    std::string& sfvmemo = ui_.EntryList();
    sfvmemo.clear();
    if (auto text = platform::ReadWholeFile(v_.sfvfile))
      sfvmemo = NormalizeLineBreaks(*text);
    else
      ui_.ReportError("Cannot open file " + v_.sfvfile);
    ui_.SetCancelVisible(false);
    ui_.SetOriginVisible(true);
    if (clean) return RunOutcome::Clean;
    return wasCancelled_ ? RunOutcome::Cancelled : RunOutcome::Failed;
  }

  VerificationUi& ui_;
  ReleaseContext& v_;
  const RunSettings& s_;
  ListedFiles files_;  // the release folder, read once per run
  uint64_t total_ = 0;
  uint64_t done_ = 0;
  bool cancelled_ = false;
  bool wasCancelled_ = false;
  std::chrono::steady_clock::time_point lastPump_ = std::chrono::steady_clock::now();
};

}  // namespace

RunOutcome RunVerification(VerificationUi& ui, ReleaseContext& context, const RunSettings& settings) {
  // Decided by the SFV path the run then reads, not by the search record:
  // disc probing can leave a name there while no SFV file was found.
  if (ui.Busy() || context.cdcount != 0 || context.sfvfile.empty()) return RunOutcome::NotStarted;
  BusyMark mark(ui.Busy());
  return Run(ui, context, settings).Execute();
}

void CancelVerification(VerificationUi& ui, ReleaseContext& context) {
  context.cancelcheck = true;
  ui.SetCancelVisible(false);
  ui.SetOriginVisible(true);
  ui.SetStatus(kStatusCompleted);
}

}  // namespace release
