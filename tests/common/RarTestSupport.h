#pragma once
// Helpers shared by the RAR tests: a per-test temporary folder and a reader
// that lists a volume set through libarchive, the independent judge of what
// the writer produces.
#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>
#include <clocale>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/common/TempDir.h"

namespace rartest {

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

struct ListedEntry {
  std::string name;
  mode_t type = 0;  // AE_IFREG, AE_IFDIR, AE_IFLNK
  int64_t size = 0;
  int64_t mtime = 0;
  std::string link;
  std::string data;  // read only when asked for
  bool encrypted = false;
};

struct Listing {
  std::vector<ListedEntry> entries;
  int status = ARCHIVE_EOF;  // how the listing ended
  std::string error;
};

// Lists (and optionally reads) every entry of the volume set in order.
inline Listing ListWithLibarchive(const std::vector<std::string>& volumes, bool readData) {
  Listing out;
  // RAR 4 UTF-8 names need a UTF-8 locale in libarchive.
  static const bool utf8 = std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr;
  (void)utf8;
  archive* a = archive_read_new();
  archive_read_support_format_rar(a);
  archive_read_support_format_rar5(a);
  std::vector<const char*> names;
  for (const auto& v : volumes) names.push_back(v.c_str());
  names.push_back(nullptr);
  int r = archive_read_open_filenames(a, names.data(), 1 << 16);
  archive_entry* e = nullptr;
  while (r == ARCHIVE_OK && (r = archive_read_next_header(a, &e)) == ARCHIVE_OK) {
    ListedEntry le;
    const char* n = archive_entry_pathname_utf8(e);
    le.name = n ? n : "";
    le.type = archive_entry_filetype(e);
    le.size = archive_entry_size(e);
    le.mtime = archive_entry_mtime(e);
    le.encrypted = archive_entry_is_data_encrypted(e);
    if (const char* l = archive_entry_symlink(e)) le.link = l;
    if (readData && le.type == AE_IFREG) {
      char buf[1 << 16];
      la_ssize_t got;
      while ((got = archive_read_data(a, buf, sizeof buf)) > 0) le.data.append(buf, got);
      if (got < 0) r = static_cast<int>(got);
    }
    out.entries.push_back(std::move(le));
  }
  out.status = r;
  if (r != ARCHIVE_EOF && archive_error_string(a)) out.error = archive_error_string(a);
  archive_read_free(a);
  return out;
}

}  // namespace rartest
