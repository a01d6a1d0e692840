#include "unrar/Crypt20.h"

#include <cstring>
#include <utility>

namespace unrar {

namespace {

// The CRC-32 table (reflected polynomial 0xEDB88320); both ciphers draw
// their key schedule from its entries.
struct CrcTable {
  uint32_t v[256];
  CrcTable() {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
      v[i] = c;
    }
  }
};
const CrcTable kCrc;

uint32_t rotl(uint32_t x, unsigned n) { return (x << n) | (x >> (32 - n)); }

uint32_t le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void putLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

// The substitution table before the password shuffles it.
const uint8_t kInitialSubst[256] = {
    215, 19,  149, 35,  73,  197, 192, 205, 249, 28,  16,  119, 48,  221, 2,   42,  232, 1,   177, 233, 14,  88,
    219, 25,  223, 195, 244, 90,  87,  239, 153, 137, 255, 199, 147, 70,  92,  66,  246, 13,  216, 40,  62,  29,
    217, 230, 86,  6,   71,  24,  171, 196, 101, 113, 218, 123, 93,  91,  163, 178, 202, 67,  44,  235, 107, 250,
    75,  234, 49,  167, 125, 211, 83,  114, 157, 144, 32,  193, 143, 36,  158, 124, 247, 187, 89,  214, 141, 47,
    121, 228, 61,  130, 213, 194, 174, 251, 97,  110, 54,  229, 115, 57,  152, 94,  105, 243, 212, 55,  209, 245,
    63,  11,  164, 200, 31,  156, 81,  176, 227, 21,  76,  99,  139, 188, 127, 17,  248, 51,  207, 120, 189, 210,
    8,   226, 41,  72,  183, 203, 135, 165, 166, 60,  98,  7,   122, 38,  155, 170, 69,  172, 252, 238, 39,  134,
    59,  128, 236, 27,  240, 80,  131, 3,   85,  206, 145, 79,  154, 142, 159, 220, 201, 133, 74,  64,  20,  129,
    224, 185, 138, 103, 173, 182, 43,  34,  254, 82,  198, 151, 231, 180, 58,  10,  118, 26,  102, 12,  50,  132,
    22,  191, 136, 111, 162, 179, 45,  4,   148, 108, 161, 56,  78,  126, 242, 222, 15,  175, 146, 23,  33,  241,
    181, 190, 77,  225, 0,   46,  169, 186, 68,  95,  237, 65,  53,  208, 253, 168, 9,   18,  100, 52,  116, 184,
    160, 96,  109, 37,  30,  106, 140, 104, 150, 5,   204, 117, 112, 84};

class Rar20 final : public Cipher {
 public:
  Rar20(const Secret& password, bool encrypt) : encrypt_(encrypt) {
    keys_[0] = 0xD3A3B879u;
    keys_[1] = 0x3F6D12F7u;
    keys_[2] = 0x7515A235u;
    keys_[3] = 0xA4E7F123u;
    uint8_t psw[128] = {};
    const size_t size = std::min(password.size(), sizeof psw - 1);
    if (size) memcpy(psw, password.data(), size);
    memcpy(subst_, kInitialSubst, sizeof subst_);
    for (unsigned j = 0; j < 256; ++j)
      for (size_t i = 0; i < size; i += 2) {
        unsigned n1 = uint8_t(kCrc.v[(psw[i] - j) & 0xFF]);
        const unsigned n2 = uint8_t(kCrc.v[(psw[i + 1] + j) & 0xFF]);
        for (unsigned k = 1; (n1 & 0xFF) != n2; ++n1, ++k) std::swap(subst_[n1 & 0xFF], subst_[(n1 + i + k) & 0xFF]);
      }
    // Encrypting the password itself moves the keys on.
    for (size_t i = 0; i < size; i += 16) block(psw + i, true);
    wipe(psw, sizeof psw);
  }
  ~Rar20() override {
    wipe(keys_, sizeof keys_);
    wipe(subst_, sizeof subst_);
  }
  size_t unit() const override { return 16; }
  void decrypt(uint8_t* data, size_t size) override {
    for (size_t i = 0; i + 16 <= size; i += 16) block(data + i, encrypt_);
  }

