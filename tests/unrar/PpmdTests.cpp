// PPMd block headers: what starts a model, what may go on with one, and
// where the escape byte sits.
#include <gtest/gtest.h>

#include <vector>

#include "unrar/BitInput.h"
#include "unrar/Ppmd.h"
#include "unrar/unrar.h"

TEST(UnrarPpmd, BlockHeaders) {
  struct Case {
    const char* what;
    std::vector<uint8_t> earlier;  // a header read before, on the same model
    std::vector<uint8_t> header;
    int code;
    int escChar;
  };
  const Case cases[] = {
      {"going on without a model", {}, {0x80}, ERAR_BAD_DATA, 2},
      {"order 1", {}, {0xA0, 0x00}, ERAR_BAD_DATA, 2},
      {"going on after a refused model", {0xA0, 0x00}, {0x80}, ERAR_BAD_DATA, 2},
      {"memory byte, then escape byte", {}, {0xE7, 0x00, 0x05}, 0, 5},
      {"escape byte without a new model", {0xA7, 0x00}, {0xC0, 0x07}, 0, 7},
      {"order 64 in 256 MB", {}, {0xBF, 0xFF}, 0, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> data = c.earlier;
    data.insert(data.end(), 4, 0);  // the range decoder's first bytes
    data.insert(data.end(), c.header.begin(), c.header.end());
    data.insert(data.end(), 4, 0);
    unrar::BitInput in(unrar::memorySource(data.data(), data.size()));
    unrar::PpmdModel model;
    int escChar = 2;
    if (!c.earlier.empty()) model.init(in, escChar);
    while (in.consumed() < c.earlier.size() + 4) in.byte();
    EXPECT_EQ(model.init(in, escChar), c.code);
    EXPECT_EQ(escChar, c.escChar);
  }
}
