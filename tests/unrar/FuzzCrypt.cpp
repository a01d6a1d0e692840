// libFuzzer target: the decryption layer. Arbitrary bytes are read as a
// RAR 4 or RAR 5 volume whose headers are encrypted with a fixed password
// (the keys are derived once: the derivation is slow by design and not
// what is fuzzed here), and every entry's data goes through the decrypting
// source with read sizes taken from the input, for each cipher. With bit 1
// of the first byte the rest is a plain volume (a fixture, say) whose
// headers are encrypted here first, so plain seeds reach past the headers.
#include <openssl/evp.h>
#include <unistd.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/common/FuzzTarget.h"
#include "unrar/Blocks.h"
#include "unrar/Bytes.h"
#include "unrar/Crypt20.h"
#include "unrar/Crypt3.h"
#include "unrar/Crypt5.h"

using namespace unrar;

namespace {

struct Keys {
  Rar3Key rar3;
  Rar5Key rar5;
  Secret password{std::string("12345678")};
  Keys() {
    static const uint8_t salt[16] = {};
    deriveRar3Key(rar3Password(password), salt, false, rar3);
    deriveRar5Key(password, salt, 4, rar5);
  }
};

const std::string& inputPath() {
  static const std::string path = [] {
    char dir[] = "/tmp/fuzz-crypt-XXXXXX";
    if (!mkdtemp(dir)) abort();
    return std::string(dir) + "/input.rar";
  }();
  return path;
}

// Decrypts `size` bytes at `offset` of the volume in reads of `step` bytes.
void decryptData(int fd, uint64_t fileSize, uint64_t offset, uint64_t size, std::unique_ptr<Cipher> cipher,
                 size_t step) {
  if (!cipher || offset > fileSize) return;
  uint64_t pos = offset, left = std::min(size, fileSize - offset);
  DecryptingSource source(
      [&](uint8_t* buf, size_t want, size_t& got) {
        got = size_t(std::min<uint64_t>(want, left));
        if (got && !preadAll(fd, buf, got, pos)) return 1;
        pos += got;
        left -= got;
        return 0;
      },
      std::move(cipher));
  std::vector<uint8_t> buf(step);
  uint32_t crc = 0;
  for (int reads = 0; reads < 100000; ++reads) {
    size_t got = 0;
    if (source.read(buf.data(), buf.size(), got) || got == 0) break;
    if (got > buf.size()) abort();
    crc = crc32(crc, buf.data(), got);
  }
  (void)crc;
}

// The plain volume's blocks with each header encrypted behind a prefix of
// zeros (the salt or IV), the data left as it is.
std::string encryptHeaders(const uint8_t* data, size_t size, bool rar5, const Keys& keys) {
  const std::string& path = inputPath();
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return {};
  fwrite(data, 1, size, f);
  fclose(f);
  FILE* in = fopen(path.c_str(), "rb");
  if (!in) return {};
  std::string out;
  bool isRar5 = false;
  const int64_t sig = findSignature(fileno(in), size, isRar5);
  const uint8_t zeros[16] = {};
  for (uint64_t offset = sig > 0 ? uint64_t(sig) : 0; offset < size;) {
    Block b;
    if ((rar5 ? readBlock5(fileno(in), offset, size, b) : readBlock4(fileno(in), offset, size, b)) != 0) break;
    std::vector<uint8_t> header = b.raw;
    header.resize((header.size() + 15) & ~size_t(15));
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int n = 0;
    EVP_EncryptInit_ex(ctx, rar5 ? EVP_aes_256_cbc() : EVP_aes_128_cbc(), nullptr, rar5 ? keys.rar5.key : keys.rar3.key,
                       rar5 ? zeros : keys.rar3.iv);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    EVP_EncryptUpdate(ctx, header.data(), &n, header.data(), int(header.size()));
    EVP_CIPHER_CTX_free(ctx);
    out.append(reinterpret_cast<const char*>(zeros), rar5 ? 16 : 8);
    out.append(header.begin(), header.end());
    const uint64_t end = std::min<uint64_t>(b.dataOffset + b.dataSize, size);
    out.append(reinterpret_cast<const char*>(data) + b.dataOffset, size_t(end - b.dataOffset));
    if (b.nextOffset <= offset) break;
    offset = b.nextOffset;
  }
  fclose(in);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Keys keys;
  if (size < 2) return 0;
  const bool rar5 = data[0] & 1;
  const size_t step = 1 + size_t(data[1]) * 37;  // read sizes from 1 byte to about 9 KiB
  std::string input(reinterpret_cast<const char*>(data) + 2, size - 2);
  if (data[0] & 2) input = encryptHeaders(data + 2, size - 2, rar5, keys);
  const std::string& path = inputPath();
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return 0;
  fwrite(input.data(), 1, input.size(), f);
  fclose(f);
  FILE* in = fopen(path.c_str(), "rb");
  if (!in) return 0;
  const int fd = fileno(in);
  const uint64_t fileSize = input.size();

  HeaderCrypt crypt;
  crypt.prefix = rar5 ? 16 : 8;
  crypt.cipherFor = [&](const uint8_t* prefix) {
    return rar5 ? makeRar5Cipher(keys.rar5, prefix) : makeRar3Cipher(keys.rar3);
  };
  uint64_t offset = 0;
  for (int blocks = 0; blocks < 256 && offset < fileSize; ++blocks) {
    Block b;
    const int r = rar5 ? readBlock5(fd, offset, fileSize, b, &crypt) : readBlock4(fd, offset, fileSize, b, &crypt);
    if (r) break;
    if (b.kind == BlockKind::File || b.kind == BlockKind::Service) {
      Rar5CryptInfo info;
      if (rar5 && parseRar5CryptInfo(b.file.cryptRecord.data(), b.file.cryptRecord.size(), true, info)) {
        rar5PasswordMatches(keys.rar5, info);
        decryptData(fd, fileSize, b.dataOffset, b.dataSize, makeRar5Cipher(keys.rar5, info.iv), step);
        rar5MacCrc(keys.rar5, b.file.crc);
      } else if (!rar5) {
        std::unique_ptr<Cipher> cipher = b.file.unpVer == 20   ? makeRar20Cipher(keys.password)
                                         : b.file.unpVer == 15 ? makeRar15Cipher(keys.password)
                                                               : makeRar3Cipher(keys.rar3);
        decryptData(fd, fileSize, b.dataOffset, b.dataSize, std::move(cipher), step);
      }
    }
    if (b.nextOffset <= offset) break;
    offset = b.nextOffset;
  }
  fclose(in);
  return 0;
}
