// RAR 5 encryption: AES-256 in CBC mode, the key derived from the UTF-8
// password by PBKDF2-HMAC-SHA256. The same derivation, run on for further
// rounds, gives the key that turns stored checksums into HMACs and the
// password check value that tells a wrong password from damaged data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "unrar/Crypt.h"

namespace unrar {

// The parameters of a file's encryption record or of the archive's
// encryption header.
struct Rar5CryptInfo {
  unsigned log2Count = 0;  // PBKDF2 rounds: 2^log2Count
  uint8_t salt[16] = {};
  uint8_t iv[16] = {};
  bool hasCheck = false;  // a password check value is stored (and its own checksum holds)
  uint8_t check[8] = {};
  bool useMac = false;  // the entry's checksums are stored as HMACs
};

// Parses an encryption record (`withIv`: a file's, which carries the IV).
// False for an unknown version or a record of the wrong size. A check
// value whose own checksum fails, or an all-zero one (some writers left
// service headers' check values empty), is ignored.
bool parseRar5CryptInfo(const uint8_t* data, size_t size, bool withIv, Rar5CryptInfo& out);

// Derivation rounds above this are refused: 2^24 rounds take minutes.
inline constexpr unsigned kMaxRar5Log2Count = 24;

struct Rar5Key {
  uint8_t key[32];
  uint8_t hashKey[32];
  uint8_t check[8];
  ~Rar5Key() { wipe(this, sizeof *this); }
};

// False when libcrypto fails (no memory).
bool deriveRar5Key(const Secret& utf8, const uint8_t salt[16], unsigned log2Count, Rar5Key& out);

// Whether the derived key matches the stored check value (always true
// when there is none).
bool rar5PasswordMatches(const Rar5Key& key, const Rar5CryptInfo& info);

std::unique_ptr<Cipher> makeRar5Cipher(const Rar5Key& key, const uint8_t iv[16]);

// The forms checksums of entries with useMac are stored in.
uint32_t rar5MacCrc(const Rar5Key& key, uint32_t crc);
void rar5MacHash(const Rar5Key& key, const uint8_t hash[32], uint8_t out[32]);

}  // namespace unrar
