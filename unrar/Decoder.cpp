#include "unrar/Decoder.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <unistd.h>
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
  return listed.size() > name.size() + 1 && listed.compare(0, name.size(), name) == 0 && listed[name.size()] == ';' &&
         listed.find_first_not_of("0123456789", name.size() + 1) == std::string::npos;
}

}  // namespace

// One volume for libarchive's callbacks: the file from `base` on, so that
// an archive behind a prefix reads as if it began the file.
struct Decoder::Volume {
  std::string path;
  uint64_t base = 0;
  int fd = -1;
  std::vector<uint8_t> buf = std::vector<uint8_t>(1 << 20);

  static int open(archive*, void* self) {
    auto* v = static_cast<Volume*>(self);
    v->fd = ::open(v->path.c_str(), O_RDONLY | O_CLOEXEC);
    if (v->fd < 0 || lseek(v->fd, off_t(v->base), SEEK_SET) < 0) return ARCHIVE_FATAL;
    return ARCHIVE_OK;
  }
  static la_ssize_t read(archive*, void* self, const void** out) {
    auto* v = static_cast<Volume*>(self);
    *out = v->buf.data();
    return ::read(v->fd, v->buf.data(), v->buf.size());
  }
  static la_int64_t seek(archive*, void* self, la_int64_t offset, int whence) {
    auto* v = static_cast<Volume*>(self);
    off_t r = lseek(v->fd, off_t(whence == SEEK_SET ? offset + la_int64_t(v->base) : offset), whence);
    return r < off_t(v->base) ? ARCHIVE_FATAL : la_int64_t(r) - la_int64_t(v->base);
  }
  static la_int64_t skip(archive* a, void* self, la_int64_t request) {
    return seek(a, self, request, SEEK_CUR) < 0 ? 0 : request;
  }
  static int close(archive*, void* self) {
    auto* v = static_cast<Volume*>(self);
    if (v->fd >= 0) ::close(v->fd);
    v->fd = -1;
    return ARCHIVE_OK;
  }
  static int next(archive* a, void* from, void* to) {
    close(a, from);
    return open(a, to);
  }
};

Decoder::Decoder(std::vector<std::string> volumes, uint64_t firstOffset)
    : volumes_(std::move(volumes)), firstOffset_(firstOffset) {}

Decoder::~Decoder() {
  if (a_) archive_read_free(a_);
}

int Decoder::start() {
  a_ = newReader();
  if (!a_) return ERAR_NO_MEMORY;
  if (firstOffset_ == 0) {
    std::vector<const char*> names;
    for (const auto& v : volumes_) names.push_back(v.c_str());
    names.push_back(nullptr);
    if (archive_read_open_filenames(a_, names.data(), 1 << 20) != ARCHIVE_OK) return fail(ERAR_EOPEN);
  } else {
    files_.clear();
    for (const auto& path : volumes_)
      files_.push_back(std::make_unique<Volume>(Volume{path, files_.empty() ? firstOffset_ : 0}));
    archive_read_set_open_callback(a_, Volume::open);
    archive_read_set_read_callback(a_, Volume::read);
    archive_read_set_seek_callback(a_, Volume::seek);
    archive_read_set_skip_callback(a_, Volume::skip);
    archive_read_set_close_callback(a_, Volume::close);
    archive_read_set_switch_callback(a_, Volume::next);
    archive_read_set_callback_data(a_, files_[0].get());
    for (size_t i = 1; i < files_.size(); ++i) archive_read_append_callback_data(a_, files_[i].get());
    if (archive_read_open1(a_) != ARCHIVE_OK) return fail(ERAR_EOPEN);
  }
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
    if (offset < 0 || uint64_t(offset) < produced || uint64_t(offset) > limit || size > limit - uint64_t(offset))
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

}  // namespace unrar
