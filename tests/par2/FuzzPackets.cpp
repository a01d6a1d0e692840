// libFuzzer target: the packet reader on arbitrary bytes as one .par2 file.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "par2/PacketReader.h"
#include "tests/common/FuzzTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto set = par2::ParseRecoverySet(std::string_view(reinterpret_cast<const char*>(data), size));
  if (set) {
    uint64_t slices = 0;
    for (const auto& f : set->files) slices += f.slices.size();
    if (slices != set->sliceCount) __builtin_trap();
  }
  return 0;
}
