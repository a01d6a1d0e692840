#pragma once
// Writer of RAR 4 and RAR 5 archives, written from the published block
// formats. It makes the archives the tests, benchmarks and the demo releases
// need: single archives and volume sets in the three naming schemes, folders,
// empty and very large files, links, comments, and archives that are
// deliberately marked encrypted or damaged. RAR 4 data is stored; RAR 5 data
// is stored or compressed (LZ with Huffman coding, solid or not) and may be
// AES-256 encrypted, headers included. zlib for CRC-32, libcrypto for AES.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace rarwriter {

enum class Format { Rar4, Rar5 };

// Volume naming: Part = name.part1.rar, name.part2.rar …; Old = name.rar,
// name.r00, name.r01 … name.r99, name.s00 …; Numeric = name.001, name.002 …
// (or from .000, see RarOptions::firstNumber).
enum class Naming { Part, Old, Numeric };

enum class Host { Unix, Windows };

// The checksum RAR 5 entries carry.
enum class Hash { Crc32, Blake2 };

// Where an entry's bytes come from when it is not given inline.
enum class Generated {
  None,     // use RarEntry::data or RarEntry::sourcePath
  Zeros,    // generatedSize zero bytes, written as a hole (sparse volumes)
  Pattern,  // generatedSize bytes of PatternBytes(patternSeed, …)
};

struct RarEntry {
  std::string name;        // stored name with '/' between folders (RAR 4 gets '\')
  std::string data;        // contents, unless sourcePath or generated is used
  std::string sourcePath;  // stream the contents from this file
  Generated generated = Generated::None;
  uint64_t generatedSize = 0;
  uint64_t patternSeed = 0;
  bool isDir = false;
  std::string linkTarget;              // non-empty: a symbolic link pointing here
  unsigned redirType = 0;              // RAR 5 link record type for linkTarget; 0 = the host's symbolic link
  int64_t mtime = 1'600'000'000;       // seconds since 1970 (UTC)
  std::optional<uint32_t> attributes;  // host attributes; default fits host and kind
  bool encrypted = false;              // mark as encrypted; the data itself stays plain
  // RAR 5: this entry's own password instead of RarOptions::password ("" =
  // not encrypted), so that one archive can hold several.
  std::optional<std::string> password;
  bool damageData = false;    // first stored byte altered after its CRC was taken
  bool damageHeader = false;  // first header of the entry carries a wrong CRC
};

// Convenience makers for the common kinds of entries.
RarEntry File(std::string name, std::string data);
RarEntry Dir(std::string name);
RarEntry Link(std::string name, std::string target);
RarEntry Zeros(std::string name, uint64_t size);
RarEntry Pattern(std::string name, uint64_t size, uint64_t seed);
RarEntry FromFile(std::string name, std::string path);

struct RarOptions {
  Format format = Format::Rar5;
  uint64_t volumeSize = 0;  // 0: one archive file; otherwise the largest volume size
  Naming naming = Naming::Part;
  int partDigits = 0;   // Part naming: width of the number; 0 = what the count needs
  int firstNumber = 1;  // Numeric naming: number of the first volume (0 or 1)
  Host host = Host::Unix;
  std::string comment;  // archive comment; empty = none
  // With compression, one LZ stream runs through all entries; with stored
  // data only the flags are set.
  bool solid = false;
  // With a password, every header after the signature is encrypted; without
  // one, only the archive flag / encryption block is written.
  bool encryptedHeaders = false;

  // RAR 5 only.
  int method = 0;                    // 0 stores; 1 (fastest) … 5 (best) compress
  uint64_t dictionary = 4ull << 20;  // largest dictionary: 128 KB << n, up to 2 GB
  Hash hash = Hash::Crc32;
  std::string password;   // non-empty: AES-256 of every file's data
  unsigned kdfLog2 = 15;  // key derivation rounds: 2^kdfLog2 (at most 24)
};

// Writes the archive (or volume set) named after `baseName` into `folder` and
// returns the paths of the volumes in order. Entries keep their order, except
// that a compressed solid archive holds its folders first. Throws std::runtime_error on an
// I/O failure or an impossible request (e.g. a volume too small for a header);
// nothing is left behind then.
std::vector<std::string> WriteRar(const std::string& folder, const std::string& baseName,
                                  const std::vector<RarEntry>& entries, const RarOptions& options);

// File name of volume `index` (from 0) of a set of `count` volumes. A set
// written without a volume size is a plain archive: "name.rar" (Numeric
// naming: "name.001" or "name.000").
std::string VolumeName(const std::string& baseName, const RarOptions& options, size_t index, size_t count);

// Deterministic pseudo-random contents for large test files: byte `offset`
// onwards of the stream for `seed`. Any slice can be regenerated on its own.
std::string PatternBytes(uint64_t seed, uint64_t offset, size_t length);
void FillPattern(uint64_t seed, uint64_t offset, char* out, size_t length);

// Standard CRC-32 (zlib), continuing from `crc`.
uint32_t Crc32(uint32_t crc, const void* data, size_t length);
// CRC-32 of `crc`'s bytes followed by `count` zero bytes, without touching them.
uint32_t Crc32Zeros(uint32_t crc, uint64_t count);

}  // namespace rarwriter
