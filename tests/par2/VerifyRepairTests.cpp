// Our verification and repair against Debian's par2 on the same damaged
// sets: the same slices found, the same verdict, and repaired files equal to
// the originals byte for byte; too few recovery slices change nothing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "par2/PacketReader.h"
#include "par2/Repair.h"
#include "par2/Verify.h"
#include "tests/par2/Par2Fixtures.h"

using namespace par2test;

namespace {

struct Damage {
  std::string what;
  std::vector<size_t> sizes;  // the files f0, f1, ... of random bytes
  size_t sliceSize;
  std::string amount;  // par2 create's -r (percent) or -c (count)
  std::function<void(const TempDir&, size_t sliceSize)> apply;
};

void Flip(const TempDir& dir, const std::string& name, std::vector<size_t> offsets) {
  std::string bytes = ReadFile(dir / name);
  for (size_t at : offsets) bytes[at] = static_cast<char>(bytes[at] ^ 0x5A);
  WriteFile(dir / name, bytes);
}

void Edit(const TempDir& dir, const std::string& name, const std::function<void(std::string&)>& change) {
  std::string bytes = ReadFile(dir / name);
  change(bytes);
  WriteFile(dir / name, bytes);
}

// Flips a byte inside the first recovery slice of a .par2 file.
void DamageRecoverySlice(const TempDir& dir, const std::string& name) {
  Edit(dir, name, [](std::string& b) { b[b.find(std::string("RecvSlic", 8)) + 8 + 4 + 100] ^= 0x5A; });
}

const std::vector<Damage> kDamage = {
    {"one byte in one slice", {200000, 50000}, 4096, "-r5", [](auto& d, size_t s) { Flip(d, "f0", {3 * s + 17}); }},
    {"bytes in slices of two files, the short last one too",
     {300000, 123457},
     8192,
     "-r20",
     [](auto& d, size_t s) {
       Flip(d, "f0", {0, 5 * s + 1, 17 * s + 8000, 36 * s});
       Flip(d, "f1", {2 * s, 123456});
     }},
    {"a file cut short", {150000, 3000}, 4096, "-r10", [](auto& d, size_t) { truncate((d / "f0").c_str(), 140001); }},
    {"a file deleted", {8000, 90000}, 2048, "-r10", [](auto& d, size_t) { unlink((d / "f0").c_str()); }},
    {"a file renamed",
     {60000, 30000},
     4096,
     "-r1",
     [](auto& d, size_t) { std::filesystem::rename(d / "f1", d / "renamed.bin"); }},
    {"bytes inserted",
     {100000, 20000},
     4096,
     "-r5",
     [](auto& d, size_t) { Edit(d, "f0", [](std::string& b) { b.insert(10001, "INSERTED"); }); }},
    {"bytes deleted",
     {100000},
     4096,
     "-r5",
     [](auto& d, size_t) { Edit(d, "f0", [](std::string& b) { b.erase(50000, 3); }); }},
    {"a larger file, many slices, a file of one byte",
     {1 << 20, 1},
     16384,
     "-r3",
     [](auto& d, size_t s) {
       Flip(d, "f0", {0, 9 * s, 10 * s, 63 * s + 5});
     }},
    {"too few recovery slices",
     {100000, 40000},
     4096,
     "-c2",
     [](auto& d, size_t s) {
       Flip(d, "f0", {s, 4 * s});
       Flip(d, "f1", {0});
     }},
    {"a recovery slice damaged too",
     {100000},
     4096,
     "-c4",
     [](auto& d, size_t s) {
       Flip(d, "f0", {s});
       DamageRecoverySlice(d, "set.vol0+1.par2");
     }},
    {"a damaged copy of a recovery file, read before the intact one",
     {100000},
     4096,
     "-c2",
     [](auto& d, size_t s) {
       std::filesystem::copy_file(d / "set.vol0+1.par2", d / "set.vol0+1.copy.par2");
       DamageRecoverySlice(d, "set.vol0+1.copy.par2");
       Flip(d, "f0", {10, 5 * s});
     }},
    {"too few for a deleted file", {9000, 90000}, 2048, "-c3", [](auto& d, size_t) { unlink((d / "f0").c_str()); }},
};

std::vector<std::string> Names(size_t n) {
  std::vector<std::string> names;
  for (size_t i = 0; i < n; ++i) names.push_back("f" + std::to_string(i));
  return names;
}

// Every file of the folder other than the set's own, for par2 to search.
std::vector<std::string> Others(const TempDir& dir, const std::vector<std::string>& names) {
  std::vector<std::string> others;
  for (auto& e : std::filesystem::directory_iterator(dir.path())) {
    const std::string n = e.path().filename();
    if (n.find(".par2") == std::string::npos && std::find(names.begin(), names.end(), n) == names.end())
      others.push_back(n);
  }
  return others;
}

std::map<std::string, std::string> Snapshot(const TempDir& dir) {
  std::map<std::string, std::string> files;
  for (auto& e : std::filesystem::directory_iterator(dir.path())) files[e.path().filename()] = ReadFile(e.path());
  return files;
}

}  // namespace

