// Compressed RAR data: every entry of the shared fixture archives through
// the C API, and the decoders themselves on damaged copies of real data.
#include <map>

#include "tests/unrar/UnrarLib.h"
#include "unrar/Rar3Filters.h"
#include "unrar/Unpacker.h"

namespace fs = std::filesystem;

namespace {

struct Checked {
  uint32_t crc = 0;
  uint64_t size = 0;
  const char* password = nullptr;  // the answer to a password request
};

int CALLBACK crcOfData(UINT msg, LPARAM user, LPARAM p1, LPARAM p2) {
  auto* c = reinterpret_cast<Checked*>(user);
  if (msg == UCM_NEEDPASSWORD && c->password) {
    snprintf(reinterpret_cast<char*>(p1), size_t(p2), "%s", c->password);
    return 1;
  }
  if (msg != UCM_PROCESSDATA) return 0;
  c->crc = rarwriter::Crc32(c->crc, reinterpret_cast<const void*>(p1), size_t(p2));
  c->size += uint64_t(p2);
  return 1;
}

bool firstVolume(const fs::path& p) {
  std::string name = p.filename().string();
  if (p.extension() != ".rar" && p.extension() != ".jpg") return false;
  size_t part = name.find(".part");
  return part == std::string::npos || name.compare(name.find_first_not_of('0', part + 5), 5, "1.rar") == 0;
}

}  // namespace

// Each entry tests with the CRC-32 its header states, computed here from
// the data handed out; the archives that cannot extract fail as they should.
TEST(UnrarDecode, EveryFixtureEntryExtractsWithItsCrc) {
  const fs::path rar = LUMESKAR_SHARED_FIXTURES;
  // Entries that must fail, by archive: the code each entry gets (a header
  // read that fails counts as one more entry).
  const std::map<std::string, int> failing = {
      {"Rar.malformed_512byte.rar", ERAR_BAD_DATA},
  };
  // Passwords, by archive (for the whole archive) or by entry.
  const std::map<std::string, const char*> passwords = {
      {"test_read_format_rar_encryption_data.rar", "12345678"},
      {"test_read_format_rar_encryption_partially.rar", "12345678"},
      {"test_read_format_rar_encryption_header.rar", "12345678"},
      {"b.txt", "password"},
      {"d.txt", "password2"},
  };
  auto passwordOf = [&](const std::string& name) -> const char* {
    auto p = passwords.find(name);
    return p == passwords.end() ? nullptr : p->second;
  };
  int encrypted = 0;
  int passed = 0, failed = 0, archives = 0;
  for (const fs::path& dir : {rar, rar.parent_path() / "rar-sc"}) {
    if (!fs::exists(dir)) continue;
    std::vector<fs::path> sets;
    for (auto& e : fs::directory_iterator(dir))
      if (firstVolume(e.path())) sets.push_back(e.path());
    std::sort(sets.begin(), sets.end());
    for (const fs::path& path : sets) {
      const std::string name = path.filename().string();
      SCOPED_TRACE(name);
      ++archives;
      auto fails = failing.find(name);
      UnrarLib& lib = UnrarLib::get();
      Checked checked;
      checked.password = passwordOf(name);
      RAROpenArchiveDataEx d{};
      d.ArcName = const_cast<char*>(path.c_str());
      d.OpenMode = RAR_OM_EXTRACT;
      d.Callback = crcOfData;
      d.UserData = LPARAM(&checked);
      HANDLE h = lib.OpenArchiveEx(&d);
      if (!h) {
        EXPECT_TRUE(fails != failing.end() && int(d.OpenResult) == fails->second) << d.OpenResult;
        ++failed;
        continue;
      }
      static RARHeaderDataEx hd;
      int read = 0;
      for (int guard = 0; guard < 1000; ++guard) {
        memset(&hd, 0, sizeof hd);
        if ((read = lib.ReadHeaderEx(h, &hd)) != 0) break;
        checked = Checked{0, 0, checked.password};
        const bool isEncrypted = hd.Flags & RHDF_ENCRYPTED;
        if (const char* password = passwordOf(hd.FileName)) lib.SetPassword(h, const_cast<char*>(password));
        int code = lib.ProcessFile(h, RAR_TEST, nullptr, nullptr);
        if (code == 0) {
          // Links have no data here; a split entry's first header holds
          // the CRC of its packed part only (the library checks the last).
          // Encrypted RAR 5 entries may store an HMAC of it instead.
          if (!(hd.Flags & (RHDF_DIRECTORY | RHDF_SPLITAFTER)) && hd.RedirType == 0) {
            EXPECT_EQ(checked.size, uint64_t(hd.UnpSizeHigh) << 32 | hd.UnpSize) << hd.FileName;
            if (hd.HashType == RAR_HASH_CRC32 && !(isEncrypted && hd.UnpVer >= 50)) {
              EXPECT_EQ(checked.crc, hd.FileCRC) << hd.FileName;
            }
          }
          encrypted += isEncrypted;
          ++passed;
        } else if (code != 0) {
          EXPECT_TRUE(fails != failing.end() && (code == fails->second || code == 0)) << hd.FileName << ": " << code;
          ++failed;
        }
      }
      if (read != ERAR_END_ARCHIVE) {
        EXPECT_TRUE(fails != failing.end() && read == fails->second) << "header read: " << read;
        ++failed;
      }
      lib.CloseArchive(h);
    }
  }
  if (!archives) GTEST_SKIP() << "no shared fixtures";
  // foo.txt and bar.txt of the RAR 3 archives (the partial one encrypts
  // one), b.txt and d.txt of the RAR 5 one.
  EXPECT_GE(encrypted, 7);
  printf("%d archives: %d entries extracted with their CRC (%d encrypted), %d refused as expected\n", archives, passed,
         encrypted, failed);
}

