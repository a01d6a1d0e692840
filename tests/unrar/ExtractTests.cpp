// Header fields and extraction of writer-made archives, through the C API.
#include <sys/stat.h>

#include "tests/unrar/UnrarLib.h"
#include "tools/RarWriter.h"

namespace fs = std::filesystem;
using namespace rarwriter;

namespace {

const char* formatName(Format f) { return f == Format::Rar4 ? "RAR4" : "RAR5"; }

std::vector<RarEntry> sampleEntries() {
  return {File("a.txt", "hi\n"), Dir("sub"), Pattern("sub/big.bin", 700'000, 7), File("sub/empty", ""),
          File("sub/deeper/c.txt", std::string(5000, 'c'))};
}

struct DataCount {
  uint64_t bytes = 0;
  int notifications = 0;
};

int CALLBACK countingCallback(UINT msg, LPARAM user, LPARAM, LPARAM p2) {
  auto* c = reinterpret_cast<DataCount*>(user);
  if (msg == UCM_PROCESSDATA) c->bytes += uint64_t(p2);
  if (msg == UCM_CHANGEVOLUMEW && p2 == RAR_VOL_NOTIFY) ++c->notifications;
  return 1;
}

}  // namespace

TEST(UnrarHeaders, EveryFieldOfWriterArchives) {
  for (Format format : {Format::Rar4, Format::Rar5}) {
    SCOPED_TRACE(formatName(format));
    TempDir dir;
    RarEntry file = File("dir/a.txt", "hi\n");
    file.mtime = 1'500'000'000;
    RarEntry huge = Zeros("huge.bin", (5ull << 30) + 3);  // sizes need the high halves
    auto vols = WriteRar(dir.path(), "h", {Dir("dir"), file, huge}, opts(format));

    UnrarLib& lib = UnrarLib::get();
    RAROpenArchiveDataEx od{};
    od.ArcName = const_cast<char*>(vols[0].c_str());
    od.OpenMode = RAR_OM_LIST;
    HANDLE h = lib.OpenArchiveEx(&od);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(od.Flags, 0u);
    static RARHeaderDataEx hd;
    memset(&hd, 0, sizeof hd);
    ASSERT_EQ(lib.ReadHeaderEx(h, &hd), 0);
    EXPECT_STREQ(hd.FileName, "dir");
    EXPECT_EQ(hd.Flags, unsigned(RHDF_DIRECTORY));
    EXPECT_EQ(std::wstring(hd.FileNameW), L"dir");
    EXPECT_EQ(hd.ArcName, vols[0]);

    ASSERT_EQ(lib.ReadHeaderEx(h, &hd), 0);
    EXPECT_STREQ(hd.FileName, "dir/a.txt");
    EXPECT_EQ(hd.Flags, 0u);
    EXPECT_EQ(hd.PackSize, 3u);
    EXPECT_EQ(hd.UnpSize, 3u);
    EXPECT_EQ(hd.PackSizeHigh | hd.UnpSizeHigh, 0u);
    EXPECT_EQ(hd.FileCRC, 0xed6f7a7au);
    EXPECT_EQ(hd.HostOS, 3u);
    EXPECT_EQ(hd.Method, 0x30u);
    EXPECT_EQ(hd.UnpVer, format == Format::Rar4 ? 29u : 50u);
    EXPECT_EQ(hd.FileAttr, 0100644u);
    EXPECT_EQ(hd.HashType, unsigned(RAR_HASH_CRC32));
    time_t t = 1'500'000'000;
    struct tm tm;
    localtime_r(&t, &tm);
    unsigned dos = unsigned(tm.tm_year - 80) << 25 | unsigned(tm.tm_mon + 1) << 21 | unsigned(tm.tm_mday) << 16 |
                   unsigned(tm.tm_hour) << 11 | unsigned(tm.tm_min) << 5 | unsigned(tm.tm_sec / 2);
    EXPECT_EQ(hd.FileTime, dos);
    uint64_t ft = uint64_t(hd.MtimeHigh) << 32 | hd.MtimeLow;
    EXPECT_EQ(ft, (1'500'000'000ull + 11644473600ull) * 10000000ull);

    ASSERT_EQ(lib.ReadHeaderEx(h, &hd), 0);
    EXPECT_EQ(hd.UnpSizeHigh, 1u);
    EXPECT_EQ(hd.UnpSize, (1u << 30) + 3);
    EXPECT_EQ(hd.PackSizeHigh, 1u);
    EXPECT_EQ(lib.ReadHeaderEx(h, &hd), ERAR_END_ARCHIVE);
    EXPECT_EQ(lib.ReadHeaderEx(h, &hd), ERAR_END_ARCHIVE);
    EXPECT_EQ(lib.CloseArchive(h), 0);
  }
}

TEST(UnrarHeaders, VolumeFlagsAndSplitParts) {
  TempDir dir;
  RarOptions o = opts(Format::Rar5);
  o.volumeSize = 20'000;
  auto vols = WriteRar(dir.path(), "v", {Pattern("p.bin", 50'000, 1)}, o);
  ASSERT_GE(vols.size(), 3u);
  RunResult list = runArchive(vols[0], RAR_SKIP, "", 0, nullptr, 0, RAR_OM_LIST);
  EXPECT_EQ(list.flags, unsigned(ROADF_VOLUME | ROADF_NEWNUMBERING | ROADF_FIRSTVOLUME));
  EXPECT_EQ(list.names, std::vector<std::string>{"p.bin"});
  // Each part on its own, with its split flags.
  RunResult parts = runArchive(vols[0], RAR_SKIP, "", 0, nullptr, 0, RAR_OM_LIST_INCSPLIT);
  EXPECT_EQ(parts.names.size(), vols.size());
  // A later volume alone: its head is the tail of a file it cannot rebuild.
  RunResult later = runArchive(vols[1], RAR_EXTRACT, dir / "out");
  EXPECT_EQ(later.flags & ROADF_FIRSTVOLUME, 0u);
  ASSERT_EQ(later.codes.size(), 1u);
  EXPECT_EQ(later.codes[0], ERAR_BAD_DATA);
  EXPECT_FALSE(fs::exists(dir / "out/p.bin"));
}

// Extraction must reproduce the source tree byte for byte, whatever the
// format, the volume size and the volume naming.
TEST(UnrarExtract, ByteIdenticalAcrossFormatsAndNamings) {
  struct Case {
    Format format;
    uint64_t volumeSize;
    Naming naming;
  };
  const Case cases[] = {
      {Format::Rar4, 0, Naming::Part},         {Format::Rar5, 0, Naming::Part},
      {Format::Rar4, 100'000, Naming::Part},   {Format::Rar5, 100'000, Naming::Part},
      {Format::Rar4, 60'000, Naming::Old},     {Format::Rar5, 60'000, Naming::Old},
      {Format::Rar4, 60'000, Naming::Numeric},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(formatName(c.format)) + " volume size " + std::to_string(c.volumeSize) + " naming " +
                 std::to_string(int(c.naming)));
    TempDir dir;
    RarOptions o = opts(c.format);
    o.volumeSize = c.volumeSize;
    o.naming = c.naming;
    auto entries = sampleEntries();
    auto vols = WriteRar(dir.path(), "set", entries, o);
    if (c.volumeSize) {
      ASSERT_GT(vols.size(), 2u);
    }

    DataCount count;
    RunResult r = runArchive(vols[0], RAR_EXTRACT, dir / "out", 0, countingCallback, LPARAM(&count));
    ASSERT_EQ(r.openResult, 0u);
    EXPECT_EQ(r.endCode, ERAR_END_ARCHIVE);
    EXPECT_EQ(r.codes, std::vector<int>(entries.size(), 0));
    EXPECT_EQ(count.notifications, int(vols.size()) - 1);
    uint64_t total = 0;
    for (auto& e : entries) {
      fs::path p = fs::path(dir / "out") / e.name;
      if (e.isDir) {
        EXPECT_TRUE(fs::is_directory(p)) << e.name;
        continue;
      }
      std::string expected =
          e.generated == Generated::Pattern ? PatternBytes(e.patternSeed, 0, e.generatedSize) : e.data;
      EXPECT_TRUE(readFile(p) == expected) << e.name;
      total += expected.size();
      struct stat st;
      ASSERT_EQ(stat(p.c_str(), &st), 0);
      EXPECT_EQ(st.st_mtime, e.mtime);
    }
    EXPECT_EQ(count.bytes, total);
    // Nothing but the entries (no temporary files) in the destination.
    EXPECT_EQ(listTree(dir / "out").size(), 6u);

    RunResult test = runArchive(vols[0], RAR_TEST, "");
    EXPECT_EQ(test.codes, std::vector<int>(entries.size(), 0));
  }
}

TEST(UnrarExtract, DestNameAndWidePathsAndPermissions) {
  TempDir dir;
  RarEntry script = File("s.sh", "#!/bin/sh\n");
  script.attributes = 0100755;
  auto vols = WriteRar(dir.path(), "d", {script}, opts(Format::Rar4));
  UnrarLib& lib = UnrarLib::get();
  HANDLE h = openPlain(vols[0]);
  ASSERT_NE(h, nullptr);
  RARHeaderData hd{};
  ASSERT_EQ(lib.ReadHeader(h, &hd), 0);
  std::string target = dir / "new/folder/renamed.sh";
  EXPECT_EQ(lib.ProcessFile(h, RAR_EXTRACT, nullptr, const_cast<char*>(target.c_str())), 0);
  lib.CloseArchive(h);
  EXPECT_EQ(readFile(target), "#!/bin/sh\n");
  EXPECT_TRUE(access(target.c_str(), X_OK) == 0);

  h = openPlain(vols[0]);
  ASSERT_EQ(lib.ReadHeader(h, &hd), 0);
  std::wstring wdest;
  for (char c : dir.path()) wdest += wchar_t(uint8_t(c));
  wdest += L"/wide-\u00fc";
  EXPECT_EQ(lib.ProcessFileW(h, RAR_EXTRACT, wdest.data(), nullptr), 0);
  lib.CloseArchive(h);
  EXPECT_TRUE(fs::exists(dir / "wide-ü/s.sh"));
}

TEST(UnrarExtract, DataCallbackAbortLeavesNoFile) {
  TempDir dir;
  auto vols = WriteRar(dir.path(), "a", {Pattern("big", 3'000'000, 3), File("next", "n")}, opts(Format::Rar5));
  UnrarLib& lib = UnrarLib::get();
  HANDLE h = openPlain(vols[0]);
  ASSERT_NE(h, nullptr);
  static int calls;
  calls = 0;
  lib.SetProcessDataProc(h, [](unsigned char*, int) -> int { return ++calls < 2 ? 1 : 0; });
  RARHeaderData hd{};
  std::string out = dir / "out";
  ASSERT_EQ(lib.ReadHeader(h, &hd), 0);
  EXPECT_EQ(lib.ProcessFile(h, RAR_EXTRACT, out.data(), nullptr), ERAR_UNKNOWN);
  lib.SetProcessDataProc(h, nullptr);
  ASSERT_EQ(lib.ReadHeader(h, &hd), 0);
  EXPECT_STREQ(hd.FileName, "next");
  EXPECT_EQ(lib.ProcessFile(h, RAR_EXTRACT, out.data(), nullptr), 0);
  lib.CloseArchive(h);
  EXPECT_EQ(listTree(out), std::vector<std::string>{"next"});
}

TEST(UnrarExtract, UnicodeNamesInTheCLocale) {
  // The tests run in the C locale; names must still come out as UTF-8.
  TempDir dir;
  auto vols = WriteRar(dir.path(), "u", {File("päckchen/ü€😀.txt", "x")}, opts(Format::Rar4));
  RunResult r = runArchive(vols[0], RAR_EXTRACT, dir / "out");
  EXPECT_EQ(r.codes, std::vector<int>{0});
  EXPECT_EQ(readFile(dir / "out/päckchen/ü€😀.txt"), "x");

  std::string fixture = std::string(LUMESKAR_SHARED_FIXTURES) + "/test_read_format_rar_unicode.rar";
  if (!fs::exists(fixture)) return;
  RunResult f = runArchive(fixture, RAR_EXTRACT, dir / "fx");
  ASSERT_FALSE(f.names.empty());
  for (size_t i = 0; i < f.names.size(); ++i) EXPECT_EQ(f.codes[i], 0) << f.names[i];
  bool nonAscii = false;
  for (auto& n : f.names)
    for (char ch : n) nonAscii |= uint8_t(ch) >= 0x80;
  EXPECT_TRUE(nonAscii);
}

// Volumes whose names differ from the expected ones in letter case are used
// under their real names: in the header records and for compressed data.
TEST(UnrarExtract, VolumesWhoseNamesDifferInLetterCase) {
  TempDir dir;
  RarOptions o = opts(Format::Rar4);
  o.volumeSize = 30'000;
  o.naming = Naming::Old;
  auto vols = WriteRar(dir.path(), "case", {Pattern("p.bin", 80'000, 4)}, o);
  ASSERT_GE(vols.size(), 3u);
  const std::string first = dir / "CASE.RAR", second = dir / "Case.r00";
  fs::rename(vols[0], first);
  fs::rename(vols[1], second);
  RunResult r = runArchive(dir / "case.rar", RAR_EXTRACT, dir / "out");
  EXPECT_EQ(r.codes, std::vector<int>{0});
  EXPECT_TRUE(readFile(dir / "out/p.bin") == PatternBytes(4, 0, 80'000));

  UnrarLib& lib = UnrarLib::get();
  RAROpenArchiveDataEx od{};
  std::string asked = dir / "case.rar";
  od.ArcName = asked.data();
  od.OpenMode = RAR_OM_LIST_INCSPLIT;
  HANDLE h = lib.OpenArchiveEx(&od);
  ASSERT_NE(h, nullptr);
  static RARHeaderDataEx hd;
  std::vector<std::string> arcNames;
  while (lib.ReadHeaderEx(h, &hd) == 0) arcNames.push_back(hd.ArcName);
  lib.CloseArchive(h);
  ASSERT_GE(arcNames.size(), 2u);
  EXPECT_EQ(arcNames[0], first);
  EXPECT_EQ(arcNames[1], second);

  const fs::path fixtures = LUMESKAR_SHARED_FIXTURES;
  const std::string base = "test_read_format_rar5_multiarchive.part0";
  if (!fs::exists(fixtures / (base + "1.rar"))) return;
  fs::create_directories(dir / "fx");
  for (int part = 1; part <= 8; ++part) {
    std::string name = base + std::to_string(part) + ".rar";
    std::string stored = name;
    if (part > 1)
      for (char& c : stored) c = char(toupper(uint8_t(c)));
    fs::copy_file(fixtures / name, fs::path(dir / "fx") / stored);
  }
  RunResult fx = runArchive(dir / ("fx/" + base + "1.rar"), RAR_TEST, "");
  EXPECT_EQ(fx.codes, (std::vector<int>{0, 0}));
}

// Stored entries large enough that the next chunk is read while the last one
// is written: whole, across odd-sized volumes, damaged, and cut short.
TEST(UnrarExtract, LargeStoredEntriesWholeAcrossVolumesDamagedAndCut) {
  const uint64_t size = (9u << 20) + 1;
  for (Format format : {Format::Rar4, Format::Rar5})
    for (uint64_t volumeSize : {uint64_t{0}, uint64_t{1'300'001}}) {
      for (int damage = 0; damage < 3; ++damage) {  // none, a flipped byte, the last volume cut
        SCOPED_TRACE(std::string(formatName(format)) + " volumes " + std::to_string(volumeSize) + " damage " +
                     std::to_string(damage));
        TempDir dir;
        RarOptions o = opts(format);
        o.volumeSize = volumeSize;
        RarEntry big = Pattern("big.bin", size, 11);
        big.damageData = damage == 1;
        auto vols = WriteRar(dir.path(), "s", {big, File("next", "n")}, o);
        if (damage == 2) fs::resize_file(vols.back(), fs::file_size(vols.back()) / 2);
        DataCount count;
        RunResult r = runArchive(vols[0], RAR_EXTRACT, dir / "out", 0, countingCallback, LPARAM(&count));
        ASSERT_FALSE(r.codes.empty());
        if (damage == 0) {
          EXPECT_EQ(r.codes, (std::vector<int>{0, 0}));
          EXPECT_EQ(count.bytes, size + 1);
          EXPECT_TRUE(readFile(dir / "out/big.bin") == PatternBytes(11, 0, size));
        } else {
          EXPECT_NE(r.codes[0], 0);
          EXPECT_FALSE(fs::exists(dir / "out/big.bin"));
        }
      }
    }
}
