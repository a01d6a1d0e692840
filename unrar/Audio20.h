// The sample predictor of RAR 2.0 multimedia blocks. Each channel predicts
// its next byte from the last byte and the last four deltas, weighted by
// five coefficients, and the stream codes the difference from the
// prediction. Every 32 bytes the channel moves the one coefficient whose
// change would have made the summed errors of those bytes smallest.
#pragma once

#include <cstdint>
#include <cstdlib>

namespace unrar {

struct AudioChannel20 {
  int weight[5] = {};  // for the four deltas and the other channel's delta
  int delta[4] = {};   // the last deltas, newest first (delta[1..3] as differences)
  int lastDelta = 0;
  int lastByte = 0;  // the last prediction minus its coded difference
  unsigned count = 0;
  unsigned error[11] = {};  // summed errors: as coded, and with each weight one step down or up

  // Decodes one coded difference into a byte; `crossDelta` is the delta of
  // the channel decoded just before, and becomes this byte's delta.
  uint8_t decode(uint8_t coded, int& crossDelta) {
    ++count;
    delta[3] = delta[2];
    delta[2] = delta[1];
    delta[1] = lastDelta - delta[0];
    delta[0] = lastDelta;
    int predicted = 8 * lastByte + weight[0] * delta[0] + weight[1] * delta[1] + weight[2] * delta[2] +
                    weight[3] * delta[3] + weight[4] * crossDelta;
    predicted = (predicted >> 3) & 0xFF;
    // Kept unreduced (-255..255): the next prediction starts from it so.
    const int value = predicted - coded;

    const int d = int(int8_t(coded)) * 8;
    error[0] += unsigned(std::abs(d));
    const int terms[5] = {delta[0], delta[1], delta[2], delta[3], crossDelta};
    for (int k = 0; k < 5; ++k) {
      error[1 + 2 * k] += unsigned(std::abs(d - terms[k]));
      error[2 + 2 * k] += unsigned(std::abs(d + terms[k]));
    }
    crossDelta = lastDelta = int8_t(uint8_t(value - lastByte));
    lastByte = value;

    if ((count & 31) == 0) {
      unsigned best = 0;
      for (unsigned i = 1; i < 11; ++i)
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

}  // namespace unrar
