#include "unrar/Crypt.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <algorithm>
#include <climits>
#include <cstring>

namespace unrar {

void wipe(void* data, size_t size) {
  if (data && size) OPENSSL_cleanse(data, size);
}

Secret& Secret::operator=(const Secret& o) {
  if (this != &o) assign(o.data(), o.size());
  return *this;
}

void Secret::assign(const void* data, size_t size) {
  clear();
  bytes_.reserve(size);  // one allocation, so no stale copy is left behind
  const auto* p = static_cast<const uint8_t*>(data);
  bytes_.assign(p, p + size);
}

void Secret::clear() {
  wipe(bytes_.data(), bytes_.capacity());
  bytes_.clear();
  bytes_.shrink_to_fit();
}

bool Secret::operator==(const Secret& o) const {
  return size() == o.size() && CRYPTO_memcmp(data(), o.data(), size()) == 0;
}

AesCbc::AesCbc(const uint8_t* key, size_t keyBytes, const uint8_t iv[16]) {
  const EVP_CIPHER* type = keyBytes == 16 ? EVP_aes_128_cbc() : keyBytes == 32 ? EVP_aes_256_cbc() : nullptr;
  ctx_ = EVP_CIPHER_CTX_new();
  ok_ =
      type && ctx_ && EVP_DecryptInit_ex(ctx_, type, nullptr, key, iv) == 1 && EVP_CIPHER_CTX_set_padding(ctx_, 0) == 1;
}

AesCbc::~AesCbc() { EVP_CIPHER_CTX_free(ctx_); }  // clears the key schedule

void AesCbc::decrypt(uint8_t* data, size_t size) {
  // Without padding, CBC decryption hands back every whole block at once.
  while (ok_ && size > 0) {
    int n = int(std::min<size_t>(size, size_t(INT_MAX) & ~size_t(15)));
    int out = 0;
    if (EVP_DecryptUpdate(ctx_, data, &out, data, n) != 1 || out != n) ok_ = false;
    data += n;
    size -= size_t(n);
  }
  if (!ok_) memset(data, 0, size);  // never hand out ciphertext as plain data
}

DecryptingSource::DecryptingSource(PackedSource raw, std::unique_ptr<Cipher> cipher)
    : raw_(std::move(raw)), cipher_(std::move(cipher)) {}

DecryptingSource::~DecryptingSource() {
  wipe(plain_, sizeof plain_);
  wipe(carry_, sizeof carry_);
}

int DecryptingSource::read(uint8_t* buf, size_t size, size_t& got) {
  got = 0;
  if (plainPos_ < plainLen_) {  // what a read smaller than a unit left over
    got = std::min(size, plainLen_ - plainPos_);
    memcpy(buf, plain_ + plainPos_, got);
    plainPos_ += got;
    return 0;
  }
  const size_t unit = cipher_->unit();
  if (size < unit) {
    // Too small for a unit: decrypt one into plain_ and hand out its start.
    size_t n = 0;
    if (int r = read(plain_, unit, n)) return r;
    plainPos_ = 0;
    plainLen_ = n;
    return n ? read(buf, size, got) : 0;
  }
  const size_t want = size - size % unit;
  size_t have = carryLen_;
  memcpy(buf, carry_, carryLen_);
  carryLen_ = 0;
  while (have < want && !eof_) {
    size_t n = 0;
    if (int r = raw_(buf + have, want - have, n)) return r;
    if (n == 0) eof_ = true;
    have += n;
  }
  const size_t whole = have - have % unit;
  if (!eof_) {
    carryLen_ = have - whole;
    memcpy(carry_, buf + whole, carryLen_);
  }
  cipher_->decrypt(buf, whole);
  got = whole;
  return 0;
}

}  // namespace unrar
