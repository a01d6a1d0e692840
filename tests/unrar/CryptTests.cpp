// Encrypted archives through the C API: the password flow (RARSetPassword,
// the password callbacks, the codes for a missing or wrong password), and
// each RAR 4 cipher on archives that unar, an independent reader, decrypts
// to the same bytes.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/common/EncryptedRar.h"
#include "tests/unrar/UnrarLib.h"

namespace fs = std::filesystem;

namespace {

struct Answer {
  std::wstring wide;   // answer to UCM_NEEDPASSWORDW; empty: leave it blank
  std::string narrow;  // answer to UCM_NEEDPASSWORD; empty: cancel (-1)
  std::vector<UINT> asked = {};
};

int CALLBACK answer(UINT msg, LPARAM user, LPARAM p1, LPARAM p2) {
  auto* a = reinterpret_cast<Answer*>(user);
  if (msg == UCM_NEEDPASSWORDW) {
    a->asked.push_back(msg);
    wcsncpy(reinterpret_cast<wchar_t*>(p1), a->wide.c_str(), size_t(p2));
    return 1;
  }
  if (msg == UCM_NEEDPASSWORD) {
    a->asked.push_back(msg);
    if (a->narrow.empty()) return -1;
    snprintf(reinterpret_cast<char*>(p1), size_t(p2), "%s", a->narrow.c_str());
    return 1;
  }
  return 0;
}

fs::path fixture(const char* name) { return fs::path(LUMESKAR_SHARED_FIXTURES) / name; }

std::string rar4Encrypted(unsigned unpVer, const std::string& password, const std::string& data, bool salted = true) {
  return testing_support::EncryptedRar4({{"data.bin", data, password, unpVer, salted}});
}

bool unarExtract(const fs::path& archive, const std::string& password, const fs::path& dest) {
  fs::create_directories(dest);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(open("/dev/null", O_WRONLY), 1);
    dup2(open("/dev/null", O_WRONLY), 2);
    execlp("unar", "unar", "-q", "-f", "-D", "-o", dest.c_str(), "-p", password.c_str(), archive.c_str(),
           static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

// A wrong or missing password: the code the format allows, and no file.
TEST(UnrarCrypt, WrongAndMissingPasswordsLeaveNoFile) {
  if (!fs::exists(fixture("test_read_format_rar5_encrypted.rar"))) GTEST_SKIP() << "no shared fixtures";
  struct Case {
    const char* archive;
    const char* entry;     // the entry looked at
    const char* password;  // set with RARSetPassword; null: none
    int code;
  } cases[] = {
      // RAR 3 has no password check: the data fails its CRC.
      {"test_read_format_rar_encryption_data.rar", "foo.txt", "1234567", ERAR_BAD_DATA},
      {"test_read_format_rar_encryption_data.rar", "bar.txt", nullptr, ERAR_MISSING_PASSWORD},
      // RAR 5 carries a check value: told before anything is written.
      {"test_read_format_rar5_encrypted.rar", "b.txt", "password2", ERAR_BAD_PASSWORD},
      {"test_read_format_rar5_encrypted.rar", "d.txt", "password", ERAR_BAD_PASSWORD},
      {"test_read_format_rar5_encrypted.rar", "d.txt", nullptr, ERAR_MISSING_PASSWORD},
  };
  UnrarLib& lib = UnrarLib::get();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.archive) + " " + c.entry);
    TempDir dir;
    Answer none;  // a callback that cancels
    const std::string path = fixture(c.archive).string();
    RAROpenArchiveDataEx d{};
    d.ArcName = const_cast<char*>(path.c_str());
    d.OpenMode = RAR_OM_EXTRACT;
    d.Callback = answer;
    d.UserData = LPARAM(&none);
    HANDLE h = lib.OpenArchiveEx(&d);
    ASSERT_TRUE(h);
    if (c.password) lib.SetPassword(h, const_cast<char*>(c.password));
    RARHeaderData hd{};
    int code = -1;
    while (lib.ReadHeader(h, &hd) == 0) {
      const bool target = std::string(hd.FileName) == c.entry;
      const int r = lib.ProcessFile(h, target ? RAR_EXTRACT : RAR_SKIP, const_cast<char*>(dir.path().c_str()), nullptr);
      if (target) code = r;
    }
    lib.CloseArchive(h);
    EXPECT_EQ(code, c.code);
    EXPECT_TRUE(listTree(dir.path()).empty());
    // A set password, right or wrong, is used as it is: the callback is
    // asked only when there is none (and cancelled here).
    EXPECT_EQ(none.asked.size(), c.password ? 0u : 2u);
  }
}

