#include "par2/Md5.h"

#include <openssl/evp.h>

#include <new>

namespace par2 {

namespace {

// Fetched once: an implicit fetch on every initialisation costs a provider
// look-up, which shows for small slices.
const EVP_MD* Algorithm() {
  static EVP_MD* md = EVP_MD_fetch(nullptr, "MD5", nullptr);
  return md;
}

}  // namespace

Md5::Md5() : ctx_(EVP_MD_CTX_new()) {
  if (!ctx_ || !Algorithm() || EVP_DigestInit_ex(ctx_, Algorithm(), nullptr) != 1) throw std::bad_alloc();
}

Md5::~Md5() { EVP_MD_CTX_free(ctx_); }

void Md5::Update(const void* data, size_t length) {
  if (length != 0) EVP_DigestUpdate(ctx_, data, length);
}

Digest Md5::Final() {
  Digest d{};
  unsigned int size = 0;
  EVP_DigestFinal_ex(ctx_, d.data(), &size);
  EVP_DigestInit_ex(ctx_, Algorithm(), nullptr);
  return d;
}

Digest Md5Of(const void* data, size_t length) {
  Md5 md5;
  md5.Update(data, length);
  return md5.Final();
}

}  // namespace par2
