#pragma once
// Arithmetic on polynomials modulo the CRC-32 polynomial, in the register's
// reflected bit order (bit 31 holds x^0, bit 0 holds x^31). It moves CRC
// registers over known lengths and makes the carry-less-multiply constants.
#include <cstdint>

namespace platform::crcmath {

inline constexpr uint32_t kPolynomial = 0xEDB88320u;
inline constexpr uint32_t kOne = 1u << 31;   // x^0
inline constexpr uint32_t kX = 1u << 30;     // x^1
inline constexpr uint32_t kXTo8 = 1u << 23;  // x^8: one byte

// a * b modulo the polynomial.
constexpr uint32_t MultiplyModP(uint32_t a, uint32_t b) {
  uint32_t product = 0;
  for (uint32_t bit = kOne; bit != 0; bit >>= 1) {
    if (a & bit) product ^= b;
    b = (b & 1) ? (b >> 1) ^ kPolynomial : b >> 1;  // b * x
  }
  return product;
}

// base^count modulo the polynomial, by square-and-multiply.
constexpr uint32_t PowerModP(uint32_t base, uint64_t count) {
  uint32_t result = kOne;
  for (; count != 0; count >>= 1) {
    if (count & 1) result = MultiplyModP(base, result);
    base = MultiplyModP(base, base);
  }
  return result;
}

}  // namespace platform::crcmath
