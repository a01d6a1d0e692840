// Compressed archives, decoded by our own decoders, must come out exactly
// as bsdtar extracts them, where bsdtar can; every RAR 5 entry must pass
// its header's checksum.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/unrar/UnrarLib.h"

namespace fs = std::filesystem;

namespace {

bool bsdtarExtract(const std::string& archive, const std::string& dest) {
  fs::create_directories(dest);
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 2);
    execlp("bsdtar", "bsdtar", "-xf", archive.c_str(), "-C", dest.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The second and later volumes of a set (x.part2.rar, x.part02.rar, ...).
bool laterVolume(const std::string& name) {
  const size_t part = name.rfind(".part");
  if (part == std::string::npos) return false;
  const size_t digits = name.find_first_not_of('0', part + 5);
  return digits == std::string::npos || name.compare(digits, 5, "1.rar") != 0;
}

}  // namespace

TEST(UnrarFixtures, SameFilesAsBsdtar) {
  const fs::path fixtures = LUMESKAR_SHARED_FIXTURES;
  if (!fs::exists(fixtures)) GTEST_SKIP() << "no shared fixtures";
  // Every single-file archive (bsdtar takes one file: volume sets are
  // checked below).
  std::vector<std::string> firstVolumes;
  for (auto& e : fs::directory_iterator(fixtures))
    if (e.path().extension() == ".rar" && e.path().filename().string().find(".part") == std::string::npos)
      firstVolumes.push_back(e.path().filename().string());
  std::sort(firstVolumes.begin(), firstVolumes.end());
  int compared = 0;
  for (const std::string& name : firstVolumes) {
    SCOPED_TRACE(name);
    TempDir dir;
    std::string archive = (fixtures / name).string();
    if (!bsdtarExtract(archive, dir / "bsdtar")) continue;  // bsdtar cannot read it either
    RunResult r = runArchive(archive, RAR_EXTRACT, dir / "ours");
    if (std::find(r.codes.begin(), r.codes.end(), ERAR_MISSING_PASSWORD) != r.codes.end()) continue;
    ASSERT_EQ(r.openResult, 0u);
    EXPECT_EQ(r.endCode, ERAR_END_ARCHIVE);
    for (size_t i = 0; i < r.codes.size(); ++i) EXPECT_EQ(r.codes[i], 0) << r.names[i];
    for (auto& e : fs::recursive_directory_iterator(dir / "bsdtar")) {
      fs::path rel = e.path().lexically_relative(dir / "bsdtar");
      if (rel.string().find(';') != std::string::npos) continue;  // libarchive's name for an older version
      fs::path ours = fs::path(dir / "ours") / rel;
      if (e.is_symlink()) {
        if (fs::read_symlink(e.path()).string()[0] != '/') {
          EXPECT_EQ(fs::read_symlink(ours), fs::read_symlink(e.path())) << rel;
        }
      } else if (e.is_regular_file()) {
        EXPECT_TRUE(readFile(ours) == readFile(e.path())) << rel;
        ++compared;
      } else {
        EXPECT_TRUE(fs::is_directory(ours)) << rel;
      }
    }
  }
  EXPECT_GT(compared, 15);
}

// bsdtar takes one file, so volume sets are checked by their CRCs alone:
// every entry must decode and pass, across all volumes.
TEST(UnrarFixtures, CompressedVolumeSetsPassTheirChecks) {
  const fs::path fixtures = LUMESKAR_SHARED_FIXTURES;
  if (!fs::exists(fixtures)) GTEST_SKIP() << "no shared fixtures";
  struct {
    const char* first;
    size_t entries;
  } sets[] = {
      {"test_read_format_rar_multivolume.part0001.rar", 7},
      {"test_read_format_rar5_multiarchive.part01.rar", 2},
      {"test_rar_multivolume_multiple_files.part1.rar", 0},
      {"test_rar_multivolume_single_file.part1.rar", 1},
  };
  for (auto& set : sets) {
    SCOPED_TRACE(set.first);
    RunResult r = runArchive((fixtures / set.first).string(), RAR_TEST, "");
    ASSERT_EQ(r.openResult, 0u);
    EXPECT_EQ(r.endCode, ERAR_END_ARCHIVE);
    if (set.entries) {
      EXPECT_EQ(r.names.size(), set.entries);
    }
    for (size_t i = 0; i < r.codes.size(); ++i) EXPECT_EQ(r.codes[i], 0) << r.names[i];
  }
}

// An entry with a file-version record (an older version kept beside the
// current one) decodes like any other and keeps its stored name.
TEST(UnrarFixtures, EntryWithAFileVersionRecord) {
  const fs::path archive = fs::path(LUMESKAR_SHARED_FIXTURES) / "test_read_format_rar5_extra_field_version.rar";
  if (!fs::exists(archive)) GTEST_SKIP() << "no shared fixtures";
  RunResult r = runArchive(archive.string(), RAR_TEST, "");
  ASSERT_EQ(r.openResult, 0u);
  EXPECT_EQ(r.endCode, ERAR_END_ARCHIVE);
  EXPECT_EQ(r.names, (std::vector<std::string>{"bin/2to3", "bin/2to3"}));
  EXPECT_EQ(r.codes, (std::vector<int>{0, 0}));
}

// Every RAR 5 archive among the fixtures, through our decoder: each entry
// decodes and passes its header's CRC-32 or BLAKE2sp, across volumes too.
// Only entries whose data is encrypted are refused (no password given).
TEST(UnrarFixtures, EveryRar5EntryPassesItsChecksum) {
  const fs::path root = fs::path(LUMESKAR_SHARED_FIXTURES).parent_path();
  if (!fs::exists(root)) GTEST_SKIP() << "no shared fixtures";
  UnrarLib& lib = UnrarLib::get();
  size_t archives = 0, compressed = 0, checked = 0, encrypted = 0;
  for (const char* folder : {"rar", "rar-sc"}) {
    if (!fs::exists(root / folder)) continue;
    for (auto& e : fs::directory_iterator(root / folder)) {
      const std::string name = e.path().filename().string();
      const std::string head = readFile(e.path()).substr(0, 8);
      if (head != std::string("Rar!\x1a\x07\x01\x00", 8) || laterVolume(name)) continue;
      SCOPED_TRACE(name);
      ++archives;
      RAROpenArchiveDataEx d{};
      std::string path = e.path().string();
      d.ArcName = path.data();
      d.OpenMode = RAR_OM_EXTRACT;
      HANDLE h = lib.OpenArchiveEx(&d);
      ASSERT_NE(h, nullptr);
      static RARHeaderDataEx hd;
      int r = 0;
      while ((r = lib.ReadHeaderEx(h, &hd)) == 0) {
        SCOPED_TRACE(hd.FileName);
        const int code = lib.ProcessFile(h, RAR_TEST, nullptr, nullptr);
        if (hd.Flags & RHDF_ENCRYPTED) {
          EXPECT_EQ(code, ERAR_MISSING_PASSWORD);
          ++encrypted;
          continue;
        }
        EXPECT_EQ(code, 0);
        if (hd.Flags & RHDF_DIRECTORY) continue;
        checked += hd.HashType != RAR_HASH_NONE;
        compressed += hd.Method != 0x30;
      }
      EXPECT_EQ(r, ERAR_END_ARCHIVE);
      lib.CloseArchive(h);
    }
  }
  std::printf("RAR 5 fixtures: %zu archives, %zu entries checked (%zu compressed), %zu encrypted refused\n", archives,
              checked, compressed, encrypted);
  EXPECT_GE(archives, 15u);
  EXPECT_GE(compressed, 28u);
}

// RAR 5 archives compressed by our writer come back through the C API byte
// for byte: plain, solid, over volumes, hashed with BLAKE2sp, with a small
// dictionary the stream outgrows.
TEST(UnrarFixtures, CompressedRar5FromOurWriterRoundTrips) {
  using namespace rarwriter;
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "line " + std::to_string(i % 977) + " of the round trip\n";
  const std::vector<RarEntry> entries = {File("text.txt", text), Pattern("noise.bin", 300'000, 5),
                                         File("again.txt", text.substr(1000, 200'000)), File("empty", "")};
  struct Case {
    const char* name;
    bool solid;
    uint64_t volumeSize;
    Hash hash;
    uint64_t dictionary;
  } cases[] = {
      {"plain", false, 0, Hash::Crc32, 4 << 20},
      {"solid", true, 0, Hash::Crc32, 4 << 20},
      {"volumes", false, 60'000, Hash::Crc32, 4 << 20},
      {"solid-volumes", true, 60'000, Hash::Blake2, 4 << 20},
      {"small-dictionary", true, 0, Hash::Blake2, 128 << 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    RarOptions o;
    o.method = 3;
    o.solid = c.solid;
    o.volumeSize = c.volumeSize;
    o.hash = c.hash;
    o.dictionary = c.dictionary;
    auto vols = WriteRar(dir.path(), "rt", entries, o);
    EXPECT_EQ(vols.size() > 1, c.volumeSize != 0);
    RunResult r = runArchive(vols[0], RAR_EXTRACT, dir / "out");
    ASSERT_EQ(r.codes.size(), entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
      EXPECT_EQ(r.codes[i], 0) << entries[i].name;
      const std::string expected =
          entries[i].generated == Generated::Pattern ? PatternBytes(5, 0, 300'000) : entries[i].data;
      EXPECT_TRUE(readFile(fs::path(dir / "out") / entries[i].name) == expected) << entries[i].name;
    }
  }
}
