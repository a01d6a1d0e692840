// make-demo-release FOLDER: writes a small, complete demo release into FOLDER
// (created if needed): block-art .nfo, a disc image compressed into a RAR 5
// volume set with old-style names, and the SFV file listing the volumes with
// an upload-site comment. Everything in it is generated here.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tools/RarWriter.h"

namespace {

constexpr const char* kFull = "\xDB";

// Big letters, 5 rows high, one art cell = two full blocks wide.
struct Glyph {
  char letter;
  const char* rows[5];
};
constexpr Glyph kGlyphs[] = {
    {'L', {"#..", "#..", "#..", "#..", "###"}},           {'U', {"#.#", "#.#", "#.#", "#.#", "###"}},
    {'M', {"#...#", "##.##", "#.#.#", "#...#", "#...#"}}, {'E', {"###", "#..", "##.", "#..", "###"}},
    {'S', {"###", "#..", "###", "..#", "###"}},           {'K', {"#.#", "#.#", "##.", "#.#", "#.#"}},
    {'A', {"###", "#.#", "###", "#.#", "#.#"}},           {'R', {"##.", "#.#", "##.", "#.#", "#.#"}},
};

const Glyph& GlyphFor(char c) {
  for (const auto& g : kGlyphs)
    if (g.letter == c) return g;
  return kGlyphs[0];
}

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

std::string BigWord(const std::string& word, const std::string& indent) {
  std::string out;
  for (int row = 0; row < 5; ++row) {
    std::string line = indent;
    for (char c : word) {
      for (const char* p = GlyphFor(c).rows[row]; *p; ++p) line += *p == '#' ? std::string(kFull) + kFull : "  ";
      line += "  ";
    }
    out += line + "\r\n";
  }
  return out;
}

// A line inside the double-line info box, padded to the box's width.
std::string BoxLine(const std::string& text, int width) {
  std::string body = "  " + text;
  body.resize(static_cast<size_t>(width), ' ');
  return "   \xBA" + body + "\xBA\r\n";
}

std::string NfoText() {
  const int w = 70;
  std::string nfo;
  nfo += "\r\n";
  // Lines of one blank keep the art apart: truly empty lines are thinned out
  // by the viewer.
  nfo += "   " + Repeat("\xDC", 72) + "\r\n \r\n";
  nfo += BigWord("LUMESKAR", "     ");
  nfo += " \r\n   " + Repeat("\xDF", 72) + "\r\n";
  nfo += "\r\n";
  nfo += "   " + Repeat("\xB0", 18) + Repeat("\xB1", 18) + Repeat("\xB2", 18) + Repeat("\xDB", 18) + "\r\n";
  nfo += "\r\n";
  nfo += "   \xC9" + Repeat("\xCD", w) + "\xBB\r\n";
  nfo += BoxLine("RELEASE ......: Lumeskar Demo Disc", w);
  nfo += BoxLine("TYPE .........: Disc image (ISO) in a RAR volume set", w);
  nfo += BoxLine("FILES ........: lsk-demo.rar, .r00, .r01 ... with an SFV file", w);
  nfo += "   \xCC" + Repeat("\xCD", w) + "\xB9\r\n";
  nfo += BoxLine("Click the green status line to check the release, then", w);
  nfo += BoxLine("\"Extract\" to unpack it. Web: http://www.lumeskar.example/", w);
  nfo += BoxLine("Mail: demo@lumeskar.example", w);
  nfo += "   \xC8" + Repeat("\xCD", w) + "\xBC\r\n";
  nfo += "\r\n";
  nfo += "        \xDA\xC4\xC4\xC4\xC4\xBF  \xDA\xC4\xC4\xC2\xC4\xC4\xBF  \xFE Made for the Lumeskar demo \xFE\r\n";
  nfo += "        \xC0\xC4\xC4\xC4\xC4\xD9  \xC0\xC4\xC4\xC1\xC4\xC4\xD9\r\n";
  return nfo;
}

// A disc image laid out like an ISO 9660 one (system area, volume
// descriptors, then 2 KB sectors of file data) and mixed like a real one:
// text, program data, already-compressed media and zero padding, so that it
// compresses about as well.
std::string DiscImage() {
  constexpr size_t kSector = 2048;
  std::string image(16 * kSector, '\0');
  std::string primary(kSector, '\0');
  primary.replace(0, 7,
                  "\x01"
                  "CD001"
                  "\x01");
  primary.replace(8, 32, "LUMESKAR                        ");
  primary.replace(40, 32, "LUMESKAR_DEMO                   ");
  std::string terminator(kSector, '\0');
  terminator.replace(0, 7,
                     "\xFF"
                     "CD001"
                     "\x01");
  image += primary + terminator;

  // A manual: numbered sections of a few dozen sentences.
  static constexpr const char* kWords[] = {"the",  "demo",    "release", "disc",   "image", "volume", "check",
                                           "file", "extract", "folder",  "viewer", "font",  "block",  "art",
                                           "and",  "of",      "to",      "with",   "each",  "every"};
  uint64_t pick = 0;
  for (int section = 1; image.size() < 3'500'000; ++section) {
    image += "\r\nSection " + std::to_string(section) + "\r\n\r\n";
    for (int sentence = 0; sentence < 40; ++sentence) {
      const std::string r = rarwriter::PatternBytes(437, pick++ * 16, 16);
      std::string line = "It";
      for (int w = 0; w < 6 + static_cast<unsigned char>(r[0]) % 10; ++w)
        line += std::string(" ") + kWords[static_cast<unsigned char>(r[1 + w % 15]) % 20];
      image += line + ".\r\n";
    }
  }
  // Program data: records of counters and flags.
  for (uint32_t i = 0; image.size() < 5'500'000; ++i) {
    char record[32];
    std::snprintf(record, sizeof record, "REC%08X%04X%08X", i, i % 97, i * 2654435761u);
    image.append(record, 24);
    image.append(8, static_cast<char>(i % 3));
  }
  // Media and padding.
  image += rarwriter::PatternBytes(437, 0, 2'000'000);
  image.resize((image.size() / kSector + 512) * kSector, '\0');
  return image;
}

bool WriteText(const std::filesystem::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  return static_cast<bool>(out);
}

uint32_t FileCrc(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> buf(1 << 20);
  uint32_t crc = 0;
  while (in.read(buf.data(), static_cast<std::streamsize>(buf.size())) || in.gcount() > 0)
    crc = rarwriter::Crc32(crc, buf.data(), static_cast<size_t>(in.gcount()));
  return crc;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-demo-release FOLDER\n");
    return 2;
  }
  namespace fs = std::filesystem;
  const fs::path folder = argv[1];
  try {
    fs::create_directories(folder);
    std::vector<rarwriter::RarEntry> entries = {
        rarwriter::File("lumeskar-demo.iso", DiscImage()),
        rarwriter::File("lumeskar-demo.nfo", NfoText()),
    };
    rarwriter::RarOptions options;
    options.format = rarwriter::Format::Rar5;
    options.method = 3;
    options.naming = rarwriter::Naming::Old;
    options.volumeSize = 1'000'000;
    std::vector<std::string> volumes = rarwriter::WriteRar(folder.string(), "lsk-demo", entries, options);

    std::string sfv =
        "; Generated for the Lumeskar demo release\r\n"
        "; Uploaded on the mighty LumeskarDemo\r\n"
        ";\r\n";
    for (const auto& v : volumes) {
      char crc[9];
      std::snprintf(crc, sizeof crc, "%08X", FileCrc(v));
      sfv += fs::path(v).filename().string() + " " + crc + "\r\n";
    }
    if (!WriteText(folder / "lsk-demo.sfv", sfv) || !WriteText(folder / "lumeskar-demo.nfo", NfoText())) {
      std::fprintf(stderr, "make-demo-release: cannot write into %s\n", folder.c_str());
      return 1;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make-demo-release: %s\n", e.what());
    return 1;
  }
  std::printf("%s\n", (folder / "lumeskar-demo.nfo").c_str());
  return 0;
}
