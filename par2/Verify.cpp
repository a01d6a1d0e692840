#include "par2/Verify.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <thread>

#include "par2/File.h"
#include "par2/PacketReader.h"
#include "par2/SliceScan.h"
#include "par2/Workers.h"
#include "platform/DirSearch.h"

namespace par2 {

namespace {

// The first intact recovery slice of each exponent among set.unchecked joins
// set.recovery; the packets are hashed on all cores. False when cancelled.
bool CheckUnchecked(RecoverySet& set, std::atomic<uint64_t>& done, std::atomic<uint64_t>& total,
                    const std::function<bool()>& poll, std::atomic<bool>& cancel) {
  std::map<uint32_t, std::vector<const UncheckedRecovery*>> byExponent;
  for (const UncheckedRecovery& u : set.unchecked) {
    byExponent[u.slice.exponent].push_back(&u);
    total += u.packetLength;
  }
  std::vector<const std::vector<const UncheckedRecovery*>*> groups;
  for (const auto& [exponent, candidates] : byExponent) groups.push_back(&candidates);
  std::vector<const UncheckedRecovery*> intact(groups.size(), nullptr);
  auto job = [&](size_t g) {
    for (const UncheckedRecovery* u : *groups[g])
      if (RecoveryPacketIntact(*u, done, cancel)) {
        intact[g] = u;
        return;
      }
  };
  if (!RunJobs(groups.size(), WorkerThreads(), job, poll, cancel)) return false;
  for (const UncheckedRecovery* u : intact)
    if (u) set.recovery.push_back(u->slice);
  std::sort(set.recovery.begin(), set.recovery.end(),
            [](const RecoverySlice& a, const RecoverySlice& b) { return a.exponent < b.exponent; });
  set.unchecked.clear();
  return true;
}

// One file's data checked as one of the set's files.
struct Check {
  Check(size_t f, std::string p) : file(f), path(std::move(p)) {}
  size_t file;       // index into the set's files
  std::string path;  // where the data is read from
  WholeCheck whole = WholeCheck::Unreadable;
  std::vector<int64_t> found;
};

class Verifier {
 public:
  Verifier(RecoverySet& set, const VerifyProgress& progress) : set_(set), progress_(progress) {}

  platform::Expected<Verification> Run() {
    v_.files.resize(set_.files.size());
    v_.slices.resize(set_.sliceCount);

    std::vector<Check> checks;
    for (size_t i = 0; i < set_.files.size(); ++i) {
      uint64_t size = 0;
      const std::string path = set_.folder + set_.files[i].name;
      if (!RegularFileSize(path, size)) continue;
      total_ += size;
      checks.emplace_back(i, path);
    }
    if (!CheckAll(checks)) return platform::Expected<Verification>::Failed("cancelled");
    for (Check& c : checks) Apply(c, c.whole == WholeCheck::Intact ? FileStatus::Intact : FileStatus::Damaged);

    std::vector<Check> renamed = MatchRenamed();
    if (!CheckAll(renamed)) return platform::Expected<Verification>::Failed("cancelled");
    for (Check& c : renamed) Apply(c, c.whole == WholeCheck::Intact ? FileStatus::Renamed : FileStatus::Missing);

    for (const SliceLocation& s : v_.slices) v_.missingSlices += s.source < 0;
    if (!v_.AllIntact() && !CheckUnchecked(
                               set_, done_, total_, [&] { return Poll(); }, cancel_))
      return platform::Expected<Verification>::Failed("cancelled");
    v_.recoveryAvailable = static_cast<uint32_t>(set_.recovery.size());
    return std::move(v_);
  }

 private:
  bool CheckAll(std::vector<Check>& checks) {
    auto job = [&](size_t i) {
      Check& c = checks[i];
      {
        std::lock_guard lock(nameMutex_);
        current_ = set_.files[c.file].name;
      }
      File file = File::OpenRead(c.path);
      if (!file.valid()) return;
      const SourceFile& f = set_.files[c.file];
      c.whole = CheckWhole(file, f, set_.sliceSize, done_, cancel_);
      if (c.whole == WholeCheck::Damaged) {
        total_ += file.Size();
        ScanSlices(file, f, set_.sliceSize, c.found, done_, cancel_);
      }
    };
    return RunJobs(
        checks.size(), WorkerThreads(), job, [&] { return Poll(); }, cancel_);
  }

