#include "par2/Repair.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>

#include "par2/File.h"
#include "par2/Gf16.h"
#include "par2/GfMatrix.h"
#include "par2/RegionKernels.h"
#include "par2/Workers.h"
#include "platform/AlignedBuffer.h"

namespace par2 {

namespace {

using Failed = platform::Expected<RepairReport>;
constexpr size_t kChunk = 4096;  // bytes of every slice one kernel call covers: the batch's share stays in cache
constexpr uint64_t kPreparedBudget = uint64_t(64) << 20;

size_t RoundUp(uint64_t n, size_t to) { return static_cast<size_t>((n + to - 1) / to * to); }

// A file being rebuilt under a temporary name beside its final one.
struct Output {
  size_t file;
  std::string temp;
  File out;
};

// Renames without replacing an existing entry.
bool RenameNoReplace(const std::string& from, const std::string& to) {
  return renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0;
}

// Moves the damaged file at `path` aside to path.1 (or .2, ...): the first
// free name. Returns that name, or "" when it could not.
std::string KeepAside(const std::string& path) {
  for (int k = 1; k < 1000; ++k) {
    const std::string aside = path + "." + std::to_string(k);
    if (RenameNoReplace(path, aside)) return aside;
    if (errno != EEXIST) return "";
  }
  return "";
}

class Repairer {
 public:
  Repairer(const RecoverySet& set, const Verification& v, const RepairProgress& progress, const RepairLimits& limits)
      : set_(set), v_(v), progress_(progress), limits_(limits), kernel_(ChosenKernel()) {}

  ~Repairer() {
    for (Output& o : outputs_) {
      o.out.Close();
      if (!o.temp.empty()) ::unlink(o.temp.c_str());
    }
  }

  platform::Expected<RepairReport> Run() {
    if (!v_.Repairable()) return Failed::Failed(NotRepairableText(v_));
    for (uint32_t i = 0; i < set_.sliceCount; ++i)
      if (v_.slices[i].source < 0) missing_.push_back(i);
    std::vector<uint32_t> available;
    for (const RecoverySlice& r : set_.recovery) available.push_back(r.exponent);
    auto decoder = MakeDecoder(missing_, available);
    if (!decoder)
      return Failed::Failed("the recovery slices at hand cannot rebuild the missing slices: repair is not possible");
    decoder_ = std::move(*decoder);

    if (auto r = OpenSources(); !r) return Failed::Failed(r.message());
    if (auto r = CreateOutputs(); !r) return Failed::Failed(r.message());
    // Rebuilding reads every intact slice and writes those of the files
    // being rebuilt as it goes; without slices to rebuild they are copied.
    if (missing_.empty()) {
      total_ = static_cast<uint64_t>(set_.sliceCount) * set_.sliceSize + OutputBytes();
      if (auto r = CopyIntactSlices(); !r) return Failed::Failed(r.message());
    } else {
      // Each group reads as many slices as the set has: the known ones and
      // one recovery slice per missing one.
      total_ = static_cast<uint64_t>(set_.sliceCount) * set_.sliceSize * Groups() + OutputBytes();
      if (auto r = Rebuild(); !r) return Failed::Failed(r.message());
    }
    if (auto r = CheckOutputs(); !r) return Failed::Failed(r.message());
    return PutInPlace();
  }

 private:
  bool Poll(const char* what) { return !progress_ || progress_(done_, std::max<uint64_t>(total_, done_), what); }

  platform::Result OpenSources() {
    for (const std::string& path : v_.sources) {
      File f = File::OpenRead(path);
      if (!f.valid()) return platform::Result::Failed("cannot read " + path);
      sources_.push_back(std::move(f));
    }
    for (uint32_t e : decoder_.exponents) {
      const auto it = std::find_if(set_.recovery.begin(), set_.recovery.end(),
                                   [e](const RecoverySlice& r) { return r.exponent == e; });
      if (!recoveryFiles_.count(it->path)) {
        File f = File::OpenRead(it->path);
        if (!f.valid()) return platform::Result::Failed("cannot read " + it->path);
        recoveryFiles_.emplace(it->path, std::move(f));
      }
      recovery_.push_back(&*it);
    }
    return platform::Result::Ok();
  }

