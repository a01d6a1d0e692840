// The RAR 5 compressor and its encryption, judged by independent readers:
// libarchive must decode every unencrypted archive, and The Unarchiver (unar)
// every archive, encrypted ones with the password, to the very bytes given.
#include "tests/common/RarTestSupport.h"
#include "tools/BenchData.h"
#include "tools/RarWriter.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

using namespace rarwriter;
using rartest::ListWithLibarchive;
using rartest::ReadFile;
using rartest::TempDir;

namespace {

std::string Repeat(const std::string& s, size_t times) {
  std::string out;
  out.reserve(s.size() * times);
  for (size_t i = 0; i < times; ++i) out += s;
  return out;
}

// Log lines that repeat with small changes: long matches at every distance.
std::string LogText(size_t lines) {
  std::string out;
  for (size_t i = 0; i < lines; ++i)
    out += "2024-05-0" + std::to_string(i % 9 + 1) + " request " + std::to_string(i * 7919 % 1000) +
           " served from cache node " + std::to_string(i % 13) + "\n";
  return out;
}

// Byte frequencies along the Fibonacci numbers: an unlimited Huffman code
// for them is far deeper than the 15 bits the format allows.
std::string Skewed() {
  std::string out;
  uint64_t a = 1, b = 1;
  for (int sym = 0; sym < 26; ++sym) {
    out.append(static_cast<size_t>(a), static_cast<char>('A' + sym));
    const uint64_t next = a + b;
    a = b;
    b = next;
  }
  // Spread the symbols so that matches do not swallow them.
  std::string mixed(out.size(), '\0');
  for (size_t i = 0, j = 0; i < out.size(); ++i, j = (j + 7919) % out.size()) mixed[j] = out[i];
  return mixed;
}

struct Inputs {
  std::vector<RarEntry> entries;
  uint64_t plainBytes = 0;
};

Inputs Files(std::vector<RarEntry> entries) {
  Inputs in;
  in.entries = std::move(entries);
  for (const auto& e : in.entries) in.plainBytes += e.data.size();
  return in;
}

// Real inputs of every kind the writer meets.
Inputs Mixed() {
  return Files({File("docs/README.md", ReadFile(std::string(LUMESKAR_SOURCE_DIR) + "/README.md")),
                File("bin/program", ReadFile("/proc/self/exe").substr(0, 1'500'000)), File("empty.txt", ""),
                File("random.bin", PatternBytes(5, 0, 300'000)), File("one.txt", "x"), File("skewed.txt", Skewed()),
                Dir("docs/sub"), File("log.txt", LogText(20'000))});
}

// The benchmark generator's files (text, the machine's executables,
// deflated media), read into memory.
Inputs BenchFiles(uint64_t size) {
  TempDir dir;
  std::vector<RarEntry> entries;
  for (const RarEntry& e : WriteBenchFiles(dir / "bench", size))
    entries.push_back(File(e.name, ReadFile(e.sourcePath)));
  return Files(std::move(entries));
}

struct Case {
  const char* name;
  RarOptions options;
  Inputs inputs;
  double maxRatio;  // archive size over plain size at most
};

RarOptions Compressed(int level) {
  RarOptions o;
  o.method = level;
  return o;
}

std::vector<Case> Cases() {
  std::vector<Case> cases;
  auto add = [&](const char* name, RarOptions o, Inputs in, double maxRatio) {
    cases.push_back({name, std::move(o), std::move(in), maxRatio});
  };
  add("level 3", Compressed(3), Mixed(), 0.35);
  add("level 1", Compressed(1), Mixed(), 0.35);
  add("level 5", Compressed(5), Mixed(), 0.35);
  {
    RarOptions o = Compressed(3);
    o.solid = true;
    add("solid", o, Mixed(), 0.35);
  }
  {
    // 3 MB of text through the smallest dictionary: the window wraps often.
    RarOptions o = Compressed(2);
    o.dictionary = 128 << 10;
    add("128 KB dictionary", o,
        Files({File("log.txt", LogText(40'000)), File("repeat.txt", Repeat("abcdefghij", 300'000))}), 0.05);
  }
  {
    RarOptions o = Compressed(3);
    o.volumeSize = 200'000;
    add("volumes", o, Mixed(), 0.35);
  }
  {
    RarOptions o = Compressed(3);
    o.volumeSize = 150'000;
    o.solid = true;
    o.hash = Hash::Blake2;
    add("solid volumes, BLAKE2sp", o, Mixed(), 0.35);
  }
  {
    RarOptions o = Compressed(2);
    o.volumeSize = 1 << 20;
    add("benchmark data in volumes", o, BenchFiles(5 << 20), 0.6);
  }
  {
    RarOptions o = Compressed(3);
    o.password = "pass word";
    Inputs in = Mixed();
    in.entries[0].password = "";  // one entry stays plain
    add("encrypted data", o, std::move(in), 0.35);
  }
  {
    RarOptions o;
    o.password = "stored secret";
    add("encrypted, stored", o, Files({File("a.txt", "stored and encrypted"), File("b.txt", LogText(100))}), 1.5);
  }
  {
    RarOptions o = Compressed(4);
    o.password = "headers too";
    o.encryptedHeaders = true;
    o.solid = true;
    o.volumeSize = 180'000;
    o.hash = Hash::Blake2;
    add("encrypted headers, solid volumes", o, Mixed(), 0.35);
  }
  return cases;
}

bool IsEncrypted(const RarOptions& o) { return !o.password.empty(); }

std::vector<std::string> Write(const TempDir& dir, const Case& c) {
  std::filesystem::create_directories(dir / "out");
  const auto volumes = WriteRar(dir / "out", "set", c.inputs.entries, c.options);
  uint64_t packed = 0;
  for (const auto& v : volumes) {
    packed += std::filesystem::file_size(v);
    if (c.options.volumeSize) {
      EXPECT_LE(std::filesystem::file_size(v), c.options.volumeSize) << v;
    }
  }
  // Compression really happened (or, when stored, cost little).
  EXPECT_LE(packed, c.maxRatio * static_cast<double>(c.inputs.plainBytes)) << c.name;
  if (c.options.volumeSize) {
    EXPECT_GT(volumes.size(), 2u);
  }
  return volumes;
}

bool UnarPresent() { return std::system("command -v unar >/dev/null 2>&1") == 0; }

// The entries in archive order: a compressed solid archive holds its folders
// first.
std::vector<RarEntry> InArchiveOrder(const Case& c) {
  std::vector<RarEntry> order = c.inputs.entries;
  if (c.options.solid && c.options.method > 0)
    std::stable_partition(order.begin(), order.end(), [](const RarEntry& e) { return e.isDir; });
  return order;
}

}  // namespace

TEST(Rar5Writer, LibarchiveDecodesEveryUnencryptedArchive) {
  for (const auto& c : Cases()) {
    if (IsEncrypted(c.options)) continue;  // libarchive 3.6 cannot decrypt
    SCOPED_TRACE(c.name);
    TempDir dir;
    const auto listing = ListWithLibarchive(Write(dir, c), true);
    EXPECT_EQ(listing.status, ARCHIVE_EOF) << listing.error;
    const auto expected = InArchiveOrder(c);
    ASSERT_EQ(listing.entries.size(), expected.size());
    for (size_t i = 0; i < listing.entries.size(); ++i) {
      const RarEntry& want = expected[i];
      SCOPED_TRACE(want.name);
      EXPECT_EQ(listing.entries[i].name, want.name);
      EXPECT_EQ(listing.entries[i].type, want.isDir ? AE_IFDIR : AE_IFREG);
      EXPECT_TRUE(listing.entries[i].data == want.data);
    }
  }
}

TEST(Rar5Writer, TheUnarchiverDecodesEveryArchive) {
  if (!UnarPresent()) GTEST_SKIP() << "unar is not installed";
  for (const auto& c : Cases()) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const auto volumes = Write(dir, c);
    const std::string cmd = "unar -q -nr -f -D -o '" + dir / "x" + "' -p '" + c.options.password + "' '" +
                            volumes.front() + "' >'" + dir / "log" + "' 2>&1";
    const int status = std::system(cmd.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadFile(dir / "log");
    for (const RarEntry& want : c.inputs.entries) {
      SCOPED_TRACE(want.name);
      const std::string path = dir / ("x/" + want.name);
      if (want.isDir) {
        EXPECT_TRUE(std::filesystem::is_directory(path));
      } else {
        ASSERT_TRUE(std::filesystem::is_regular_file(path));
        EXPECT_TRUE(ReadFile(path) == want.data);
      }
    }
  }
}

TEST(Rar5Writer, EncryptionHidesWhatItShould) {
  // Stored data, so that anything left unencrypted would show verbatim.
  const std::string secret = "a secret line of text, " + LogText(20);
  const struct {
    bool headers;
    bool nameVisible;
  } rows[] = {{false, true}, {true, false}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.headers ? "encrypted headers" : "encrypted data");
    TempDir dir;
    RarOptions o;
    o.password = "right";
    o.encryptedHeaders = r.headers;
    o.comment = "a comment in the open";
    const auto volumes = WriteRar(dir.path(), "set", {File("hidden-name.txt", secret)}, o);
    const std::string bytes = ReadFile(volumes.front());
    EXPECT_EQ(bytes.find("a secret line"), std::string::npos);
    EXPECT_EQ(bytes.find("hidden-name") != std::string::npos, r.nameVisible);
    if (!UnarPresent()) continue;
    // The password check value lets a reader refuse a wrong password.
    const std::string cmd =
        "unar -q -f -D -o '" + dir / "x" + "' -p wrong '" + volumes.front() + "' >'" + dir / "log" + "' 2>&1";
    EXPECT_NE(std::system(cmd.c_str()), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "x/hidden-name.txt") && ReadFile(dir / "x/hidden-name.txt") == secret);
  }
}

TEST(Rar5Writer, ImpossibleCompressionRequestsAreRefused) {
  TempDir dir;
  auto refused = [&](RarOptions o) {
    EXPECT_THROW(WriteRar(dir.path(), "x", {File("a", "b")}, o), std::exception);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  };
  RarOptions rar4 = Compressed(3);
  rar4.format = Format::Rar4;
  refused(rar4);
  refused(Compressed(6));
  RarOptions oddDictionary = Compressed(3);
  oddDictionary.dictionary = 3 << 20;
  refused(oddDictionary);
  RarOptions manyRounds;
  manyRounds.password = "p";
  manyRounds.kdfLog2 = 25;
  refused(manyRounds);
}

TEST(BenchData, TheSizeAskedForInThreeKindsAndRepeatable) {
  TempDir a, b;
  const uint64_t size = 3'000'000;
  const auto first = WriteBenchFiles(a / "data", size, 7);
  const auto second = WriteBenchFiles(b / "data", size, 7);
  ASSERT_EQ(first.size(), second.size());
  uint64_t total = 0;
  std::string kinds;
  for (size_t i = 0; i < first.size(); ++i) {
    const std::string bytes = ReadFile(first[i].sourcePath);
    total += bytes.size();
    EXPECT_TRUE(bytes == ReadFile(second[i].sourcePath)) << first[i].name;
    kinds += first[i].name.substr(0, first[i].name.find('/', 5)) + " ";
  }
  EXPECT_EQ(total, size);
  for (const char* kind : {"data/docs", "data/bin", "data/media"}) EXPECT_NE(kinds.find(kind), std::string::npos);
}
