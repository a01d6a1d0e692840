// rarwrite: packs files into a RAR archive or volume set.
//
//   rarwrite [--rar4|--rar5] [--volume-size N[k|m|g]] [--naming part|old|numeric]
//            [--comment TEXT] [--compress] [--level 1-5] [--solid] [--dict N[k|m|g]]
//            [--blake2] [--password P [--encrypt-headers]] OUTPUT_BASE FILE...
//   rarwrite --bench-data N[k|m|g] [options] OUTPUT_BASE
//
// OUTPUT_BASE is the path of the set without extension ("out/demo" gives
// out/demo.rar, or out/demo.part1.rar … with a volume size). Each FILE is
// packed under its own name; a folder is packed with everything below it.
// RAR 5 data is stored unless --compress or --level is given (--compress is
// level 3); --solid makes one compressed stream of all files; --password
// encrypts every file with AES-256, and --encrypt-headers the headers too.
// --bench-data N writes about N bytes of mixed benchmark files (text,
// executables, compressed media) into OUTPUT_BASE-data/ and packs those,
// compressed at level 2 unless --level says otherwise.
// The volume paths are printed one per line.
#include "tools/BenchData.h"
#include "tools/RarWriter.h"

#include <sys/stat.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace rarwriter;

namespace {

int Usage() {
  std::cerr << "usage: rarwrite [--rar4|--rar5] [--volume-size N[k|m|g]] [--naming part|old|numeric]\n"
               "                [--comment TEXT] [--compress] [--level 1-5] [--solid] [--dict N[k|m|g]]\n"
               "                [--blake2] [--password P [--encrypt-headers]] OUTPUT_BASE FILE...\n"
               "       rarwrite --bench-data N[k|m|g] [options] OUTPUT_BASE\n";
  return 2;
}

uint64_t ParseSize(const std::string& text) {
  size_t used = 0;
  unsigned long long n = std::stoull(text, &used);
  std::string unit = text.substr(used);
  if (unit == "k" || unit == "K")
    n <<= 10;
  else if (unit == "m" || unit == "M")
    n <<= 20;
  else if (unit == "g" || unit == "G")
    n <<= 30;
  else if (!unit.empty())
    throw std::invalid_argument("bad size " + text);
  return n;
}

RarEntry Stamped(RarEntry e, const fs::path& p) {
  struct stat st {};
  if (::lstat(p.c_str(), &st) == 0) {
    e.mtime = st.st_mtime;
    e.attributes = static_cast<uint32_t>(st.st_mode);
  }
  return e;
}

void Add(std::vector<RarEntry>& out, const fs::path& path, const std::string& name) {
  if (fs::is_symlink(path)) {
    out.push_back(Stamped(Link(name, fs::read_symlink(path).string()), path));
  } else if (fs::is_directory(path)) {
    out.push_back(Stamped(Dir(name), path));
    std::vector<fs::path> children;
    for (const auto& child : fs::directory_iterator(path)) children.push_back(child.path());
    std::sort(children.begin(), children.end());
    for (const auto& child : children) Add(out, child, name + "/" + child.filename().string());
  } else if (fs::is_regular_file(path)) {
    out.push_back(Stamped(FromFile(name, path.string()), path));
  } else {
    throw std::runtime_error("not a file or folder: " + path.string());
  }
}

}  // namespace

int main(int argc, char** argv) {
  RarOptions options;
  uint64_t benchBytes = 0;
  std::vector<std::string> args;
  try {
    for (int i = 1; i < argc; ++i) {
      std::string a = argv[i];
      auto value = [&]() -> std::string {
        if (i + 1 >= argc) throw std::invalid_argument(a + " needs a value");
        return argv[++i];
      };
      if (a == "--rar4")
        options.format = Format::Rar4;
      else if (a == "--rar5")
        options.format = Format::Rar5;
      else if (a == "--volume-size")
        options.volumeSize = ParseSize(value());
      else if (a == "--comment")
        options.comment = value();
      else if (a == "--compress")
        options.method = options.method ? options.method : 3;
      else if (a == "--level") {
        options.method = std::stoi(value());
        if (options.method < 1 || options.method > 5) throw std::invalid_argument("the level is 1 to 5");
      } else if (a == "--solid")
        options.solid = true;
      else if (a == "--dict")
        options.dictionary = ParseSize(value());
      else if (a == "--blake2")
        options.hash = Hash::Blake2;
      else if (a == "--password")
        options.password = value();
      else if (a == "--encrypt-headers")
        options.encryptedHeaders = true;
      else if (a == "--bench-data")
        benchBytes = ParseSize(value());
      else if (a == "--naming") {
        std::string n = value();
        if (n == "part")
          options.naming = Naming::Part;
        else if (n == "old")
          options.naming = Naming::Old;
        else if (n == "numeric")
          options.naming = Naming::Numeric;
        else
          throw std::invalid_argument("unknown naming " + n);
      } else if (a.rfind("--", 0) == 0) {
        throw std::invalid_argument("unknown option " + a);
      } else {
        args.push_back(a);
      }
    }
  } catch (const std::exception& e) {
    std::cerr << "rarwrite: " << e.what() << "\n";
    return Usage();
  }
  if (benchBytes ? args.size() != 1 : args.size() < 2) return Usage();
  if (options.encryptedHeaders && options.password.empty()) {
    std::cerr << "rarwrite: --encrypt-headers needs --password\n";
    return Usage();
  }

  try {
    const fs::path base(args[0]);
    std::vector<RarEntry> entries;
    if (benchBytes) {
      entries = WriteBenchFiles(base.string() + "-data", benchBytes);
      if (options.method == 0) options.method = 2;  // 1 GB in about a minute of CPU time
    }
    for (size_t i = 1; i < args.size(); ++i) {
      fs::path p(args[i]);
      std::string name = p.lexically_normal().filename().string();
      if (name.empty()) name = p.lexically_normal().parent_path().filename().string();
      Add(entries, p, name);
    }
    std::string folder = base.parent_path().string();
    for (const auto& v : WriteRar(folder.empty() ? "." : folder, base.filename().string(), entries, options))
      std::cout << v << "\n";
  } catch (const std::exception& e) {
    std::cerr << "rarwrite: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
