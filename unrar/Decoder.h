// Decompression through libarchive. Compressed entries are decoded by a
// libarchive reader that walks the same volumes; it is advanced entry by
// entry in step with our own header reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct archive;

namespace unrar {

// Receives decoded data; returns 0 to go on or an ERAR_* code to stop.
using DataSink = std::function<int(const uint8_t* data, size_t size)>;

class Decoder {
 public:
  // `firstOffset`: where the archive starts in the first volume, behind a
  // prefix libarchive would not look past (a picture, say).
  explicit Decoder(std::vector<std::string> volumes, uint64_t firstOffset = 0);
  ~Decoder();
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  const std::vector<std::string>& volumes() const { return volumes_; }
  // Decodes the file entry at `ordinal` (counting every file header that
  // libarchive lists, in order). `limit` bounds the output. Returns 0 or an
  // ERAR_* code; after a failure the decoder must be replaced.
  int decode(size_t ordinal, const std::string& name, uint64_t limit, const DataSink& sink);

 private:
  int start();
  int fail(int code);

  struct Volume;

  std::vector<std::string> volumes_;
  uint64_t firstOffset_;
  std::vector<std::unique_ptr<Volume>> files_;  // the volumes as libarchive reads them
  archive* a_ = nullptr;
  size_t next_ = 0;  // ordinal of the entry the next header read returns
};

}  // namespace unrar
