// The decryption layer under the bit reader: an entry's packed bytes are
// decrypted as they are read, in whole cipher blocks, so every decoder and
// the stored-data path see plain data. Keys, passwords and everything
// derived from them live in Secret buffers that are wiped when released.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "unrar/BitInput.h"

typedef struct evp_cipher_ctx_st EVP_CIPHER_CTX;

namespace unrar {

// Bytes that are wiped (OPENSSL_cleanse) when they are released or replaced.
class Secret {
 public:
  Secret() = default;
  Secret(const void* data, size_t size) { assign(data, size); }
  explicit Secret(const std::string& s) { assign(s.data(), s.size()); }
  Secret(const Secret& o) { assign(o.data(), o.size()); }
  Secret& operator=(const Secret& o);
  ~Secret() { clear(); }

  void assign(const void* data, size_t size);
  void clear();
  uint8_t* data() { return bytes_.data(); }
  const uint8_t* data() const { return bytes_.data(); }
  size_t size() const { return bytes_.size(); }
  bool empty() const { return bytes_.empty(); }
  bool operator==(const Secret& o) const;

 private:
  std::vector<uint8_t> bytes_;
};

// Wipes a buffer the compiler may not optimise the wiping away from.
void wipe(void* data, size_t size);

// Decrypts data in place, in whole units of unit() bytes.
class Cipher {
 public:
  virtual ~Cipher() = default;
  virtual size_t unit() const = 0;
  // `size` is a multiple of unit().
  virtual void decrypt(uint8_t* data, size_t size) = 0;
};

// AES in CBC mode (128- or 256-bit key) through libcrypto, which uses the
// processor's AES instructions where it has them.
class AesCbc final : public Cipher {
 public:
  AesCbc(const uint8_t* key, size_t keyBytes, const uint8_t iv[16]);
  ~AesCbc() override;
  AesCbc(const AesCbc&) = delete;
  AesCbc& operator=(const AesCbc&) = delete;
  bool ok() const { return ok_; }
  size_t unit() const override { return 16; }
  void decrypt(uint8_t* data, size_t size) override;

 private:
  EVP_CIPHER_CTX* ctx_ = nullptr;
  bool ok_ = false;
};

// A packed-data source that hands out the bytes of `raw` decrypted. The
// cipher's units may straddle volume boundaries; a tail shorter than a unit
// at the very end (damaged data) is dropped, which the entry's checksum
// then reports.
class DecryptingSource {
 public:
  DecryptingSource(PackedSource raw, std::unique_ptr<Cipher> cipher);
  ~DecryptingSource();
  int read(uint8_t* buf, size_t size, size_t& got);
  PackedSource source() {
    return [this](uint8_t* buf, size_t size, size_t& got) { return read(buf, size, got); };
  }

 private:
  PackedSource raw_;
  std::unique_ptr<Cipher> cipher_;
  uint8_t carry_[16];  // raw bytes of a unit not yet complete
  size_t carryLen_ = 0;
  uint8_t plain_[16];  // decrypted bytes a small read left over
  size_t plainPos_ = 0, plainLen_ = 0;
  bool eof_ = false;
};

}  // namespace unrar
