// Encrypted RAR archives for tests: stored entries, each encrypted with its
// own password, and optionally every header encrypted as well. RAR 4: the
// way the entry's unpack version encrypts (29: AES-128 with the RAR 3 key
// derivation, 20 and 15: the older ciphers); RAR 5: AES-256 with a password
// check value and the checksum stored as an HMAC. Link unrar_core and
// lumeskar_rarwriter.
#pragma once

#include <openssl/evp.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/RarWriter.h"
#include "unrar/Crypt20.h"
#include "unrar/Crypt3.h"
#include "unrar/Crypt5.h"

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

inline std::string aes128(std::string bytes, const std::string& password, const uint8_t* salt) {
  bytes.resize((bytes.size() + 15) & ~size_t(15), '\0');
  unrar::Rar3Key key;
  unrar::deriveRar3Key(unrar::rar3Password(unrar::Secret(password)), salt, false, key);
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  int n = 0;
  auto* p = reinterpret_cast<unsigned char*>(bytes.data());
  EVP_EncryptInit_ex(ctx, EVP_aes_128_cbc(), nullptr, key.key, key.iv);
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  EVP_EncryptUpdate(ctx, p, &n, p, int(bytes.size()));
  EVP_CIPHER_CTX_free(ctx);
  return bytes;
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

namespace encrypted_rar {

inline void vint(std::string& s, uint64_t v) {
  do {
    const uint8_t b = v & 0x7F;
    v >>= 7;
    s += char(v ? (b | 0x80) : b);
  } while (v);
}
// A RAR 5 header: CRC-32, size, then `body` (type, flags and the rest).
inline std::string header5(const std::string& body) {
  std::string sized;
  vint(sized, body.size());
  sized += body;
  std::string h;
  put32(h, rarwriter::Crc32(0, sized.data(), sized.size()));
  return h + sized;
}
// Version 0, flags (check value, HMAC checksums), rounds, salt, [IV], check value.
inline std::string cryptRecord5(const unrar::Rar5Key& key, const uint8_t* salt, const uint8_t* iv, bool mac) {
  std::string r;
  vint(r, 0);
  vint(r, 0x01 | (mac ? 0x02 : 0));
  r += char(15);
  r.append(reinterpret_cast<const char*>(salt), 16);
  if (iv) r.append(reinterpret_cast<const char*>(iv), 16);
  r.append(reinterpret_cast<const char*>(key.check), 8);
  uint8_t sum[32];
  unsigned len = 0;
  EVP_Digest(key.check, 8, sum, &len, EVP_sha256(), nullptr);
  r.append(reinterpret_cast<const char*>(sum), 4);
  return r;
}

}  // namespace encrypted_rar

inline std::string EncryptedRar5(const std::vector<EncryptedEntry>& entries, const std::string& headerPassword = {}) {
  using namespace encrypted_rar;
  static const uint8_t kSalt[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  static const uint8_t kIv[16] = {7, 7, 7, 7, 7, 7, 7, 7, 9, 9, 9, 9, 9, 9, 9, 9};
  auto keyFor = [](const std::string& password) {
    auto key = std::make_unique<unrar::Rar5Key>();
    unrar::deriveRar5Key(unrar::Secret(password), kSalt, 15, *key);
    return key;
  };
  std::unique_ptr<unrar::Rar5Key> headerKey;
  std::string out("Rar!\x1a\x07\x01\x00", 8);
  if (!headerPassword.empty()) {
    headerKey = keyFor(headerPassword);
    std::string body;
    vint(body, 4);  // archive encryption header
    vint(body, 0);
    out += header5(body + cryptRecord5(*headerKey, kSalt, nullptr, false));
  }
  auto emit = [&](const std::string& body) {
    const std::string h = header5(body);
    if (!headerKey) return h;
    return std::string(reinterpret_cast<const char*>(kIv), 16) + aesCbc(h, headerKey->key, 32, kIv);
  };
  std::string main;
  vint(main, 1);
  vint(main, 0);
  vint(main, 0);  // archive flags
  out += emit(main);
  for (const EncryptedEntry& e : entries) {
    const bool encrypted = !e.password.empty();
    std::unique_ptr<unrar::Rar5Key> key = encrypted ? keyFor(e.password) : nullptr;
    const std::string packed = encrypted ? aesCbc(e.data, key->key, 32, kIv) : e.data;
    uint32_t crc = rarwriter::Crc32(0, e.data.data(), e.data.size());
    std::string extra;
    if (encrypted) {
      crc = unrar::rar5MacCrc(*key, crc);
      std::string record;
      vint(record, 1);
      record += cryptRecord5(*key, kSalt, kIv, true);
      vint(extra, record.size());
      extra += record;
    }
    std::string body;
    vint(body, 2);
    vint(body, (extra.empty() ? 0 : 0x01) | 0x02);
    if (!extra.empty()) vint(body, extra.size());
    vint(body, packed.size());
    vint(body, 0x04);  // CRC-32 present
    vint(body, e.data.size());
    vint(body, 0644);
    put32(body, crc);
    vint(body, 0);  // stored
    vint(body, 1);  // Unix
    vint(body, e.name.size());
    body += e.name + extra;
    out += emit(body) + packed;
  }
  std::string end;
  vint(end, 5);
  vint(end, 0);
  vint(end, 0);
  return out + emit(end);
}

}  // namespace testing_support
