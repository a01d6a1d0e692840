#include "tools/Rar5Crypt.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

#include <algorithm>
#include <stdexcept>

namespace rarwriter::rar5 {
namespace {

[[noreturn]] void CryptoFailed(const char* what) {
  throw std::runtime_error(std::string("rarwriter: crypto library failed: ") + what);
}

std::array<uint8_t, 32> Pbkdf2(const std::string& password, const Salt& salt, uint64_t rounds) {
  std::array<uint8_t, 32> out{};
  if (rounds > 0x7FFFFFFF ||
      PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt.data(), static_cast<int>(salt.size()),
                        static_cast<int>(rounds), EVP_sha256(), static_cast<int>(out.size()), out.data()) != 1)
    CryptoFailed("PBKDF2");
  return out;
}

std::array<uint8_t, 32> HmacSha256(const std::array<uint8_t, 32>& key, const uint8_t* data, size_t size) {
  std::array<uint8_t, 32> out{};
  unsigned len = 0;
  if (!HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()), data, size, out.data(), &len) || len != 32)
    CryptoFailed("HMAC-SHA256");
  return out;
}

template <size_t N>
std::array<uint8_t, N> RandomBytes() {
  std::array<uint8_t, N> out{};
  if (RAND_bytes(out.data(), static_cast<int>(N)) != 1) CryptoFailed("random bytes");
  return out;
}

}  // namespace

Salt RandomSalt() { return RandomBytes<16>(); }
Iv RandomIv() { return RandomBytes<16>(); }

Keys DeriveKeys(const std::string& password, const Salt& salt, unsigned kdfLog2) {
  if (kdfLog2 > 24) throw std::invalid_argument("rarwriter: at most 2^24 key derivation rounds");
  Keys k;
  k.salt = salt;
  k.kdfLog2 = kdfLog2;
  // PBKDF2's running XOR simply goes on: the checksum key is the value after
  // 16 more rounds, the password check after 32 more.
  const uint64_t rounds = uint64_t{1} << kdfLog2;
  k.key = Pbkdf2(password, salt, rounds);
  k.hashKey = Pbkdf2(password, salt, rounds + 16);
  std::array<uint8_t, 32> v = Pbkdf2(password, salt, rounds + 32);
  for (size_t i = 0; i < v.size(); ++i) k.check[i % 8] ^= v[i];
  uint8_t digest[SHA256_DIGEST_LENGTH];
  SHA256(k.check.data(), 8, digest);
  for (size_t i = 0; i < 4; ++i) k.check[8 + i] = digest[i];
  OPENSSL_cleanse(v.data(), v.size());
  return k;
}

uint32_t TweakCrc32(const Keys& keys, uint32_t crc) {
  const uint8_t le[4] = {static_cast<uint8_t>(crc), static_cast<uint8_t>(crc >> 8), static_cast<uint8_t>(crc >> 16),
                         static_cast<uint8_t>(crc >> 24)};
  const auto mac = HmacSha256(keys.hashKey, le, sizeof le);
  uint32_t out = 0;
  for (size_t i = 0; i < mac.size(); i += 4)
    out ^= uint32_t{mac[i]} | uint32_t{mac[i + 1]} << 8 | uint32_t{mac[i + 2]} << 16 | uint32_t{mac[i + 3]} << 24;
  return out;
}

std::array<uint8_t, 32> TweakBlake2(const Keys& keys, const std::array<uint8_t, 32>& hash) {
  return HmacSha256(keys.hashKey, hash.data(), hash.size());
}

CbcEncryptor::CbcEncryptor(const Keys& keys, const Iv& iv) : ctx_(EVP_CIPHER_CTX_new()) {
  auto* ctx = static_cast<EVP_CIPHER_CTX*>(ctx_);
  if (!ctx || EVP_EncryptInit_ex(ctx, EVP_aes_256_cbc(), nullptr, keys.key.data(), iv.data()) != 1 ||
      EVP_CIPHER_CTX_set_padding(ctx, 0) != 1) {
    EVP_CIPHER_CTX_free(ctx);
    CryptoFailed("AES-256-CBC");
  }
}

CbcEncryptor::~CbcEncryptor() { EVP_CIPHER_CTX_free(static_cast<EVP_CIPHER_CTX*>(ctx_)); }

void CbcEncryptor::update(const char* data, size_t size, std::string& out) {
  auto* ctx = static_cast<EVP_CIPHER_CTX*>(ctx_);
  auto run = [&](const char* p, size_t n) {  // n: whole blocks
    while (n > 0) {
      const int chunk = static_cast<int>(std::min<size_t>(n, 1 << 24));
      const size_t at = out.size();
      out.resize(at + static_cast<size_t>(chunk));
      int written = 0;
      if (EVP_EncryptUpdate(ctx, reinterpret_cast<unsigned char*>(out.data() + at), &written,
                            reinterpret_cast<const unsigned char*>(p), chunk) != 1 ||
          written != chunk)
        CryptoFailed("AES-256-CBC");
      p += chunk;
      n -= static_cast<size_t>(chunk);
    }
  };
  if (!pending_.empty()) {
    const size_t take = std::min(size, kAesBlock - pending_.size());
    pending_.append(data, take);
    data += take;
    size -= take;
    if (pending_.size() < kAesBlock) return;
    run(pending_.data(), kAesBlock);
    pending_.clear();
  }
  const size_t whole = size - size % kAesBlock;
  run(data, whole);
  pending_.assign(data + whole, size - whole);
}

void CbcEncryptor::finish(std::string& out) {
  if (pending_.empty()) return;
  std::string block = pending_;
  pending_.clear();
  block.resize(kAesBlock, '\0');
  update(block.data(), block.size(), out);
}

std::string EncryptPadded(const Keys& keys, const Iv& iv, const std::string& data) {
  CbcEncryptor enc(keys, iv);
  std::string out;
  enc.update(data.data(), data.size(), out);
  enc.finish(out);
  return out;
}

}  // namespace rarwriter::rar5
