// The password of an open archive and the keys derived from it. Key
// derivation is deliberately slow (2^18 SHA-1 rounds for RAR 3, 2^15 and
// more HMAC rounds for RAR 5), so each key is kept per (password, salt,
// rounds) and an archive whose entries share a salt derives it once.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "unrar/Crypt.h"
#include "unrar/Crypt3.h"
#include "unrar/Crypt5.h"

namespace unrar {

class CryptKeys {
 public:
  void setPassword(const char* utf8, size_t size) { password_.assign(utf8, size); }
  bool hasPassword() const { return !password_.empty(); }
  const Secret& password() const { return password_; }

  // The keys for the current password; null when libcrypto fails or the
  // rounds are beyond kMaxRar5Log2Count. Valid until the next call.
  const Rar3Key* rar3(const uint8_t* salt8, bool plainHash);
  const Rar5Key* rar5(const uint8_t salt[16], unsigned log2Count);

 private:
  struct Entry3 {
    Secret password;
    bool hasSalt, plainHash;
    uint8_t salt[8];
    Rar3Key key;
  };
  struct Entry5 {
    Secret password;
    uint8_t salt[16];
    unsigned log2Count;
    Rar5Key key;
  };
  static constexpr size_t kKept = 8;  // per kind; the oldest goes first

  Secret password_;
  std::vector<std::unique_ptr<Entry3>> rar3_;
  std::vector<std::unique_ptr<Entry5>> rar5_;
};

}  // namespace unrar
