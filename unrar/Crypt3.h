// RAR 3.x/4.x encryption: AES-128 in CBC mode with a key and IV derived from
// the password (as UTF-16LE) and an 8-byte salt by 2^18 rounds of SHA-1.
#pragma once

#include <cstdint>
#include <memory>

#include "unrar/Crypt.h"

namespace unrar {

struct Rar3Key {
  uint8_t key[16];
  uint8_t iv[16];
  ~Rar3Key() { wipe(this, sizeof *this); }
};

// The password's UTF-8 bytes as the UTF-16LE code units the key is made
// from, cut to the format's 127 units.
Secret rar3Password(const Secret& utf8);

// Derives the key from the UTF-16LE password and the salt (null for
// archives without one). The format's SHA-1 rewrites the password buffer
// between rounds once it is long enough to fill two hash blocks in one go
// (passwords of 29 characters and more); `plainHash` turns that off for
// archives that say they were made without it.
void deriveRar3Key(const Secret& utf16, const uint8_t* salt8, bool plainHash, Rar3Key& out);

std::unique_ptr<Cipher> makeRar3Cipher(const Rar3Key& key);

}  // namespace unrar
