#include "tools/BenchData.h"

#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace rarwriter {
namespace {

namespace fs = std::filesystem;

constexpr size_t kChunk = 1 << 20;

class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}
  uint64_t next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  size_t below(size_t n) { return static_cast<size_t>(next() % n); }
  // Small indices far more often than large ones, as words in a language.
  size_t skewed(size_t n) { return std::min(below(n), std::min(below(n), below(n))); }

 private:
  uint64_t state_;
};

constexpr const char* kWords[] = {
    "the",     "of",      "and",       "to",       "in",       "a",        "is",       "that",     "for",
    "it",      "as",      "was",       "with",     "be",       "by",       "on",       "not",      "he",
    "this",    "are",     "or",        "his",      "from",     "at",       "which",    "but",      "have",
    "an",      "had",     "they",      "you",      "were",     "their",    "one",      "all",      "we",
    "can",     "her",     "has",       "there",    "been",     "if",       "more",     "when",     "will",
    "would",   "who",     "so",        "no",       "release",  "archive",  "volume",   "disc",     "image",
    "player",  "level",   "sound",     "music",    "graphics", "install",  "setup",    "crack",    "group",
    "members", "greets",  "support",   "version",  "update",   "language", "english",  "notes",    "system",
    "memory",  "video",   "driver",    "network",  "server",   "client",   "window",   "screen",   "keyboard",
    "mouse",   "file",    "folder",    "program",  "library",  "function", "value",    "number",   "string",
    "error",   "warning", "message",   "request",  "response", "session",  "user",     "password", "account",
    "during",  "between", "through",   "another",  "because",  "without",  "however",  "although", "several",
    "quickly", "slowly",  "carefully", "together", "against",  "around",   "whatever", "nothing",  "everything",
};
constexpr size_t kWordCount = sizeof kWords / sizeof kWords[0];

void Prose(Rng& r, std::string& out, size_t bytes) {
  while (out.size() < bytes) {
    const size_t words = 6 + r.below(18);
    for (size_t w = 0; w < words; ++w) {
      std::string word = kWords[r.skewed(kWordCount)];
      if (w == 0) word[0] = static_cast<char>(word[0] - 'a' + 'A');
      out += word;
      out += w + 1 == words ? (r.below(8) ? ". " : ".\r\n\r\n") : (r.below(12) ? " " : ", ");
    }
  }
}

void LogLines(Rng& r, std::string& out, size_t bytes, uint64_t& clock) {
  static constexpr const char* kLevels[] = {"INFO", "INFO", "INFO", "DEBUG", "WARN", "ERROR"};
  static constexpr const char* kPaths[] = {"/api/v1/items/", "/api/v1/users/", "/static/img/", "/download/part",
                                           "/search?q="};
  char line[256];
  while (out.size() < bytes) {
    clock += 1 + r.below(900);
    const int n = std::snprintf(
        line, sizeof line, "2024-%02u-%02u %02u:%02u:%02u.%03u %-5s [worker-%u] %s %s%u status=%u time=%ums\n",
        static_cast<unsigned>(clock / 2592000000 % 12 + 1), static_cast<unsigned>(clock / 86400000 % 28 + 1),
        static_cast<unsigned>(clock / 3600000 % 24), static_cast<unsigned>(clock / 60000 % 60),
        static_cast<unsigned>(clock / 1000 % 60), static_cast<unsigned>(clock % 1000), kLevels[r.below(6)],
        static_cast<unsigned>(r.below(16)), r.below(5) ? "GET" : "POST", kPaths[r.skewed(5)],
        static_cast<unsigned>(r.below(100000)), r.below(20) ? 200u : 404u, static_cast<unsigned>(r.skewed(2000)));
    out.append(line, static_cast<size_t>(n));
  }
}

void Source(Rng& r, std::string& out, size_t bytes) {
  static constexpr const char* kTypes[] = {"int", "size_t", "uint32_t", "const char*", "double", "bool"};
  static constexpr const char* kNames[] = {"count", "offset", "length", "index", "buffer", "result", "value", "flags"};
  while (out.size() < bytes) {
    const std::string fn = std::string(kWords[r.skewed(kWordCount)]) + "_" + kWords[r.skewed(kWordCount)];
    out += "static " + std::string(kTypes[r.below(6)]) + " " + fn + "(" + kTypes[r.below(6)] + " " +
           kNames[r.below(8)] + ") {\n";
    const size_t lines = 3 + r.below(12);
    for (size_t l = 0; l < lines; ++l) {
      const char* a = kNames[r.below(8)];
      const char* b = kNames[r.below(8)];
      switch (r.below(4)) {
        case 0: out += std::string("  ") + a + " += " + b + " * " + std::to_string(r.skewed(64)) + ";\n"; break;
        case 1: out += std::string("  if (") + a + " > " + b + ") return " + a + ";\n"; break;
        case 2:
          out += std::string("  for (size_t i = 0; i < ") + a + "; ++i) " + b + "[i] = " + std::to_string(r.below(9)) +
                 ";\n";
          break;
        default: out += std::string("  ") + a + " = " + fn + "(" + b + ");\n"; break;
      }
    }
    out += "  return " + std::string(kNames[r.below(8)]) + ";\n}\n\n";
  }
}

