#pragma once
// Our libunrar.so, loaded from the build as the program loads it, with the
// entry points the decoding benchmarks call. Exits when it cannot be loaded.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

#include "unrar/unrar.h"

namespace bench {

struct OurUnrar {
  decltype(&RAROpenArchiveEx) open = nullptr;
  decltype(&RARReadHeaderEx) read = nullptr;
  decltype(&RARProcessFile) process = nullptr;
  decltype(&RARCloseArchive) close = nullptr;
};

inline OurUnrar LoadOurUnrar() {
  OurUnrar o;
  void* h = dlopen(LUMESKAR_BINARY_DIR "/libunrar.so", RTLD_NOW | RTLD_LOCAL);
  if (!h) {
    std::fprintf(stderr, "cannot load libunrar.so: %s\n", dlerror());
    std::exit(2);
  }
  o.open = reinterpret_cast<decltype(o.open)>(dlsym(h, "RAROpenArchiveEx"));
  o.read = reinterpret_cast<decltype(o.read)>(dlsym(h, "RARReadHeaderEx"));
  o.process = reinterpret_cast<decltype(o.process)>(dlsym(h, "RARProcessFile"));
  o.close = reinterpret_cast<decltype(o.close)>(dlsym(h, "RARCloseArchive"));
  return o;
}

}  // namespace bench
