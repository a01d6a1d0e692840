// The RAR 2.0 multimedia predictor, which no fixture exercises: each row
// runs 33 rounds of constant or alternating coded differences, so the
// weights adapt once (after 32 bytes per channel) and the last round shows
// the adapted prediction. Expected bytes were worked out by hand from the
// summed errors of the first 32 bytes.
#include <gtest/gtest.h>

#include <vector>

#include "unrar/Audio20.h"
#include "unrar/Unpacker.h"

TEST(UnrarAudio20, PredictionAdaptsAfter32Bytes) {
  struct Row {
    const char* what;
    std::vector<std::vector<uint8_t>> coded;  // per channel, cycled round by round
    std::vector<uint8_t> lastRound;
  };
  const Row rows[] = {
      // A ramp of +16: the smallest error is for the first weight one up,
      // which adds 16/8 to the next prediction.
      {"ramp", {{0xF0}}, {0x12}},
      // Alternating 16, 0: the second weight one down; -1 * -32 / 8 = +4.
      {"alternating", {{0xF0, 0x10}}, {0x14}},
      // Two channels ramping in opposite directions, each seeing the
      // other's last delta: the second lowers its cross-channel weight,
      // and -18 / 8 rounds down to -3.
      {"two channels", {{0xF0}, {0x10}}, {0x12, 0xED}},
  };
  for (const Row& row : rows) {
    unrar::AudioChannel20 channels[4];
    int crossDelta = 0;
    std::vector<uint8_t> out;
    for (unsigned round = 0; round < 33; ++round) {
      out.clear();
      for (size_t c = 0; c < row.coded.size(); ++c) {
        const std::vector<uint8_t>& coded = row.coded[c];
        out.push_back(channels[c].decode(coded[round % coded.size()], crossDelta));
      }
    }
    EXPECT_EQ(out, row.lastRound) << row.what;
  }
}

// The same two channels as coded data through the RAR 2.0 decoder: a
// multimedia block with two channels' code tables (255 codes of 8 bits and
// two of 9 each, the lengths given through a 3-code length code), then
// the interleaved differences.
TEST(UnrarAudio20, MultimediaBlockThroughTheDecoder) {
  std::vector<uint8_t> packed;
  unsigned bitCount = 0;
  auto put = [&](unsigned value, unsigned bits) {
    for (unsigned i = bits; i-- > 0; ++bitCount) {
      if (bitCount % 8 == 0) packed.push_back(0);
      if (value >> i & 1) packed.back() |= uint8_t(0x80 >> bitCount % 8);
    }
  };
  put(0b1001, 4);  // multimedia, fresh tables, 2 channels
  for (unsigned s = 0; s < 19; ++s) put(s == 8 ? 1 : (s == 9 || s == 16) ? 2 : 0, 4);
  for (int channel = 0; channel < 2; ++channel) {
    put(0b0, 1);                                  // length 8
    for (int i = 0; i < 42; ++i) put(0b1111, 4);  // 6 more of the same
    put(0b00, 2);
    put(0b1010, 4);  // two of length 9
  }
  for (int round = 0; round < 33; ++round) {
    put(0xF0, 8);
    put(0x10, 8);
  }
  auto unpacker = unrar::makeUnpacker(20, 64 * 1024);
  unrar::BitInput in(unrar::memorySource(packed.data(), packed.size()));
  std::vector<uint8_t> out;
  int r = unpacker->unpack(in, 66, false, [&](const uint8_t* data, size_t size) {
    out.insert(out.end(), data, data + size);
    return 0;
  });
  ASSERT_EQ(r, 0);
  ASSERT_EQ(out.size(), 66u);
  EXPECT_EQ(out[0], 0x10);
  EXPECT_EQ(out[1], 0xF0);
  EXPECT_EQ(out[64], 0x12);
  EXPECT_EQ(out[65], 0xED);
}
