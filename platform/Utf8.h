#pragma once
// UTF-8, strictly by the standard: no overlong forms, no surrogates, nothing
// above U+10FFFF. Header-only, so that libunrar.so compiles it in without
// linking anything of ours.
#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// One step of decoding: the character and how many bytes it took.
struct Utf8Step {
  char32_t character = kReplacementCharacter;
  size_t length = 1;   // at least 1, never past the end of the text
  bool valid = false;  // false: `character` is U+FFFD
};

// Decodes the sequence that begins at `text[pos]` (pos < text.size()). A
// malformed sequence gives U+FFFD and the length of its longest well-formed
// beginning (at least one byte), so that decoding resumes at the first byte
// that cannot belong to it, as the Unicode standard recommends.
inline Utf8Step DecodeUtf8At(std::string_view text, size_t pos) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char b0 = byte(pos);
  if (b0 < 0x80) return {b0, 1, true};
  size_t length;
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
    return {};
  }
  for (size_t k = 1; k < length; ++k) {
    const size_t i = pos + k;
    const bool fits = i < text.size() && (k == 1 ? byte(i) >= lo && byte(i) <= hi : (byte(i) & 0xC0) == 0x80);
    if (!fits) return {kReplacementCharacter, k, false};
    c = (c << 6) | (byte(i) & 0x3F);
  }
  return {c, length, true};
}

// True when the whole text is well-formed UTF-8.
inline bool IsValidUtf8(std::string_view text) {
  for (size_t pos = 0; pos < text.size();) {
    const Utf8Step step = DecodeUtf8At(text, pos);
    if (!step.valid) return false;
    pos += step.length;
  }
  return true;
}

// Appends `c` in UTF-8; a surrogate or a value above U+10FFFF becomes U+FFFD.
inline void AppendUtf8(std::string& out, char32_t c) {
  if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = kReplacementCharacter;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace platform
