// Decodes the largest compressed RAR 1.5-4 entries of the shared fixtures
// with our decoders (libunrar.so through the C API), libarchive and libunarr
// (loaded at run time when installed), in alternating order, and prints the
// median output MB/s of each and the ratios. A peer's time counts only
// where its output has the CRC-32 the entry's header states. Times are the
// process's CPU time (all three decode in this process, from cached files),
// so other work on a shared machine does not blur them.
//   bench_decode [rounds]
#include <archive.h>
#include <archive_entry.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <isa-l/crc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/OurUnrar.h"
#include "unrar/unrar.h"

namespace {

struct Entry {
  const char* archive;  // relative to the fixtures folder
  const char* name;     // as the C API lists it
  uint64_t size = 0;
  uint32_t crc = 0;
};

// Decodes the entry once; false when it cannot. `crc` gets the output's CRC.
using Decode = std::function<bool(const Entry&, uint32_t& crc)>;

using Ours = bench::OurUnrar;

int CALLBACK crcCallback(UINT msg, LPARAM user, LPARAM p1, LPARAM p2) {
  if (msg == UCM_PROCESSDATA)
    *reinterpret_cast<uint32_t*>(user) =
        crc32_gzip_refl(*reinterpret_cast<uint32_t*>(user), reinterpret_cast<unsigned char*>(p1), uint64_t(p2));
  return 1;
}

// Through the C API, as the program extracts (RAR_TEST: decoded and
// checked, not written). With `header`, fills in the entry's size and CRC.
bool decodeOurs(const Ours& api, const std::string& path, Entry& e, uint32_t& crc, bool header) {
  RAROpenArchiveDataEx d{};
  d.ArcName = const_cast<char*>(path.c_str());
  d.OpenMode = RAR_OM_EXTRACT;
  d.Callback = crcCallback;
  d.UserData = LPARAM(&crc);
  HANDLE h = api.open(&d);
  if (!h) return false;
  static RARHeaderDataEx hd;
  bool ok = false;
  while (api.read(h, &hd) == 0) {
    bool match = strcmp(hd.FileName, e.name) == 0;
    crc = 0;
    int r = api.process(h, match ? RAR_TEST : RAR_SKIP, nullptr, nullptr);
    if (!match) continue;
    if (header) {
      e.size = uint64_t(hd.UnpSizeHigh) << 32 | hd.UnpSize;
      e.crc = hd.FileCRC;
    }
    ok = r == 0;
    break;
  }
  api.close(h);
  return ok;
}

bool decodeLibarchive(const std::string& path, const Entry& e, uint32_t& crc) {
  archive* a = archive_read_new();
  archive_read_support_format_rar(a);
  bool ok = false;
  if (archive_read_open_filename(a, path.c_str(), 1 << 20) == ARCHIVE_OK) {
    archive_entry* entry;
    while (archive_read_next_header(a, &entry) == ARCHIVE_OK) {
      if (strcmp(archive_entry_pathname(entry), e.name) != 0) continue;
      const void* buf;
      size_t size;
      la_int64_t offset;
      int r;
      crc = 0;
      while ((r = archive_read_data_block(a, &buf, &size, &offset)) == ARCHIVE_OK)
        crc = crc32_gzip_refl(crc, static_cast<const unsigned char*>(buf), size);
      ok = r == ARCHIVE_EOF;
      break;
    }
  }
  archive_read_free(a);
  return ok;
}

// Sends stderr to /dev/null while it lives.
struct QuietStderr {
  int saved = dup(2);
  QuietStderr() {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 2);
    close(null);
  }
  ~QuietStderr() {
    dup2(saved, 2);
    close(saved);
  }
};

// libunarr's C interface, declared here so the build does not need it.
struct Unarr {
  void* (*openFile)(const char*) = nullptr;
  void (*close)(void*) = nullptr;
  void* (*openRar)(void*) = nullptr;
  void (*closeArchive)(void*) = nullptr;
  bool (*parseEntry)(void*) = nullptr;
  const char* (*entryName)(void*) = nullptr;
  bool (*uncompress)(void*, void*, size_t) = nullptr;
  bool loaded = false;
};

Unarr loadUnarr() {
  Unarr u;
  void* h = dlopen("libunarr.so", RTLD_NOW | RTLD_LOCAL);
  if (!h) h = dlopen("libunarr.so.1", RTLD_NOW | RTLD_LOCAL);
  if (!h) return u;
  u.openFile = reinterpret_cast<decltype(u.openFile)>(dlsym(h, "ar_open_file"));
  u.close = reinterpret_cast<decltype(u.close)>(dlsym(h, "ar_close"));
  u.openRar = reinterpret_cast<decltype(u.openRar)>(dlsym(h, "ar_open_rar_archive"));
  u.closeArchive = reinterpret_cast<decltype(u.closeArchive)>(dlsym(h, "ar_close_archive"));
  u.parseEntry = reinterpret_cast<decltype(u.parseEntry)>(dlsym(h, "ar_parse_entry"));
  u.entryName = reinterpret_cast<decltype(u.entryName)>(dlsym(h, "ar_entry_get_name"));
  u.uncompress = reinterpret_cast<decltype(u.uncompress)>(dlsym(h, "ar_entry_uncompress"));
  u.loaded = u.openFile && u.close && u.openRar && u.closeArchive && u.parseEntry && u.entryName && u.uncompress;
  return u;
}

