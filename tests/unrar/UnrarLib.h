// The built libunrar.so, loaded with dlopen as a program would load it, and
// small helpers for the tests that drive it.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/common/TempDir.h"
#include "tools/RarWriter.h"
#include "unrar/unrar.h"

inline rarwriter::RarOptions opts(rarwriter::Format format) {
  rarwriter::RarOptions o;
  o.format = format;
  return o;
}

struct UnrarLib {
  void* handle = nullptr;
  decltype(&RAROpenArchive) OpenArchive = nullptr;
  decltype(&RAROpenArchiveEx) OpenArchiveEx = nullptr;
  decltype(&RARCloseArchive) CloseArchive = nullptr;
  decltype(&RARReadHeader) ReadHeader = nullptr;
  decltype(&RARReadHeaderEx) ReadHeaderEx = nullptr;
  decltype(&RARProcessFile) ProcessFile = nullptr;
  decltype(&RARProcessFileW) ProcessFileW = nullptr;
  decltype(&RARSetCallback) SetCallback = nullptr;
  decltype(&RARSetChangeVolProc) SetChangeVolProc = nullptr;
  decltype(&RARSetProcessDataProc) SetProcessDataProc = nullptr;
  decltype(&RARSetPassword) SetPassword = nullptr;
  decltype(&RARGetDllVersion) GetDllVersion = nullptr;

  static UnrarLib& get() {
    static UnrarLib lib;
    return lib;
  }

 private:
  UnrarLib() {
    handle = dlopen(LUMESKAR_BINARY_DIR "/libunrar.so", RTLD_NOW | RTLD_LOCAL);
    if (!handle) return;
    bind(OpenArchive, "RAROpenArchive");
    bind(OpenArchiveEx, "RAROpenArchiveEx");
    bind(CloseArchive, "RARCloseArchive");
    bind(ReadHeader, "RARReadHeader");
    bind(ReadHeaderEx, "RARReadHeaderEx");
    bind(ProcessFile, "RARProcessFile");
    bind(ProcessFileW, "RARProcessFileW");
    bind(SetCallback, "RARSetCallback");
    bind(SetChangeVolProc, "RARSetChangeVolProc");
    bind(SetProcessDataProc, "RARSetProcessDataProc");
    bind(SetPassword, "RARSetPassword");
    bind(GetDllVersion, "RARGetDllVersion");
  }
  template <class F>
  void bind(F& f, const char* name) {
    f = reinterpret_cast<F>(dlsym(handle, name));
  }
};

// The shared whole-file helpers (tests/common/TempDir.h) under the names
// these tests use; paths convert to strings.
inline constexpr auto& readFile = testing_support::ReadFile;
inline constexpr auto& writeFile = testing_support::WriteFile;

// Every path under `root`, relative, sorted.
inline std::vector<std::string> listTree(const std::filesystem::path& root) {
  std::vector<std::string> out;
  for (auto& e : std::filesystem::recursive_directory_iterator(root))
    out.push_back(e.path().lexically_relative(root).string());
  std::sort(out.begin(), out.end());
  return out;
}

using testing_support::TempDir;

// Opens for extraction with the plain record; null on failure.
inline HANDLE openPlain(const std::string& path) {
  RAROpenArchiveData od{};
  od.ArcName = const_cast<char*>(path.c_str());
  od.OpenMode = RAR_OM_EXTRACT;
  return UnrarLib::get().OpenArchive(&od);
}

// Opens, runs `op` on every entry, and records the results.
struct RunResult {
  unsigned openResult = 0;
  unsigned flags = 0;
  std::vector<std::string> names;
  std::vector<int> codes;
  int endCode = 0;
};

inline RunResult runArchive(const std::string& path, int op, const std::string& dest, unsigned opFlags = 0,
                            UNRARCALLBACK cb = nullptr, LPARAM user = 0, unsigned mode = RAR_OM_EXTRACT) {
  UnrarLib& lib = UnrarLib::get();
  RunResult r;
  RAROpenArchiveDataEx d;
  memset(&d, 0, sizeof d);
  d.ArcName = const_cast<char*>(path.c_str());
  d.OpenMode = mode;
  d.OpFlags = opFlags;
  d.Callback = cb;
  d.UserData = user;
  HANDLE h = lib.OpenArchiveEx(&d);
  r.openResult = d.OpenResult;
  r.flags = d.Flags;
  if (!h) return r;
  static RARHeaderDataEx hd;
  for (int guard = 0; guard < 10000; ++guard) {
    memset(&hd, 0, sizeof hd);
    r.endCode = lib.ReadHeaderEx(h, &hd);
    if (r.endCode) break;
    r.names.push_back(hd.FileName);
    r.codes.push_back(lib.ProcessFile(h, op, dest.empty() ? nullptr : const_cast<char*>(dest.c_str()), nullptr));
  }
  lib.CloseArchive(h);
  return r;
}
