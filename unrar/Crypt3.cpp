#include "unrar/Crypt3.h"

#include <openssl/evp.h>
#include <cstring>

namespace unrar {

namespace {

const unsigned kRounds = 1u << 18;
const size_t kMaxUnits = 127;

uint32_t rotl(uint32_t x, unsigned n) { return (x << n) | (x >> (32 - n)); }

// The 64-byte block as the format's SHA-1 leaves it behind: the last 16
// words of the block's message schedule, stored little-endian. They depend
// on the block's bytes alone.
void rewriteBlock(uint8_t* block) {
  uint32_t w[80];
  for (int i = 0; i < 16; ++i)
    w[i] = uint32_t(block[4 * i]) << 24 | uint32_t(block[4 * i + 1]) << 16 | uint32_t(block[4 * i + 2]) << 8 |
           block[4 * i + 3];
  for (int i = 16; i < 80; ++i) w[i] = rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
  for (int i = 0; i < 16; ++i)
    for (int b = 0; b < 4; ++b) block[4 * i + b] = uint8_t(w[64 + i] >> (8 * b));
  wipe(w, sizeof w);
}

// One update of the format's SHA-1: the bytes are hashed as they are, then
// every whole block the update ran through after the one that completed
// the hash's buffered block is rewritten in place.
void updateRewriting(EVP_MD_CTX* ctx, uint8_t* data, size_t size, uint64_t hashed) {
  EVP_DigestUpdate(ctx, data, size);
  const size_t buffered = size_t(hashed % 64);
  if (buffered + size < 64) return;
  for (size_t at = 64 - buffered; at + 64 <= size; at += 64) rewriteBlock(data + at);
}

}  // namespace

Secret rar3Password(const Secret& utf8) {
  std::vector<uint8_t> units;
  units.reserve(2 * kMaxUnits);
  auto put = [&](uint32_t u) {
    units.push_back(uint8_t(u));
    units.push_back(uint8_t(u >> 8));
  };
  const uint8_t* p = utf8.data();
  const size_t n = utf8.size();
  for (size_t i = 0; i < n && units.size() < 2 * kMaxUnits;) {
    uint32_t c = p[i];
    size_t len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
    if (len > 1 && i + len <= n) {
      c &= 0x7F >> len;
      for (size_t k = 1; k < len; ++k) c = c << 6 | (p[i + k] & 0x3F);
    }
    i += len;
    if (c >= 0x10000 && c <= 0x10FFFF) {
      c -= 0x10000;
      put(0xD800 | (c >> 10));
      if (units.size() < 2 * kMaxUnits) put(0xDC00 | (c & 0x3FF));
    } else {
      put(c);
    }
  }
  Secret out(units.data(), units.size());
  wipe(units.data(), units.capacity());
  return out;
}

void deriveRar3Key(const Secret& utf16, const uint8_t* salt8, bool plainHash, Rar3Key& out) {
  uint8_t buf[2 * kMaxUnits + 8];
  size_t len = std::min(utf16.size(), 2 * kMaxUnits);
  if (len) memcpy(buf, utf16.data(), len);
  if (salt8) {
    memcpy(buf + len, salt8, 8);
    len += 8;
  }
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  EVP_MD_CTX* probe = EVP_MD_CTX_new();
  EVP_DigestInit_ex(ctx, EVP_sha1(), nullptr);
  uint8_t digest[20];
  uint64_t hashed = 0;
  for (unsigned i = 0; i < kRounds; ++i) {
    if (plainHash)
      EVP_DigestUpdate(ctx, buf, len);
    else
      updateRewriting(ctx, buf, len, hashed);
    hashed += len;
    const uint8_t round[3] = {uint8_t(i), uint8_t(i >> 8), uint8_t(i >> 16)};
    EVP_DigestUpdate(ctx, round, 3);  // three bytes never run through two blocks
    hashed += 3;
    if (i % (kRounds / 16) == 0) {
      EVP_MD_CTX_copy_ex(probe, ctx);
      EVP_DigestFinal_ex(probe, digest, nullptr);
      out.iv[i / (kRounds / 16)] = digest[19];
    }
  }
  EVP_DigestFinal_ex(ctx, digest, nullptr);
  // The key is the hash's first four words, each stored little-endian.
  for (int w = 0; w < 4; ++w)
    for (int b = 0; b < 4; ++b) out.key[4 * w + b] = digest[4 * w + 3 - b];
  EVP_MD_CTX_free(ctx);
  EVP_MD_CTX_free(probe);
  wipe(digest, sizeof digest);
  wipe(buf, sizeof buf);
}

std::unique_ptr<Cipher> makeRar3Cipher(const Rar3Key& key) {
  auto c = std::make_unique<AesCbc>(key.key, 16, key.iv);
  if (!c->ok()) return nullptr;
  return c;
}

}  // namespace unrar