  platform::Result CreateOutputs() {
    for (size_t i = 0; i < set_.files.size(); ++i) {
      const FileStatus status = v_.files[i].status;
      if (status != FileStatus::Damaged && status != FileStatus::Missing) continue;
      std::string temp = set_.folder + ".lumeskar-repair-XXXXXX";
      const int fd = mkostemp(temp.data(), O_CLOEXEC);
      if (fd < 0)
        return platform::Result::Failed("cannot create a file in " + (set_.folder.empty() ? "." : set_.folder) + ": " +
                                        std::strerror(errno));
      Output o{i, temp, File(fd)};
      struct stat st;
      const mode_t mode = stat((set_.folder + set_.files[i].name).c_str(), &st) == 0 ? st.st_mode & 07777 : 0644;
      fchmod(fd, mode);
      if (ftruncate(fd, static_cast<off_t>(set_.files[i].length)) != 0)
        return platform::Result::Failed("cannot write " + temp + ": " + std::strerror(errno));
      outputs_.push_back(std::move(o));
      outputOf_[i] = outputs_.size() - 1;
    }
    return platform::Result::Ok();
  }

  uint64_t OutputBytes() const {
    uint64_t n = 0;
    for (const Output& o : outputs_) n += set_.files[o.file].length;
    return n;
  }

  // The bytes slice `i` really has in its file (the last one may be short).
  uint64_t SliceLength(uint32_t i) const {
    const SourceFile& f = FileOfSlice(i);
    return std::min<uint64_t>(set_.sliceSize, f.length - uint64_t(i - f.firstSlice) * set_.sliceSize);
  }

  const SourceFile& FileOfSlice(uint32_t i) const {
    auto it = std::upper_bound(set_.files.begin(), set_.files.end(), i,
                               [](uint32_t s, const SourceFile& f) { return s < f.firstSlice; });
    while (it != set_.files.begin() && (--it)->slices.empty()) {
    }
    return *it;
  }

  bool ReadSlice(uint32_t i, uint8_t* to) const {
    const SliceLocation& at = v_.slices[i];
    const uint64_t length = SliceLength(i);
    std::memset(to + length, 0, RoundUp(set_.sliceSize, kRegionBlock) - length);
    return sources_[at.source].ReadAt(to, length, at.offset) == static_cast<int64_t>(length);
  }

  // The output of the file slice `i` belongs to, or nothing when that file
  // is not rebuilt.
  const Output* OutputOfSlice(uint32_t i) const {
    const auto it = outputOf_.find(static_cast<size_t>(&FileOfSlice(i) - set_.files.data()));
    return it == outputOf_.end() ? nullptr : &outputs_[it->second];
  }

  uint64_t SliceOffset(uint32_t i) const { return uint64_t(i - FileOfSlice(i).firstSlice) * set_.sliceSize; }

  // Writes the slices found intact into the files being rebuilt, each file
  // by one thread: writers of one file would only wait for each other.
  platform::Result CopyIntactSlices() {
    std::atomic<bool> failed{false}, cancel{false};
    auto job = [&](size_t k) {
      platform::AlignedBuffer<uint8_t> buffer(RoundUp(set_.sliceSize, kRegionBlock));
      if (!buffer) failed = true;
      const SourceFile& f = set_.files[outputs_[k].file];
      for (uint32_t i = f.firstSlice; i < f.firstSlice + f.slices.size() && !cancel && !failed; ++i) {
        if (v_.slices[i].source < 0) continue;
        if (!ReadSlice(i, buffer.data()) || !WriteAt(outputs_[k], buffer.data(), SliceLength(i), SliceOffset(i)))
          failed = true;
        done_ += set_.sliceSize;
      }
    };
    if (!RunJobs(
            outputs_.size(), WorkerThreads(), job, [&] { return Poll("copy"); }, cancel) ||
        failed)
      return platform::Result::Failed(failed ? "reading or writing failed while copying intact slices"
                                             : "repair cancelled: nothing was changed");
    return platform::Result::Ok();
  }

