#pragma once
// Which encoding an .nfo file's bytes are in, and its text as characters.
// Classic art is code page 437; files written today are often UTF-8 or
// UTF-16. The choice never turns a classic file into something else: code
// page 437 art is never valid UTF-8, and code page 437 is what is left.
#include <string>
#include <string_view>

enum class TextEncoding { Cp437, Utf8, Utf16Le, Utf16Be };

struct DecodedText {
  TextEncoding encoding = TextEncoding::Cp437;
  bool byteOrderMark = false;  // the file began with a mark (dropped from `text`)
  std::u16string text;
};

// Decodes a whole file:
// - a UTF-8, UTF-16 LE or UTF-16 BE byte-order mark selects that encoding;
// - without a mark, bytes that are valid UTF-8 and hold at least one
//   multi-byte sequence are UTF-8;
// - everything else is code page 437.
// Sequences that do not decode (bad UTF-8, a lone UTF-16 surrogate, an odd
// byte at the end of UTF-16) become U+FFFD. Control characters other than
// TAB, CR and LF become the graphic characters code page 437 shows for them,
// whatever the encoding, so the same art looks the same in every encoding.
DecodedText DecodeText(std::string_view bytes);