// Encrypted headers need the password when the archive is opened.
TEST(UnrarCrypt, EncryptedHeadersAskAtOpen) {
  const fs::path archive = fixture("test_read_format_rar_encryption_header.rar");
  if (!fs::exists(archive)) GTEST_SKIP() << "no shared fixtures";
  struct Case {
    Answer answer;
    bool callback;
    unsigned open;
    std::vector<UINT> asked;
  } cases[] = {
      {{}, false, ERAR_MISSING_PASSWORD, {}},
      {{L"", ""}, true, ERAR_MISSING_PASSWORD, {UCM_NEEDPASSWORDW, UCM_NEEDPASSWORD}},
      {{L"", "wrong"}, true, ERAR_BAD_DATA, {UCM_NEEDPASSWORDW, UCM_NEEDPASSWORD}},  // no check value in RAR 3
      {{L"12345678", ""}, true, 0, {UCM_NEEDPASSWORDW}},
      {{L"", "12345678"}, true, 0, {UCM_NEEDPASSWORDW, UCM_NEEDPASSWORD}},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.answer.narrow);
    TempDir dir;
    RunResult r =
        runArchive(archive.string(), RAR_EXTRACT, dir.path(), 0, c.callback ? answer : nullptr, LPARAM(&c.answer));
    EXPECT_EQ(r.openResult, c.open);
    EXPECT_EQ(c.answer.asked, c.asked);
    EXPECT_EQ(r.flags & ROADF_ENCHEADERS, unsigned(ROADF_ENCHEADERS));
    if (c.open == 0) {
      EXPECT_EQ(r.codes, (std::vector<int>{0, 0}));
      EXPECT_EQ(listTree(dir.path()), (std::vector<std::string>{"bar.txt", "foo.txt"}));
      EXPECT_EQ(readFile(dir / "foo.txt"), "data of foo.txt\n");
    }
  }
}

// Every RAR 4 cipher on an archive of our own: a wrong password gives a CRC
// failure and no file. The RAR 1.5 and 2.0 ciphers, which no fixture made
// by RAR itself covers, are checked against unar as well: it gives the same
// bytes. (unar 1.10 fails RAR 3's AES even on the fixtures; those are the
// check for AES-128 and its key derivation.)
TEST(UnrarCrypt, Rar4CiphersAgreeWithUnar) {
  struct Case {
    unsigned unpVer;
    const char* password;
    bool salted;
  } cases[] = {
      {29, "12345678", true},
      {29, "unsalted", false},
      // Long enough for the key derivation's hash to rewrite its input.
      {29, "a passphrase of forty-three characters, yes", true},
      {29, "p\xc3\xa4sswort \xe2\x82\xac", true},  // UTF-8: taken as UTF-16 code units
      {20, "secret", false},
      {20, "a longer password for RAR 2.0's cipher", false},
      {15, "secret", false},
  };
  const bool haveUnar = system("command -v unar >/dev/null 2>&1") == 0;
  const std::string data = rarwriter::PatternBytes(7, 0, 1000);  // not a whole number of blocks
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.unpVer) + " " + c.password);
    TempDir dir;
    const fs::path archive = dir / "enc.rar";
    writeFile(archive, rar4Encrypted(c.unpVer, c.password, data, c.salted));
    if (haveUnar && c.unpVer != 29) {
      ASSERT_TRUE(unarExtract(archive, c.password, dir / "unar"));
      EXPECT_TRUE(readFile(dir / "unar/data.bin") == data);
    }
    UnrarLib& lib = UnrarLib::get();
    for (const char* password : {c.password, "wrong"}) {
      const bool right = password == c.password;
      HANDLE h = openPlain(archive.string());
      ASSERT_TRUE(h);
      lib.SetPassword(h, const_cast<char*>(password));
      RARHeaderData hd{};
      ASSERT_EQ(lib.ReadHeader(h, &hd), 0);
      const fs::path out = dir / (right ? "ours" : "wrong");
      EXPECT_EQ(lib.ProcessFile(h, RAR_EXTRACT, const_cast<char*>(out.c_str()), nullptr), right ? 0 : ERAR_BAD_DATA);
      lib.CloseArchive(h);
      if (right)
        EXPECT_TRUE(readFile(out / "data.bin") == data);
      else
        EXPECT_FALSE(fs::exists(out / "data.bin"));
    }
  }
  if (!haveUnar) GTEST_SKIP() << "unar is not installed: the old ciphers were checked against our own encryption only";
}