  // Writes the intact slices of a batch read for rebuilding that belong to
  // files being rebuilt; each file's run of slices by one thread.
  platform::Result WriteCopies(const std::vector<uint32_t>& known, size_t s0, size_t b, const uint8_t* from,
                               size_t stride) {
    std::vector<std::pair<size_t, size_t>> runs;  // [first, end) in the batch, all of one output
    for (size_t s = 0; s < b && s0 + s < known.size();) {
      const Output* out = OutputOfSlice(known[s0 + s]);
      size_t end = s + 1;
      while (end < b && s0 + end < known.size() && OutputOfSlice(known[s0 + end]) == out) ++end;
      if (out) runs.emplace_back(s, end);
      s = end;
    }
    std::atomic<bool> failed{false}, cancel{false};
    auto job = [&](size_t r) {
      for (size_t s = runs[r].first; s < runs[r].second && !failed; ++s) {
        const uint32_t i = known[s0 + s];
        if (!WriteAt(*OutputOfSlice(i), from + s * stride, SliceLength(i), SliceOffset(i))) failed = true;
      }
    };
    if (!RunJobs(
            runs.size(), WorkerThreads(), job, [&] { return Poll("write"); }, cancel))
      return platform::Result::Failed("repair cancelled: nothing was changed");
    return failed ? platform::Result::Failed("writing an intact slice into a rebuilt file failed")
                  : platform::Result::Ok();
  }

