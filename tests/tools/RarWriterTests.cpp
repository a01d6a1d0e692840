// The stored-RAR writer, judged by libarchive reading what it wrote.
#include "tests/common/RarTestSupport.h"
#include "tools/RarWriter.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

using namespace rarwriter;
using rartest::ListWithLibarchive;
using rartest::TempDir;

namespace {

uint64_t FileSize(const std::string& path) { return std::filesystem::file_size(path); }

std::vector<RarEntry> MixedEntries() {
  RarEntry file = File("docs/readme.txt", "hello world\r\n");
  file.mtime = 1'500'000'000;  // even: DOS time keeps 2-second steps
  return {Dir("docs"), file, File("empty.bin", ""), Pattern("docs/big.bin", 300'000, 7), File("caf\xc3\xa9.nfo", "art"),
          Dir("docs/sub"),
          // Keeps every last volume above 512 bytes: libarchive's RAR 5 reader
          // cannot switch to a shorter volume.
          Pattern("zz.bin", 2000, 3)};
}

struct SetCase {
  Format format;
  uint64_t volumeSize;
  Naming naming;
  std::vector<std::string> expectedNames;
};

}  // namespace

TEST(RarWriter, VolumeSetsReadBackIdenticallyInEveryNaming) {
  const std::vector<SetCase> cases = {
      {Format::Rar4, 0, Naming::Part, {"set.rar"}},
      {Format::Rar5, 0, Naming::Part, {"set.rar"}},
      {Format::Rar4, 100'000, Naming::Part, {"set.part1.rar", "set.part2.rar", "set.part3.rar", "set.part4.rar"}},
      {Format::Rar5, 100'000, Naming::Part, {"set.part1.rar", "set.part2.rar", "set.part3.rar", "set.part4.rar"}},
      {Format::Rar4, 100'000, Naming::Old, {"set.rar", "set.r00", "set.r01", "set.r02"}},
      {Format::Rar5, 100'000, Naming::Old, {"set.rar", "set.r00", "set.r01", "set.r02"}},
      {Format::Rar4, 100'000, Naming::Numeric, {"set.001", "set.002", "set.003", "set.004"}},
      {Format::Rar5, 30'000, Naming::Part, {}},  // 11 volumes: part01 … part11
  };
  const auto entries = MixedEntries();
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "RAR" << (c.format == Format::Rar4 ? 4 : 5) << " volume " << c.volumeSize
                                    << " naming " << static_cast<int>(c.naming));
    TempDir dir;
    RarOptions o;
    o.format = c.format;
    o.volumeSize = c.volumeSize;
    o.naming = c.naming;
    o.comment = "Greetings from the release group";
    const auto volumes = WriteRar(dir.path(), "set", entries, o);
    if (!c.expectedNames.empty()) {
      ASSERT_EQ(volumes.size(), c.expectedNames.size());
      for (size_t i = 0; i < volumes.size(); ++i) EXPECT_EQ(volumes[i], dir / c.expectedNames[i]);
    } else {
      ASSERT_EQ(volumes.size(), 11u);
      EXPECT_EQ(volumes.front(), dir / "set.part01.rar");
      EXPECT_EQ(volumes.back(), dir / "set.part11.rar");
    }
    for (const auto& v : volumes) {
      if (c.volumeSize) {
        EXPECT_LE(FileSize(v), c.volumeSize) << v;
      }
    }
    // No stray temporary files beside the set.
    EXPECT_EQ(static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir.path()),
                                                std::filesystem::directory_iterator())),
              volumes.size());

    const auto listing = ListWithLibarchive(volumes, true);
    EXPECT_EQ(listing.status, ARCHIVE_EOF) << listing.error;
    ASSERT_EQ(listing.entries.size(), entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
      const auto& got = listing.entries[i];
      const auto& want = entries[i];
      SCOPED_TRACE(want.name);
      EXPECT_EQ(got.name, want.name);
      EXPECT_EQ(got.type, want.isDir ? AE_IFDIR : AE_IFREG);
      if (want.isDir) continue;
      const std::string data =
          want.generated == Generated::Pattern ? PatternBytes(want.patternSeed, 0, want.generatedSize) : want.data;
      EXPECT_EQ(got.size, static_cast<int64_t>(data.size()));
      EXPECT_TRUE(got.data == data);
      EXPECT_EQ(got.mtime, want.mtime);
    }
  }
}

TEST(RarWriter, VolumeNamesFollowTheSchemes) {
  RarOptions part;
  part.volumeSize = 1;
  RarOptions part3 = part;
  part3.partDigits = 3;
  RarOptions old = part;
  old.naming = Naming::Old;
  RarOptions numeric0 = part;
  numeric0.naming = Naming::Numeric;
  numeric0.firstNumber = 0;
  const struct {
    const RarOptions& o;
    size_t index, count;
    const char* name;
  } rows[] = {
      {part, 0, 9, "x.part1.rar"},      {part, 8, 9, "x.part9.rar"},    {part, 0, 10, "x.part01.rar"},
      {part, 99, 100, "x.part100.rar"}, {part3, 1, 5, "x.part002.rar"}, {old, 0, 200, "x.rar"},
      {old, 1, 200, "x.r00"},           {old, 100, 200, "x.r99"},       {old, 101, 200, "x.s00"},
      {numeric0, 0, 3, "x.000"},        {numeric0, 2, 3, "x.002"},      {RarOptions{}, 0, 1, "x.rar"},
  };
  for (const auto& r : rows) EXPECT_EQ(VolumeName("x", r.o, r.index, r.count), r.name);
}

TEST(RarWriter, DamageIsVisibleWhereItShouldBe) {
  for (Format f : {Format::Rar4, Format::Rar5}) {
    SCOPED_TRACE(f == Format::Rar4 ? "RAR4" : "RAR5");
    TempDir dir;
    RarOptions o;
    o.format = f;
    RarEntry good = File("a.txt", "payload bytes");
    RarEntry badData = good;
    badData.damageData = true;
    RarEntry badHeader = good;
    badHeader.damageHeader = true;
    const auto clean = WriteRar(dir.path(), "clean", {good}, o);
    const auto data = WriteRar(dir.path(), "data", {badData}, o);
    const auto head = WriteRar(dir.path(), "head", {File("first", "1"), badHeader}, o);

    // Damaged data: one stored byte differs, the headers (and so the CRC) do not.
    const std::string a = rartest::ReadFile(clean[0]), b = rartest::ReadFile(data[0]);
    ASSERT_EQ(a.size(), b.size());
    size_t diffs = 0;
    for (size_t i = 0; i < a.size(); ++i) diffs += a[i] != b[i];
    EXPECT_EQ(diffs, 1u);
    const auto listing = ListWithLibarchive(data, true);
    ASSERT_EQ(listing.entries.size(), 1u);
    EXPECT_NE(listing.entries[0].data, "payload bytes");

    // Damaged header: the entry before it is fine, then the reader refuses.
    const auto headListing = ListWithLibarchive(head, false);
    EXPECT_EQ(headListing.entries.size(), 1u);
    EXPECT_EQ(headListing.status, ARCHIVE_FATAL);
    EXPECT_NE(headListing.error.find("CRC"), std::string::npos) << headListing.error;
  }
}

TEST(RarWriter, LinksHostileNamesAndWindowsHost) {
  for (Format f : {Format::Rar4, Format::Rar5}) {
    SCOPED_TRACE(f == Format::Rar4 ? "RAR4" : "RAR5");
    TempDir dir;
    RarOptions o;
    o.format = f;
    const auto unix = WriteRar(dir.path(), "u",
                               {Link("lnk", "/etc/passwd"), File("../evil.txt", "x"), File("/abs/evil.txt", "y"),
                                File("dir/../../up.txt", "z")},
                               o);
    const auto l = ListWithLibarchive(unix, true);
    ASSERT_EQ(l.entries.size(), 4u) << l.error;
    EXPECT_EQ(l.entries[0].type, AE_IFLNK);
    EXPECT_EQ(l.entries[0].link, "/etc/passwd");
    EXPECT_EQ(l.entries[1].name, "../evil.txt");
    EXPECT_EQ(l.entries[2].name, "/abs/evil.txt");
    EXPECT_EQ(l.entries[3].name, "dir/../../up.txt");

    o.host = Host::Windows;
    const auto win = WriteRar(dir.path(), "w", {Dir("d"), File("d/f.txt", "w")}, o);
    const auto w = ListWithLibarchive(win, true);
    ASSERT_EQ(w.entries.size(), 2u) << w.error;
    EXPECT_EQ(w.entries[0].type, AE_IFDIR);
    EXPECT_EQ(w.entries[1].type, AE_IFREG);
    EXPECT_EQ(w.entries[1].data, "w");
  }
}

TEST(RarWriter, EncryptionAndSolidFlagsReachTheReader) {
  TempDir dir;
  RarOptions o4;
  o4.format = Format::Rar4;
  RarEntry secret = File("secret.txt", "not really secret");
  secret.encrypted = true;
  auto l = ListWithLibarchive(WriteRar(dir.path(), "enc4", {secret}, o4), false);
  ASSERT_EQ(l.entries.size(), 1u);
  EXPECT_TRUE(l.entries[0].encrypted);

  for (Format f : {Format::Rar4, Format::Rar5}) {
    RarOptions o;
    o.format = f;
    o.encryptedHeaders = true;
    auto h = ListWithLibarchive(WriteRar(dir.path(), f == Format::Rar4 ? "eh4" : "eh5", {File("a", "b")}, o), false);
    EXPECT_TRUE(h.entries.empty());
    EXPECT_EQ(h.status, ARCHIVE_FATAL);
  }

  // The reader sees the solid flag of the second entry: it cannot continue a
  // solid stream that no compressed entry started.
  for (Format f : {Format::Rar4, Format::Rar5}) {
    RarOptions o;
    o.format = f;
    o.solid = true;
    auto s = ListWithLibarchive(
        WriteRar(dir.path(), f == Format::Rar4 ? "s4" : "s5", {File("a", "1"), File("b", "2")}, o), true);
    ASSERT_EQ(s.entries.size(), 1u);
    EXPECT_EQ(s.entries[0].data, "1");
    EXPECT_EQ(s.status, ARCHIVE_FATAL);
    EXPECT_NE(s.error.find("olid"), std::string::npos) << s.error;
  }
}

TEST(RarWriter, FilesOver4GiBAreSparseAndKeepTheirSize) {
  const uint64_t big = (4ull << 30) + 12345;
  for (Format f : {Format::Rar4, Format::Rar5}) {
    SCOPED_TRACE(f == Format::Rar4 ? "RAR4" : "RAR5");
    TempDir dir;
    RarOptions o;
    o.format = f;
    o.volumeSize = 3ull << 30;
    const auto volumes = WriteRar(dir.path(), "big", {Zeros("huge.iso", big), File("tail", "t")}, o);
    ASSERT_EQ(volumes.size(), 2u);
    struct stat st {};
    ASSERT_EQ(::stat(volumes[0].c_str(), &st), 0);
    EXPECT_LT(st.st_blocks * 512, 1 << 20);  // a hole, not 3 GiB of zeros on disk
    const auto l = ListWithLibarchive(volumes, false);
    EXPECT_EQ(l.status, ARCHIVE_EOF) << l.error;
    ASSERT_EQ(l.entries.size(), 2u);
    EXPECT_EQ(l.entries[0].size, static_cast<int64_t>(big));
    EXPECT_EQ(l.entries[1].name, "tail");
  }
  // The CRC of a hole is that of real zero bytes.
  const std::string zeros(100'003, '\0');
  EXPECT_EQ(Crc32Zeros(0x1234u, zeros.size()), Crc32(0x1234u, zeros.data(), zeros.size()));
}

TEST(RarWriter, ImpossibleRequestsLeaveNothingBehind) {
  TempDir dir;
  RarOptions o;
  o.volumeSize = 30;  // smaller than the signature, main and end blocks
  EXPECT_THROW(WriteRar(dir.path(), "tiny", {File("a", "b")}, o), std::runtime_error);
  EXPECT_THROW(WriteRar(dir.path(), "gone", {FromFile("a", dir / "missing")}, RarOptions{}), std::runtime_error);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(RarWriter, CommandLineToolPacksFilesAndFolders) {
  TempDir dir;
  std::filesystem::create_directories(dir / "in/sub");
  rartest::WriteFile(dir / "in/sub/x.nfo", "nfo text");
  rartest::WriteFile(dir / "in/y.bin", std::string(5000, 'y'));
  const std::string cmd = std::string(LUMESKAR_BINARY_DIR) + "/tools/rarwrite --rar4 --volume-size 3k --naming old " +
                          dir / "out/rel" + " " + dir / "in" + " > " + dir / "list.txt";
  std::filesystem::create_directories(dir / "out");
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  EXPECT_EQ(rartest::ReadFile(dir / "list.txt"), dir / "out/rel.rar\n" + dir / "out/rel.r00\n");
  const auto l = ListWithLibarchive({dir / "out/rel.rar", dir / "out/rel.r00"}, true);
  ASSERT_EQ(l.entries.size(), 4u) << l.error;
  EXPECT_EQ(l.entries[0].name, "in");
  EXPECT_EQ(l.entries[1].name, "in/sub");
  EXPECT_EQ(l.entries[2].name, "in/sub/x.nfo");
  EXPECT_EQ(l.entries[3].name, "in/y.bin");
  EXPECT_EQ(l.entries[3].data, std::string(5000, 'y'));
}
