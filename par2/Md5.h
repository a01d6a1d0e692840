#pragma once
// MD5 through libcrypto: the digest recovery sets use for packets, files and
// slices.
#include <array>
#include <cstddef>
#include <cstdint>

struct evp_md_ctx_st;

namespace par2 {

using Digest = std::array<uint8_t, 16>;

class Md5 {
 public:
  Md5();
  ~Md5();
  Md5(const Md5&) = delete;
  Md5& operator=(const Md5&) = delete;

  void Update(const void* data, size_t length);
  // The digest of everything given since construction or the last Final;
  // the hash then starts afresh.
  Digest Final();

 private:
  evp_md_ctx_st* ctx_;
};

Digest Md5Of(const void* data, size_t length);

}  // namespace par2
