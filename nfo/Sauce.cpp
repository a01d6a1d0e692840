#include "nfo/Sauce.h"

namespace {
constexpr size_t kRecordSize = 128;
constexpr size_t kCommentCountOffset = 104;  // one byte: the number of comment lines
constexpr size_t kCommentLineSize = 64;
}  // namespace

std::string_view WithoutSauce(std::string_view file) {
  if (file.size() < kRecordSize) return file;
  const std::string_view record = file.substr(file.size() - kRecordSize);
  if (record.substr(0, 7) != "SAUCE00") return file;
  std::string_view art = file.substr(0, file.size() - kRecordSize);

  const size_t comments = static_cast<unsigned char>(record[kCommentCountOffset]);
  const size_t block = 5 + comments * kCommentLineSize;
  if (comments > 0 && art.size() >= block && art.substr(art.size() - block, 5) == "COMNT") art.remove_suffix(block);
  if (!art.empty() && art.back() == '\x1A') art.remove_suffix(1);
  return art;
}
