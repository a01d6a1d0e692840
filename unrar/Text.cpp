#include "unrar/Text.h"

#include <cstring>

#include "platform/Utf8.h"

namespace unrar {

std::string toValidUtf8(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    const platform::Utf8Step step = platform::DecodeUtf8At(s, i);
    if (!step.valid) {
      platform::AppendUtf8(out, uint8_t(s[i]));
      ++i;
    } else {
      out.append(s, i, step.length);
      i += step.length;
    }
  }
  return out;
}

std::wstring utf8ToWide(const std::string& s) {
  std::wstring out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    const platform::Utf8Step step = platform::DecodeUtf8At(s, i);
    // A byte that is no part of a well-formed sequence is taken as Latin-1.
    out += step.valid ? wchar_t(step.character) : wchar_t(uint8_t(s[i]));
    i += step.valid ? step.length : 1;
  }
  return out;
}

std::string wideToUtf8(const wchar_t* s) {
  std::string out;
  if (s)
    for (; *s; ++s) platform::AppendUtf8(out, char32_t(*s));
  return out;
}

std::string decodeRar4Name(const std::string& raw) {
  size_t nul = raw.find('\0');
  if (nul == std::string::npos) return toValidUtf8(raw);
  const std::string ansi = raw.substr(0, nul);
  const std::string enc = raw.substr(nul + 1);
  std::u32string wide;
  size_t pos = 0;
  auto byte = [&]() -> uint32_t { return pos < enc.size() ? uint8_t(enc[pos++]) : 0; };
  const uint32_t high = byte();
  unsigned flags = 0, flagBits = 0;
  while (pos < enc.size() && wide.size() < 4096) {
    if (flagBits == 0) {
      flags = byte();
      flagBits = 8;
    }
    switch (flags >> 6) {
      case 0: wide += byte(); break;
      case 1: wide += byte() | (high << 8); break;
      case 2: {
        uint32_t lo = byte();
        wide += lo | (byte() << 8);
        break;
      }
      default: {
        uint32_t len = byte();
        if (len & 0x80) {
          uint32_t correction = byte();
          for (len = (len & 0x7F) + 2; len > 0 && wide.size() < ansi.size(); --len)
            wide += ((uint8_t(ansi[wide.size()]) + correction) & 0xFF) | (high << 8);
        } else {
          for (len += 2; len > 0 && wide.size() < ansi.size(); --len) wide += uint8_t(ansi[wide.size()]);
        }
      }
    }
    flags = (flags << 2) & 0xFF;
    flagBits -= 2;
  }
  if (wide.empty()) return toValidUtf8(ansi);
  std::string out;
  for (char32_t c : wide) {
    if (c == 0) break;
    platform::AppendUtf8(out, c);
  }
  return out;
}

time_t dosToUnix(uint32_t dos) {
  struct tm t {};
  t.tm_sec = int(dos & 0x1F) * 2;
  t.tm_min = int((dos >> 5) & 0x3F);
  t.tm_hour = int((dos >> 11) & 0x1F);
  t.tm_mday = int((dos >> 16) & 0x1F);
  t.tm_mon = int((dos >> 21) & 0x0F) - 1;
  t.tm_year = int((dos >> 25) & 0x7F) + 80;
  t.tm_isdst = -1;
  return mktime(&t);
}

uint32_t unixToDos(time_t when) {
  struct tm t {};
  if (!localtime_r(&when, &t) || t.tm_year < 80) return (1u << 21) | (1u << 16);
  if (t.tm_year > 207) t.tm_year = 207;
  return uint32_t(t.tm_year - 80) << 25 | uint32_t(t.tm_mon + 1) << 21 | uint32_t(t.tm_mday) << 16 |
         uint32_t(t.tm_hour) << 11 | uint32_t(t.tm_min) << 5 | uint32_t(t.tm_sec / 2);
}

static const int64_t kFiletimeUnixEpoch = 116444736000000000LL;  // 1970-01-01 in FILETIME

uint64_t unixNsToFiletime(int64_t ns) {
  int64_t ft = ns / 100 + kFiletimeUnixEpoch;
  return ft < 0 ? 0 : uint64_t(ft);
}

int64_t filetimeToUnixNs(uint64_t ft) {
  const int64_t limit = INT64_MAX / 100;
  int64_t ticks = ft > uint64_t(INT64_MAX) ? INT64_MAX : int64_t(ft);
  ticks -= kFiletimeUnixEpoch;
  if (ticks > limit) ticks = limit;
  if (ticks < -limit) ticks = -limit;
  return ticks * 100;
}

void copyField(char* dst, size_t cap, const std::string& s) {
  size_t n = s.size() < cap ? s.size() : cap - 1;
  // Do not cut a UTF-8 sequence in half when truncating.
  if (n < s.size())
    while (n > 0 && (uint8_t(s[n]) & 0xC0) == 0x80) --n;
  memcpy(dst, s.data(), n);
  dst[n] = 0;
}

void copyField(wchar_t* dst, size_t cap, const std::wstring& s) {
  size_t n = s.size() < cap ? s.size() : cap - 1;
  wmemcpy(dst, s.data(), n);
  dst[n] = 0;
}

}  // namespace unrar
