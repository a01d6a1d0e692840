// The RAR 2.0 multimedia predictor, which no fixture exercises: each row
// runs 33 rounds of constant or alternating coded differences, so the
// weights adapt once (after 32 bytes per channel) and the last round shows
// the adapted prediction. Expected bytes were worked out by hand from the
// summed errors of the first 32 bytes.
#include <gtest/gtest.h>

#include <vector>

#include "unrar/Audio20.h"

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
