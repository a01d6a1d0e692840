#pragma once
// The entry point every libFuzzer target defines, declared once so that the
// definitions have a prototype (clang's -Wmissing-prototypes).
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