  bool Poll() {
    if (!progress_) return true;
    std::string name;
    {
      std::lock_guard lock(nameMutex_);
      name = current_;
    }
    return progress_(done_, total_, name);
  }

  void Apply(const Check& c, FileStatus whenIntact) {
    const SourceFile& f = set_.files[c.file];
    FileResult& r = v_.files[c.file];
    if (c.whole == WholeCheck::Unreadable) return;  // counts as missing
    r.status = c.whole == WholeCheck::Intact
                   ? whenIntact
                   : (whenIntact == FileStatus::Renamed ? FileStatus::Missing : FileStatus::Damaged);
    r.foundAt = c.path;
    const int32_t source = static_cast<int32_t>(v_.sources.size());
    v_.sources.push_back(c.path);
    for (size_t i = 0; i < f.slices.size(); ++i) {
      const int64_t at = c.whole == WholeCheck::Intact ? static_cast<int64_t>(i * set_.sliceSize)
                                                       : (i < c.found.size() ? c.found[i] : -1);
      if (at < 0) continue;
      ++r.slicesFound;
      SliceLocation& s = v_.slices[f.firstSlice + i];
      if (s.source < 0) s = {source, static_cast<uint64_t>(at)};
    }
  }

  // Files missing under their names, paired with other files of the folder
  // that begin as they do.
  std::vector<Check> MatchRenamed() {
    std::vector<Check> pairs;
    std::vector<size_t> missing;
    for (size_t i = 0; i < set_.files.size(); ++i)
      if (v_.files[i].status == FileStatus::Missing && set_.files[i].length > 0) missing.push_back(i);
    if (missing.empty()) return pairs;
    std::vector<std::string> candidates;
    for (const std::string& name : platform::FindAll(set_.folder, "*")) {
      if (platform::WildcardMatch("*.par2", name)) continue;
      if (std::any_of(set_.files.begin(), set_.files.end(), [&](const SourceFile& f) { return f.name == name; }))
        continue;
      uint64_t size = 0;
      if (RegularFileSize(set_.folder + name, size) && size > 0) candidates.push_back(set_.folder + name);
    }
    std::map<std::pair<std::string, size_t>, Digest> heads;
    std::vector<bool> taken(candidates.size());
    for (size_t i : missing) {
      const SourceFile& f = set_.files[i];
      const size_t headLength = static_cast<size_t>(std::min<uint64_t>(kFirstBlockBytes, f.length));
      for (size_t c = 0; c < candidates.size(); ++c) {
        if (taken[c]) continue;
        auto key = std::make_pair(candidates[c], headLength);
        auto it = heads.find(key);
        if (it == heads.end()) it = heads.emplace(key, Head(candidates[c], headLength)).first;
        if (it->second != f.md5First16k) continue;
        taken[c] = true;
        uint64_t size = 0;
        RegularFileSize(candidates[c], size);
        total_ += size;
        pairs.emplace_back(i, candidates[c]);
        break;
      }
    }
    return pairs;
  }

  static Digest Head(const std::string& path, size_t length) {
    File file = File::OpenRead(path);
    std::vector<uint8_t> bytes(length);
    if (!file.valid() || file.ReadAt(bytes.data(), length, 0) != static_cast<int64_t>(length)) return Digest{};
    return Md5Of(bytes.data(), length);
  }

  RecoverySet& set_;
  const VerifyProgress& progress_;
  Verification v_;
  std::atomic<uint64_t> done_{0}, total_{0};
  std::atomic<bool> cancel_{false};
  std::mutex nameMutex_;
  std::string current_;
};

}  // namespace

bool Verification::AllIntact() const {
  return std::all_of(files.begin(), files.end(), [](const FileResult& f) { return f.status == FileStatus::Intact; });
}

bool CheckRecoverySlices(RecoverySet& set, const std::function<bool(uint64_t done, uint64_t total)>& progress) {
  std::atomic<uint64_t> done{0}, total{0};
  std::atomic<bool> cancel{false};
  return CheckUnchecked(
      set, done, total, [&] { return !progress || progress(done, total); }, cancel);
}

unsigned WorkerThreads() { return std::max(1u, std::thread::hardware_concurrency()); }

platform::Expected<Verification> Verify(RecoverySet& set, const VerifyProgress& progress) {
  return Verifier(set, progress).Run();
}

}  // namespace par2
