// The ciphers of RAR 1.5 and RAR 2.x archives (unpack versions 15, 20 and
// 26), both keyed from the password's bytes alone: RAR 2.x's is a 32-round
// block cipher on 16-byte blocks with a password-shuffled substitution
// table, RAR 1.5's a byte stream cipher driven by CRC-32 table values.
#pragma once

#include <memory>

#include "unrar/Crypt.h"

namespace unrar {

std::unique_ptr<Cipher> makeRar20Cipher(const Secret& password);
std::unique_ptr<Cipher> makeRar15Cipher(const Secret& password);

// Encryption with the same keys, for writers of test archives.
std::unique_ptr<Cipher> makeRar20Encryptor(const Secret& password);
std::unique_ptr<Cipher> makeRar15Encryptor(const Secret& password);

}  // namespace unrar
