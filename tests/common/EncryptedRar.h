// Encrypted RAR 4 archives for tests, which the project's RAR writer
// (tools/RarWriter.h) writes stored and unencrypted only: stored entries (or
// packed data taken from another archive), each encrypted with its own
// password the way its unpack version does (29: AES-128 with the RAR 3 key
// derivation, 20 and 15: the older ciphers), and optionally every header
// encrypted as well. Encrypted RAR 5 archives come from the writer itself.
// Link unrar_core and lumeskar_rarwriter.
#pragma once

#include <openssl/evp.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/RarWriter.h"
#include "unrar/Crypt20.h"
#include "unrar/Crypt3.h"

namespace testing_support {

struct EncryptedEntry {
  std::string name;
  std::string data;
  std::string password;  // empty: not encrypted
  unsigned unpVer = 29;
  bool salted = true;  // unpack version 29 only
  // Compressed data taken from another archive: `data` is then the packed
  // stream, and these describe it (method 0x31-0x35, the dictionary bits of
  // the header flags, the unpacked size and CRC-32).
  unsigned method = 0x30;
  unsigned dictFlags = 0;
  uint64_t unpSize = 0;
  uint32_t crc = 0;
};

namespace encrypted_rar {

// AES-CBC without padding of `bytes` filled up to whole blocks with zeros.
inline std::string aesCbc(std::string bytes, const uint8_t* key, size_t keyBytes, const uint8_t* iv) {
  bytes.resize((bytes.size() + 15) & ~size_t(15), '\0');
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  int n = 0;
  auto* p = reinterpret_cast<unsigned char*>(bytes.data());
  EVP_EncryptInit_ex(ctx, keyBytes == 16 ? EVP_aes_128_cbc() : EVP_aes_256_cbc(), nullptr, key, iv);
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  EVP_EncryptUpdate(ctx, p, &n, p, int(bytes.size()));
  EVP_CIPHER_CTX_free(ctx);
  return bytes;
}

// AES-128 with the RAR 3 key derivation of `password` and `salt`.
inline std::string aes128(const std::string& bytes, const std::string& password, const uint8_t* salt) {
  unrar::Rar3Key key;
  unrar::deriveRar3Key(unrar::rar3Password(unrar::Secret(password)), salt, false, key);
  return aesCbc(bytes, key.key, 16, key.iv);
}

inline void put16(std::string& s, unsigned v) {
  s += char(v);
  s += char(v >> 8);
}
inline void put32(std::string& s, uint32_t v) {
  put16(s, v & 0xFFFF);
  put16(s, v >> 16);
}
inline std::string seal(std::string h) {
  h[5] = char(h.size());
  h[6] = char(h.size() >> 8);
  const uint32_t crc = rarwriter::Crc32(0, h.data() + 2, h.size() - 2);
  h[0] = char(crc);
  h[1] = char(crc >> 8);
  return h;
}

}  // namespace encrypted_rar

inline std::string EncryptedRar4(const std::vector<EncryptedEntry>& entries, const std::string& headerPassword = {}) {
  using namespace encrypted_rar;
  static const uint8_t kSalt[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  static const uint8_t kHeaderSalt[8] = {8, 7, 6, 5, 4, 3, 2, 1};
  auto header = [&](const std::string& plain) {
    if (headerPassword.empty()) return plain;
    return std::string(reinterpret_cast<const char*>(kHeaderSalt), 8) + aes128(plain, headerPassword, kHeaderSalt);
  };
  std::string main("\0\0\x73", 3);
  put16(main, headerPassword.empty() ? 0 : 0x0080);
  main += std::string(8, '\0');
  std::string out = std::string("Rar!\x1a\x07\0", 7) + seal(main);
  for (const EncryptedEntry& e : entries) {
    const bool encrypted = !e.password.empty();
    const bool salted = encrypted && e.salted && e.unpVer == 29;
    std::string packed = e.data;
    if (encrypted && e.unpVer == 29) {
      packed = aes128(e.data, e.password, salted ? kSalt : nullptr);
    } else if (encrypted) {
      if (e.unpVer == 20) packed.resize((e.data.size() + 15) & ~size_t(15), '\0');
      const unrar::Secret secret(e.password);
      auto cipher = e.unpVer == 20 ? unrar::makeRar20Encryptor(secret) : unrar::makeRar15Encryptor(secret);
      cipher->decrypt(reinterpret_cast<uint8_t*>(packed.data()), packed.size());
    }
    const bool stored = e.method == 0x30;
    std::string file("\0\0\x74", 3);
    put16(file, 0x8000 | (encrypted ? 0x0004 : 0) | (salted ? 0x0400 : 0) | e.dictFlags);
    put16(file, 0);
    put32(file, uint32_t(packed.size()));
    put32(file, uint32_t(stored ? e.data.size() : e.unpSize));
    file += char(3);  // Unix
    put32(file, stored ? rarwriter::Crc32(0, e.data.data(), e.data.size()) : e.crc);
    put32(file, 0x5A210000);  // 2025-01-01
    file += char(e.unpVer);
    file += char(e.method);
    put16(file, unsigned(e.name.size()));
    put32(file, 0100644);
    file += e.name;
    if (salted) file.append(reinterpret_cast<const char*>(kSalt), 8);
    out += header(seal(file)) + packed;
  }
  return out + header(std::string("\xc4\x3d\x7b\0\x40\x07\0", 7));
}

}  // namespace testing_support
