#include "unrar/Text.h"

#include <cstring>

namespace unrar {

namespace {

void appendUtf8(std::string& out, uint32_t c) {
  if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
  if (c < 0x80) {
    out += char(c);
  } else if (c < 0x800) {
    out += char(0xC0 | (c >> 6));
    out += char(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += char(0xE0 | (c >> 12));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  } else {
    out += char(0xF0 | (c >> 18));
    out += char(0x80 | ((c >> 12) & 0x3F));
    out += char(0x80 | ((c >> 6) & 0x3F));
    out += char(0x80 | (c & 0x3F));
  }
}

// Decodes one UTF-8 sequence at s[i]; returns its length, or 0 when invalid.
size_t decodeUtf8(const std::string& s, size_t i, uint32_t& c) {
  auto b = [&](size_t k) { return uint8_t(s[i + k]); };
  uint8_t b0 = b(0);
  size_t n;
  if (b0 < 0x80) {
    c = b0;
    return 1;
  }
  if ((b0 & 0xE0) == 0xC0) {
    n = 2;
    c = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    n = 3;
    c = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    n = 4;
    c = b0 & 0x07;
  } else
    return 0;
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((b(k) & 0xC0) != 0x80) return 0;
    c = (c << 6) | (b(k) & 0x3F);
  }
  static const uint32_t minimum[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < minimum[n] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  return n;
}

}  // namespace

std::string toValidUtf8(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    uint32_t c;
    size_t n = decodeUtf8(s, i, c);
    if (n == 0) {
      appendUtf8(out, uint8_t(s[i]));
      ++i;
    } else {
      out.append(s, i, n);
      i += n;
    }
  }
  return out;
}

std::wstring utf8ToWide(const std::string& s) {
  std::wstring out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    uint32_t c;
    size_t n = decodeUtf8(s, i, c);
    if (n == 0) {
      c = uint8_t(s[i]);
      n = 1;
    }
    out += wchar_t(c);
    i += n;
  }
  return out;
}

std::string wideToUtf8(const wchar_t* s) {
  std::string out;
  if (s)
    for (; *s; ++s) appendUtf8(out, uint32_t(*s));
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
    appendUtf8(out, c);
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
