#include "unrar/Decoder.h"

#include <archive.h>
#include <archive_entry.h>
#include <algorithm>
#include <cstring>

#include "unrar/Bytes.h"
#include "unrar/unrar.h"

namespace unrar {

namespace {

// libarchive reports unsupported features (RAR VM filters, solid RAR 4,
// large dictionaries, encryption) with messages that say so.
int mapError(archive* a) {
  const char* msg = archive_error_string(a);
  if (msg && (strstr(msg, "support") || strstr(msg, "Unsupported") || strstr(msg, "unsupported")))
    return ERAR_UNKNOWN_FORMAT;
  return ERAR_BAD_DATA;
}

archive* newReader() {
  archive* a = archive_read_new();
  if (!a) return nullptr;
  archive_read_support_format_rar(a);
  archive_read_support_format_rar5(a);
  return a;
}

bool isAscii(const char* s) {
  for (; *s; ++s)
    if (uint8_t(*s) >= 0x80) return false;
  return true;
}

// libarchive lists an entry with a RAR 5 file-version record as
// "name;version"; our header reader keeps the plain name.
bool isVersionOf(const std::string& listed, const std::string& name) {
  return listed.size() > name.size() + 1 && listed.compare(0, name.size(), name) == 0 &&
         listed[name.size()] == ';' && listed.find_first_not_of("0123456789", name.size() + 1) == std::string::npos;
}

}  // namespace

Decoder::Decoder(std::vector<std::string> volumes) : volumes_(std::move(volumes)) {}

Decoder::~Decoder() {
  if (a_) archive_read_free(a_);
}

int Decoder::start() {
  a_ = newReader();
  if (!a_) return ERAR_NO_MEMORY;
  std::vector<const char*> names;
  for (const auto& v : volumes_) names.push_back(v.c_str());
  names.push_back(nullptr);
  if (archive_read_open_filenames(a_, names.data(), 1 << 20) != ARCHIVE_OK) return fail(ERAR_EOPEN);
  next_ = 0;
  return 0;
}

int Decoder::fail(int code) {
  if (a_) archive_read_free(a_);
  a_ = nullptr;
  return code;
}

int Decoder::decode(size_t ordinal, const std::string& name, uint64_t limit, const DataSink& sink) {
  if (!a_ || next_ > ordinal)
    if (int r = start()) return r;
  archive_entry* e = nullptr;
  for (;;) {
    int r = archive_read_next_header(a_, &e);
    if (r == ARCHIVE_EOF) return fail(ERAR_BAD_DATA);
    if (r < ARCHIVE_WARN) return fail(mapError(a_));
    if (next_++ == ordinal) break;
  }
  const char* listed = archive_entry_pathname_utf8(e);
  if (listed && isAscii(listed) && name != listed && !isVersionOf(listed, name)) return fail(ERAR_BAD_DATA);

  uint64_t produced = 0;
  for (;;) {
    const void* buf;
    size_t size;
    la_int64_t offset;
    int r = archive_read_data_block(a_, &buf, &size, &offset);
    if (r == ARCHIVE_EOF) return 0;
    if (r < ARCHIVE_WARN) return fail(mapError(a_));
    if (offset < 0 || uint64_t(offset) < produced || uint64_t(offset) > limit ||
        size > limit - uint64_t(offset))
      return fail(ERAR_BAD_DATA);
    static const uint8_t zeros[4096] = {};
    while (produced < uint64_t(offset)) {  // a hole: the skipped bytes are zero
      size_t n = size_t(std::min<uint64_t>(sizeof zeros, uint64_t(offset) - produced));
      if (int s = sink(zeros, n)) return fail(s);
      produced += n;
    }
    if (size > 0)
      if (int s = sink(static_cast<const uint8_t*>(buf), size)) return fail(s);
    produced += size;
  }
}

bool decodeRar4Comment(std::vector<uint8_t> header, const std::vector<uint8_t>& packed, uint64_t limit,
                       std::string& comment) {
  if (header.size() < 32) return false;
  // The sub-block becomes a plain Unix file header; its CRC is recomputed.
  header[2] = 0x74;
  unsigned flags = header[3] | header[4] << 8;
  flags &= ~0x0003u;  // not split
  header[3] = uint8_t(flags);
  header[4] = uint8_t(flags >> 8);
  header[15] = 3;  // Unix host
  const uint32_t mode = 0100644;
  for (int i = 0; i < 4; ++i) header[28 + i] = uint8_t(mode >> (8 * i));
  uint32_t crc = crc32(0, header.data() + 2, header.size() - 2);
  header[0] = uint8_t(crc);
  header[1] = uint8_t(crc >> 8);

  std::vector<uint8_t> image = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
  std::vector<uint8_t> mainHeader = {0, 0, 0x73, 0x00, 0x00, 13, 0, 0, 0, 0, 0, 0, 0};
  uint32_t mainCrc = crc32(0, mainHeader.data() + 2, mainHeader.size() - 2);
  mainHeader[0] = uint8_t(mainCrc);
  mainHeader[1] = uint8_t(mainCrc >> 8);
  image.insert(image.end(), mainHeader.begin(), mainHeader.end());
  image.insert(image.end(), header.begin(), header.end());
  image.insert(image.end(), packed.begin(), packed.end());
  const uint8_t end[7] = {0xC4, 0x3D, 0x7B, 0x00, 0x40, 0x07, 0x00};
  image.insert(image.end(), end, end + 7);

  archive* a = newReader();
  if (!a) return false;
  bool ok = false;
  archive_entry* e;
  if (archive_read_open_memory(a, image.data(), image.size()) == ARCHIVE_OK &&
      archive_read_next_header(a, &e) >= ARCHIVE_WARN) {
    std::string text;
    char buf[16384];
    la_ssize_t n;
    while ((n = archive_read_data(a, buf, sizeof buf)) > 0 && text.size() < limit)
      text.append(buf, size_t(n));
    if (n == 0) {
      comment = text.substr(0, size_t(std::min<uint64_t>(limit, text.size())));
      ok = true;
    }
  }
  archive_read_free(a);
  return ok;
}

}  // namespace unrar
