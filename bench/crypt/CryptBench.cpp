// What decryption costs on top of extraction: each case extracts (RAR_TEST,
// so the disk is not measured) the same entry from a plain and from an
// AES-128 encrypted archive through libunrar.so, rounds alternating, and
// prints the ratio of the median CPU times, encrypted / plain (the aim is at
// most 1.15), with and without the one key derivation each opening of an
// encrypted archive costs (timed on its own). Cases: a real compressed executable (the RAR 3 filter
// fixture, re-wrapped), mixed release-like data compressed by our RAR 5
// writer, and stored random data, the worst case (nothing to decode).
//   bench_crypt [rounds]
#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "tests/common/EncryptedRar.h"
#include "tests/common/TempDir.h"
#include "tools/BenchData.h"
#include "tools/RarWriter.h"
#include "unrar/Crypt3.h"
#include "unrar/Crypt5.h"
#include "unrar/unrar.h"

namespace fs = std::filesystem;

namespace {

struct Api {
  decltype(&RAROpenArchive) open;
  decltype(&RARReadHeader) read;
  decltype(&RARProcessFile) process;
  decltype(&RARSetPassword) password;
  decltype(&RARCloseArchive) close;
};

// CPU seconds to test every entry of `archive`; exits on any failure.
double timeTest(const Api& api, const std::string& archive, const char* password) {
  const double start = bench::CpuSeconds();
  RAROpenArchiveData d{};
  d.ArcName = const_cast<char*>(archive.c_str());
  d.OpenMode = RAR_OM_EXTRACT;
  HANDLE h = api.open(&d);
  if (!h) {
    fprintf(stderr, "cannot open %s: %u\n", archive.c_str(), d.OpenResult);
    exit(1);
  }
  if (password) api.password(h, const_cast<char*>(password));
  RARHeaderData hd{};
  while (api.read(h, &hd) == 0)
    if (int r = api.process(h, RAR_TEST, nullptr, nullptr)) {
      fprintf(stderr, "%s: %s failed: %d\n", archive.c_str(), hd.FileName, r);
      exit(1);
    }
  api.close(h);
  return bench::CpuSeconds() - start;
}

// The first compressed entry of a RAR 4 archive, as an entry to re-wrap.
bool firstPacked(const std::string& path, testing_support::EncryptedEntry& e) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  const std::string a = ss.str();
  auto u16 = [&](size_t p) { return unsigned(uint8_t(a[p]) | uint8_t(a[p + 1]) << 8); };
  auto u32 = [&](size_t p) { return uint32_t(u16(p) | u16(p + 2) << 16); };
  for (size_t p = 7; p + 32 <= a.size();) {
    const unsigned type = uint8_t(a[p + 2]), flags = u16(p + 3), size = u16(p + 5);
    const uint32_t add = (type == 0x74 || (flags & 0x8000)) ? u32(p + 7) : 0;
    if (size < 7) return false;
    if (type == 0x74 && uint8_t(a[p + 25]) != 0x30) {
      e.name = a.substr(p + 32, u16(p + 26));
      e.data = a.substr(p + size, add);
      e.unpSize = u32(p + 11);
      e.crc = u32(p + 16);
      e.unpVer = uint8_t(a[p + 24]);
      e.method = uint8_t(a[p + 25]);
      e.dictFlags = flags & 0xE0;
      return true;
    }
    p += size + add;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? atoi(argv[1]) : 15;
  void* lib = dlopen(LUMESKAR_BINARY_DIR "/libunrar.so", RTLD_NOW | RTLD_LOCAL);
  if (!lib) {
    fprintf(stderr, "%s\n", dlerror());
    return 1;
  }
  Api api{reinterpret_cast<decltype(&RAROpenArchive)>(dlsym(lib, "RAROpenArchive")),
          reinterpret_cast<decltype(&RARReadHeader)>(dlsym(lib, "RARReadHeader")),
          reinterpret_cast<decltype(&RARProcessFile)>(dlsym(lib, "RARProcessFile")),
          reinterpret_cast<decltype(&RARSetPassword)>(dlsym(lib, "RARSetPassword")),
          reinterpret_cast<decltype(&RARCloseArchive)>(dlsym(lib, "RARCloseArchive"))};

  testing_support::TempDir dir;
  struct Case {
    std::string what;
    std::vector<testing_support::EncryptedEntry> entries;  // password set later
  };
  std::vector<Case> cases;
  testing_support::EncryptedEntry exe;
  const std::string fixture = std::string(LUMESKAR_SHARED_FIXTURES) + "/test_read_format_rar_filter.rar";
  if (firstPacked(fixture, exe))
    cases.push_back({"compressed executable (RAR 3, x20)", std::vector<testing_support::EncryptedEntry>(20, exe)});
  else
    printf("(no shared fixtures: the compressed case is left out)\n");
  cases.push_back(
      {"stored random data, 64 MiB (RAR 3)", {{"random.bin", rarwriter::PatternBytes(5, 0, 64 << 20), ""}}});

  printf("CPU: %s\n", bench::CpuModel().c_str());
  {
    std::ifstream load("/proc/loadavg");
    std::string avg;
    std::getline(load, avg);
    printf("load average: %s (CPU time is measured, not wall time)\n", avg.c_str());
  }
  std::vector<double> k3, k5;
  const unrar::Secret password(std::string("bench password"));
  for (int r = 0; r < rounds; ++r) {
    const uint8_t salt[16] = {};
    double start = bench::CpuSeconds();
    unrar::Rar3Key key3;
    unrar::deriveRar3Key(unrar::rar3Password(password), salt, false, key3);
    k3.push_back(bench::CpuSeconds() - start);
    start = bench::CpuSeconds();
    unrar::Rar5Key key5;
    unrar::deriveRar5Key(password, salt, 15, key5);
    k5.push_back(bench::CpuSeconds() - start);
  }
  printf("key derivation: RAR 3 %.4f s, RAR 5 (2^15 rounds) %.4f s\n", bench::Median(k3), bench::Median(k5));
  // RAR 5: the same data from our writer, AES-256 with its default 2^15 rounds.
  cases.push_back(
      {"stored random data, 64 MiB (RAR 5)", {{"random.bin", rarwriter::PatternBytes(5, 0, 64 << 20), ""}}});
  // RAR 5 compressed by our writer: mixed text, executables and media, the
  // case the aim is about (decoding and decryption together).
  cases.push_back({"compressed mixed data, 48 MiB (RAR 5)", {}});
  for (Case& c : cases) {
    for (size_t i = 0; i < c.entries.size(); ++i) c.entries[i].name = "e" + std::to_string(i) + c.entries[i].name;
    const bool rar5 = c.what.find("RAR 5") != std::string::npos;
    std::string plain = dir / "plain.rar", encrypted = dir / "encrypted.rar";
    if (rar5) {
      rarwriter::RarOptions o;
      std::vector<rarwriter::RarEntry> entries;
      if (c.entries.empty()) {
        entries = rarwriter::WriteBenchFiles(dir / "mixed", 48 << 20);
        o.method = 3;
      } else {
        entries = {rarwriter::File(c.entries[0].name, c.entries[0].data)};
      }
      plain = rarwriter::WriteRar(dir.path(), "plain5", entries, o)[0];
      o.password = "bench password";
      encrypted = rarwriter::WriteRar(dir.path(), "encrypted5", entries, o)[0];
    } else {
      testing_support::WriteFile(plain, testing_support::EncryptedRar4(c.entries));
      for (auto& e : c.entries) e.password = "bench password";
      testing_support::WriteFile(encrypted, testing_support::EncryptedRar4(c.entries));
    }
    timeTest(api, encrypted, "bench password");  // the key derivation, once, outside the rounds
    std::vector<double> p, e;
    for (int r = 0; r < rounds; ++r) {
      p.push_back(timeTest(api, plain, nullptr));
      e.push_back(timeTest(api, encrypted, "bench password"));
    }
    const double mp = bench::Median(p), me = bench::Median(e), kdf = bench::Median(rar5 ? k5 : k3);
    printf("%-38s plain %.4f s  encrypted %.4f s  ratio %.3f (without the key derivation %.3f)\n", c.what.c_str(), mp,
           me, me / mp, (me - kdf) / mp);
  }
  return 0;
}
