#pragma once
// The x86 kernels' entry points, each in its own file compiled for its
// instruction set (and only called when the CPU has it).
#include <cstddef>
#include <cstdint>

namespace par2::x86 {

void AccumulateAvx2(const uint8_t* prepared, const uint8_t* const* src, size_t sources, uint8_t* const* dst,
                    size_t dsts, size_t bytes);
void AccumulateAvx512(const uint8_t* prepared, const uint8_t* const* src, size_t sources, uint8_t* const* dst,
                      size_t dsts, size_t bytes);
void AccumulateGfni512(const uint8_t* prepared, const uint8_t* const* src, size_t sources, uint8_t* const* dst,
                       size_t dsts, size_t bytes);
void AccumulateGfni256(const uint8_t* prepared, const uint8_t* const* src, size_t sources, uint8_t* const* dst,
                       size_t dsts, size_t bytes);

}  // namespace par2::x86
