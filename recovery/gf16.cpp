#include "recovery/gf16.h"

#include <array>
#include <cstring>

namespace pz::gf {

namespace {

struct Tables {
  std::array<std::uint16_t, kOrder> exp{};  // 2^i
  std::array<std::uint32_t, 65536> log{};   // log of 0 unused
  Tables() {
    std::uint32_t x = 1;
    for (std::uint32_t i = 0; i < kOrder; ++i) {
      exp[i] = static_cast<std::uint16_t>(x);
      log[x] = i;
      x <<= 1;
      if ((x & 0x10000) != 0) x ^= kPolynomial;
    }
  }
};

const Tables& T() {
  static const Tables tables;
  return tables;
}

}  // namespace

std::uint16_t Mul(std::uint16_t a, std::uint16_t b) {
  if (a == 0 || b == 0) return 0;
  const Tables& t = T();
  return t.exp[(t.log[a] + t.log[b]) % kOrder];
}

std::uint16_t Div(std::uint16_t a, std::uint16_t b) {
  if (a == 0) return 0;
  const Tables& t = T();
  return t.exp[(t.log[a] + kOrder - t.log[b]) % kOrder];
}

std::uint16_t Inv(std::uint16_t a) {
  return Div(1, a);
}

std::uint16_t Pow(std::uint16_t a, std::uint32_t n) {
  if (n == 0) return 1;
  if (a == 0) return 0;
  const Tables& t = T();
  return t.exp[static_cast<std::uint32_t>((std::uint64_t{t.log[a]} * n) % kOrder)];
}

std::uint16_t Exp(std::uint32_t n) {
  return T().exp[n % kOrder];
}

std::uint16_t MulReference(std::uint16_t a, std::uint16_t b) {
  std::uint32_t product = 0;
  for (int bit = 0; bit < 16; ++bit) {
    if ((b >> bit) & 1U) product ^= std::uint32_t{a} << bit;
  }
  for (int bit = 31; bit >= 16; --bit) {
    if ((product >> bit) & 1U) product ^= kPolynomial << (bit - 16);
  }
  return static_cast<std::uint16_t>(product);
}

void MakeNibbleTables(std::uint16_t c, NibbleTables& t) {
  for (int part = 0; part < 4; ++part) {
    for (std::uint16_t v = 0; v < 16; ++v) {
      const std::uint16_t p = Mul(c, static_cast<std::uint16_t>(v << (4 * part)));
      t.lo[part][v] = static_cast<std::uint8_t>(p & 0xFF);
      t.hi[part][v] = static_cast<std::uint8_t>(p >> 8);
    }
  }
}

void MulAddNibbles(std::uint8_t* dst, const std::uint8_t* src, std::size_t bytes,
                   const NibbleTables& t) {
  for (std::size_t i = 0; i + 1 < bytes; i += 2) {
    const unsigned lo = src[i];
    const unsigned hi = src[i + 1];
    const unsigned parts[4] = {lo & 0xFU, lo >> 4U, hi & 0xFU, hi >> 4U};
    for (int k = 0; k < 4; ++k) {
      dst[i] ^= t.lo[k][parts[k]];
      dst[i + 1] ^= t.hi[k][parts[k]];
    }
  }
}

void MulAddPortable(std::uint8_t* dst, const std::uint8_t* src, std::size_t bytes,
                    std::uint16_t c) {
  if (c == 0) return;
  // c times every low byte and every high byte: two lookups a word.
  std::array<std::uint16_t, 256> low{};
  std::array<std::uint16_t, 256> high{};
  for (std::uint16_t v = 0; v < 256; ++v) {
    low[v] = Mul(c, v);
    high[v] = Mul(c, static_cast<std::uint16_t>(v << 8));
  }
  for (std::size_t i = 0; i + 1 < bytes; i += 2) {
    const std::uint16_t p = low[src[i]] ^ high[src[i + 1]];
    dst[i] ^= static_cast<std::uint8_t>(p & 0xFF);
    dst[i + 1] ^= static_cast<std::uint8_t>(p >> 8);
  }
}

namespace {

bool Always() {
  return true;
}
bool HasSsse3() {
  return __builtin_cpu_supports("ssse3") != 0;
}
bool HasAvx2() {
  return __builtin_cpu_supports("avx2") != 0;
}

const KernelInfo kKernels[] = {
    {Kernel::Portable, "portable", MulAddPortable, Always},
    {Kernel::Ssse3, "ssse3", MulAddSsse3, HasSsse3},
    {Kernel::Avx2, "avx2", MulAddAvx2, HasAvx2},
};

}  // namespace

std::size_t KernelCount() {
  return std::size(kKernels);
}
const KernelInfo& KernelAt(std::size_t i) {
  return kKernels[i];
}

const KernelInfo& BestKernel() {
  static const KernelInfo& best = []() -> const KernelInfo& {
    for (std::size_t i = KernelCount(); i-- > 1;) {
      if (kKernels[i].supported()) return kKernels[i];
    }
    return kKernels[0];
  }();
  return best;
}

}  // namespace pz::gf