// RAR 5 archives of our own with encrypted data, encrypted headers or both,
// which unar (an independent reader) extracts to the same bytes: ours does
// with the password, tells a wrong one by the check value, and reports a
// damaged encrypted entry by its HMAC checksum. Nothing is left of a failure.
TEST(UnrarCrypt, Rar5DataAndHeadersAgreeWithUnar) {
  // An entry with its own password ("": not encrypted).
  auto entry = [](const char* name, const std::string& data, const char* password) {
    rarwriter::RarEntry e = rarwriter::File(name, data);
    e.password = password;
    return e;
  };
  const std::string big = rarwriter::PatternBytes(9, 0, 70000);
  struct Case {
    const char* what;
    std::vector<rarwriter::RarEntry> entries;
    std::string headerPassword;
  } cases[] = {
      {"encrypted data", {entry("plain.txt", "plain text\n", ""), entry("secret.bin", big, "pw5")}, ""},
      {"encrypted headers and data", {entry("secret.bin", big, "pw5"), entry("note.txt", "note\n", "pw5")}, "pw5"},
      {"encrypted headers only", {entry("plain.bin", big, "")}, "pw5"},
  };
  const bool haveUnar = system("command -v unar >/dev/null 2>&1") == 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    rarwriter::RarOptions options;
    options.password = c.headerPassword;
    options.encryptedHeaders = !c.headerPassword.empty();
    const fs::path archive = rarwriter::WriteRar(dir.path(), "enc", c.entries, options).front();
    const std::string bytes = readFile(archive);
    if (haveUnar) {
      ASSERT_TRUE(unarExtract(archive, "pw5", dir / "unar"));
      for (const rarwriter::RarEntry& e : c.entries)
        EXPECT_TRUE(readFile(fs::path(dir / "unar") / e.name) == e.data) << e.name;
    }
    const bool hidden = !c.headerPassword.empty();
    for (const char* password : {"pw5", "wrong"}) {
      const bool right = std::string(password) == "pw5";
      Answer given{L"", password};
      const fs::path out = dir / (right ? "ours" : "wrong");
      RunResult r = runArchive(archive.string(), RAR_EXTRACT, out, 0, answer, LPARAM(&given));
      if (!right && hidden) {
        EXPECT_EQ(r.openResult, unsigned(ERAR_BAD_PASSWORD));
        continue;
      }
      ASSERT_EQ(r.openResult, 0u);
      EXPECT_EQ(r.flags & ROADF_ENCHEADERS, hidden ? unsigned(ROADF_ENCHEADERS) : 0u);
      ASSERT_EQ(r.codes.size(), c.entries.size());
      for (size_t i = 0; i < c.entries.size(); ++i) {
        const rarwriter::RarEntry& e = c.entries[i];
        const bool fails = !right && !e.password->empty();
        EXPECT_EQ(r.codes[i], fails ? ERAR_BAD_PASSWORD : 0) << e.name;
        EXPECT_EQ(fs::exists(out / e.name), !fails) << e.name;
        if (!fails) {
          EXPECT_TRUE(readFile(out / e.name) == e.data) << e.name;
        }
      }
    }
    // A flipped byte in the large entry's data (most of the archive) fails
    // its checksum, an HMAC where the entry is encrypted.
    std::string damaged = bytes;
    damaged[bytes.size() / 2] ^= 0x01;
    writeFile(archive, damaged);
    Answer given{L"", "pw5"};
    RunResult r = runArchive(archive.string(), RAR_EXTRACT, dir / "damaged", 0, answer, LPARAM(&given));
    ASSERT_EQ(r.openResult, 0u);
    for (size_t i = 0; i < c.entries.size() && i < r.codes.size(); ++i) {
      const bool isBig = c.entries[i].data == big;
      EXPECT_EQ(r.codes[i], isBig ? ERAR_BAD_DATA : 0) << c.entries[i].name;
      EXPECT_EQ(fs::exists(fs::path(dir / "damaged") / c.entries[i].name), !isBig) << c.entries[i].name;
    }
  }
  if (!haveUnar) GTEST_SKIP() << "unar is not installed: checked against our own encryption only";
}

