// libFuzzer target: the RAR 2.0 decoder on arbitrary packed data.
#include "tests/unrar/FuzzUnpack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return fuzzUnpack(20, data, size); }
