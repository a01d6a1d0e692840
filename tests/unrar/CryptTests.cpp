// Encrypted archives through the C API: the password flow (RARSetPassword,
// the password callbacks, the codes for a missing or wrong password), and
// each RAR 4 cipher on archives that unar, an independent reader, decrypts
// to the same bytes.
#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/unrar/UnrarLib.h"
#include "unrar/Crypt20.h"
#include "unrar/Crypt3.h"

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

// One stored entry in a RAR 4 archive, encrypted the way unpack version
// `unpVer` encrypts: 29 AES-128 (with or without salt), 20 and 15 the
// older ciphers.
std::string rar4Encrypted(unsigned unpVer, const std::string& password, const std::string& data, bool salted = true) {
  auto put16 = [](std::string& s, unsigned v) { s += char(v), s += char(v >> 8); };
  auto put32 = [&](std::string& s, uint32_t v) { put16(s, v & 0xFFFF), put16(s, v >> 16); };
  auto seal = [&](std::string h) {
    h[5] = char(h.size()), h[6] = char(h.size() >> 8);
    uint32_t crc = rarwriter::Crc32(0, h.data() + 2, h.size() - 2);
    h[0] = char(crc), h[1] = char(crc >> 8);
    return h;
  };
  const uint8_t salt[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  salted = salted && unpVer == 29;
  std::string packed = data;
  const unrar::Secret secret(password);
  if (unpVer == 29) {
    packed.resize((data.size() + 15) & ~size_t(15), '\0');
    unrar::Rar3Key key;
    unrar::deriveRar3Key(unrar::rar3Password(secret), salted ? salt : nullptr, false, key);
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int n = 0;
    auto* p = reinterpret_cast<unsigned char*>(packed.data());
    EVP_EncryptInit_ex(ctx, EVP_aes_128_cbc(), nullptr, key.key, key.iv);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    EVP_EncryptUpdate(ctx, p, &n, p, int(packed.size()));
    EVP_CIPHER_CTX_free(ctx);
  } else {
    if (unpVer == 20) packed.resize((data.size() + 15) & ~size_t(15), '\0');
    auto cipher = unpVer == 20 ? unrar::makeRar20Encryptor(secret) : unrar::makeRar15Encryptor(secret);
    cipher->decrypt(reinterpret_cast<uint8_t*>(packed.data()), packed.size());
  }
  std::string main = std::string("\0\0\x73\0\0\0\0", 7) + std::string(6, '\0');
  std::string file("\0\0\x74", 3);
  put16(file, 0x8000 | 0x0004 | (salted ? 0x0400 : 0));
  put16(file, 0);
  put32(file, uint32_t(packed.size()));
  put32(file, uint32_t(data.size()));
  file += char(3);  // Unix
  put32(file, rarwriter::Crc32(0, data.data(), data.size()));
  put32(file, 0x5A210000);  // 2025-01-01
  file += char(unpVer);
  file += char(0x30);  // stored
  put16(file, 8);
  put32(file, 0100644);
  file += "data.bin";
  if (salted) file.append(reinterpret_cast<const char*>(salt), 8);
  return std::string("Rar!\x1a\x07\0", 7) + seal(main) + seal(file) + packed +
         std::string("\xc4\x3d\x7b\0\x40\x07\0", 7);
}

bool unarExtract(const fs::path& archive, const std::string& password, const fs::path& dest) {
  fs::create_directories(dest);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(open("/dev/null", O_WRONLY), 1);
    dup2(open("/dev/null", O_WRONLY), 2);
    execlp("unar", "unar", "-q", "-f", "-o", dest.c_str(), "-p", password.c_str(), archive.c_str(), (char*)nullptr);
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