// The decrypting source across part boundaries: the packed bytes come in
// pieces of any size (volumes end anywhere), the decoders ask for any size;
// the plain bytes come out the same, and a ragged tail (damaged data) is
// dropped rather than handed out undecrypted.
TEST(UnrarCrypt, DecryptionAcrossPiecesOfAnySize) {
  const std::string plain = rarwriter::PatternBytes(11, 0, 5000);  // 312 blocks and 8 bytes
  const uint8_t key[16] = {1, 2, 3}, iv[16] = {4, 5, 6};
  const std::string cipher = testing_support::encrypted_rar::aesCbc(plain, key, 16, iv);
  const std::string whole = plain + std::string(cipher.size() - plain.size(), '\0');
  for (size_t piece : {1, 5, 16, 17, 4096}) {
    for (size_t read : {1, 7, 16, 100, 65536}) {
      for (bool ragged : {false, true}) {
        SCOPED_TRACE(std::to_string(piece) + " " + std::to_string(read) + (ragged ? " ragged" : ""));
        const std::string packed = ragged ? cipher.substr(0, cipher.size() - 5) : cipher;
        size_t at = 0;
        unrar::DecryptingSource source(
            [&](uint8_t* buf, size_t size, size_t& got) {
              got = std::min({size, piece, packed.size() - at});
              memcpy(buf, packed.data() + at, got);
              at += got;
              return 0;
            },
            std::make_unique<unrar::AesCbc>(key, 16, iv));
        std::string out;
        std::vector<uint8_t> buf(read);
        for (size_t got = 1; got != 0;) {
          ASSERT_EQ(source.read(buf.data(), buf.size(), got), 0);
          ASSERT_LE(got, read);
          out.append(reinterpret_cast<const char*>(buf.data()), got);
        }
        EXPECT_TRUE(out == (ragged ? whole.substr(0, whole.size() - 16) : whole));
      }
    }
  }
}

// RAR 5 archives from our writer with AES-256 (encrypted data, encrypted
// headers, solid, in volumes; stored and compressed) come back whole through the C API
// with the password, and are refused with ERAR_BAD_PASSWORD with a wrong one.
TEST(UnrarCrypt, Rar5WriterArchivesRoundTrip) {
  using namespace rarwriter;
  const std::vector<RarEntry> entries = {File("a.txt", "first entry\n"), Pattern("dir/b.bin", 150'000, 4),
                                         File("c.txt", std::string(3000, 'c'))};
  struct Case {
    const char* what;
    bool headers, solid;
    uint64_t volumeSize;
  } cases[] = {
      {"encrypted data", false, false, 0},
      {"encrypted headers", true, false, 0},
      {"solid", true, true, 0},
      {"volumes", true, false, 40'000},
  };
  for (const Case& c : cases)
    for (int method : {0, 3}) {
      SCOPED_TRACE(std::string(c.what) + (method ? ", compressed" : ", stored"));
      TempDir dir;
      RarOptions o;
      o.format = Format::Rar5;
      o.password = "writer pw";
      o.encryptedHeaders = c.headers;
      o.solid = c.solid;
      o.volumeSize = c.volumeSize;
      o.method = method;
      o.kdfLog2 = 10;
      const auto volumes = WriteRar(dir.path(), "w", entries, o);
      if (c.volumeSize) {
        EXPECT_GT(volumes.size(), 2u);
      }
      Answer right{L"", "writer pw"}, wrong{L"", "other"};
      RunResult r = runArchive(volumes[0], RAR_EXTRACT, dir / "out", 0, answer, LPARAM(&right));
      ASSERT_EQ(r.openResult, 0u);
      EXPECT_EQ(r.codes, std::vector<int>(entries.size(), 0));
      for (const RarEntry& e : entries) {
        const std::string expected = e.generated == Generated::Pattern ? PatternBytes(4, 0, 150'000) : e.data;
        EXPECT_TRUE(readFile(fs::path(dir / "out") / e.name) == expected) << e.name;
      }
      r = runArchive(volumes[0], RAR_EXTRACT, dir / "wrong", 0, answer, LPARAM(&wrong));
      if (c.headers) {
        EXPECT_EQ(r.openResult, unsigned(ERAR_BAD_PASSWORD));
      } else {
        EXPECT_EQ(r.codes, std::vector<int>(entries.size(), ERAR_BAD_PASSWORD));
      }
      EXPECT_FALSE(fs::exists(dir / "wrong"));
    }
}
