#include "unrar/CryptKeys.h"

#include <cstring>

namespace unrar {

const Rar3Key* CryptKeys::rar3(const uint8_t* salt8, bool plainHash) {
  for (auto& e : rar3_)
    if (e->password == password_ && e->hasSalt == (salt8 != nullptr) && e->plainHash == plainHash &&
        (!salt8 || memcmp(e->salt, salt8, 8) == 0))
      return &e->key;
  auto e = std::make_unique<Entry3>();
  e->password = password_;
  e->hasSalt = salt8 != nullptr;
  e->plainHash = plainHash;
  if (salt8) memcpy(e->salt, salt8, 8);
  deriveRar3Key(rar3Password(password_), salt8, plainHash, e->key);
  if (rar3_.size() >= kKept) rar3_.erase(rar3_.begin());
  rar3_.push_back(std::move(e));
  return &rar3_.back()->key;
}

const Rar5Key* CryptKeys::rar5(const uint8_t salt[16], unsigned log2Count) {
  for (auto& e : rar5_)
    if (e->password == password_ && e->log2Count == log2Count && memcmp(e->salt, salt, 16) == 0) return &e->key;
  auto e = std::make_unique<Entry5>();
  e->password = password_;
  e->log2Count = log2Count;
  memcpy(e->salt, salt, 16);
  if (!deriveRar5Key(password_, salt, log2Count, e->key)) return nullptr;
  if (rar5_.size() >= kKept) rar5_.erase(rar5_.begin());
  rar5_.push_back(std::move(e));
  return &rar5_.back()->key;
}

}  // namespace unrar