bool decodeUnarr(const Unarr& u, const std::string& path, const Entry& e, uint32_t& crc) {
  QuietStderr quiet;  // libunarr logs every entry it skips
  void* stream = u.openFile(path.c_str());
  if (!stream) return false;
  void* ar = u.openRar(stream);
  bool ok = false;
  if (ar) {
    std::string wanted = e.name;
    std::replace(wanted.begin(), wanted.end(), '/', '\\');
    while (u.parseEntry(ar)) {
      const char* name = u.entryName(ar);
      if (!name || (wanted != name && strcmp(e.name, name) != 0)) continue;
      static std::vector<unsigned char> buf(1 << 20);
      crc = 0;
      ok = true;
      for (uint64_t left = e.size; left && ok;) {
        size_t n = size_t(std::min<uint64_t>(left, buf.size()));
        ok = u.uncompress(ar, buf.data(), n);
        crc = crc32_gzip_refl(crc, buf.data(), n);
        left -= n;
      }
      break;
    }
    u.closeArchive(ar);
  }
  u.close(stream);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
  const std::string fixtures = LUMESKAR_SHARED_FIXTURES;
  std::vector<Entry> entries = {
      {"test_read_format_rar_ppmd_lzss_conversion.rar", "ppmd_lzss_conversion_test.txt"},
      {"test_read_format_rar_multi_lzss_blocks.rar", "multi_lzss_blocks_test.txt"},
      {"../rar-sc/Rar.Audio_program.rar", "test.dat"},
      {"test_read_format_rar_filter.rar", "bsdcat.exe"},
      {"test_read_format_rar_compress_best.rar", "LibarchiveAddingTest.html"},
      {"test_read_format_rar_compress_normal.rar", "LibarchiveAddingTest.html"},
      {"../rar-sc/Rar2.rar", "exe/test.exe"},
      {"../rar-sc/Rar15.rar", "EXE/TEST.EXE"},
  };
  const Ours ours = bench::LoadOurUnrar();
  const Unarr unarr = loadUnarr();
  setvbuf(stdout, nullptr, _IOLBF, 0);
  printf("CPU: %s\n", bench::CpuModel().c_str());
  if (!unarr.loaded) printf("libunarr not installed: its column stays empty (run-decode-bench.sh installs it)\n");

  const char* names[3] = {"ours", "libarchive", "libunarr"};
  double totalTime[3] = {}, totalBytes[3] = {}, pairedOurs[3] = {};
  printf("\n%-32s %9s  %12s %12s %12s   (output MB/s, median of %d rounds)\n", "entry", "MB", names[0], names[1],
         names[2], rounds);
  for (Entry& e : entries) {
    const std::string path = fixtures + "/" + e.archive;
    uint32_t crc = 0;
    if (!decodeOurs(ours, path, e, crc, true) || crc != e.crc) {
      printf("%-32s our decoder fails it: not measured\n", e.name);
      continue;
    }
    Decode decoders[3] = {
        [&](const Entry& x, uint32_t& c) { return decodeOurs(ours, path, const_cast<Entry&>(x), c, false); },
        [&](const Entry& x, uint32_t& c) { return decodeLibarchive(path, x, c); },
        [&](const Entry& x, uint32_t& c) { return unarr.loaded && decodeUnarr(unarr, path, x, c); },
    };
    // Small entries are decoded several times per timing, to about 50 MB.
    const int repeat = int(std::max<uint64_t>(1, 50'000'000 / std::max<uint64_t>(e.size, 1)));
    bool correct[3];
    for (int d = 0; d < 3; ++d) correct[d] = decoders[d](e, crc) && crc == e.crc;
    std::vector<double> times[3];
    for (int r = 0; r < rounds; ++r)
      for (int k = 0; k < 3; ++k) {
        int d = (r + k) % 3;  // each round starts with the next decoder
        if (!correct[d]) continue;
        double start = bench::CpuSeconds();
        for (int i = 0; i < repeat; ++i) decoders[d](e, crc);
        times[d].push_back((bench::CpuSeconds() - start) / repeat);
      }
    printf("%-32s %9.1f ", e.name, double(e.size) / 1e6);
    double t[3];
    for (int d = 0; d < 3; ++d) {
      t[d] = bench::Median(times[d]);
      if (correct[d])
        printf(" %12.1f", double(e.size) / t[d] / 1e6);
      else
        printf(" %12s", d == 2 && !unarr.loaded ? "-" : "wrong/fails");
      if (correct[d]) {
        totalTime[d] += t[d];
        totalBytes[d] += double(e.size);
        pairedOurs[d] += t[0];
      }
    }
    printf("\n");
  }
  printf("\n");
  for (int d = 1; d < 3; ++d) {
    if (totalTime[d] == 0) continue;
    printf("ours / %-10s speed on the entries it decodes correctly: %.2fx  (%.0f MB; goal >= %s)\n", names[d],
           totalTime[d] / pairedOurs[d], totalBytes[d] / 1e6, d == 1 ? "1.0" : "2.5");
  }
  return 0;
}
