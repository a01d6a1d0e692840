#include "nfo/TextEncoding.h"

#include "nfo/Cp437.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void Append(std::u16string& out, char32_t c) {
  // Controls show as their code page 437 graphics, as a code page 437 file's
  // control bytes do.
  if (c < 0x20 || c == 0x7F) {
    out.push_back(Cp437ToUnicode(static_cast<unsigned char>(c)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char16_t>(c));
  } else {
    c -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  }
}

bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Reads one UTF-8 sequence at `pos`. Returns its character and advances `pos`
// past it; on a malformed sequence returns U+FFFD and advances past its
// longest valid beginning (at least one byte), so that decoding resumes at
// the first byte that cannot belong to it.
char32_t NextUtf8(std::string_view s, size_t& pos, bool& valid) {
  const auto b0 = static_cast<unsigned char>(s[pos]);
  if (b0 < 0x80) {
    ++pos;
    return b0;
  }
  int length;
  char32_t c;
  unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2;
    c = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3;
    c = b0 & 0x0F;
    if (b0 == 0xE0) lo = 0xA0;  // no overlong forms
    if (b0 == 0xED) hi = 0x9F;  // no surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4;
    c = b0 & 0x07;
    if (b0 == 0xF0) lo = 0x90;  // no overlong forms
    if (b0 == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
  } else {
    valid = false;
    ++pos;
    return kReplacement;
  }
  size_t i = pos + 1;
  for (int k = 1; k < length; ++k, ++i) {
    const auto b = i < s.size() ? static_cast<unsigned char>(s[i]) : 0;
    const bool ok = i < s.size() && (k == 1 ? (b >= lo && b <= hi) : IsContinuation(b));
    if (!ok) {
      valid = false;
      pos = i;
      return kReplacement;
    }
    c = (c << 6) | (b & 0x3F);
  }
  pos = i;
  return c;
}

// Decodes UTF-8; `valid` tells whether every sequence was well formed and
// `multiByte` whether any character needed more than one byte. With
// `stopAtError` decoding ends at the first malformed sequence: the caller
// only wanted to know whether the text is UTF-8.
std::u16string DecodeUtf8(std::string_view s, bool& valid, bool& multiByte, bool stopAtError) {
  std::u16string out;
  out.reserve(s.size());
  valid = true;
  multiByte = false;
  for (size_t pos = 0; pos < s.size();) {
    const size_t start = pos;
    const char32_t c = NextUtf8(s, pos, valid);
    multiByte = multiByte || pos - start > 1;
    if (!valid && stopAtError) break;
    Append(out, c);
  }
  return out;
}

std::u16string DecodeUtf16(std::string_view s, bool bigEndian) {
  std::u16string out;
  out.reserve(s.size() / 2 + 1);
  auto unit = [&](size_t i) -> char16_t {
    const auto a = static_cast<unsigned char>(s[i]), b = static_cast<unsigned char>(s[i + 1]);
    return static_cast<char16_t>(bigEndian ? (a << 8 | b) : (b << 8 | a));
  };
  const size_t units = s.size() / 2;
  for (size_t i = 0; i < units; ++i) {
    const char16_t u = unit(2 * i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
      const char16_t next = unit(2 * (i + 1));
      if (next >= 0xDC00 && next <= 0xDFFF) {
        Append(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (next - 0xDC00));
        ++i;
        continue;
      }
    }
    Append(out, (u >= 0xD800 && u <= 0xDFFF) ? kReplacement : u);
  }
  if (s.size() % 2 != 0) Append(out, kReplacement);  // half a code unit at the end
  return out;
}

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

}  // namespace

DecodedText DecodeText(std::string_view bytes) {
  DecodedText d;
  bool valid = false, multiByte = false;
  if (StartsWith(bytes, "\xEF\xBB\xBF")) {
    d = {TextEncoding::Utf8, true, DecodeUtf8(bytes.substr(3), valid, multiByte, false)};
  } else if (StartsWith(bytes, "\xFF\xFE")) {
    d = {TextEncoding::Utf16Le, true, DecodeUtf16(bytes.substr(2), false)};
  } else if (StartsWith(bytes, "\xFE\xFF")) {
    d = {TextEncoding::Utf16Be, true, DecodeUtf16(bytes.substr(2), true)};
  } else {
    std::u16string utf8 = DecodeUtf8(bytes, valid, multiByte, true);
    if (valid && multiByte) {
      d = {TextEncoding::Utf8, false, std::move(utf8)};
    } else if (valid) {  // plain ASCII: already decoded, exactly as code page 437 decodes it
      d = {TextEncoding::Cp437, false, std::move(utf8)};
    } else {
      std::u16string().swap(utf8);  // not held beside the decoded text
      d = {TextEncoding::Cp437, false, Cp437Decode(bytes)};
    }
  }
  return d;
}