TEST(Par2VerifyRepair, AgreesWithPar2AndRepairsByteForByte) {
  for (const Damage& c : kDamage) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::vector<std::string> names = Names(c.sizes.size());
    std::vector<std::string> originals;
    for (size_t i = 0; i < names.size(); ++i) {
      originals.push_back(RandomBytes(c.sizes[i], static_cast<unsigned>(i + 7 * c.sizes[i])));
      WriteFile(dir / names[i], originals.back());
    }
    ASSERT_TRUE(CreateSet(dir, names, c.sliceSize, c.amount));
    c.apply(dir, c.sliceSize);
    const Par2Says peer = Par2Verify(dir, Others(dir, names));

    auto set = par2::ReadRecoverySet(dir / "set.par2");
    ASSERT_TRUE(set) << set.message();
    auto v = par2::Verify(*set);
    ASSERT_TRUE(v);
    EXPECT_EQ(set->sliceCount, peer.total);
    EXPECT_EQ(set->sliceCount - v->missingSlices, peer.available);
    EXPECT_EQ(v->recoveryAvailable, peer.recovery);
    EXPECT_EQ(v->MoreNeeded(), peer.needMore);
    for (size_t i = 0; i < set->files.size(); ++i) {
      const std::string& name = set->files[i].name;
      SCOPED_TRACE(name);
      const par2::FileResult& r = v->files[i];
      const size_t all = set->files[i].slices.size();
      const size_t peerFound = peer.found.at(name) == SIZE_MAX ? all : peer.found.at(name);
      const bool underName = r.status == par2::FileStatus::Intact || r.status == par2::FileStatus::Damaged;
      EXPECT_EQ(underName ? r.slicesFound : 0u, peerFound);
      if (r.status == par2::FileStatus::Renamed) {
        EXPECT_EQ(std::vector<std::string>{std::filesystem::path(r.foundAt).filename()}, peer.renamedFrom);
      }
    }

    const auto before = Snapshot(dir);
    auto report = par2::Repair(*set, *v);
    if (peer.needMore != 0) {
      ASSERT_FALSE(report);
      EXPECT_NE(report.message().find(std::to_string(peer.needMore) + " more are needed"), std::string::npos)
          << report.message();
      EXPECT_EQ(Snapshot(dir), before);
      continue;
    }
    ASSERT_TRUE(report) << report.message();
    for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(ReadFile(dir / names[i]), originals[i]) << names[i];
    for (const std::string& kept : report->kept) {
      const std::string name = std::filesystem::path(kept).filename();
      EXPECT_EQ(ReadFile(kept), before.at(name.substr(0, name.rfind('.'))));
    }
    auto again = par2::Verify(*set);
    ASSERT_TRUE(again);
    EXPECT_TRUE(again->AllIntact());
  }
}

TEST(Par2VerifyRepair, KeepsEachDamagedOriginalUnderTheNextFreeNumber) {
  TempDir dir;
  const std::string original = RandomBytes(30000, 3);
  WriteFile(dir / "f0", original);
  ASSERT_TRUE(CreateSet(dir, {"f0"}, 4096, "-r20"));
  WriteFile(dir / "f0.1", "an older copy");
  for (const char* expectedAside : {"f0.2", "f0.3"}) {
    Flip(dir, "f0", {5000});
    const std::string damaged = ReadFile(dir / "f0");
    auto set = par2::ReadRecoverySet(dir / "set.par2");
    ASSERT_TRUE(set);
    auto report = par2::Repair(*set, *par2::Verify(*set));
    ASSERT_TRUE(report) << report.message();
    EXPECT_EQ(report->kept, std::vector<std::string>{dir / expectedAside});
    EXPECT_EQ(ReadFile(dir / expectedAside), damaged);
    EXPECT_EQ(ReadFile(dir / "f0"), original);
  }
  EXPECT_EQ(ReadFile(dir / "f0.1"), "an older copy");
}

TEST(Par2VerifyRepair, RepairsWithLittleMemoryInManyPasses) {
  TempDir dir;
  const std::string a = RandomBytes(200000, 11), b = RandomBytes(7001, 12);
  WriteFile(dir / "a.bin", a);
  WriteFile(dir / "b.bin", b);
  ASSERT_TRUE(CreateSet(dir, {"a.bin", "b.bin"}, 4096, "-r20"));
  Flip(dir, "a.bin", {0, 4096, 9000, 40000, 100000, 150000});
  unlink((dir / "b.bin").c_str());
  auto set = par2::ReadRecoverySet(dir / "set.par2");
  ASSERT_TRUE(set);
  auto v = par2::Verify(*set);
  ASSERT_TRUE(v);
  // Room for three rebuilt slices and two input slices at a time.
  auto report = par2::Repair(*set, *v, {}, {3 * 4096, 2 * 4096});
  ASSERT_TRUE(report) << report.message();
  EXPECT_EQ(ReadFile(dir / "a.bin"), a);
  EXPECT_EQ(ReadFile(dir / "b.bin"), b);
}