  static bool WriteAt(const Output& o, const uint8_t* data, uint64_t length, uint64_t offset) {
    for (uint64_t done = 0; done < length;) {
      const ssize_t n = ::pwrite(o.out.fd(), data + done, length - done, static_cast<off_t>(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      done += static_cast<uint64_t>(n);
    }
    return true;
  }

  // Missing slices are rebuilt in groups, as many at once as the memory
  // limit allows; every group reads all the known and recovery slices.
  size_t GroupSize() const {
    return static_cast<size_t>(
        std::clamp<uint64_t>(limits_.rebuiltBytes / RoundUp(set_.sliceSize, kRegionBlock), 1, missing_.size()));
  }
  size_t Groups() const { return (missing_.size() + GroupSize() - 1) / GroupSize(); }

  // Every missing slice j = sum over known inputs i of B[j][i] * input i
  //                       + sum over used recovery r of inverse[j][r] * recovery r,
  // where B[j][i] = sum over r of inverse[j][r] * constant_i ^ exponent_r.
  platform::Result Rebuild() {
    const size_t m = missing_.size();
    const size_t stride = RoundUp(set_.sliceSize, kRegionBlock);
    std::vector<uint32_t> known;
    known.reserve(set_.sliceCount - m);
    for (uint32_t i = 0; i < set_.sliceCount; ++i)
      if (v_.slices[i].source >= 0) known.push_back(i);
    const size_t sources = known.size() + m;

    const size_t group = GroupSize();
    size_t batch = static_cast<size_t>(std::clamp<uint64_t>(limits_.batchBytes / stride, 1, sources));
    batch = std::max<size_t>(1, std::min<size_t>(batch, kPreparedBudget / (group * kernel_.preparedBytes)));
    platform::AlignedBuffer<uint8_t> rebuilt(group * stride), inputs(batch * stride),
        prepared(group * batch * kernel_.preparedBytes);
    if (!rebuilt || !inputs || !prepared) return platform::Result::Failed("not enough memory for the repair");

    std::vector<uint16_t> coefficient(group * batch);
    for (size_t j0 = 0; j0 < m; j0 += group) {
      const size_t g = std::min(group, m - j0);
      std::memset(rebuilt.data(), 0, g * stride);
      for (size_t s0 = 0; s0 < sources; s0 += batch) {
        const size_t b = std::min(batch, sources - s0);
        if (auto r = ReadBatch(known, s0, b, inputs.data(), stride); !r) return r;
        if (j0 == 0)
          if (auto r = WriteCopies(known, s0, b, inputs.data(), stride); !r) return r;
        Coefficients(known, j0, g, s0, b, coefficient);
        for (size_t k = 0; k < g * b; ++k) kernel_.prepare(coefficient[k], prepared.data() + k * kernel_.preparedBytes);
        std::atomic<bool> cancel{false};
        const size_t chunks = (stride + kChunk - 1) / kChunk;
        auto job = [&](size_t c) {
          const size_t at = c * kChunk, length = std::min(kChunk, stride - at);
          std::vector<const uint8_t*> src(b);
          std::vector<uint8_t*> dst(g);
          for (size_t s = 0; s < b; ++s) src[s] = inputs.data() + s * stride + at;
          for (size_t j = 0; j < g; ++j) dst[j] = rebuilt.data() + j * stride + at;
          kernel_.accumulate(prepared.data(), src.data(), b, dst.data(), g, length);
        };
        if (!RunJobs(
                chunks, WorkerThreads(), job, [&] { return Poll("rebuild"); }, cancel))
          return platform::Result::Failed("repair cancelled: nothing was changed");
        done_ += b * set_.sliceSize;
      }
      for (size_t j = 0; j < g; ++j) {
        const uint32_t i = missing_[j0 + j];
        const Output* out = OutputOfSlice(i);
        if (!out) continue;  // a slice of a file that needs no rebuilding
        if (!WriteAt(*out, rebuilt.data() + j * stride, SliceLength(i), SliceOffset(i)))
          return platform::Result::Failed("cannot write " + out->temp);
      }
    }
    return platform::Result::Ok();
  }

  // Reads slices s0 .. s0+b-1 of the known ones followed by the recovery
  // ones.
  platform::Result ReadBatch(const std::vector<uint32_t>& known, size_t s0, size_t b, uint8_t* to, size_t stride) {
    std::atomic<bool> failed{false}, cancel{false};
    auto job = [&](size_t s) {
      uint8_t* slice = to + s * stride;
      const size_t index = s0 + s;
      if (index < known.size()) {
        if (!ReadSlice(known[index], slice)) failed = true;
      } else {
        const RecoverySlice& r = *recovery_[index - known.size()];
        std::memset(slice + set_.sliceSize, 0, stride - set_.sliceSize);
        if (recoveryFiles_.at(r.path).ReadAt(slice, set_.sliceSize, r.offset) != static_cast<int64_t>(set_.sliceSize))
          failed = true;
      }
    };
    if (!RunJobs(
            b, WorkerThreads(), job, [&] { return Poll("read"); }, cancel))
      return platform::Result::Failed(failed ? "reading a slice failed" : "repair cancelled: nothing was changed");
    return failed ? platform::Result::Failed("reading a slice failed") : platform::Result::Ok();
  }

  void Coefficients(const std::vector<uint32_t>& known, size_t j0, size_t g, size_t s0, size_t b,
                    std::vector<uint16_t>& out) const {
    const size_t m = missing_.size();
    std::vector<uint16_t> powers(m);
    for (size_t s = 0; s < b; ++s) {
      const size_t index = s0 + s;
      if (index < known.size()) {
        const uint16_t c = gf16::InputConstant(known[index]);
        for (size_t r = 0; r < m; ++r) powers[r] = gf16::Power(c, decoder_.exponents[r]);
        for (size_t j = 0; j < g; ++j) {
          uint16_t sum = 0;
          const uint16_t* row = &decoder_.inverse[(j0 + j) * m];
          for (size_t r = 0; r < m; ++r) sum ^= gf16::Multiply(row[r], powers[r]);
          out[j * b + s] = sum;
        }
      } else {
        const size_t r = index - known.size();
        for (size_t j = 0; j < g; ++j) out[j * b + s] = decoder_.inverse[(j0 + j) * m + r];
      }
    }
  }

  // Reads every rebuilt file back and checks it against its MD5.
  platform::Result CheckOutputs() {
    std::vector<char> good(outputs_.size(), 0);
    std::atomic<bool> cancel{false};
    auto job = [&](size_t k) {
      Output& o = outputs_[k];
      const SourceFile& f = set_.files[o.file];
      File back = File::OpenRead(o.temp);
      platform::AlignedBuffer<uint8_t> buffer(size_t{1} << 20);
      if (!back.valid() || !buffer || back.Size() != f.length) return;
      Md5 md5;
      for (uint64_t at = 0; at < f.length && !cancel;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(buffer.size(), f.length - at));
        if (back.ReadAt(buffer.data(), n, at) != static_cast<int64_t>(n)) return;
        md5.Update(buffer.data(), n);
        at += n;
        done_ += n;
      }
      good[k] = md5.Final() == f.md5;
    };
    if (!RunJobs(
            outputs_.size(), WorkerThreads(), job, [&] { return Poll("check"); }, cancel))
      return platform::Result::Failed("repair cancelled: nothing was changed");
    for (size_t k = 0; k < outputs_.size(); ++k)
      if (!good[k])
        return platform::Result::Failed("the rebuilt " + set_.files[outputs_[k].file].name +
                                        " does not match its checksum: nothing was changed");
    return platform::Result::Ok();
  }

  platform::Expected<RepairReport> PutInPlace() {
    RepairReport report;
    report.slicesRebuilt = static_cast<uint32_t>(missing_.size());
    for (size_t i = 0; i < set_.files.size(); ++i) {
      if (v_.files[i].status != FileStatus::Renamed) continue;
      const std::string target = set_.folder + set_.files[i].name;
      if (!RenameNoReplace(v_.files[i].foundAt, target))
        return Failed::Failed("cannot rename " + v_.files[i].foundAt + " to " + target + ": " + std::strerror(errno));
      report.renamed.push_back(set_.files[i].name);
    }
    for (Output& o : outputs_) {
      const std::string target = set_.folder + set_.files[o.file].name;
      struct stat st;
      if (lstat(target.c_str(), &st) == 0) {
        const std::string aside = KeepAside(target);
        if (aside.empty())
          return Failed::Failed("cannot move the damaged " + target + " aside: " + std::strerror(errno));
        report.kept.push_back(aside);
      }
      o.out.Close();
      if (!RenameNoReplace(o.temp, target))
        return Failed::Failed("cannot rename " + o.temp + " to " + target + ": " + std::strerror(errno));
      o.temp.clear();
      report.rebuilt.push_back(set_.files[o.file].name);
    }
    return report;
  }

  const RecoverySet& set_;
  const Verification& v_;
  const RepairProgress& progress_;
  const RepairLimits limits_;
  const Kernel& kernel_;
  std::vector<uint32_t> missing_;
  Decoder decoder_;
  std::vector<File> sources_;
  std::map<std::string, File> recoveryFiles_;
  std::vector<const RecoverySlice*> recovery_;
  std::vector<Output> outputs_;
  std::map<size_t, size_t> outputOf_;  // file index -> output
  std::atomic<uint64_t> done_{0};
  uint64_t total_ = 0;
};

}  // namespace

std::string NotRepairableText(const Verification& v) {
  return "repair is not possible: " + std::to_string(v.missingSlices) + " slices are missing, " +
         std::to_string(v.recoveryAvailable) + " recovery slices are at hand; " + std::to_string(v.MoreNeeded()) +
         " more are needed";
}

platform::Expected<RepairReport> Repair(const RecoverySet& set, const Verification& v, const RepairProgress& progress,
                                        const RepairLimits& limits) {
  return Repairer(set, v, progress, limits).Run();
}

}  // namespace par2