 private:
  uint32_t substLong(uint32_t t) const {
    return uint32_t(subst_[t & 0xFF]) | uint32_t(subst_[(t >> 8) & 0xFF]) << 8 |
           uint32_t(subst_[(t >> 16) & 0xFF]) << 16 | uint32_t(subst_[t >> 24]) << 24;
  }
  void block(uint8_t* buf, bool encrypt) {
    uint8_t in[16];
    memcpy(in, buf, 16);
    uint32_t a = le32(buf) ^ keys_[0], b = le32(buf + 4) ^ keys_[1];
    uint32_t c = le32(buf + 8) ^ keys_[2], d = le32(buf + 12) ^ keys_[3];
    for (unsigned i = 0; i < 32; ++i) {
      const uint32_t key = keys_[(encrypt ? i : 31 - i) & 3];
      const uint32_t ta = a ^ substLong((c + rotl(d, 11)) ^ key);
      const uint32_t tb = b ^ substLong((d ^ rotl(c, 17)) + key);
      a = c;
      b = d;
      c = ta;
      d = tb;
    }
    putLe32(buf, c ^ keys_[0]);
    putLe32(buf + 4, d ^ keys_[1]);
    putLe32(buf + 8, a ^ keys_[2]);
    putLe32(buf + 12, b ^ keys_[3]);
    // The keys move on with every block's ciphertext.
    const uint8_t* cipher = encrypt ? buf : in;
    for (int i = 0; i < 16; i += 4)
      for (int j = 0; j < 4; ++j) keys_[j] ^= kCrc.v[cipher[i + j]];
  }

  bool encrypt_;
  uint32_t keys_[4];
  uint8_t subst_[256];
};

// XOR with a key stream: the same operation both ways.
class Rar15 final : public Cipher {
 public:
  explicit Rar15(const Secret& password) {
    uint32_t crc = 0xFFFFFFFFu;  // the CRC register without its final complement
    for (size_t i = 0; i < password.size(); ++i) crc = kCrc.v[(crc ^ password.data()[i]) & 0xFF] ^ (crc >> 8);
    k_[0] = uint16_t(crc);
    k_[1] = uint16_t(crc >> 16);
    k_[2] = k_[3] = 0;
    for (size_t i = 0; i < password.size(); ++i) {
      const uint8_t p = password.data()[i];
      k_[2] = uint16_t(k_[2] ^ p ^ kCrc.v[p]);
      k_[3] = uint16_t(k_[3] + p + (kCrc.v[p] >> 16));
    }
  }
  ~Rar15() override { wipe(k_, sizeof k_); }
  size_t unit() const override { return 1; }
  void decrypt(uint8_t* data, size_t size) override {
    for (size_t i = 0; i < size; ++i) {
      k_[0] = uint16_t(k_[0] + 0x1234);
      const uint32_t t = kCrc.v[(k_[0] >> 1) & 0xFF];
      k_[1] = uint16_t(k_[1] ^ t);
      k_[2] = uint16_t(k_[2] - (t >> 16));
      k_[0] = uint16_t(k_[0] ^ k_[2]);
      k_[3] = uint16_t(ror16(k_[3]) ^ k_[1]);
      k_[3] = ror16(k_[3]);
      k_[0] = uint16_t(k_[0] ^ k_[3]);
      data[i] ^= uint8_t(k_[0] >> 8);
    }
  }

 private:
  static uint16_t ror16(uint16_t v) { return uint16_t((v >> 1) | (v << 15)); }
  uint16_t k_[4];
};

}  // namespace

std::unique_ptr<Cipher> makeRar20Cipher(const Secret& password) { return std::make_unique<Rar20>(password, false); }
std::unique_ptr<Cipher> makeRar15Cipher(const Secret& password) { return std::make_unique<Rar15>(password); }
std::unique_ptr<Cipher> makeRar20Encryptor(const Secret& password) { return std::make_unique<Rar20>(password, true); }
std::unique_ptr<Cipher> makeRar15Encryptor(const Secret& password) { return std::make_unique<Rar15>(password); }

}  // namespace unrar
