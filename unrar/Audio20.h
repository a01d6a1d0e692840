// The adaptive sample predictor of RAR audio data: RAR 2.0 multimedia
// blocks (five weights: four deltas and the other channel's delta) and the
// RAR 3 audio filter (three weights: three deltas). Each channel predicts
// its next byte from the last byte and the last deltas, weighted, and the
// stream codes the difference from the prediction. Every 32 bytes the
// channel moves the one weight whose change would have made the summed
// errors of those bytes smallest.
#pragma once

#include <cstdint>
#include <cstdlib>

namespace unrar {

template <unsigned kWeights>
struct AudioPredictor {
  static_assert(kWeights == 3 || kWeights == 5);
  int weight[kWeights] = {};
  int delta[4] = {};  // the last deltas, newest first (delta[1..3] as differences)
  int lastDelta = 0;
  int lastByte = 0;  // the last prediction minus its coded difference
  unsigned count = 0;
  unsigned error[2 * kWeights + 1] = {};  // summed errors: as coded, and with each weight one step down or up

  AudioPredictor() = default;
  // `adaptAfterFirst`: the first adaptation comes after the first byte
  // (then every 32 bytes), as the RAR 3 filter has it.
  explicit AudioPredictor(bool adaptAfterFirst) : count(adaptAfterFirst ? 31 : 0) {}

  // Decodes one coded difference into a byte; `crossDelta` is the delta of
  // the channel decoded just before, and becomes this byte's delta.
  uint8_t decode(uint8_t coded, int& crossDelta) {
    ++count;
    delta[3] = delta[2];
    delta[2] = delta[1];
    delta[1] = lastDelta - delta[0];
    delta[0] = lastDelta;
    const int terms[5] = {delta[0], delta[1], delta[2], delta[3], crossDelta};
    int predicted = 8 * lastByte;
    for (unsigned k = 0; k < kWeights; ++k) predicted += weight[k] * terms[k];
    predicted = (predicted >> 3) & 0xFF;
    // Kept unreduced (-255..255): the next prediction starts from it so.
    const int value = predicted - coded;

    const int d = int(int8_t(coded)) * 8;
    error[0] += unsigned(std::abs(d));
    for (unsigned k = 0; k < kWeights; ++k) {
      error[1 + 2 * k] += unsigned(std::abs(d - terms[k]));
      error[2 + 2 * k] += unsigned(std::abs(d + terms[k]));
    }
    crossDelta = lastDelta = int8_t(uint8_t(value - lastByte));
    lastByte = value;

    if ((count & 31) == 0) {
      unsigned best = 0;
      for (unsigned i = 1; i < 2 * kWeights + 1; ++i)
        if (error[i] < error[best]) best = i;
      for (unsigned& e : error) e = 0;
      if (best) {
        int& w = weight[(best - 1) / 2];
        if (best & 1) {
          if (w >= -16) --w;
        } else if (w < 16) {
          ++w;
        }
      }
    }
    return uint8_t(value);
  }
};

// A channel of a RAR 2.0 multimedia block.
using AudioChannel20 = AudioPredictor<5>;

}  // namespace unrar
