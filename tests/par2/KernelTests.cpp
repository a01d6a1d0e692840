// The GF(2^16) region kernels: each one the CPU runs against plain field
// multiplication, and the code as a whole against the recovery slices par2
// computes.
#include <gtest/gtest.h>

#include <cstring>

#include "par2/File.h"
#include "par2/Gf16.h"
#include "par2/PacketReader.h"
#include "par2/RegionKernels.h"
#include "par2/Verify.h"
#include "tests/par2/Par2Fixtures.h"

using namespace par2test;

namespace {

// dst[d] ^= sum c[d][s] * src[s] with the chosen kernel, in the layout it wants.
void Accumulate(const par2::Kernel& k, const std::vector<uint16_t>& c, const std::vector<std::string>& src,
                std::vector<std::string>& dst, size_t bytes) {
  std::vector<uint8_t> prepared(c.size() * k.preparedBytes);
  for (size_t i = 0; i < c.size(); ++i) k.prepare(c[i], prepared.data() + i * k.preparedBytes);
  std::vector<const uint8_t*> s;
  std::vector<uint8_t*> d;
  for (auto& x : src) s.push_back(reinterpret_cast<const uint8_t*>(x.data()));
  for (auto& x : dst) d.push_back(reinterpret_cast<uint8_t*>(x.data()));
  k.accumulate(prepared.data(), s.data(), s.size(), d.data(), d.size(), bytes);
}

uint16_t Word(const std::string& s, size_t i) {
  return static_cast<uint16_t>(static_cast<uint8_t>(s[2 * i]) | static_cast<uint8_t>(s[2 * i + 1]) << 8);
}

}  // namespace

TEST(Par2Kernels, EveryKernelMultipliesAsTheField) {
  struct Shape {
    size_t dsts, sources, bytes;
  };
  const std::vector<Shape> shapes = {{1, 1, 128}, {3, 2, 256}, {4, 3, 384}, {6, 1, 1024}, {9, 5, 128}};
  for (const par2::Kernel* k : par2::AvailableKernels()) {
    for (const Shape& shape : shapes) {
      SCOPED_TRACE(std::string(k->name) + " " + std::to_string(shape.dsts) + "x" + std::to_string(shape.sources));
      std::vector<std::string> src, dst;
      std::vector<uint16_t> c;
      unsigned seed = static_cast<unsigned>(shape.dsts * 31 + shape.sources);
      for (size_t s = 0; s < shape.sources; ++s) src.push_back(RandomBytes(shape.bytes, seed++));
      for (size_t d = 0; d < shape.dsts; ++d) dst.push_back(RandomBytes(shape.bytes, seed++));
      const std::string coefficients = RandomBytes(2 * shape.dsts * shape.sources, seed++);
      for (size_t i = 0; i < shape.dsts * shape.sources; ++i) c.push_back(Word(coefficients, i));
      c[0] = 0;  // the edges of the field: zero and one
      if (c.size() > 1) c[1] = 1;
      std::vector<std::string> expected = dst;
      for (size_t d = 0; d < shape.dsts; ++d)
        for (size_t w = 0; w < shape.bytes / 2; ++w) {
          uint16_t sum = Word(expected[d], w);
          for (size_t s = 0; s < shape.sources; ++s)
            sum ^= par2::gf16::Multiply(c[d * shape.sources + s], Word(src[s], w));
          expected[d][2 * w] = static_cast<char>(sum);
          expected[d][2 * w + 1] = static_cast<char>(sum >> 8);
        }
      Accumulate(*k, c, src, dst, shape.bytes);
      EXPECT_EQ(dst, expected);
    }
  }
}

TEST(Par2Kernels, ReproduceTheRecoverySlicesPar2Made) {
  TempDir dir;
  const size_t sliceSize = 1024;
  const std::vector<std::string> data = {RandomBytes(5000, 1), RandomBytes(2048, 2), RandomBytes(777, 3)};
  for (size_t i = 0; i < data.size(); ++i) WriteFile(dir / ("f" + std::to_string(i)), data[i]);
  ASSERT_TRUE(CreateSet(dir, {"f0", "f1", "f2"}, sliceSize, "-c4"));
  auto set = par2::ReadRecoverySet(dir / "set.par2");
  ASSERT_TRUE(set) << set.message();
  ASSERT_TRUE(par2::CheckRecoverySlices(*set));
  ASSERT_EQ(set->recovery.size(), 4u);
  // The input slices in the set's order, each padded to whole blocks.
  std::vector<std::string> inputs;
  for (const par2::SourceFile& f : set->files) {
    const std::string bytes = ReadFile(dir / f.name);
    for (size_t at = 0; at < bytes.size(); at += sliceSize) {
      std::string slice = bytes.substr(at, sliceSize);
      slice.resize(sliceSize, '\0');
      inputs.push_back(slice);
    }
  }
  ASSERT_EQ(inputs.size(), set->sliceCount);
  for (const par2::Kernel* k : par2::AvailableKernels()) {
    for (const par2::RecoverySlice& r : set->recovery) {
      SCOPED_TRACE(std::string(k->name) + " exponent " + std::to_string(r.exponent));
      std::vector<uint16_t> c;
      for (uint32_t i = 0; i < inputs.size(); ++i)
        c.push_back(par2::gf16::Power(par2::gf16::InputConstant(i), r.exponent));
      std::vector<std::string> out = {std::string(sliceSize, '\0')};
      Accumulate(*k, c, inputs, out, sliceSize);
      std::string expected(sliceSize, '\0');
      par2::File f = par2::File::OpenRead(r.path);
      ASSERT_EQ(f.ReadAt(expected.data(), sliceSize, r.offset), static_cast<int64_t>(sliceSize));
      EXPECT_EQ(out[0], expected);
    }
  }
}
