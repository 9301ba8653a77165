// Arithmetic in GF(2^16) with the generator polynomial x^16 + x^12 + x^3 + x + 1 (0x1100B)
// that recovery files use, and the multiply-add of a whole region by a constant, the one hot
// loop of making and using recovery data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pz::gf {

inline constexpr std::uint32_t kPolynomial = 0x1100B;
inline constexpr std::uint32_t kOrder = 65535;  // of the multiplicative group

// Through log and antilog tables.
std::uint16_t Mul(std::uint16_t a, std::uint16_t b);
std::uint16_t Div(std::uint16_t a, std::uint16_t b);  // b != 0
std::uint16_t Inv(std::uint16_t a);                   // a != 0
std::uint16_t Pow(std::uint16_t a, std::uint32_t n);
// 2 to the power n (n taken modulo the group's order).
std::uint16_t Exp(std::uint32_t n);
// Bit by bit, shift and reduce: the plain definition the tables are checked against.
std::uint16_t MulReference(std::uint16_t a, std::uint16_t b);

// The region routines: dst ^= c * src, word by word, words little-endian. bytes is even; the
// regions need no alignment.
using MulAddFn = void (*)(std::uint8_t* dst, const std::uint8_t* src, std::size_t bytes,
                          std::uint16_t c);

enum class Kernel { Portable, Ssse3, Avx2 };
struct KernelInfo {
  Kernel kernel;
  std::string_view name;
  MulAddFn fn;
  bool (*supported)();
};

// Every kernel this build has, the portable one first.
std::size_t KernelCount();
const KernelInfo& KernelAt(std::size_t i);
// The fastest kernel the processor runs, chosen once.
const KernelInfo& BestKernel();

inline void MulAdd(std::uint8_t* dst, const std::uint8_t* src, std::size_t bytes, std::uint16_t c) {
  BestKernel().fn(dst, src, bytes, c);
}

// The kernels, for the table above and the tests.
void MulAddPortable(std::uint8_t* dst, const std::uint8_t* src, std::size_t bytes, std::uint16_t c);
void MulAddSsse3(std::uint8_t* dst, const std::uint8_t* src, std::size_t bytes, std::uint16_t c);
void MulAddAvx2(std::uint8_t* dst, const std::uint8_t* src, std::size_t bytes, std::uint16_t c);

// The split tables of the vector kernels: for each of the four 4-bit parts of a word, the low and
// the high byte of c times every value of that part.
struct NibbleTables {
  alignas(32) std::uint8_t lo[4][16];
  alignas(32) std::uint8_t hi[4][16];
};
void MakeNibbleTables(std::uint16_t c, NibbleTables& t);
// dst ^= c * src word by word through those tables: the vector kernels' last few words.
void MulAddNibbles(std::uint8_t* dst, const std::uint8_t* src, std::size_t bytes,
                   const NibbleTables& t);

}  // namespace pz::gf
