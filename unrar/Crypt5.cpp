#include "unrar/Crypt5.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <cstring>

#include "unrar/Bytes.h"

namespace unrar {

namespace {

// HMAC-SHA256 with one key for many messages: the keyed state is set up
// once and every message starts over from it.
class Hmac {
 public:
  Hmac(const uint8_t* key, size_t size) {
    mac_ = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
    if (mac_) ctx_ = EVP_MAC_CTX_new(mac_);
    char digest[] = "SHA256";
    OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0), OSSL_PARAM_END};
    // An empty password is still a key: HMAC takes a zero-length one.
    static const uint8_t none = 0;
    ok_ = ctx_ && EVP_MAC_init(ctx_, size ? key : &none, size, params) == 1;
    first_ = true;
  }
  ~Hmac() {
    EVP_MAC_CTX_free(ctx_);
    EVP_MAC_free(mac_);
  }
  Hmac(const Hmac&) = delete;
  Hmac& operator=(const Hmac&) = delete;

  bool ok() const { return ok_; }
  // out = HMAC(key, a || b).
  void mac(const uint8_t* a, size_t aSize, const uint8_t* b, size_t bSize, uint8_t out[32]) {
    if (!ok_) return;
    if (!first_ && EVP_MAC_init(ctx_, nullptr, 0, nullptr) != 1) ok_ = false;
    first_ = false;
    size_t outSize = 0;
    if (!ok_ || EVP_MAC_update(ctx_, a, aSize) != 1 || (bSize && EVP_MAC_update(ctx_, b, bSize) != 1) ||
        EVP_MAC_final(ctx_, out, &outSize, 32) != 1 || outSize != 32)
      ok_ = false;
  }

 private:
  EVP_MAC* mac_ = nullptr;
  EVP_MAC_CTX* ctx_ = nullptr;
  bool ok_ = false;
  bool first_ = true;
};

}  // namespace

bool parseRar5CryptInfo(const uint8_t* data, size_t size, bool withIv, Rar5CryptInfo& out) {
  ByteCursor c(data, size);
  uint64_t version = c.vint();
  uint64_t flags = c.vint();
  if (!c.ok() || version != 0) return false;
  const bool check = flags & 0x01;
  out.useMac = flags & 0x02;
  if (c.left() != size_t(1 + 16 + (withIv ? 16 : 0) + (check ? 12 : 0))) return false;
  out.log2Count = c.u8();
  memcpy(out.salt, c.here(), 16);
  c.skip(16);
  if (withIv) {
    memcpy(out.iv, c.here(), 16);
    c.skip(16);
  }
  out.hasCheck = false;
  if (check) {
    const uint8_t* value = c.here();
    uint8_t sum[32];
    unsigned len = 0;
    bool zero = true;
    for (int i = 0; i < 8; ++i) zero = zero && value[i] == 0;
    if (!zero && EVP_Digest(value, 8, sum, &len, EVP_sha256(), nullptr) == 1 && memcmp(sum, value + 8, 4) == 0) {
      out.hasCheck = true;
      memcpy(out.check, value, 8);
    }
  }
  return true;
}

bool deriveRar5Key(const Secret& utf8, const uint8_t salt[16], unsigned log2Count, Rar5Key& out) {
  if (log2Count > kMaxRar5Log2Count) return false;
  Hmac hmac(utf8.data(), utf8.size());
  // PBKDF2 with one output block: U1 = HMAC(salt || 1), Uk = HMAC(Uk-1),
  // the key is the XOR of all U. The hash key and the check value are the
  // same sum carried on for 16 more rounds each.
  static const uint8_t blockIndex[4] = {0, 0, 0, 1};
  uint8_t u[32], sum[32];
  hmac.mac(salt, 16, blockIndex, 4, u);
  memcpy(sum, u, 32);
  uint8_t* outputs[3] = {out.key, out.hashKey, nullptr};
  uint8_t checkSum[32];
  outputs[2] = checkSum;
  uint64_t rounds = (uint64_t(1) << log2Count) - 1;
  for (int k = 0; k < 3; ++k) {
    for (uint64_t i = 0; i < rounds; ++i) {
      hmac.mac(u, 32, nullptr, 0, u);
      for (int b = 0; b < 32; ++b) sum[b] ^= u[b];
    }
    memcpy(outputs[k], sum, 32);
    rounds = 16;
  }
  for (int b = 0; b < 8; ++b) out.check[b] = checkSum[b] ^ checkSum[b + 8] ^ checkSum[b + 16] ^ checkSum[b + 24];
  wipe(u, sizeof u);
  wipe(sum, sizeof sum);
  wipe(checkSum, sizeof checkSum);
  return hmac.ok();
}

bool rar5PasswordMatches(const Rar5Key& key, const Rar5CryptInfo& info) {
  return !info.hasCheck || CRYPTO_memcmp(key.check, info.check, 8) == 0;
}

std::unique_ptr<Cipher> makeRar5Cipher(const Rar5Key& key, const uint8_t iv[16]) {
  auto c = std::make_unique<AesCbc>(key.key, 32, iv);
  if (!c->ok()) return nullptr;
  return c;
}

uint32_t rar5MacCrc(const Rar5Key& key, uint32_t crc) {
  const uint8_t le[4] = {uint8_t(crc), uint8_t(crc >> 8), uint8_t(crc >> 16), uint8_t(crc >> 24)};
  uint8_t mac[32] = {};
  Hmac(key.hashKey, 32).mac(le, 4, nullptr, 0, mac);
  uint32_t folded = 0;
  for (int i = 0; i < 32; i += 4)
    folded ^= uint32_t(mac[i]) | uint32_t(mac[i + 1]) << 8 | uint32_t(mac[i + 2]) << 16 | uint32_t(mac[i + 3]) << 24;
  return folded;
}

void rar5MacHash(const Rar5Key& key, const uint8_t hash[32], uint8_t out[32]) {
  Hmac(key.hashKey, 32).mac(hash, 32, nullptr, 0, out);
}

}  // namespace unrar
