#pragma once
// Reproducible pseudo-random test data: `size` bytes for `seed`.
#include <cstddef>
#include <random>
#include <string>

namespace testing_support {

inline std::string RandomBytes(size_t size, unsigned seed) {
  std::mt19937 gen(seed);
  std::string bytes(size, '\0');
  for (auto& c : bytes) c = static_cast<char>(gen() & 0xFF);
  return bytes;
}

}  // namespace testing_support