namespace {

// A compressed entry of a RAR 4 archive, found by walking its headers.
struct PackedEntry {
  std::string data;
  uint64_t unpSize = 0;
  uint32_t crc = 0;
  unsigned unpVer = 0, dictKiB = 0;
};

bool findPacked(const std::string& archive, const std::string& entry, PackedEntry& out) {
  auto u16 = [&](size_t p) { return unsigned(uint8_t(archive[p]) | uint8_t(archive[p + 1]) << 8); };
  auto u32 = [&](size_t p) { return uint32_t(u16(p) | u16(p + 2) << 16); };
  size_t p = archive.find("Rar!\x1a\x07");
  if (p == std::string::npos) return false;
  for (p += 7; p + 7 <= archive.size();) {
    unsigned type = uint8_t(archive[p + 2]), flags = u16(p + 3), size = u16(p + 5);
    uint64_t add = (type == 0x74 || (flags & 0x8000)) && p + 11 <= archive.size() ? u32(p + 7) : 0;
    if (size < 7) return false;
    if (type == 0x74 && p + 32 <= archive.size() && archive.compare(p + 32, u16(p + 26), entry) == 0) {
      out.data = archive.substr(p + size, add);
      out.unpSize = u32(p + 11);
      out.crc = u32(p + 16);
      out.unpVer = uint8_t(archive[p + 24]);
      out.dictKiB = 64u << ((flags >> 5) & 7);
      return out.data.size() == add;
    }
    p += size + add;
  }
  return false;
}

// Decodes `packed` as one entry of `unpSize` bytes; the output's CRC-32 and
// size. Returns the decoder's code.
int decode(const PackedEntry& e, const std::string& packed, Checked& got) {
  auto unpacker = unrar::makeUnpacker(e.unpVer, size_t(e.dictKiB) * 1024);
  if (!unpacker) return -1;
  unrar::BitInput in(unrar::memorySource(reinterpret_cast<const uint8_t*>(packed.data()), packed.size()));
  return unpacker->unpack(in, e.unpSize, false, [&](const uint8_t* data, size_t size) {
    got.crc = rarwriter::Crc32(got.crc, data, size);
    got.size += size;
    return 0;
  });
}

}  // namespace

