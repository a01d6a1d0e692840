#include "unrar/CodeLengths.h"

namespace unrar {

bool ReadCodeLengths(BitInput& in, HuffmanTable& lengthCodes, uint8_t* lengths, unsigned total,
                     const uint8_t* previous) {
  uint8_t codeLengths[20];
  for (unsigned i = 0; i < 20;) {
    const uint8_t n = uint8_t(in.bits(4));
    if (n != 15) {
      codeLengths[i++] = n;
      continue;
    }
    unsigned zeros = in.bits(4);
    if (zeros == 0) {
      codeLengths[i++] = 15;
      continue;
    }
    for (zeros += 2; zeros && i < 20; --zeros) codeLengths[i++] = 0;
  }
  if (!lengthCodes.build(codeLengths, 20)) return false;

  for (unsigned i = 0; i < total;) {
    if (in.overrun()) return false;
    const int n = lengthCodes.decode(in);
    if (n < 0) return false;
    if (n < 16) {
      lengths[i] = previous ? uint8_t((n + previous[i]) & 15) : uint8_t(n);
      ++i;
    } else if (n < 18) {  // repeat the previous length
      unsigned count = n == 16 ? in.bits(3) + 3 : in.bits(7) + 11;
      if (i == 0) return false;
      for (; count && i < total; --count, ++i) lengths[i] = lengths[i - 1];
    } else {  // a run of unused symbols
      unsigned count = n == 18 ? in.bits(3) + 3 : in.bits(7) + 11;
      for (; count && i < total; --count) lengths[i++] = 0;
    }
  }
  return !in.overrun();
}

void UndoX86Filter(uint8_t* data, uint32_t size, uint32_t fileOffset, bool withE9, bool wrapPositions) {
  constexpr uint32_t kFileSize = 0x1000000;
  const auto load32 = [](const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
  };
  const auto store32 = [](uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
  };
  for (uint32_t i = 0; i + 4 < size;) {
    const uint8_t b = data[i++];
    if (b != 0xE8 && !(withE9 && b == 0xE9)) continue;
    const uint32_t offset = wrapPositions ? (i + fileOffset) % kFileSize : i + fileOffset;
    const uint32_t addr = load32(data + i);
    if (addr & 0x80000000) {  // negative
      if (((addr + offset) & 0x80000000) == 0) store32(data + i, addr + kFileSize);
    } else if (addr < kFileSize) {
      store32(data + i, addr - offset);
    }
    i += 4;
  }
}

}  // namespace unrar
