// Where decoded data goes: a function that takes each piece as it is
// decoded and returns 0 to go on or an ERAR_* code to stop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace unrar {

using DataSink = std::function<int(const uint8_t* data, size_t size)>;

}  // namespace unrar
