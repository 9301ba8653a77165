// The 256-bit kernel: 32 words a step, as the 128-bit one. Packing and unpacking work within
// each 128-bit lane, so unpacking restores the order that packing changed.
#include <immintrin.h>

#include "recovery/gf16.h"

namespace pz::gf {

namespace {

struct Avx2Tables {
  __m256i lo[4];
  __m256i hi[4];
};

__attribute__((target("avx2"))) inline __m256i Lookup(const __m256i table[4], __m256i l0,
                                                      __m256i l1, __m256i h0, __m256i h1) {
  __m256i r = _mm256_shuffle_epi8(table[0], l0);
  r = _mm256_xor_si256(r, _mm256_shuffle_epi8(table[1], l1));
  r = _mm256_xor_si256(r, _mm256_shuffle_epi8(table[2], h0));
  return _mm256_xor_si256(r, _mm256_shuffle_epi8(table[3], h1));
}

__attribute__((target("avx2"))) inline void Step(std::uint8_t* dst, const std::uint8_t* src,
                                                 const Avx2Tables& t) {
  const __m256i byteMask = _mm256_set1_epi16(0x00FF);
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src));
  const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 32));
  const __m256i low =
      _mm256_packus_epi16(_mm256_and_si256(a, byteMask), _mm256_and_si256(b, byteMask));
  const __m256i high = _mm256_packus_epi16(_mm256_srli_epi16(a, 8), _mm256_srli_epi16(b, 8));
  const __m256i l0 = _mm256_and_si256(low, nibble);
  const __m256i l1 = _mm256_and_si256(_mm256_srli_epi16(low, 4), nibble);
  const __m256i h0 = _mm256_and_si256(high, nibble);
  const __m256i h1 = _mm256_and_si256(_mm256_srli_epi16(high, 4), nibble);
  const __m256i rlo = Lookup(t.lo, l0, l1, h0, h1);
  const __m256i rhi = Lookup(t.hi, l0, l1, h0, h1);
  auto* d = reinterpret_cast<__m256i*>(dst);
  _mm256_storeu_si256(d, _mm256_xor_si256(_mm256_loadu_si256(d), _mm256_unpacklo_epi8(rlo, rhi)));
  _mm256_storeu_si256(d + 1,
                      _mm256_xor_si256(_mm256_loadu_si256(d + 1), _mm256_unpackhi_epi8(rlo, rhi)));
}

}  // namespace

__attribute__((target("avx2"))) void MulAddAvx2(std::uint8_t* dst, const std::uint8_t* src,
                                                std::size_t bytes, std::uint16_t c) {
  if (c == 0) return;
  NibbleTables nt;
  MakeNibbleTables(c, nt);
  Avx2Tables t;
  for (int i = 0; i < 4; ++i) {
    t.lo[i] =
        _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(nt.lo[i])));
    t.hi[i] =
        _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(nt.hi[i])));
  }
  std::size_t i = 0;
  for (; i + 64 <= bytes; i += 64) Step(dst + i, src + i, t);
  MulAddNibbles(dst + i, src + i, bytes - i, nt);
}

}  // namespace pz::gf
