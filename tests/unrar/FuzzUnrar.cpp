// libFuzzer target: open, header reading and test-extraction of arbitrary
// bytes through the C API.
#include <unistd.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/common/FuzzTarget.h"
#include "unrar/unrar.h"

namespace {

uint64_t produced = 0;

// Bounds the work per input: decoders may expand a small input a lot.
int CALLBACK limitData(UINT msg, LPARAM, LPARAM, LPARAM size) {
  if (msg != UCM_PROCESSDATA) return 0;
  produced += uint64_t(size);
  return produced > (64u << 20) ? -1 : 1;
}

const std::string& inputPath() {
  static const std::string path = [] {
    char dir[] = "/tmp/fuzz-unrar-XXXXXX";
    if (!mkdtemp(dir)) abort();
    return std::string(dir) + "/input.part1.rar";
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = inputPath();
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return 0;
  fwrite(data, 1, size, f);
  fclose(f);

  char comment[256];
  RAROpenArchiveDataEx open{};
  open.ArcName = const_cast<char*>(path.c_str());
  open.OpenMode = RAR_OM_EXTRACT;
  open.CmtBuf = comment;
  open.CmtBufSize = sizeof comment;
  open.Callback = limitData;
  HANDLE h = RAROpenArchiveEx(&open);
  if (!h) return 0;
  produced = 0;
  static RARHeaderDataEx header;
  for (int i = 0; i < 1000 && RARReadHeaderEx(h, &header) == 0; ++i) RARProcessFile(h, RAR_TEST, nullptr, nullptr);
  RARCloseArchive(h);
  return 0;
}
