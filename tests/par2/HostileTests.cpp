// Recovery sets built packet by packet, sound and hostile: every hostile one
// is refused with a clear message before anything is allocated for it.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>

#include "par2/Md5.h"
#include "par2/PacketReader.h"

namespace {

std::string Le(uint64_t v, int bytes) {
  std::string s;
  for (int i = 0; i < bytes; ++i) s += static_cast<char>(v >> (8 * i));
  return s;
}

std::string Bytes(const par2::Digest& d) { return std::string(d.begin(), d.end()); }

std::string Packet(const std::string& setId, const char (&type)[17], const std::string& body) {
  const std::string hashed = setId + std::string(type, 16) + body;
  return std::string("PAR2\0PKT", 8) + Le(64 + body.size(), 8) + Bytes(par2::Md5Of(hashed.data(), hashed.size())) +
         hashed;
}

struct Parts {
  uint64_t sliceSize = 1024;
  std::string name = "f.bin";
  uint64_t length = 1500;
  size_t checks = 2;  // slice checksums given for the file
  bool describe = true;
};

const char kMain[17] = "PAR 2.0\0Main\0\0\0\0";
const char kDesc[17] = "PAR 2.0\0FileDesc";
const char kChecks[17] = "PAR 2.0\0IFSC\0\0\0\0";
const char kUnknown[17] = "PAR 2.0\0Whatever";

struct Built {
  std::string setId, main, desc, checks;
  std::string All() const { return main + desc + checks; }
};

Built Build(const Parts& p) {
  Built b;
  const std::string fileId = Bytes(par2::Md5Of(p.name.data(), p.name.size()));
  const std::string mainBody = Le(p.sliceSize, 8) + Le(1, 4) + fileId;
  b.setId = Bytes(par2::Md5Of(mainBody.data(), mainBody.size()));
  b.main = Packet(b.setId, kMain, mainBody);
  std::string name = p.name;
  name.resize((name.size() + 3) / 4 * 4, '\0');
  if (p.describe) b.desc = Packet(b.setId, kDesc, fileId + std::string(32, 'm') + Le(p.length, 8) + name);
  std::string checks = fileId;
  for (size_t i = 0; i < p.checks; ++i) checks += std::string(16, 'h') + Le(i, 4);
  b.checks = Packet(b.setId, kChecks, checks);
  return b;
}

}  // namespace

TEST(Par2Hostile, RefusedWithAClearMessage) {
  struct Case {
    std::string what;
    std::string bytes;
    std::string error;  // "" when the set is to be read
  };
  auto damagedMain = [] {
    Built b = Build({});
    b.main[70] ^= 1;
    return b.All();
  };
  auto repeated = [] {
    const Built b = Build({});
    std::string all;
    for (int i = 0; i < 10000; ++i) all += b.All();
    return all;
  };
  auto foreign = [] {
    Built b = Build({});
    Built other = Build({.name = "g.bin"});
    return b.main + other.desc + b.checks;
  };
  auto noise = [] {
    Built b = Build({});
    return std::string("junk\0PAR2\0PK", 13) + b.main + Packet(b.setId, kUnknown, "abcd") + "more junk" + b.desc +
           std::string("PAR2\0PKT", 8) + Le(1 << 20, 8) + b.checks;
  };
  auto cut = [] {
    Built b = Build({});
    return b.main + b.desc + b.checks.substr(0, b.checks.size() - 4);
  };
  const std::vector<Case> cases = {
      {"a sound set", Build({}).All(), ""},
      {"a damaged main packet", damagedMain(), "no intact main packet"},
      {"slice size 0", Build({.sliceSize = 0}).All(), "slice size 0 is not usable"},
      {"slice size not a multiple of 4", Build({.sliceSize = 1022}).All(), "slice size 1022 is not usable"},
      {"slice size of a terabyte", Build({.sliceSize = uint64_t(1) << 40}).All(), "is not usable"},
      {"checksums that do not fit the length", Build({.checks = 3}).All(), "do not fit its length"},
      {"a length whose slice count overflows", Build({.sliceSize = 4, .length = UINT64_MAX}).All(), "do not fit"},
      {"more slices than the code has constants", Build({.sliceSize = 4, .length = 4 * 32769, .checks = 32769}).All(),
       "more than 32768 slices"},
      {"a name that climbs out", Build({.name = "../up"}).All(), "unsafe file name"},
      {"an absolute name", Build({.name = "/etc/passwd"}).All(), "unsafe file name"},
      {"a name in a sub-folder", Build({.name = "sub/f.bin"}).All(), "unsafe file name"},
      {"a name with a NUL inside", Build({.name = std::string("a\0b", 3)}).All(), "unsafe file name"},
      {"the name ..", Build({.name = ".."}).All(), "unsafe file name"},
      {"an empty name", Build({.name = ""}).All(), "unsafe file name"},
      {"a file without a description", Build({.describe = false}).All(), "description of a file of the set is missing"},
      {"a description from another set", foreign(), "description of a file of the set is missing"},
      {"the last packet cut short", cut(), "slice checksums of f.bin are missing"},
      {"ten thousand repeats of every packet", repeated(), ""},
      {"junk, an unknown packet and a bogus length between packets", noise(), ""},
      {"nothing but junk", std::string(5000, 'x'), "holds no"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto set = par2::ParseRecoverySet(c.bytes);
    if (c.error.empty()) {
      ASSERT_TRUE(set) << set.message();
      ASSERT_EQ(set->files.size(), 1u);
      EXPECT_EQ(set->files[0].name, "f.bin");
      EXPECT_EQ(set->sliceCount, 2u);
      EXPECT_EQ(set->files[0].slices[1].crc, 1u);
    } else {
      ASSERT_FALSE(set);
      EXPECT_NE(set.message().find(c.error), std::string::npos) << set.message();
    }
  }
}
