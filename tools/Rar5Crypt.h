#pragma once
// RAR 5 encryption for the writer, through OpenSSL's libcrypto: the key
// derivation (PBKDF2-HMAC-SHA256 with 2^n rounds; 16 and 32 rounds more give
// the checksum key and the password check value), AES-256-CBC, and the
// HMAC-SHA256 tweak that encrypted entries apply to their CRC-32 and BLAKE2sp.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace rarwriter::rar5 {

inline constexpr unsigned kDefaultKdfLog2 = 15;
inline constexpr size_t kAesBlock = 16;

using Salt = std::array<uint8_t, 16>;
using Iv = std::array<uint8_t, 16>;

// Random bytes from the crypto library's generator.
Salt RandomSalt();
Iv RandomIv();

struct Keys {
  std::array<uint8_t, 32> key{};      // AES-256 key
  std::array<uint8_t, 32> hashKey{};  // HMAC key for the stored checksums
  std::array<uint8_t, 12> check{};    // 8-byte password check value + 4 bytes of its SHA-256
  Salt salt{};
  unsigned kdfLog2 = kDefaultKdfLog2;
};

Keys DeriveKeys(const std::string& password, const Salt& salt, unsigned kdfLog2 = kDefaultKdfLog2);

// The checksums an encrypted entry stores instead of the plain ones.
uint32_t TweakCrc32(const Keys& keys, uint32_t crc);
std::array<uint8_t, 32> TweakBlake2(const Keys& keys, const std::array<uint8_t, 32>& hash);

// AES-256-CBC over a stream; the end is padded with zero bytes to a whole block.
class CbcEncryptor {
 public:
  CbcEncryptor(const Keys& keys, const Iv& iv);
  ~CbcEncryptor();
  CbcEncryptor(const CbcEncryptor&) = delete;
  CbcEncryptor& operator=(const CbcEncryptor&) = delete;

  // Encrypts what whole blocks of `data` (and any bytes held back) allow;
  // appends the cipher text to `out`.
  void update(const char* data, size_t size, std::string& out);
  void finish(std::string& out);

 private:
  void* ctx_;
  std::string pending_;
};

// One block in one go: `data` padded with zeros to a whole number of blocks.
std::string EncryptPadded(const Keys& keys, const Iv& iv, const std::string& data);

}  // namespace rarwriter::rar5
