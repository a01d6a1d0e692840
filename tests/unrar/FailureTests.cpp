// Damaged data, missing and misordered volumes, encryption, solid RAR 4,
// hostile names and comments, through the C API.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/unrar/UnrarLib.h"
#include "tools/RarWriter.h"
#include "unrar/Blake2.h"

namespace fs = std::filesystem;
using namespace rarwriter;

namespace {

struct VolumeAsk {
  std::string replacement;  // name to answer with; empty = cancel
  int asks = 0;
  int notifies = 0;
};

int CALLBACK volumeCallback(UINT msg, LPARAM user, LPARAM p1, LPARAM p2) {
  auto* v = reinterpret_cast<VolumeAsk*>(user);
  if (msg != UCM_CHANGEVOLUME) return 0;
  if (p2 == RAR_VOL_NOTIFY) {
    ++v->notifies;
    return 1;
  }
  ++v->asks;
  if (v->replacement.empty()) return -1;
  strcpy(reinterpret_cast<char*>(p1), v->replacement.c_str());
  return 1;
}

struct PasswordAsk {
  const char* answer;
  int asks = 0;
};

int CALLBACK passwordCallback(UINT msg, LPARAM user, LPARAM p1, LPARAM p2) {
  auto* p = reinterpret_cast<PasswordAsk*>(user);
  if (msg != UCM_NEEDPASSWORD) return 0;
  ++p->asks;
  if (!p->answer) return -1;
  snprintf(reinterpret_cast<char*>(p1), size_t(p2), "%s", p->answer);
  return 1;
}

std::vector<std::string> splitSet(const TempDir& dir, Format format, uint64_t size = 40'000) {
  RarOptions o = opts(format);
  o.volumeSize = size;
  return WriteRar(dir.path(), "s", {File("first", "1"), Pattern("p.bin", 150'000, 9), File("last", "z")}, o);
}

void putVint(std::string& out, uint64_t v) {
  do {
    out += char((v & 0x7F) | (v > 0x7F ? 0x80 : 0));
    v >>= 7;
  } while (v);
}

// A RAR 5 block: its CRC-32, its size, then `body` (type, flags, fields).
std::string rar5Block(const std::string& body) {
  std::string sized;
  putVint(sized, body.size());
  sized += body;
  uint32_t crc = Crc32(0, sized.data(), sized.size());
  std::string out;
  for (int i = 0; i < 4; ++i) out += char(crc >> (8 * i));
  return out + sized;
}

// Runs `body` in a child process that is killed after a few seconds, so a
// hang fails the test instead of stopping it. `body` returns the child's
// exit code; `peakKiB` receives the child's peak memory.
struct ChildResult {
  bool exited = false;
  int code = -1;
  long peakKiB = 0;
};
template <class F>
ChildResult inChild(F body, unsigned seconds = 5) {
  pid_t pid = fork();
  if (pid == 0) {
    alarm(seconds);
    _exit(body());
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  return {WIFEXITED(status), WIFEXITED(status) ? WEXITSTATUS(status) : -1, usage.ru_maxrss};
}

// The first error of a run: the open result, else the first failed entry,
// else the end code.
int firstError(const RunResult& r) {
  if (r.openResult) return int(r.openResult);
  for (int code : r.codes)
    if (code) return code;
  return r.endCode == ERAR_END_ARCHIVE ? 0 : r.endCode;
}

}  // namespace

TEST(UnrarFailures, CrcMismatchRemovesTheFileUnlessKeptBroken) {
  for (Format format : {Format::Rar4, Format::Rar5}) {
    TempDir dir;
    RarEntry bad = File("bad.txt", "damaged contents");
    bad.damageData = true;
    auto vols = WriteRar(dir.path(), "c", {bad, File("good.txt", "fine")}, opts(format));
    RunResult r = runArchive(vols[0], RAR_EXTRACT, dir / "out");
    EXPECT_EQ(r.codes, (std::vector<int>{ERAR_BAD_DATA, 0}));
    EXPECT_EQ(listTree(dir / "out"), std::vector<std::string>{"good.txt"});

    r = runArchive(vols[0], RAR_EXTRACT, dir / "keep", ROADOF_KEEPBROKEN);
    EXPECT_EQ(r.codes, (std::vector<int>{ERAR_BAD_DATA, 0}));
    EXPECT_EQ(readFile(dir / "keep/bad.txt").size(), 16u);

    EXPECT_EQ(runArchive(vols[0], RAR_TEST, "").codes, (std::vector<int>{ERAR_BAD_DATA, 0}));
  }
}

TEST(UnrarFailures, DamagedHeaders) {
  TempDir dir;
  RarEntry e = File("x", "x");
  e.damageHeader = true;
  auto vols = WriteRar(dir.path(), "h", {File("ok", "ok"), e}, opts(Format::Rar4));
  RunResult r = runArchive(vols[0], RAR_EXTRACT, dir / "out");
  EXPECT_EQ(r.names, std::vector<std::string>{"ok"});
  EXPECT_EQ(r.endCode, ERAR_BAD_DATA);

  writeFile(dir / "not.rar", "just some text, not an archive");
  EXPECT_EQ(runArchive(dir / "not.rar", RAR_TEST, "").openResult, unsigned(ERAR_BAD_ARCHIVE));
  EXPECT_EQ(runArchive(dir / "absent.rar", RAR_TEST, "").openResult, unsigned(ERAR_EOPEN));
  std::string broken = readFile(vols[0]);
  broken[9] ^= 0x40;  // inside the main header
  writeFile(dir / "broken.rar", broken);
  EXPECT_EQ(runArchive(dir / "broken.rar", RAR_TEST, "").openResult, unsigned(ERAR_BAD_DATA));
}

TEST(UnrarFailures, MissingVolumeIsAnErrorOrAskedFor) {
  for (Format format : {Format::Rar4, Format::Rar5}) {
    TempDir dir;
    auto vols = splitSet(dir, format);
    ASSERT_GE(vols.size(), 4u);
    // Volumes from the third on live in another folder.
    fs::create_directories(dir / "other");
    for (size_t i = 2; i < vols.size(); ++i)
      fs::rename(vols[i], fs::path(dir / "other") / fs::path(vols[i]).filename());
    std::string moved = (fs::path(dir / "other") / fs::path(vols[2]).filename()).string();

    // No callback: the split file fails; nothing partial is left.
    RunResult r = runArchive(vols[0], RAR_EXTRACT, dir / "out");
    ASSERT_EQ(r.codes.size(), 2u);
    EXPECT_EQ(r.codes[1], ERAR_EOPEN);
    EXPECT_EQ(r.endCode, ERAR_EOPEN);
    EXPECT_EQ(listTree(dir / "out"), std::vector<std::string>{"first"});

    // The caller cancels: asked once, and the set is not retried.
    VolumeAsk cancel;
    r = runArchive(vols[0], RAR_TEST, "", 0, volumeCallback, LPARAM(&cancel));
    EXPECT_EQ(r.codes.back(), ERAR_EOPEN);
    EXPECT_EQ(cancel.asks, 1);

    // The caller names the file; the volumes after it are found beside it.
    VolumeAsk answer{moved};
    r = runArchive(vols[0], RAR_EXTRACT, dir / "ok", 0, volumeCallback, LPARAM(&answer));
    EXPECT_EQ(r.codes, (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(answer.asks, 1);
    EXPECT_EQ(answer.notifies, int(vols.size()) - 1);
    EXPECT_TRUE(readFile(dir / "ok/p.bin") == PatternBytes(9, 0, 150'000));

    // A CHANGEVOLPROC answering 0 cancels as well.
    UnrarLib& lib = UnrarLib::get();
    HANDLE h = openPlain(vols[0]);
    lib.SetChangeVolProc(h, [](char*, int mode) { return mode == RAR_VOL_ASK ? 0 : 1; });
    RARHeaderData hd{};
    ASSERT_EQ(lib.ReadHeader(h, &hd), 0);
    EXPECT_EQ(lib.ProcessFile(h, RAR_SKIP, nullptr, nullptr), 0);
    ASSERT_EQ(lib.ReadHeader(h, &hd), 0);
    EXPECT_EQ(lib.ProcessFile(h, RAR_TEST, nullptr, nullptr), ERAR_EOPEN);
    lib.CloseArchive(h);
  }
}

TEST(UnrarFailures, VolumesOutOfOrderOrSkipped) {
  for (Format format : {Format::Rar4, Format::Rar5}) {
    TempDir dir;
    auto vols = splitSet(dir, format);
    ASSERT_GE(vols.size(), 4u);
    // Swap volumes 2 and 3 on disk.
    std::string a = readFile(vols[1]), b = readFile(vols[2]);
    writeFile(vols[1], b);
    writeFile(vols[2], a);
    RunResult r = runArchive(vols[0], RAR_EXTRACT, dir / "out");
    ASSERT_GE(r.codes.size(), 2u);
    EXPECT_NE(r.codes[1], 0);
    EXPECT_FALSE(fs::exists(dir / "out/p.bin"));

    // A missing volume replaced by a copy of a later one.
    writeFile(vols[1], b);
    writeFile(vols[2], b);
    r = runArchive(vols[0], RAR_TEST, "");
    ASSERT_GE(r.codes.size(), 2u);
    EXPECT_NE(r.codes[1], 0);
  }
}

// A FIFO or a device in place of a volume (first, middle or last, in every
// naming) is an open error at once: nothing blocks on it, and the split
// entry leaves no file, finished or temporary.
TEST(UnrarFailures, VolumesThatAreNotRegularFilesAreOpenErrors) {
  for (Naming naming : {Naming::Part, Naming::Old, Naming::Numeric}) {
    for (size_t position : {0, 1, 2}) {
      for (bool fifo : {true, false}) {
        SCOPED_TRACE(testing::Message() << int(naming) << " volume " << position << (fifo ? " fifo" : " device"));
        TempDir dir;
        RarOptions o = opts(Format::Rar5);
        o.volumeSize = 20'000;
        o.naming = naming;
        auto vols = WriteRar(dir.path(), "v", {Pattern("p.bin", 50'000, 3)}, o);
        ASSERT_EQ(vols.size(), 3u);
        fs::remove(vols[position]);
        if (fifo)
          ASSERT_EQ(mkfifo(vols[position].c_str(), 0600), 0);
        else
          fs::create_symlink("/dev/zero", vols[position]);
        fs::create_directories(dir / "out");
        ChildResult c = inChild([&] { return firstError(runArchive(vols[0], RAR_EXTRACT, dir / "out")); });
        EXPECT_TRUE(c.exited);
        EXPECT_EQ(c.code, ERAR_EOPEN);
        EXPECT_TRUE(fs::is_empty(dir / "out"));
      }
    }
  }
}

// A first volume behind a prefix, holding one whole compressed entry,
// followed by thousands of empty files that carry the next volumes' names:
// the entry extracts, the set ends at the first empty one with an error,
// and memory stays small whatever follows.
TEST(UnrarFailures, ManyEmptyVolumesCostNoMemory) {
  const fs::path fixture = fs::path(LUMESKAR_SHARED_FIXTURES) / "test_read_format_rar5_compressed.rar";
  if (!fs::exists(fixture)) GTEST_SKIP() << "no shared fixtures";
  // The fixture's file block as it is, between a volume's main and end blocks.
  const std::string archive = readFile(fixture);
  const size_t file = 24, end = 428;
  ASSERT_EQ(archive[file + 5], '\x02');
  ASSERT_EQ(archive[end + 5], '\x05');
  TempDir dir;
  writeFile(dir / "x.part0001.rar", std::string(100, 'P') + archive.substr(0, 8) +
                                        rar5Block(std::string("\x01\x00\x01", 3)) + archive.substr(file, end - file) +
                                        rar5Block(std::string("\x05\x00\x01", 3)));
  writeFile(dir / "empty", "");
  for (int i = 2; i <= 3000; ++i) {
    char name[32];
    snprintf(name, sizeof name, "x.part%04d.rar", i);
    fs::create_hard_link(dir / "empty", dir / name);
  }
  fs::create_directories(dir / "out");
  ChildResult c = inChild([&] {
    RunResult r = runArchive(dir / "x.part0001.rar", RAR_EXTRACT, dir / "out");
    return r.codes == std::vector<int>{0} && r.endCode == ERAR_BAD_DATA ? 0 : 1;
  });
  EXPECT_TRUE(c.exited);
  EXPECT_EQ(c.code, 0);
  EXPECT_LT(c.peakKiB, 100 * 1024);
  EXPECT_EQ(listTree(dir / "out").size(), 1u);
}

TEST(UnrarFailures, EncryptedEntriesAndHeaders) {
  for (Format format : {Format::Rar4, Format::Rar5}) {
    TempDir dir;
    RarEntry secret = File("secret.txt", "plain but marked");
    secret.encrypted = true;
    auto vols = WriteRar(dir.path(), "e", {secret, File("open.txt", "o")}, opts(format));

    RunResult r = runArchive(vols[0], RAR_EXTRACT, dir / "out");
    EXPECT_EQ(r.codes, (std::vector<int>{ERAR_MISSING_PASSWORD, 0}));

    PasswordAsk refuse{nullptr};
    r = runArchive(vols[0], RAR_EXTRACT, dir / "out", 0, passwordCallback, LPARAM(&refuse));
    EXPECT_EQ(r.codes[0], ERAR_MISSING_PASSWORD);
    EXPECT_EQ(refuse.asks, 1);

    // Marked encrypted but stored plain: what decryption makes of it fails
    // its checksum, and nothing of it is left.
    PasswordAsk give{"pw"};
    r = runArchive(vols[0], RAR_EXTRACT, dir / "out", 0, passwordCallback, LPARAM(&give));
    EXPECT_EQ(r.codes, (std::vector<int>{ERAR_BAD_DATA, 0}));
    EXPECT_EQ(listTree(dir / "out"), std::vector<std::string>{"open.txt"});

    UnrarLib& lib = UnrarLib::get();
    HANDLE h = openPlain(vols[0]);
    RARHeaderData hd{};
    ASSERT_EQ(lib.ReadHeader(h, &hd), 0);
    EXPECT_EQ(hd.Flags & RHDF_ENCRYPTED, unsigned(RHDF_ENCRYPTED));
    lib.SetPassword(h, const_cast<char*>("pw"));
    EXPECT_EQ(lib.ProcessFile(h, RAR_TEST, nullptr, nullptr), ERAR_BAD_DATA);
    lib.CloseArchive(h);

    RarOptions o = opts(format);
    o.encryptedHeaders = true;
    auto hidden = WriteRar(dir.path(), "eh", {File("x", "x")}, o);
    EXPECT_EQ(runArchive(hidden[0], RAR_TEST, "").openResult, unsigned(ERAR_MISSING_PASSWORD));
    PasswordAsk again{"pw"};
    EXPECT_EQ(runArchive(hidden[0], RAR_TEST, "", 0, passwordCallback, LPARAM(&again)).openResult,
              unsigned(ERAR_BAD_DATA));
  }
}

TEST(UnrarFailures, SolidRar4) {
  TempDir dir;
  // Stored entries of a solid archive need no earlier state and extract.
  RarOptions o = opts(Format::Rar4);
  o.solid = true;
  auto vols = WriteRar(dir.path(), "solid", {File("a", "aa"), File("b", "bb")}, o);
  RunResult stored = runArchive(vols[0], RAR_EXTRACT, dir / "stored");
  EXPECT_EQ(stored.flags & ROADF_SOLID, unsigned(ROADF_SOLID));
  EXPECT_EQ(stored.codes, (std::vector<int>{0, 0}));
  EXPECT_EQ(readFile(dir / "stored/b"), "bb");

  // A compressed entry marked solid continues the stream of the entry
  // before it, which here ended asking for new tables: it decodes.
  std::string fixture = std::string(LUMESKAR_SHARED_FIXTURES) + "/test_read_format_rar_compress_normal.rar";
  if (!fs::exists(fixture)) GTEST_SKIP() << "no shared fixtures";
  std::string bytes = readFile(fixture);
  size_t pos = bytes.find("testdir\\LibarchiveAddingTest.html");
  ASSERT_NE(pos, std::string::npos);
  size_t head = pos - 32;  // start of that file header
  ASSERT_EQ(uint8_t(bytes[head + 2]), 0x74);
  bytes[head + 3] = char(uint8_t(bytes[head + 3]) | 0x10);
  unsigned size = uint8_t(bytes[head + 5]) | uint8_t(bytes[head + 6]) << 8;
  uint32_t crc = Crc32(0, bytes.data() + head + 2, size - 2);
  bytes[head] = char(crc);
  bytes[head + 1] = char(crc >> 8);
  writeFile(dir / "patched.rar", bytes);
  RunResult r = runArchive(dir / "patched.rar", RAR_EXTRACT, dir / "out");
  ASSERT_EQ(r.names.size(), 6u);
  EXPECT_EQ(r.codes[2], 0);  // testdir/test.txt: compressed, not solid
  EXPECT_EQ(r.codes[3], 0);  // continues the solid stream
  EXPECT_EQ(readFile(dir / "out/testdir/LibarchiveAddingTest.html"), readFile(dir / "out/LibarchiveAddingTest.html"));
}

namespace {

enum class Damage { None, PackedByte, Checksum };

// A RAR 1.5-4 archive marked solid, every file after the first flagged as
// continuing the stream, and its first file damaged: one packed byte
// altered, or its stored CRC (the decoder then gets through, and only the
// check tells). The second file is made empty: no data of its own can go
// wrong, so only the state of the stream before it decides. Header CRCs
// match.
std::string solidWithDamagedFirst(std::string bytes, Damage damage) {
  size_t p = bytes.find(std::string("Rar!\x1a\x07\x00", 7));
  if (p == std::string::npos) return {};
  p += 7;
  bool first = true, emptied = false;
  while (p + 7 <= bytes.size()) {
    auto u16 = [&](size_t at) { return unsigned(uint8_t(bytes[at])) | unsigned(uint8_t(bytes[at + 1])) << 8; };
    const unsigned type = uint8_t(bytes[p + 2]), flags = u16(p + 3), size = u16(p + 5);
    if (size < 7) break;
    const uint32_t data = type == 0x74 || (flags & 0x8000) ? uint32_t(u16(p + 7)) | uint32_t(u16(p + 9)) << 16 : 0;
    unsigned newFlags = flags;
    if (type == 0x73) newFlags |= 0x08;  // a solid archive
    if (type == 0x74 && (flags & 0xE0) != 0xE0 && data > 0) {
      if (!first) {
        newFlags |= 0x10;  // continues the stream
        if (!emptied) bytes.replace(p + 11, 4, std::string(4, '\0')).replace(p + 16, 4, std::string(4, '\0'));
        emptied = true;
      } else if (damage == Damage::PackedByte) {
        bytes[p + size + data / 2] ^= 0x55;
      } else if (damage == Damage::Checksum) {
        bytes[p + 16] ^= 0x01;
      }
      first = false;
    }
    bytes[p + 3] = char(newFlags);
    const uint32_t crc = Crc32(0, bytes.data() + p + 2, size - 2);
    bytes[p] = char(crc);
    bytes[p + 1] = char(crc >> 8);
    p += size + data;
  }
  return bytes;
}

int CALLBACK countData(UINT msg, LPARAM user, LPARAM, LPARAM size) {
  if (msg == UCM_PROCESSDATA) *reinterpret_cast<uint64_t*>(user) += uint64_t(size);
  return 1;
}

}  // namespace

// In a solid RAR 1.5 or 2.0 archive whose first file is damaged, every
// later file continues a broken stream: each one fails and hands out no
// data at all, whether the decoder noticed the damage or only the
// checksum did.
TEST(UnrarFailures, SolidStreamAfterADamagedEntry) {
  const fs::path fixtures = fs::path(LUMESKAR_SHARED_FIXTURES).parent_path() / "rar-sc";
  if (!fs::exists(fixtures)) GTEST_SKIP() << "no shared fixtures";
  UnrarLib& lib = UnrarLib::get();
  for (const char* name : {"Rar15.rar", "Rar2.rar"}) {
    for (Damage damage : {Damage::None, Damage::PackedByte, Damage::Checksum}) {
      SCOPED_TRACE(testing::Message() << name << " damage " << int(damage));
      TempDir dir;
      const std::string bytes = solidWithDamagedFirst(readFile(fixtures / name), damage);
      ASSERT_FALSE(bytes.empty());
      writeFile(dir / "solid.rar", bytes);
      RAROpenArchiveDataEx d{};
      std::string path = dir / "solid.rar";
      d.ArcName = path.data();
      d.OpenMode = RAR_OM_EXTRACT;
      uint64_t handedOut = 0;
      d.Callback = countData;
      d.UserData = LPARAM(&handedOut);
      HANDLE h = lib.OpenArchiveEx(&d);
      ASSERT_NE(h, nullptr);
      EXPECT_EQ(d.Flags & ROADF_SOLID, unsigned(ROADF_SOLID));
      static RARHeaderDataEx hd;
      int files = 0;
      while (lib.ReadHeaderEx(h, &hd) == 0) {
        if (hd.Flags & RHDF_DIRECTORY) {
          lib.ProcessFile(h, RAR_SKIP, nullptr, nullptr);
          continue;
        }
        SCOPED_TRACE(hd.FileName);
        handedOut = 0;
        const int code = lib.ProcessFile(h, RAR_TEST, nullptr, nullptr);
        if (files++ == 0) {
          EXPECT_EQ(code, damage == Damage::None ? 0 : ERAR_BAD_DATA);
          if (damage != Damage::PackedByte) {
            EXPECT_EQ(handedOut, hd.UnpSize);
          }
        } else if (damage != Damage::None) {
          EXPECT_EQ(code, ERAR_BAD_DATA);
          EXPECT_EQ(handedOut, 0u);
        } else if (hd.UnpSize == 0) {
          EXPECT_EQ(code, 0);  // the empty file continues an intact stream
        }
      }
      lib.CloseArchive(h);
      EXPECT_GE(files, 3);
    }
  }
}

TEST(UnrarFailures, HostileNamesNeverLeaveTheDestination) {
  for (Format format : {Format::Rar4, Format::Rar5}) {
    TempDir dir;
    fs::create_directories(dir / "dest");
    std::vector<RarEntry> entries = {
        File("../evil.txt", "e"),
        File("/tmp/unrar-abs-evil.txt", "e"),
        File("a/../../evil2.txt", "e"),
        Link("outlink", "/etc"),
        File("outlink/passwd-copy", "e"),
        Link("uplink", "../../x"),
        Link("inlink", "sub/../target.txt"),
        File("inlink", "through a link"),
        File("target.txt", "t"),
        File("./fine/./ok.txt", "ok"),
        // Forms a check must see through component by component; RAR 4
        // names separate folders with '\\', RAR 5 names hold it as a
        // plain character.
        File("./../evil3.txt", "e"),
        File("a/./../../evil4.txt", "e"),
        File("a/b/../../../evil5.txt", "e"),
        File(".\\..\\evil6.txt", "e"),
        File("..\\evil7.txt", "e"),
        File("//evil8.txt", "e"),
        File("..", "e"),
        // The same as link targets.
        Link("l1", "./../x"),
        Link("l2", "a/./../../x"),
        Link("l3", "a/b/../../../x"),
        Link("l4", "//x"),
        Link("l5", ".."),
        Link("l6", ".\\..\\x"),
        Link("l7", "..\\x"),
    };
    auto vols = WriteRar(dir.path(), "hostile", entries, opts(format));
    RunResult r = runArchive(vols[0], RAR_EXTRACT, dir / "dest");
    ASSERT_EQ(r.codes.size(), entries.size());
    const int backslash = format == Format::Rar4 ? ERAR_ECREATE : 0;
    const int expected[] = {ERAR_ECREATE,
                            ERAR_ECREATE,
                            ERAR_ECREATE,
                            ERAR_ECREATE,
                            0,
                            ERAR_ECREATE,
                            0,
                            0,
                            0,
                            0,
                            ERAR_ECREATE,
                            ERAR_ECREATE,
                            ERAR_ECREATE,
                            backslash,
                            backslash,
                            ERAR_ECREATE,
                            ERAR_ECREATE,
                            ERAR_ECREATE,
                            ERAR_ECREATE,
                            ERAR_ECREATE,
                            ERAR_ECREATE,
                            ERAR_ECREATE,
                            0,
                            0};
    static_assert(std::size(expected) == 24);
    for (size_t i = 0; i < entries.size(); ++i) EXPECT_EQ(r.codes[i], expected[i]) << entries[i].name;
    EXPECT_FALSE(fs::exists(dir / "evil.txt"));
    EXPECT_FALSE(fs::exists(dir / "evil2.txt"));
    EXPECT_FALSE(fs::exists("/tmp/unrar-abs-evil.txt"));
    EXPECT_EQ(listTree(dir.path()).size(), listTree(dir / "dest").size() + 1 + vols.size());
    // "outlink" was refused, so "outlink/passwd-copy" is a plain folder.
    EXPECT_TRUE(fs::is_directory(dir / "dest/outlink"));
    // "inlink" became a regular file replacing the link, never writing through it.
    EXPECT_EQ(readFile(dir / "dest/target.txt"), "t");
    EXPECT_FALSE(fs::is_symlink(dir / "dest/inlink"));
    EXPECT_EQ(readFile(dir / "dest/inlink"), "through a link");
  }
}

TEST(UnrarFailures, NoWriteThroughALinkedFolder) {
  TempDir dir;
  fs::create_directories(dir / "dest");
  fs::create_directories(dir / "outside");
  auto vols = WriteRar(dir.path(), "l", {Link("d", "sub"), File("d/x.txt", "x")}, opts(Format::Rar5));
  fs::create_directories(dir / "dest/sub");
  RunResult r = runArchive(vols[0], RAR_EXTRACT, dir / "dest");
  EXPECT_EQ(r.codes, (std::vector<int>{0, ERAR_ECREATE}));
  EXPECT_TRUE(fs::is_symlink(dir / "dest/d"));
  EXPECT_FALSE(fs::exists(dir / "dest/sub/x.txt"));
}

TEST(UnrarComments, CommentSizeAndState) {
  for (Format format : {Format::Rar4, Format::Rar5}) {
    TempDir dir;
    RarOptions o = opts(format);
    o.comment = "Release notes\r\nline two";
    auto vols = WriteRar(dir.path(), "c", {File("a", "a")}, o);
    auto plain = WriteRar(dir.path(), "n", {File("a", "a")}, opts(format));
    UnrarLib& lib = UnrarLib::get();
    struct {
      std::string path;
      unsigned bufSize, size, state;
      std::string text;
    } cases[] = {
        {vols[0], 65535, 24, 1, o.comment},
        {vols[0], 24, 24, 1, o.comment},
        {vols[0], 8, 8, ERAR_SMALL_BUF, "Release"},
        {vols[0], 0, 0, 0, ""},
        {plain[0], 65535, 0, 0, ""},
    };
    for (auto& c : cases) {
      char buf[65536];
      memset(buf, 'X', sizeof buf);
      RAROpenArchiveData od{};
      od.ArcName = const_cast<char*>(c.path.c_str());
      od.OpenMode = RAR_OM_EXTRACT;
      od.CmtBuf = buf;
      od.CmtBufSize = c.bufSize;
      HANDLE h = lib.OpenArchive(&od);
      ASSERT_NE(h, nullptr);
      EXPECT_EQ(od.CmtSize, c.size) << c.bufSize;
      EXPECT_EQ(od.CmtState, c.state) << c.bufSize;
      if (c.state) {
        EXPECT_EQ(std::string(buf), c.text);
      }
      lib.CloseArchive(h);
    }
  }
}

TEST(UnrarComments, CompressedRar4Comment) {
  const fs::path fixtures = LUMESKAR_SHARED_FIXTURES;
  const std::pair<fs::path, std::string> rows[] = {
      {fixtures / "test_read_format_rar_subblock.rar", "test rar with archive comment"},
      {fixtures.parent_path() / "rar-sc/Rar.comment.rar", "This is a comment\n"},  // RAR 2.9 data
  };
  for (const auto& [fixture, text] : rows) {
    if (!fs::exists(fixture)) GTEST_SKIP() << "no shared fixtures";
    char buf[100];
    RAROpenArchiveDataEx od{};
    od.ArcName = const_cast<char*>(fixture.c_str());
    od.CmtBuf = buf;
    od.CmtBufSize = sizeof buf;
    HANDLE h = UnrarLib::get().OpenArchiveEx(&od);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(od.CmtState, 1u);
    EXPECT_EQ(std::string(buf), text);
    EXPECT_EQ(od.CmtSize, text.size() + 1);
    EXPECT_TRUE(od.Flags & ROADF_COMMENT);
    UnrarLib::get().CloseArchive(h);
  }
}

// A link whose target passes through another link from the archive must not
// end up pointing out of the destination, whatever order they come in; a NUL
// would cut the target short after it was checked.
TEST(UnrarFailures, LinkTargetsStayInsideThroughOtherLinks) {
  for (Format format : {Format::Rar4, Format::Rar5}) {
    TempDir dir;
    fs::create_directories(dir / "dest");
    std::vector<RarEntry> entries = {Link("e", "d/up/.."), Dir("d"), Link("d/up", ".."),
                                     Link("n", std::string("..\0", 3)), Link("f", "d/./up/../../d")};
    auto vols = WriteRar(dir.path(), "chain", entries, opts(format));
    RunResult r = runArchive(vols[0], RAR_EXTRACT, dir / "dest");
    EXPECT_EQ(r.codes, (std::vector<int>{0, 0, 0, ERAR_ECREATE, 0}));
    const fs::path dest = fs::canonical(dir / "dest");
    for (const char* link : {"e", "d/up", "f"}) {
      fs::path resolved = fs::weakly_canonical(dest / link);
      EXPECT_EQ(resolved.string().rfind(dest.string(), 0), 0u) << link << " -> " << resolved;
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(dest / "n")));
  }
}

// A name longer than any usable path is refused before anything is created;
// one just under the limit, in short components, still extracts.
TEST(UnrarFailures, OverlongNamesAreRefused) {
  for (Format format : {Format::Rar4, Format::Rar5}) {
    TempDir dir;
    std::string deep;
    while (deep.size() < 6000) deep += "d/";
    std::string fits;
    while (fits.size() < 3800) fits += std::string(200, 'f') + "/";
    auto vols = WriteRar(dir.path(), "long", {File(deep + "x", "x"), File(fits + "y", "y")}, opts(format));
    RunResult r = runArchive(vols[0], RAR_EXTRACT, dir / "dest");
    EXPECT_EQ(r.codes, (std::vector<int>{ERAR_ECREATE, 0}));
    EXPECT_FALSE(fs::exists(dir / "dest/d"));
    EXPECT_EQ(readFile(fs::path(dir / "dest") / (fits + "y")), "y");
  }
}

// RAR 5 hard links and file copies name an entry extracted earlier; the
// source must be inside the destination and a regular file.
TEST(UnrarFailures, HardLinksAndCopiesOfEarlierEntries) {
  TempDir dir;
  fs::create_directories(dir / "dest");
  writeFile(dir / "outside.txt", "secret");
  ASSERT_EQ(mkfifo((dir / "dest/pipe").c_str(), 0600), 0);
  auto redir = [](std::string name, std::string source, unsigned type) {
    RarEntry e = Link(std::move(name), std::move(source));
    e.redirType = type;
    return e;
  };
  std::vector<RarEntry> entries = {File("a.txt", "alpha"),
                                   redir("hard", "a.txt", FSREDIR_HARDLINK),
                                   redir("copy", "a.txt", FSREDIR_FILECOPY),
                                   redir("escape", "../outside.txt", FSREDIR_FILECOPY),
                                   redir("escape-hard", "../outside.txt", FSREDIR_HARDLINK),
                                   redir("from-pipe", "pipe", FSREDIR_FILECOPY)};
  auto vols = WriteRar(dir.path(), "redir", entries, opts(Format::Rar5));
  RunResult r = runArchive(vols[0], RAR_EXTRACT, dir / "dest");
  EXPECT_EQ(r.codes, (std::vector<int>{0, 0, 0, ERAR_ECREATE, ERAR_ECREATE, ERAR_EOPEN}));
  struct stat a, hard, copy;
  ASSERT_EQ(stat((dir / "dest/a.txt").c_str(), &a), 0);
  ASSERT_EQ(stat((dir / "dest/hard").c_str(), &hard), 0);
  ASSERT_EQ(stat((dir / "dest/copy").c_str(), &copy), 0);
  EXPECT_EQ(a.st_ino, hard.st_ino);
  EXPECT_NE(a.st_ino, copy.st_ino);
  EXPECT_EQ(readFile(dir / "dest/copy"), "alpha");
  EXPECT_EQ(listTree(dir / "dest"), (std::vector<std::string>{"a.txt", "copy", "hard", "pipe"}));
}

namespace {

std::string blake2Of(const std::string& data) {
  unrar::Blake2sp h;
  h.update(reinterpret_cast<const uint8_t*>(data.data()), data.size());
  std::string out(32, '\0');
  h.final(reinterpret_cast<uint8_t*>(out.data()));
  return out;
}

// A stored RAR 5 archive of one file whose entry carries a BLAKE2sp hash and
// no CRC-32 (the writer only makes CRC-32 entries), split over `volumes`
// volumes. Every part but the last carries the hash of its own bytes, the
// last the whole file's. `damagedVolume` has one bit of its part flipped
// after the hashes were taken. `wholeHash`, when given, stands in for the
// whole file's hash.
std::vector<std::string> blake2Volumes(const std::string& name, const std::string& data, size_t volumes = 1,
                                       int damagedVolume = -1, const std::string& wholeHash = {}) {
  auto vint = putVint;
  auto block = rar5Block;
  std::vector<std::string> out;
  const size_t partSize = (data.size() + volumes - 1) / volumes;
  for (size_t v = 0; v < volumes; ++v) {
    const bool last = v + 1 == volumes;
    std::string part = data.substr(v * partSize, last ? std::string::npos : partSize);
    std::string record(1, '\x02');  // hash record: BLAKE2sp
    record += '\0';
    record += !last ? blake2Of(part) : wholeHash.empty() ? blake2Of(data) : wholeHash;
    std::string extra;
    vint(extra, record.size());
    extra += record;
    std::string file;
    vint(file, 2);  // file header: extra area and data follow, split before and after
    vint(file, 0x03 | (v > 0 ? 0x08 : 0) | (last ? 0 : 0x10));
    vint(file, extra.size());
    vint(file, part.size());
    vint(file, 0);  // no time, no CRC-32
    vint(file, data.size());
    vint(file, 0644);
    vint(file, 0);  // stored
    vint(file, 1);  // Unix host
    vint(file, name.size());
    file += name + extra;
    std::string main("\x01\x00", 2);  // main header: a volume, numbered after the first
    vint(main, volumes == 1 ? 0 : v == 0 ? 0x01 : 0x03);
    if (v > 0) vint(main, v);
    if (int(v) == damagedVolume) part[part.size() / 2] ^= 0x10;
    out.push_back(std::string("Rar!\x1a\x07\x01\x00", 8) + block(main) + block(file) + part +
                  block(std::string("\x05\x00", 2) + char(last ? 0 : 1)));
  }
  return out;
}

std::string blake2Archive(const std::string& name, const std::string& data, const uint8_t hash[32]) {
  return blake2Volumes(name, data, 1, -1, std::string(reinterpret_cast<const char*>(hash), 32))[0];
}

}  // namespace

// Stored entries hashed with BLAKE2sp are checked like CRC-32 ones; the hash
// is the one RAR 5 archives carry (checked against a compressed fixture,
// whose data libarchive verifies itself).
TEST(UnrarFailures, Blake2HashOfStoredEntries) {
  TempDir dir;
  const std::string data = std::string(5000, 'b') + "blake";
  uint8_t hash[32];
  unrar::Blake2sp h;
  h.update(reinterpret_cast<const uint8_t*>(data.data()), data.size());
  h.final(hash);
  writeFile(dir / "good.rar", blake2Archive("good.txt", data, hash));
  std::string damaged = data;
  damaged[100] ^= 1;
  writeFile(dir / "bad.rar", blake2Archive("bad.txt", damaged, hash));
  EXPECT_EQ(runArchive(dir / "good.rar", RAR_EXTRACT, dir / "out").codes, std::vector<int>{0});
  EXPECT_EQ(readFile(dir / "out/good.txt"), data);
  EXPECT_EQ(runArchive(dir / "bad.rar", RAR_EXTRACT, dir / "out").codes, std::vector<int>{ERAR_BAD_DATA});
  EXPECT_EQ(runArchive(dir / "bad.rar", RAR_TEST, "").codes, std::vector<int>{ERAR_BAD_DATA});
  EXPECT_FALSE(fs::exists(dir / "out/bad.txt"));

  std::string fixture = std::string(LUMESKAR_SHARED_FIXTURES) + "/test_read_format_rar5_blake2.rar";
  if (!fs::exists(fixture)) return;
  RunResult r = runArchive(fixture, RAR_EXTRACT, dir / "fx");
  ASSERT_EQ(r.codes, std::vector<int>{0});
  UnrarLib& lib = UnrarLib::get();
  HANDLE hd = openPlain(fixture);
  static RARHeaderDataEx header;
  ASSERT_EQ(lib.ReadHeaderEx(hd, &header), 0);
  lib.CloseArchive(hd);
  ASSERT_EQ(header.HashType, unsigned(RAR_HASH_BLAKE2));
  const std::string extracted = readFile(fs::path(dir / "fx") / header.FileName);
  unrar::Blake2sp fx;
  fx.update(reinterpret_cast<const uint8_t*>(extracted.data()), extracted.size());
  uint8_t fxHash[32];
  fx.final(fxHash);
  EXPECT_EQ(memcmp(fxHash, header.Hash, 32), 0);
}

TEST(UnrarFailures, CorruptCompressedDataFailsCleanly) {
  // A RAR 5 entry whose damaged compression data once made the decoder ask
  // for an allocation of almost 2^64 bytes (found by fuzzing). Testing and
  // extracting it must fail with an error code and write nothing.
  static const char kData[] =
      "\x52\x61\x72\x21\x1a\x07\x01\x00\x09\xef\xc8\x6f\x0b\x01\x05\x07\x04\x06\x01\x01\x80\x80\x80\x00"
      "\x19\x8c\x94\xff\x27\x02\x03\x0b\xf9\x02\x04\x80\x20\xa4\x83\x02\xc6\xb2\x13\x7e\x80\x1d\x01\x09"
      "\x74\x65\x73\x74\x31\x2e\x62\x69\x6e\x0a\x03\x13\x67\x5f\xac\x5b\x1a\x5a\x9e\x10\xc9\xe7\x75\x01"
      "\x01\x00\x00\x00\x00\x00\x00\x01\x18\x65\x54\x65\x26\xf4\x80\x57\xf5\xf3\xe7\xcf\x92\x49\x24\x92"
      "\x49\x24\x92\x49\x24\x92\x49\x24\x92\x49\x24\x92\x49\x24\x92\x49\x24\x92\x49\x24\x92\x49\x24\x92"
      "\x49\x24\x92\x49\x24\x92\x49\x24\x92\x49\x24\x92\x49\x24\x92\x49\x24\xbf\xcf\x39\x9c\x35\xad\x97"
      "\x57\xbe\xd4\x5d\x3c\xa9\x39\xd5\xcb\x3b\x7c\x7b\x9e\xeb\x7d\x1a\xcc\xce\xbc\x3c\xfc\x77\x4d\xb7"
      "\xbd\x9b\xe9\xdf\xf1\x8c\xd6\x79\xe6\xb0\xce\xac\xce\x9c\xfc\x1d\xc0\x00\x80\x08\x01\xb0\xc3\x7f"
      "\x3f\x1e\xfe\xee\xde\xce\xbe\xae\x9e\x8e\x7e\x6e\x5e\x4e\x3e\x2e\x1e\x0d\xfd\xed\xdd\xcd\xbd\xad"
      "\x9d\x8d\x7d\x6d\x5d\x4d\x3d\x2d\x1d\x0c\xfc\xec\xdc\xcc\xbc\xac\x9c\x8c\x7c\x6c\x5c\x4c\x3c\x2c"
      "\x1c\x0b\xfb\xeb\xdb\xcb\xbb\xab\x9b\x8b\x7b\x6b\x5b\x4b\x3b\x2b\x1b\x0a\xfa\xea\xda\xca\xba\xaa"
      "\x9a\x8a\x7a\x6a\x5a\x4a\x3a\x2a\x1a\x09\xf9\xe9\xd9\xc9\xb9\xa9\x99\x89\x79\x69\x59\x49\x39\x29"
      "\x19\x08\xf8\xe8\xd8\xc8\xb8\xa8\x98\x88\x78\x68\x58\x48\x38\x28\x18\x07\xf7\xe7\xd7\xc7\xb7\xa7"
      "\x97\x8f\xff\xfb\xfb\xfc\xfd\xfb\xd9\x8f\x60\xa6\x70\xa6\x5a\xf5\x7c\xa2\x88\xd7\xf2\x42\x16\xd7"
      "\x01\x6d\xc5\x80\xc4\xd1\xa2\xd9\x42\x59\x13\x28\x0e\x6d\x83\x18\x31\x36\x6c\x88\x89\x69\x08\x5b"
      "\x69\x6e\x70\x75\x74\x2e\x70\x61\x72\x74\x31\x2e\x72\x30\x30\x5c\x05\xf9\x8b\x01\x89\xa3\x45\xb2"
      "\x84\xb2\x26\x50\x1c\xfc\x83\x18\x31\x36\xf2\x44\x44\xb4\x84\x2d\xae\x02\xfc\x45\x80\xc4\xd1\xa2"
      "\xd9\x42\x59\x13\x28\x0e\x7e\x01\x8c\x18\x9b\x78\x22\x22\x5a\x42\x16\xd7\x01\x7d\xe2\xc0\x62\x68"
      "\xd1\x6c\xa1\x2c\x89\x94\x06\x98\x75\xe1\x5f\x98\xeb\x95\xf7\xdc\x5a\xbe\x9b\x7a\xaf\x98\xbe\xa7"
      "\x3d\x79\x4e\x5e\xe2\x9c\x8d\xaf\x8a\xc5\xfe\x00\x3b\x73\xe2\x91\x27\x02\x03\x0b\x99\x00\x04\x80"
      "\x20\xa4\x83\x02\xcb\xaf\x66\xf1\xc0\x1d\x01\x09\x74\x65\x73\x74\x32\x2e\x62\x69\x6e\x0a\x03\x13"
      "\x7a\x5f\xac\x5b\x2d\x54\x73\x17\x41\x0d\x16\x70\x00\x20\x02\x00\x6a\x5f\xc7\xf7\xb9\xe0\xc5\xea"
      "\x7f\x30\xeb\xc3\xbf\x8f\xe5\xfe\x00\x96\x94\xcc\x87\x27\x02\x03\x0b\xaa\x00\x04\x80\x20\xa4\x83"
      "\x02\xd9\x23\xb1\x9f\xc0\x1d\x01\x09\x74\x65\x73\x74\x33\x2e\x62\x69\x6e\x0a\x03\x13\x7e\x5f\xac"
      "\x5b\xd0\x3d\x00\x03\x40\x3d\x27\x70\x00\x20\x02\x00\x6d\xd7\xf1\xfd\xf3\x0f\xef\x4d\x0f\x2b\x28"
      "\x1f\x48\x63\xb8\x21\xf4\x86\x3b\x82\x1f\x48\x63\xb8\x21\xee\x61\xd7\x87\x7f\x1f\xcb\xfc\x00\x8d"
      "\x78\x53\x6c\x27\x02\x03\x0b\x99\x00\x04\x80\x20\xa4\x83\x02\xd4\x3e\xc4\x10\xc0\x1d\x01\x09\x74"
      "\x65\x73\x74\x34\x2e\x62\x69\x6e\x0a\x03\x13\x81\x5f\xac\x5b\xa1\x26\x1d\x12\x42\x0e\x16\x70\x00"
      "\x20\x02\x00\x6d\x97\xf1\xfd\xec\xf0\x62\xf6\x3f\x98\x75\xe1\xdf\xc7\xf2\xff\x00\x1d\x77\x56\x51"
      "\x03\x05\x04\x00";
  TempDir dir;
  writeFile(dir / "bad.rar", std::string(kData, sizeof kData - 1));
  for (int op : {RAR_TEST, RAR_EXTRACT}) {
    RunResult r = runArchive(dir / "bad.rar", op, dir / "out");
    EXPECT_EQ(r.openResult, 0u);
    ASSERT_FALSE(r.codes.empty());
    EXPECT_NE(r.codes[0], 0) << op;
  }
  EXPECT_TRUE(!std::filesystem::exists(dir / "out") || std::filesystem::is_empty(dir / "out"));
}

// An entry split over volumes is checked against every hash the volumes
// carry: one flipped bit in any part fails it, and no file is left.
TEST(UnrarFailures, Blake2HashOfSplitEntries) {
  TempDir dir;
  std::string data;
  for (int i = 0; i < 3000; ++i) data += "line " + std::to_string(i) + "\n";
  for (int damaged : {-1, 0, 1, 2}) {
    SCOPED_TRACE(damaged);
    const fs::path folder = dir / ("set" + std::to_string(damaged + 1));
    fs::create_directories(folder / "out");
    std::vector<std::string> volumes = blake2Volumes("split.txt", data, 3, damaged);
    for (size_t v = 0; v < volumes.size(); ++v)
      writeFile(folder / ("x.part" + std::to_string(v + 1) + ".rar"), volumes[v]);
    const int expected = damaged < 0 ? 0 : ERAR_BAD_DATA;
    EXPECT_EQ(runArchive(folder / "x.part1.rar", RAR_TEST, "").codes, std::vector<int>{expected});
    EXPECT_EQ(runArchive(folder / "x.part1.rar", RAR_EXTRACT, folder / "out").codes, std::vector<int>{expected});
    EXPECT_EQ(listTree(folder / "out"),
              damaged < 0 ? std::vector<std::string>{"split.txt"} : std::vector<std::string>{});
    if (damaged < 0) {
      EXPECT_EQ(readFile(folder / "out/split.txt"), data);
    }
  }
}

namespace {

// `archive` with the compression info of its file block at `file` set to
// `comp`, the block sealed again.
std::string withCompressionInfo(const std::string& archive, size_t file, uint64_t comp) {
  auto vint = [&](size_t& p) {
    uint64_t v = 0;
    for (unsigned shift = 0;; shift += 7) {
      const uint8_t b = uint8_t(archive[p++]);
      v |= uint64_t(b & 0x7F) << shift;
      if (!(b & 0x80)) return v;
    }
  };
  size_t p = file + 4;
  const uint64_t size = vint(p);
  const size_t body = p;
  vint(p);  // type
  const uint64_t flags = vint(p);
  if (flags & 1) vint(p);
  if (flags & 2) vint(p);
  const uint64_t fileFlags = vint(p);
  vint(p);  // unpacked size
  vint(p);  // attributes
  p += (fileFlags & 2 ? 4 : 0) + (fileFlags & 4 ? 4 : 0);
  const size_t at = p;
  vint(p);
  std::string encoded;
  putVint(encoded, comp);
  std::string block = archive.substr(body, size_t(size));
  block.replace(at - body, p - at, encoded);
  return archive.substr(0, file) + rar5Block(block) + archive.substr(body + size_t(size));
}

}  // namespace

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

// Damaged RAR 5 data through our decoder: every bit flip in the packed
// data, every cut, and dictionary sizes up to the format's largest and past
// it. Each run ends with an error code (or success where the damage hit
// only bits that are never read), never a crash or a hang, in bounded
// memory: the runs
// go on in a child limited to 1 GiB of address space.
TEST(UnrarFailures, DamagedRar5DataEndsInAnErrorCode) {
  const fs::path fixture = fs::path(LUMESKAR_SHARED_FIXTURES) / "test_read_format_rar5_compressed.rar";
  if (!fs::exists(fixture)) GTEST_SKIP() << "no shared fixtures";
  const std::string archive = readFile(fixture);
  const size_t file = 24, data = 24 + 4 + 1 + 38, end = 428;  // the file block, its data, the end block
  ASSERT_EQ(archive[file + 5], '\x02');
  ASSERT_EQ(archive[end + 5], '\x05');
  TempDir dir;
  const std::string path = dir / "t.rar";
  auto test = [&](const std::string& bytes) {
    writeFile(path, bytes);
    return firstError(runArchive(path, RAR_TEST, ""));
  };
  ChildResult c = inChild(
      [&] {
        // AddressSanitizer reserves terabytes of address space for its
        // shadow, so there the peak resident size below is the only bound.
        if (!kAddressSanitizer) {
          rlimit limit{1u << 30, 1u << 30};
          setrlimit(RLIMIT_AS, &limit);
        }
        int unexpected = 0, passed = 0;
        if (test(archive) != 0) return 100;
        for (size_t at = data; at < end; ++at) {  // one bit of every byte, in turn
          std::string flipped = archive;
          flipped[at] ^= char(1 << (at % 8));
          const int r = test(flipped);
          passed += r == 0;
          unexpected += r != 0 && r != ERAR_BAD_DATA;
        }
        // Only bits the decoder never looks at may change: those after the
        // last block's end, and counts of unused table entries that run past
        // the table's end.
        if (passed > 4) return 101;
        for (size_t cut = 8; cut < archive.size(); ++cut) {
          const int r = test(archive.substr(0, cut));
          const bool betweenBlocks = cut == file || cut == end;  // what is left is whole
          unexpected += r != ERAR_BAD_DATA && r != ERAR_BAD_ARCHIVE && !(betweenBlocks && r == 0);
        }
        // 128 KiB << n: up to 4 GiB for algorithm version 0, larger ones
        // as RAR 7 declares them, then past the largest (64 GiB).
        const uint64_t method = 3 << 7;
        for (unsigned n : {0u, 15u, 19u}) unexpected += test(withCompressionInfo(archive, file, method | n << 10)) != 0;
        for (unsigned n : {20u, 31u})
          unexpected += test(withCompressionInfo(archive, file, method | n << 10)) != ERAR_LARGE_DICT;
        return unexpected;
      },
      60);
  EXPECT_TRUE(c.exited);
  EXPECT_EQ(c.code, 0);
  EXPECT_LT(c.peakKiB, 200 * 1024);
}