// Flipped bytes and truncation at many offsets of real compressed data:
// each decoder ends with an error code or with exactly the entry's size,
// never with more output, a crash or a hang (every case decodes at most
// the entry's size, so a case costs no more than the intact entry).
TEST(UnrarDecode, DamagedDataEndsInAnErrorCode) {
  const fs::path rar = LUMESKAR_SHARED_FIXTURES;
  struct Row {
    fs::path archive;
    const char* entry;
  } rows[] = {
      {rar / "test_read_format_rar_compress_normal.rar", "LibarchiveAddingTest.html"},  // LZ
      {rar / "test_read_format_rar_compress_best.rar", "LibarchiveAddingTest.html"},    // PPMd
      {rar / "test_read_format_rar_filter.rar", "bsdcat.exe"},                          // LZ with filters
      {rar.parent_path() / "rar-sc" / "Rar2.rar", "exe\\test.exe"},                     // RAR 2.0
      {rar.parent_path() / "rar-sc" / "Rar15.rar", "EXE\\TEST.EXE"},                    // RAR 1.5
  };
  int cases = 0;
  for (const Row& row : rows) {
    if (!fs::exists(row.archive)) continue;
    SCOPED_TRACE(row.archive.filename().string());
    PackedEntry e;
    ASSERT_TRUE(findPacked(readFile(row.archive), row.entry, e));
    Checked intact;
    ASSERT_EQ(decode(e, e.data, intact), 0);
    ASSERT_EQ(intact.crc, e.crc);

    const size_t n = e.data.size();
    for (size_t k = 0; k < 48; ++k) {
      size_t at = k * n / 48;
      for (int damage = 0; damage < 3; ++damage) {
        std::string packed = e.data;
        if (damage == 0)
          packed.resize(at);
        else
          packed[at + (damage - 1) * 7 % (n - at)] ^= char(damage == 1 ? 0xFF : 0x10);
        Checked got;
        int r = decode(e, packed, got);
        ++cases;
        EXPECT_LE(got.size, e.unpSize) << "case " << k << "/" << damage;
        if (r == 0)
          EXPECT_EQ(got.size, e.unpSize) << "case " << k << "/" << damage;
        else
          EXPECT_TRUE(r == ERAR_BAD_DATA || r == ERAR_UNKNOWN_FORMAT || r == ERAR_NO_MEMORY)
              << r << " in case " << k << "/" << damage;
      }
    }
  }
  if (!cases) GTEST_SKIP() << "no shared fixtures";
}

namespace {

// MSB-first bits of a filter record, as the compressor writes them.
struct RecordWriter {
  std::vector<uint8_t> bytes;
  size_t bit = 0;
  void put(uint32_t value, unsigned n) {
    for (unsigned i = n; i-- > 0; ++bit) {
      if (bit / 8 == bytes.size()) bytes.push_back(0);
      if (value >> i & 1) bytes[bit / 8] |= uint8_t(0x80 >> (bit % 8));
    }
  }
  // The record's numbers: 2 selector bits, then 4, 8, 16 or 32 bits.
  void number(uint32_t v) {
    if (v < 16)
      put(v, 6);
    else if (v < 256)
      put(0x100 | v, 10);
    else if (v < 65536)
      put(0x20000 | v, 18);
    else
      put(3, 2), put(v, 32);
  }
};

}  // namespace

// Filter records: only the standard programs run; any other program, a
// program number never defined or a block larger than the filter memory
// is refused.
TEST(UnrarDecode, FilterRecordsOtherThanTheStandardProgramsAreRefused) {
  struct Row {
    const char* what;
    uint32_t program, length, codeSize;
    int expected;
  } rows[] = {
      {"unknown program", 1, 1000, 53, ERAR_UNKNOWN_FORMAT},
      {"program never defined", 3, 1000, 53, ERAR_BAD_DATA},
      {"block beyond the filter memory", 1, 0x40001, 53, ERAR_BAD_DATA},
      {"empty program", 1, 1000, 0, ERAR_BAD_DATA},
  };
  for (const Row& row : rows) {
    RecordWriter w;
    w.number(row.program);  // 1 = the first program, defined by this record
    w.number(0);            // block start
    w.number(row.length);
    w.number(row.codeSize);
    for (uint32_t i = 0; i < row.codeSize; ++i) w.put(i * 7 + 1, 8);  // not a standard program's code
    unrar::Rar3Filters filters;
    EXPECT_EQ(filters.add(0x80 | 0x20, w.bytes.data(), w.bytes.size(), 0), row.expected) << row.what;
  }
}

