#include "release/RepairRun.h"

#include <chrono>
#include <optional>

#include "par2/PacketReader.h"
#include "par2/Repair.h"
#include "par2/Verify.h"
#include "platform/DirSearch.h"

namespace release {

namespace {

struct BusyMark {
  bool& busy;
  explicit BusyMark(bool& b) : busy(b) { busy = true; }
  ~BusyMark() { busy = false; }
};

struct Checked {
  par2::RecoverySet set;
  par2::Verification v;
};

// What every pass over the recovery set shares: the window's look during
// the pass, progress on the strip, the event pump and CANCEL.
class Pass {
 public:
  Pass(VerificationUi& ui, ReleaseContext& context) : ui_(ui), c_(context), busy_(ui.Busy()) {
    c_.cancelcheck = false;
    ui_.SetCancelVisible(true);
    ui_.SetOriginVisible(false);
  }
  ~Pass() { Restore(); }

  // The window as after a check; the status line is the caller's to set.
  void Restore() {
    ui_.HideProgress();
    ui_.SetCancelVisible(false);
    ui_.SetOriginVisible(true);
  }

  bool cancelled() const { return cancelled_; }

  // Reads and verifies the set; nothing when cancelled or unreadable (the
  // reason shown in a message box).
  std::optional<Checked> Verify() {
    ui_.SetStatus(Par2ProgressText(c_.par2file));
    auto set = par2::ReadRecoverySet(c_.par2file, [&](uint64_t done, uint64_t total) { return Tick(done, total, ""); });
    if (!set) {
      if (!Cancelled()) ui_.ShowMessage("Warning: " + c_.par2file + ": " + set.message());
      return std::nullopt;
    }
    auto v = par2::Verify(*set, [&](uint64_t done, uint64_t total, const std::string& name) {
      return Tick(done, total, name.empty() ? "" : set->folder + name);
    });
    if (!v) {
      Cancelled();
      return std::nullopt;
    }
    return Checked{std::move(*set), std::move(*v)};
  }

  platform::Expected<par2::RepairReport> Repair(const Checked& checked) {
    ui_.SetStatus(kStatusRepairing);
    lastPump_ = {};  // the window sees the new phase at once
    auto report = par2::Repair(checked.set, checked.v, [&](uint64_t done, uint64_t total, const std::string&) {
      return Tick(done, total, "");
    });
    if (!report) Cancelled();
    return report;
  }

 private:
  bool Tick(uint64_t done, uint64_t total, const std::string& path) {
    const auto now = std::chrono::steady_clock::now();
    if (now - lastPump_ < kPumpInterval) return !c_.cancelcheck;
    lastPump_ = now;
    if (!path.empty() && path != shown_ && !c_.cancelcheck) {
      shown_ = path;
      ui_.SetStatus(Par2ProgressText(path));
    }
    ui_.ShowProgress(done, total);
    ui_.ProcessMessages();
    return !c_.cancelcheck;
  }

  // True (and the request taken) when CANCEL was clicked.
  bool Cancelled() {
    if (!c_.cancelcheck) return false;
    c_.cancelcheck = false;
    cancelled_ = true;
    return true;
  }

