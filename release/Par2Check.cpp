#include "release/Par2Check.h"

#include "par2/PacketReader.h"
#include "par2/Repair.h"
#include "par2/Verify.h"
#include "platform/DirSearch.h"
#include "platform/Path.h"

namespace release {

namespace {

void PrintResult(std::FILE* out, const std::string& what, const std::string& result) {
  std::fprintf(out, "%-60s %s\n", what.c_str(), result.c_str());
}

struct Tally {
  size_t ok = 0, damaged = 0, missing = 0, renamed = 0;
};

Tally Report(std::FILE* out, const par2::RecoverySet& set, const par2::Verification& v, bool quiet) {
  Tally t;
  for (size_t i = 0; i < set.files.size(); ++i) {
    const par2::SourceFile& f = set.files[i];
    const par2::FileResult& r = v.files[i];
    const std::string all = std::to_string(f.slices.size());
    switch (r.status) {
      case par2::FileStatus::Intact:
        ++t.ok;
        if (!quiet) PrintResult(out, f.name, "OK");
        break;
      case par2::FileStatus::Renamed:
        ++t.renamed;
        PrintResult(out, f.name, "RENAMED (found as " + platform::FileNameOf(r.foundAt) + ")");
        break;
      case par2::FileStatus::Damaged:
        ++t.damaged;
        PrintResult(out, f.name, "DAMAGED (" + std::to_string(r.slicesFound) + " of " + all + " slices intact)");
        break;
      case par2::FileStatus::Missing:
        ++t.missing;
        PrintResult(out, f.name, "MISSING");
        break;
    }
  }
  std::fprintf(out, "%zu OK, %zu DAMAGED, %zu MISSING, %zu RENAMED\n", t.ok, t.damaged, t.missing, t.renamed);
  return t;
}

}  // namespace

bool IsPar2Name(const std::string& path) { return platform::WildcardMatch("*.par2", platform::FileNameOf(path)); }

int CheckPar2(const std::string& par2Path, bool quiet, bool repair, std::FILE* out) {
  auto set = par2::ReadRecoverySet(par2Path);
  if (!set) {
    std::fprintf(stderr, "lumeskar-check: %s: %s\n", par2Path.c_str(), set.message().c_str());
    return 2;
  }
  auto v = par2::Verify(*set);
  if (!v) return 2;
  Report(out, *set, *v, quiet);
  if (v->AllIntact()) {
    std::fprintf(out, "Everything OK\n");
    return 0;
  }
  if (!v->Repairable()) {
    std::fprintf(out, "Repair not possible: %u more recovery slices needed (%u missing, %u at hand)\n", v->MoreNeeded(),
                 v->missingSlices, v->recoveryAvailable);
    return 2;
  }
  if (!repair) {
    std::fprintf(out, "Repair possible: %u recovery slices needed, %u at hand\n", v->missingSlices,
                 v->recoveryAvailable);
    return 1;
  }
  auto report = par2::Repair(*set, *v);
  if (!report) {
    std::fprintf(out, "Repair failed: %s\n", report.message().c_str());
    return 2;
  }
  for (const std::string& name : report->renamed) PrintResult(out, name, "RENAMED BACK");
  for (size_t i = 0; i < report->rebuilt.size(); ++i) PrintResult(out, report->rebuilt[i], "REPAIRED");
  for (const std::string& kept : report->kept) std::fprintf(out, "Damaged original kept as %s\n", kept.c_str());
  std::fprintf(out, "Repair complete\n");
  return 0;
}

}  // namespace release
