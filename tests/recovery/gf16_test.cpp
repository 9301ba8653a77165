// The field against its plain definition, and every kernel the processor runs against a
// word-by-word multiply-add with the reference multiply.
#include "recovery/gf16.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace pz::gf {
namespace {

TEST(Field, TablesAgreeWithTheReferenceMultiply) {
  std::mt19937 rng(1);
  const std::uint16_t edges[] = {0, 1, 2, 0x8000, 0xFFFF, 0x100B, 0x7FFF, 0x00FF, 0xFF00};
  for (std::uint16_t a : edges) {
    for (std::uint16_t b : edges) EXPECT_EQ(Mul(a, b), MulReference(a, b)) << a << " " << b;
  }
  for (int i = 0; i < 200000; ++i) {
    const auto a = static_cast<std::uint16_t>(rng());
    const auto b = static_cast<std::uint16_t>(rng());
    ASSERT_EQ(Mul(a, b), MulReference(a, b)) << a << " " << b;
  }
}

TEST(Field, GeneratorAndInverses) {
  // x^16 reduces to the polynomial's lower part.
  EXPECT_EQ(Exp(16), 0x100B);
  EXPECT_EQ(MulReference(0x8000, 2), 0x100B);
  EXPECT_EQ(Exp(kOrder), 1);
  for (std::uint32_t a = 1; a < 65536; a += 7) {
    const auto x = static_cast<std::uint16_t>(a);
    ASSERT_EQ(MulReference(x, Inv(x)), 1) << a;
    ASSERT_EQ(Div(Mul(x, 0x1234), x), 0x1234) << a;
  }
  EXPECT_EQ(Pow(3, 0), 1);
  EXPECT_EQ(Pow(0, 5), 0);
  EXPECT_EQ(Pow(3, 3), MulReference(3, MulReference(3, 3)));
}

// dst ^= c * src word by word with the reference multiply.
void ReferenceMulAdd(std::vector<std::uint8_t>& dst, std::size_t offset,
                     const std::vector<std::uint8_t>& src, std::size_t bytes, std::uint16_t c) {
  for (std::size_t i = 0; i + 1 < bytes; i += 2) {
    const auto w = static_cast<std::uint16_t>(src[i] | (src[i + 1] << 8));
    const std::uint16_t p = MulReference(c, w);
    dst[offset + i] ^= static_cast<std::uint8_t>(p & 0xFF);
    dst[offset + i + 1] ^= static_cast<std::uint8_t>(p >> 8);
  }
}

TEST(Kernels, EveryKernelAgreesWithTheReference) {
  std::mt19937 rng(7);
  const std::uint16_t constants[] = {0, 1, 2, 0xFFFF, 0x8000, 0x100B, 0x1234, 0xABCD};
  // Lengths around the 32- and 64-byte steps, and odd start offsets (no alignment).
  const std::size_t lengths[] = {0, 2, 30, 32, 34, 62, 64, 66, 126, 130, 4094, 65538};
  for (std::size_t k = 0; k < KernelCount(); ++k) {
    const KernelInfo& kernel = KernelAt(k);
    if (!kernel.supported()) continue;
    SCOPED_TRACE(std::string(kernel.name));
    for (std::size_t len : lengths) {
      for (int round = 0; round < 10; ++round) {
        const std::uint16_t c = round < 8 ? constants[round] : static_cast<std::uint16_t>(rng());
        const std::size_t offset = static_cast<std::size_t>(round % 3);
        std::vector<std::uint8_t> src(len + 3);
        std::vector<std::uint8_t> dst(len + 3);
        for (auto& b : src) b = static_cast<std::uint8_t>(rng());
        for (auto& b : dst) b = static_cast<std::uint8_t>(rng());
        std::vector<std::uint8_t> expected = dst;
        std::vector<std::uint8_t> shifted(src.begin() + static_cast<std::ptrdiff_t>(offset),
                                          src.end());
        ReferenceMulAdd(expected, offset, shifted, len, c);
        kernel.fn(dst.data() + offset, src.data() + offset, len, c);
        ASSERT_EQ(dst, expected) << "length " << len << " constant " << c;
      }
    }
  }
}

TEST(Kernels, TheChosenKernelIsOneThatRuns) {
  EXPECT_TRUE(BestKernel().supported());
}

}  // namespace
}  // namespace pz::gf