  VerificationUi& ui_;
  ReleaseContext& c_;
  BusyMark busy_;
  std::string shown_;
  bool cancelled_ = false;
  std::chrono::steady_clock::time_point lastPump_{};
};

// The status line after a verification that found damage.
void Offer(VerificationUi& ui, ReleaseContext& context, const par2::Verification& v) {
  context.repairoffered = v.Repairable();
  ui.SetStatus(v.Repairable() ? RepairOfferText(v.missingSlices) : RepairImpossibleText(v.MoreNeeded()));
}

// The archive extraction starts from when the set alone was checked: the
// first of its files (in name order) ending in .rar, else its first file.
std::string FirstArchive(const par2::RecoverySet& set) {
  std::string best;
  for (const par2::SourceFile& f : set.files)
    if (platform::WildcardMatch("*.rar", f.name) && (best.empty() || f.name < best)) best = f.name;
  if (best.empty() && !set.files.empty()) best = set.files.front().name;
  return best.empty() ? "" : set.folder + best;
}

// After an SFV check that ended with errors: looks at the recovery set.
void LookAtRecoverySet(VerificationUi& ui, ReleaseContext& context) {
  std::optional<Checked> checked;
  {
    Pass pass(ui, context);
    checked = pass.Verify();
  }
  // A set that finds its files intact does not cover what the SFV check
  // found wrong: the check's verdict stands.
  if (!checked || checked->v.AllIntact()) {
    ui.SetStatus(kStatusCompletedWithErrors);
    return;
  }
  Offer(ui, context, checked->v);
}

// The release checked through its recovery set alone (no SFV file).
RunOutcome CheckThroughSet(VerificationUi& ui, ReleaseContext& context, const RunSettings& settings) {
  context.checkresult.clear();
  Pass pass(ui, context);
  std::optional<Checked> checked = pass.Verify();
  if (!checked || !checked->v.AllIntact()) {
    context.checkresult = "error";
    pass.Restore();
    if (checked)
      Offer(ui, context, checked->v);
    else
      ui.SetStatus(kStatusPar2Failed);
    return pass.cancelled() ? RunOutcome::Cancelled : RunOutcome::Failed;
  }
  context.archivefile = FirstArchive(checked->set);
  pass.Restore();
  ui.SetStatus(kStatusPar2Completed);
  if (settings.afterCleanRun) settings.afterCleanRun();
  return RunOutcome::Clean;
}

RunOutcome CheckRelease(VerificationUi& ui, ReleaseContext& context, const RunSettings& settings) {
  if (context.sfvfile.empty()) return CheckThroughSet(ui, context, settings);
  const RunOutcome outcome = RunVerification(ui, context, settings);
  if (outcome == RunOutcome::Failed && !context.par2file.empty()) LookAtRecoverySet(ui, context);
  return outcome;
}

RunOutcome RepairRelease(VerificationUi& ui, ReleaseContext& context, const RunSettings& settings) {
  context.repairoffered = false;
  {
    Pass pass(ui, context);
    // Verified afresh: the files may have changed since the offer.
    std::optional<Checked> checked = pass.Verify();
    if (!checked) {
      pass.Restore();
      ui.SetStatus(kStatusCompletedWithErrors);
      return pass.cancelled() ? RunOutcome::Cancelled : RunOutcome::Failed;
    }
    if (!checked->v.AllIntact()) {
      if (!checked->v.Repairable()) {
        pass.Restore();
        Offer(ui, context, checked->v);
        return RunOutcome::Failed;
      }
      auto report = pass.Repair(*checked);
      if (!report) {
        pass.Restore();
        if (pass.cancelled()) {
          Offer(ui, context, checked->v);  // nothing was changed: the offer stands
          return RunOutcome::Cancelled;
        }
        ui.SetStatus(kStatusRepairFailed);
        ui.ShowMessage("Repair failed: " + report.message());
        return RunOutcome::Failed;
      }
    }
  }
  // Checked again as any release is, and handed on to extraction when clean.
  return CheckRelease(ui, context, settings);
}

}  // namespace

RunOutcome StatusLineClick(VerificationUi& ui, ReleaseContext& context, const RunSettings& settings) {
  if (ui.Busy() || context.cdcount != 0) return RunOutcome::NotStarted;
  if (context.repairoffered) return RepairRelease(ui, context, settings);
  if (context.sfvfile.empty() && context.par2file.empty()) return RunOutcome::NotStarted;
  return CheckRelease(ui, context, settings);
}

std::string FindPar2File(const std::string& folder) {
  const std::vector<std::string> names = platform::FindAll(folder, "*.par2");
  std::string first;
  for (const std::string& name : names) {
    const std::string path = platform::JoinPath(folder, name);
    if (!platform::FileExists(path) || platform::FolderExists(path)) continue;
    if (first.empty()) first = path;
    if (!platform::WildcardMatch("*.vol*", name)) return path;
  }
  return first;
}

std::string Par2ProgressText(const std::string& path) { return "PAR2 Check Progress: [" + path + "]"; }

std::string RepairOfferText(uint32_t blocksNeeded) {
  return "Repair possible: " + std::to_string(blocksNeeded) + " PAR2 blocks needed (click here to repair)";
}

std::string RepairImpossibleText(uint32_t blocksLacking) {
  return "Repair impossible: " + std::to_string(blocksLacking) + " more PAR2 blocks needed";
}

}  // namespace release
