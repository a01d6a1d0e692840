#include "par2/Gf16.h"

#include <array>
#include <vector>

namespace par2::gf16 {

namespace {

struct Tables {
  std::vector<uint16_t> exp;  // 2^i for i in [0, 2 * kOrder): no reduction after adding logs
  std::vector<uint16_t> log;  // log[0] unused
  std::vector<uint16_t> inputExponent;
  Tables() : exp(2 * kOrder), log(kOrder + 1) {
    uint32_t x = 1;
    for (uint32_t i = 0; i < kOrder; ++i) {
      exp[i] = exp[i + kOrder] = static_cast<uint16_t>(x);
      log[x] = static_cast<uint16_t>(i);
      x <<= 1;
      if (x & 0x10000) x ^= kPolynomial;
    }
    for (uint32_t n = 1; inputExponent.size() < kMaxInputSlices; ++n)
      if (n % 3 != 0 && n % 5 != 0 && n % 17 != 0 && n % 257 != 0) inputExponent.push_back(static_cast<uint16_t>(n));
  }
};

const Tables& T() {
  static const Tables tables;
  return tables;
}

}  // namespace

uint16_t Multiply(uint16_t a, uint16_t b) {
  if (a == 0 || b == 0) return 0;
  const Tables& t = T();
  return t.exp[t.log[a] + t.log[b]];
}

uint16_t Inverse(uint16_t a) {
  const Tables& t = T();
  return t.exp[(kOrder - t.log[a]) % kOrder];
}

uint16_t Power(uint16_t a, uint32_t exponent) {
  if (exponent == 0) return 1;
  if (a == 0) return 0;
  const Tables& t = T();
  return t.exp[(static_cast<uint64_t>(t.log[a]) * exponent) % kOrder];
}

uint16_t Exp2(uint32_t exponent) { return T().exp[exponent % kOrder]; }

uint16_t InputConstant(uint32_t index) { return Exp2(T().inputExponent[index]); }

}  // namespace par2::gf16
