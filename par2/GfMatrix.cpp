#include "par2/GfMatrix.h"

#include <algorithm>

#include "par2/Gf16.h"

namespace par2 {

namespace {

using gf16::Multiply;

// row[k] ^= factor * pivot[k] for k >= from.
void AddScaled(uint16_t* row, const uint16_t* pivot, uint16_t factor, size_t from, size_t n) {
  if (factor == 0) return;
  for (size_t k = from; k < n; ++k) row[k] ^= Multiply(factor, pivot[k]);
}

}  // namespace

std::optional<Decoder> MakeDecoder(const std::vector<uint32_t>& missing, const std::vector<uint32_t>& available) {
  const size_t m = missing.size();
  Decoder d;
  if (m == 0) return d;
  if (available.size() < m) return std::nullopt;
  std::vector<uint16_t> constants(m);
  for (size_t j = 0; j < m; ++j) constants[j] = gf16::InputConstant(missing[j]);
  auto rowOf = [&](uint32_t exponent, uint16_t* row) {
    for (size_t j = 0; j < m; ++j) row[j] = gf16::Power(constants[j], exponent);
  };

  // Pick independent rows: eliminate over a few more candidates than
  // needed, so a dependent one can be passed over.
  const size_t candidates = std::min(available.size(), m + 16);
  std::vector<uint16_t> rows(candidates * m);
  for (size_t r = 0; r < candidates; ++r) rowOf(available[r], &rows[r * m]);
  std::vector<bool> used(candidates);
  for (size_t col = 0; col < m; ++col) {
    size_t pivot = candidates;
    for (size_t r = 0; r < candidates && pivot == candidates; ++r)
      if (!used[r] && rows[r * m + col] != 0) pivot = r;
    if (pivot == candidates) return std::nullopt;
    used[pivot] = true;
    d.exponents.push_back(available[pivot]);
    const uint16_t inv = gf16::Inverse(rows[pivot * m + col]);
    for (size_t r = 0; r < candidates; ++r)
      if (!used[r]) AddScaled(&rows[r * m], &rows[pivot * m], Multiply(rows[r * m + col], inv), col, m);
  }

  // Gauss-Jordan on [A | I] for the chosen rows: A's rows are the chosen
  // exponents, its columns the missing slices.
  std::vector<uint16_t> a(m * m), inverse(m * m, 0);
  for (size_t r = 0; r < m; ++r) {
    rowOf(d.exponents[r], &a[r * m]);
    inverse[r * m + r] = 1;
  }
  for (size_t col = 0; col < m; ++col) {
    size_t pivot = col;
    while (pivot < m && a[pivot * m + col] == 0) ++pivot;
    if (pivot == m) return std::nullopt;
    if (pivot != col) {
      std::swap_ranges(&a[pivot * m], &a[pivot * m] + m, &a[col * m]);
      std::swap_ranges(&inverse[pivot * m], &inverse[pivot * m] + m, &inverse[col * m]);
    }
    const uint16_t inv = gf16::Inverse(a[col * m + col]);
    for (size_t k = 0; k < m; ++k) {
      a[col * m + k] = Multiply(a[col * m + k], inv);
      inverse[col * m + k] = Multiply(inverse[col * m + k], inv);
    }
    for (size_t r = 0; r < m; ++r) {
      if (r == col) continue;
      const uint16_t factor = a[r * m + col];
      AddScaled(&a[r * m], &a[col * m], factor, 0, m);
      AddScaled(&inverse[r * m], &inverse[col * m], factor, 0, m);
    }
  }
  // A x = y with x the missing slices (columns) and y the recovery
  // equations (rows): x = A^-1 y, so row j of A^-1 rebuilds missing j.
  d.inverse = std::move(inverse);
  return d;
}

}  // namespace par2
