#include "extract/ExtractionRun.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "extract/FirstVolume.h"
#include "extract/FollowUp.h"
#include "extract/RARArc.h"
#include "extract/VolumeSet.h"
#include "platform/DirSearch.h"
#include "platform/FileRead.h"
#include "platform/Path.h"
#include "release/SfvEntries.h"

namespace extract {

void ExtractionRun::ExtractClicked() {
  const ExtractionOptions options = ui_.Options();
  if (options.chooseFolder) {
    ui_.ShowFolderPrompt(FolderPrompt::Extract);
    return;
  }
  if (ui_.Busy() || options.extractDir.empty()) return;
  ExtractWithoutCheck(options.extractDir);
}

bool ExtractionRun::FolderEntered(FolderPrompt prompt, const std::string& folder) {
  if (ui_.Busy()) return false;  // one check or extraction at a time
  mkdir(folder.c_str(), 0777);   // one level; it may already exist
  if (!platform::FolderExists(folder))
    ui_.ShowMessage("Error creating directory (" + folder + " possibly contains invalid characters");
  else if (prompt == FolderPrompt::Extract)
    ExtractWithoutCheck(folder);
  else
    ExtractAfterCheckInto(folder);
  return true;
}

void ExtractionRun::AfterCleanCheck() {
  // The check went through every listed file; extraction starts from the
  // set's first volume, not from whatever file the list happens to end with.
  if (auto text = platform::ReadWholeFile(ctx_.sfvfile)) {
    const std::string name = FindFirstVolume(release::SfvEntryNames(release::NormalizeLineBreaks(*text)));
    if (!name.empty()) ctx_.archivefile = release::ListedFilePath(ReleaseFolder(), name);
  }
  const ExtractionOptions options = ui_.Options();
  if (options.chooseFolder) ui_.ShowFolderPrompt(FolderPrompt::AfterCheck);
  if (!options.extractToDir) return;
  const std::string folder = options.extractDir;
  // No configured folder: the library would unpack into whatever folder the
  // program was started from. As with the "Extract" label, nothing happens.
  if (folder.empty()) return;
  ui_.ProcessMessages();
  ui_.SetStatus(kStatusExtracting);
  ui_.ProcessMessages();
  const Outcome outcome = Extract(ctx_.archivefile, folder);
  ui_.ProcessMessages();
  // CANCEL clicked after the data was out still stops the follow-up program.
  const bool cancelledLate = ctx_.cancelcheck;
  ctx_.cancelcheck = false;
  // After a failure the error stays on the status line and nothing starts.
  if (outcome == Outcome::Extracted && !cancelledLate) FollowUp(folder, true);
}

void ExtractionRun::Cancel() {
  if (active_) cancelled_ = true;
}

void ExtractionRun::WindowClosing() {
  if (!ui_.Busy()) return;
  ctx_.cancelcheck = true;
  Cancel();
}

int ExtractionRun::OnData(TRAR& sender, int size) {
  if (!active_) return 1;
  done_ += static_cast<uint64_t>(size > 0 ? size : 0);
  if (std::chrono::steady_clock::now() - lastPump_ >= release::kPumpInterval) {
    ui_.ShowProgress(done_, total_);
    ui_.ProcessMessages();
    lastPump_ = std::chrono::steady_clock::now();
  }
  if (active_ && cancelled_) {
    sender.Stop = true;
    return 0;  // abandons the entry being unpacked
  }
  return 1;
}

void ExtractionRun::OnError() { ui_.SetStatus(kStatusExtractError); }

void ExtractionRun::OnExtracting() { ui_.SetStatus(kStatusExtracting); }

std::string PasswordPrompt(const std::string& archive, const std::string& entry) {
  return entry.empty() ? "Enter the password for " + archive + ":"
                       : "Enter the password for " + entry + " in " + archive + ":";
}

std::string WrongPasswordMessage(const std::string& name, int error) {
  return (error == ERAR_BAD_PASSWORD ? "Wrong password for " : "Wrong password or damaged data in ") + name;
}

void ExtractionRun::OnPasswordRequest(const RARHeaderData& header, std::string& password) {
  if (declined_) {
    std::fill(password.begin(), password.end(), '\0');
    password.clear();
    return;
  }
  if (!password.empty() && !askAgain_) return;  // the run's password
  const std::string entry(header.FileName, strnlen(header.FileName, sizeof header.FileName));
  std::string answer;
  // The first prompt names the archive; one after a wrong password the entry too.
  const bool asked = ui_.AskPassword(PasswordPrompt(platform::FileNameOf(archive_), askAgain_ ? entry : ""), answer);
  askAgain_ = false;
  std::fill(password.begin(), password.end(), '\0');
  password.clear();
  if (!asked || answer.empty()) {
    declined_ = true;  // the rest of the encrypted entries are skipped
    return;
  }
  password.swap(answer);
}

void ExtractionRun::OnBadPassword(const RARHeaderData& header, int error) {
  const std::string entry(header.FileName, strnlen(header.FileName, sizeof header.FileName));
  ui_.ShowMessage(WrongPasswordMessage(entry.empty() ? platform::FileNameOf(archive_) : entry, error));
  askAgain_ = true;
}

void ExtractionRun::OnExtracted(const RARHeaderData& entry, bool written) {
  if (active_ && written) written_.emplace_back(entry.FileName, strnlen(entry.FileName, sizeof entry.FileName));
  ui_.SetStatus(ui_.Options().runAfter ? kStatusCompletedRun : kStatusCompletedAll);
}

void ExtractionRun::ExtractWithoutCheck(const std::string& folder) {
  ui_.Busy() = true;
  ctx_.cancelcheck = false;  // only a click made during this extraction counts
  ui_.SetStatus(kStatusExtracting);
  SearchFirstVolume();
  if (!platform::FileExists(ctx_.archivefile)) {
    // Nothing to extract, so nothing to hand to the follow-up program.
    ui_.SetStatus(kStatusNoArchive);
    ui_.Busy() = false;
    return;
  }
  ShowCancel(true);
  const Outcome outcome = Extract(ctx_.archivefile, folder);
  ShowCancel(false);
  // A failure keeps the error the extraction reported and starts nothing,
  // as after a check.
  if (outcome == Outcome::Extracted) ui_.SetStatus(kStatusDoneNoCheck);
  if (auto text = platform::ReadWholeFile(ctx_.sfvfile)) ui_.EntryList() = release::NormalizeLineBreaks(*text);
  if (outcome == Outcome::Extracted) FollowUp(folder, false);
  ui_.Busy() = false;
}

void ExtractionRun::ExtractAfterCheckInto(const std::string& folder) {
  ui_.Busy() = true;
  ctx_.cancelcheck = false;  // only a click made during this extraction counts
  ui_.ProcessMessages();
  ui_.SetStatus(kStatusExtracting);
  ui_.ProcessMessages();
  ShowCancel(true);
  const Outcome outcome = Extract(ctx_.archivefile, folder);
  ShowCancel(false);
  ui_.ProcessMessages();
  if (outcome == Outcome::Extracted) FollowUp(folder, true);
  ui_.Busy() = false;
}

ExtractionRun::Outcome ExtractionRun::Extract(const std::string& archive, const std::string& folder) {
  // After a check, CANCEL stays clickable while the hand-off processes
  // messages; a click there must stop the extraction before it begins.
  cancelled_ = ctx_.cancelcheck;
  written_.clear();
  done_ = 0;
  total_ = SetSize(archive);
  lastPump_ = std::chrono::steady_clock::now();
  archive_ = archive;
  declined_ = askAgain_ = false;
  TRAR& rar = *rar_;
  rar.ArchiveName = archive;
  rar.TargetDir = folder;
  bool extracted = false;
  if (!cancelled_) {
    active_ = true;
    rar.Stop = false;
    ui_.ShowProgress(0, total_);
    extracted = rar.ExtractArchive();
    active_ = false;
    rar.Stop = false;
    ui_.HideProgress();
  }
  const bool finished = !cancelled_;
  if (!finished) {
    ctx_.cancelcheck = false;  // the request was for this extraction and is honoured
    ui_.SetStatus(kStatusCancelled);
  }
  cancelled_ = false;
  if (!finished) return Outcome::Cancelled;
  return extracted ? Outcome::Extracted : Outcome::Failed;
}

// The first-volume search of an extraction without a check.
void ExtractionRun::SearchFirstVolume() {
  const std::string name = FindFirstVolume(release::SfvEntryNames(ui_.EntryList()));
  ctx_.checkfile = release::ListedFilePath(ReleaseFolder(), name);
  ui_.ProcessMessages();
  ctx_.archivefile = ctx_.checkfile;
}

// The folder the release's listed files lie in: the SFV file's folder.
std::string ExtractionRun::ReleaseFolder() const {
  return ctx_.sfvfile.empty() ? std::string() : platform::FolderOf(ctx_.sfvfile);
}

// Image search in `folder`, then the follow-up program when it is enabled.
// With `report`, the status line tells whether the program started. Only an
// image the run has just written is taken: one left in the folder from
// before, or found by an earlier run, is never handed on.
void ExtractionRun::FollowUp(const std::string& folder, bool report) {
  ExtractionOptions options = ui_.Options();
  const std::string image = FindWrittenImage(folder, options.useBin, options.useCue, written_);
  ctx_.imagefile = image;
  if (!image.empty()) {
    ctx_.imagesearch.Name = platform::FileNameOf(image);
    ui_.ShowImage(ctx_.imagefile);
  }
  options = ui_.Options();
  if (!options.runAfter) return;

  const std::string& command = options.afterRun;
  if (auto args = BuildFollowUpArgs(command, ctx_.imagefile)) {
    std::string parameters;
    for (size_t i = 1; i < args->size(); ++i) parameters += (i > 1 ? " " : "") + (*args)[i];
    ui_.ShowFollowUp(args->front(), parameters);
  }
  const auto launched = LaunchFollowUp(command, ctx_.imagefile);
  if (report) ui_.SetStatus(launched.ok() ? kStatusLaunched : kStatusNotLaunched);
}

// CANCEL lies over the origin-site line, so the line is hidden while CANCEL
// shows, as during a check.
void ExtractionRun::ShowCancel(bool shown) {
  ui_.SetCancelVisible(shown);
  ui_.SetOriginVisible(!shown);
}

}  // namespace extract
