// Name and time conversions that do not depend on the process locale:
// names are carried as UTF-8 and widened to UTF-32 wchar_t by hand.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace unrar {

std::wstring utf8ToWide(const std::string& s);
std::string wideToUtf8(const wchar_t* s);
// Bytes that are not valid UTF-8 are taken as Latin-1 so no name is lost.
std::string toValidUtf8(const std::string& s);
// RAR 4 file names with the Unicode flag: "ansi\0encoded" or plain UTF-8.
std::string decodeRar4Name(const std::string& raw);

// MS-DOS date/time (local time) <-> Unix time.
time_t dosToUnix(uint32_t dos);
uint32_t unixToDos(time_t t);
// FILETIME (100 ns ticks since 1601-01-01 UTC) <-> Unix time in ns.
uint64_t unixNsToFiletime(int64_t ns);
int64_t filetimeToUnixNs(uint64_t ft);

// Copies into a fixed char/wchar_t field, truncating and NUL-terminating.
void copyField(char* dst, size_t cap, const std::string& s);
void copyField(wchar_t* dst, size_t cap, const std::wstring& s);

}  // namespace unrar
