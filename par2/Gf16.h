#pragma once
// Arithmetic in GF(2^16) with the field polynomial x^16 + x^12 + x^3 + x + 1
// (0x1100B), in which 2 generates every non-zero element: the field of the
// recovery slices' Reed-Solomon code.
#include <cstdint>

namespace par2::gf16 {

inline constexpr uint32_t kPolynomial = 0x1100B;
inline constexpr uint32_t kOrder = 65535;  // non-zero elements

uint16_t Multiply(uint16_t a, uint16_t b);
uint16_t Inverse(uint16_t a);                   // a != 0
uint16_t Power(uint16_t a, uint32_t exponent);  // 0^0 = 1
uint16_t Exp2(uint32_t exponent);               // 2^exponent

// The constant of input slice `index` (0-based, over the whole set): 2^n for
// the index-th exponent n that shares no factor with 65535 (1, 2, 4, 7, 8,
// 11, ...). There are 32768 of them, hence at most 32768 input slices.
uint16_t InputConstant(uint32_t index);
inline constexpr uint32_t kMaxInputSlices = 32768;

}  // namespace par2::gf16