// An archive behind a prefix libarchive does not look past (a picture)
// extracts as it lists: RAR 5 data, one volume and a volume set (RAR 4 data:
// Rar.jpeg.jpg in the table above).
TEST(UnrarDecode, ArchiveBehindAPrefixExtractsAsItLists) {
  const fs::path rar = LUMESKAR_SHARED_FIXTURES;
  if (!fs::exists(rar)) GTEST_SKIP() << "no shared fixtures";
  TempDir dir;
  const std::string prefix = "\xFF\xD8\xFF\xE0" + std::string(3000, 'j');
  writeFile(dir / "solid.jpg", prefix + readFile(rar / "test_read_format_rar5_solid.rar"));
  for (int i = 1; i <= 8; ++i) {
    std::string name = "test_read_format_rar5_multiarchive.part0" + std::to_string(i) + ".rar";
    writeFile(dir / name, (i == 1 ? prefix : "") + readFile(rar / name));
  }
  for (const char* first : {"solid.jpg", "test_read_format_rar5_multiarchive.part01.rar"}) {
    RunResult r = runArchive(dir / first, RAR_TEST, "");
    EXPECT_EQ(r.endCode, ERAR_END_ARCHIVE) << first;
    EXPECT_GE(r.codes.size(), 2u) << first;
    for (size_t i = 0; i < r.codes.size(); ++i) EXPECT_EQ(r.codes[i], 0) << first << ": " << r.names[i];
  }
}

// A RAR 2.x archive comment sits in the main header, packed with the RAR
// 1.5 method or stored. The packed text of a fixture entry serves as the
// comment of a made-up archive: intact, damaged (refused, the archive still
// opens) and stored.
TEST(UnrarDecode, OldStyleArchiveComment) {
  const fs::path fixture = fs::path(LUMESKAR_SHARED_FIXTURES).parent_path() / "rar-sc" / "Rar15.rar";
  if (!fs::exists(fixture)) GTEST_SKIP() << "no shared fixtures";
  PackedEntry e;
  ASSERT_TRUE(findPacked(readFile(fixture), "TECT.TXT", e));
  auto le16 = [](std::string& s, size_t v) { s += char(v & 0xFF), s += char(v >> 8 & 0xFF); };
  auto archive = [&](const std::string& payload, size_t unpSize, unsigned method, uint32_t textCrc) {
    std::string comment(2, '\0');
    comment += char(0x75);
    le16(comment, 0);
    le16(comment, 13 + payload.size());
    le16(comment, unpSize);
    comment += char(15);
    comment += char(method);
    le16(comment, textCrc & 0xFFFF);
    std::string main(2, '\0');
    main += char(0x73);
    le16(main, 0x0002);  // comment present
    le16(main, 13 + comment.size() + payload.size());
    main += std::string(6, '\0');
    const uint32_t crc = rarwriter::Crc32(0, main.data() + 2, 11);  // the comment is outside the CRC
    main[0] = char(crc & 0xFF), main[1] = char(crc >> 8 & 0xFF);
    return std::string("Rar!\x1a\x07\x00", 7) + main + comment + payload +
           std::string("\xC4\x3D\x7B\x00\x40\x07\x00", 7);
  };
  std::string damaged = e.data;
  damaged[damaged.size() / 2] ^= 0x21;
  const std::string note = "stored note";
  const uint32_t noteCrc = rarwriter::Crc32(0, note.data(), note.size());
  struct {
    const char* what;
    std::string archive;
    unsigned state;
    uint64_t size;
    uint32_t crc;
  } cases[] = {
      {"packed", archive(e.data, e.unpSize, 0x33, e.crc), 1, e.unpSize, e.crc},
      {"damaged", archive(damaged, e.unpSize, 0x33, e.crc), 0, 0, 0},
      {"stored", archive(note, note.size(), 0x30, noteCrc), 1, note.size(), noteCrc},
  };
  TempDir dir;
  for (auto& c : cases) {
    const fs::path path = fs::path(dir.path()) / (std::string(c.what) + ".rar");
    writeFile(path, c.archive);
    static char buf[65536];
    RAROpenArchiveDataEx od{};
    od.ArcName = const_cast<char*>(path.c_str());
    od.CmtBuf = buf;
    od.CmtBufSize = sizeof buf;
    HANDLE h = UnrarLib::get().OpenArchiveEx(&od);
    ASSERT_NE(h, nullptr) << c.what;
    EXPECT_EQ(od.CmtState, c.state) << c.what;
    if (c.state == 1) {
      EXPECT_EQ(od.CmtSize, c.size + 1) << c.what;
      EXPECT_EQ(rarwriter::Crc32(0, buf, od.CmtSize - 1), c.crc) << c.what;
    }
    UnrarLib::get().CloseArchive(h);
  }
}