// Streams of an already compressed container: deflated text between runs of
// incompressible bytes.
void Media(Rng& r, std::string& out, size_t bytes) {
  std::string text;
  while (out.size() < bytes) {
    if (r.below(3) == 0) {
      text.clear();
      Prose(r, text, 16384 + r.below(65536));
      uLongf packed = compressBound(static_cast<uLong>(text.size()));
      const size_t at = out.size();
      out.resize(at + packed);
      if (compress2(reinterpret_cast<Bytef*>(out.data() + at), &packed, reinterpret_cast<const Bytef*>(text.data()),
                    static_cast<uLong>(text.size()), 6) != Z_OK)
        throw std::runtime_error("benchdata: zlib failed");
      out.resize(at + packed);
    } else {
      const size_t n = 32768 + r.below(262144);
      for (size_t i = 0; i < n; i += 8) {
        const uint64_t v = r.next();
        out.append(reinterpret_cast<const char*>(&v), 8);
      }
    }
  }
}

// The machine's executables and shared libraries, in a fixed order.
std::vector<fs::path> Executables() {
  std::vector<fs::path> found;
  for (const char* dir : {"/usr/lib/x86_64-linux-gnu", "/usr/bin", "/usr/lib"}) {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec)) {
      if (!e.is_regular_file(ec) || e.is_symlink(ec) || e.file_size(ec) < 4096) continue;
      std::ifstream in(e.path(), std::ios::binary);
      char magic[4] = {};
      if (in.read(magic, 4) && std::string(magic, 4) ==
                                   "\x7f"
                                   "ELF")
        found.push_back(e.path());
    }
  }
  std::sort(found.begin(), found.end());
  return found;
}

class FileWriter {
 public:
  explicit FileWriter(const fs::path& path) : out_(path, std::ios::binary), path_(path) {
    if (!out_) throw std::runtime_error("benchdata: cannot create " + path.string());
  }
  void write(const std::string& data) {
    out_.write(data.data(), static_cast<std::streamsize>(data.size()));
    if (!out_) throw std::runtime_error("benchdata: cannot write " + path_.string());
  }

 private:
  std::ofstream out_;
  fs::path path_;
};

}  // namespace

std::vector<RarEntry> WriteBenchFiles(const std::string& folder, uint64_t size, uint64_t seed) {
  const fs::path root(folder);
  const std::string top = root.filename().string();
  fs::create_directories(root);
  std::vector<RarEntry> entries;
  auto add = [&](const std::string& name) {
    fs::create_directories((root / name).parent_path());
    entries.push_back(FromFile(top + "/" + name, (root / name).string()));
    return FileWriter(root / name);
  };
  auto fileName = [](const char* stem, size_t n, const char* ext) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s-%03zu%s", stem, n, ext);
    return std::string(buf);
  };

  const uint64_t textBytes = size * 4 / 10, binaryBytes = size * 3 / 10, mediaBytes = size - textBytes - binaryBytes;
  Rng r(seed);
  std::string chunk;

  // Text: manuals, logs and source files of up to 16 MB.
  uint64_t clock = 1'700'000'000'000;
  uint64_t written = 0;
  for (size_t n = 0; written < textBytes; ++n) {
    const uint64_t fileSize = std::min<uint64_t>(textBytes - written, (1 + r.below(16)) << 20);
    const int kind = static_cast<int>(n % 3);
    FileWriter f = add(kind == 0   ? fileName("docs/manual", n, ".txt")
                       : kind == 1 ? fileName("logs/server", n, ".log")
                                   : fileName("src/module", n, ".c"));
    for (uint64_t done = 0; done < fileSize;) {
      const size_t want = static_cast<size_t>(std::min<uint64_t>(kChunk, fileSize - done));
      chunk.clear();
      if (kind == 0)
        Prose(r, chunk, want);
      else if (kind == 1)
        LogLines(r, chunk, want, clock);
      else
        Source(r, chunk, want);
      chunk.resize(want);
      f.write(chunk);
      done += want;
    }
    written += fileSize;
  }

  // Executables: the machine's binaries, one after another, in bundles of up
  // to 64 MB; synthetic text stands in where there are none.
  const std::vector<fs::path> executables = Executables();
  size_t next = static_cast<size_t>(seed % std::max<size_t>(executables.size(), 1));
  written = 0;
  for (size_t n = 0; written < binaryBytes; ++n) {
    const uint64_t fileSize = std::min<uint64_t>(binaryBytes - written, 64 << 20);
    FileWriter f = add(fileName("bin/bundle", n, ".bin"));
    for (uint64_t done = 0; done < fileSize;) {
      chunk.clear();
      const size_t want = static_cast<size_t>(std::min<uint64_t>(kChunk * 8, fileSize - done));
      if (!executables.empty()) {
        std::ifstream in(executables[next++ % executables.size()], std::ios::binary);
        chunk.resize(want);
        in.read(chunk.data(), static_cast<std::streamsize>(want));
        chunk.resize(static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
      }
      if (chunk.empty()) Source(r, chunk, std::min<size_t>(want, 1 << 16));
      chunk.resize(std::min<size_t>(chunk.size(), want));
      f.write(chunk);
      done += chunk.size();
    }
    written += fileSize;
  }

  // Media: containers of up to 100 MB.
  written = 0;
  for (size_t n = 0; written < mediaBytes; ++n) {
    const uint64_t fileSize = std::min<uint64_t>(mediaBytes - written, (64 + r.below(37)) << 20);
    FileWriter f = add(fileName("media/clip", n, ".mkv"));
    for (uint64_t done = 0; done < fileSize;) {
      const size_t want = static_cast<size_t>(std::min<uint64_t>(kChunk, fileSize - done));
      chunk.clear();
      Media(r, chunk, want);
      chunk.resize(want);
      f.write(chunk);
      done += want;
    }
    written += fileSize;
  }
  return entries;
}

}  // namespace rarwriter
