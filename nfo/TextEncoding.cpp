#include "nfo/TextEncoding.h"

#include "nfo/Cp437.h"
#include "platform/Utf8.h"

namespace {

using platform::kReplacementCharacter;

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
    // A malformed sequence gives U+FFFD and decoding resumes at the first
    // byte that cannot belong to it.
    const platform::Utf8Step step = platform::DecodeUtf8At(s, pos);
    valid = valid && step.valid;
    multiByte = multiByte || step.length > 1;
    if (!valid && stopAtError) break;
    Append(out, step.character);
    pos += step.length;
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
    Append(out, (u >= 0xD800 && u <= 0xDFFF) ? kReplacementCharacter : u);
  }
  if (s.size() % 2 != 0) Append(out, kReplacementCharacter);  // half a code unit at the end
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
