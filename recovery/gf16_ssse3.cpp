// The 128-bit kernel: 16 words a step. The low and the high bytes of the words are gathered
// into registers of their own, each 4-bit part of a word looks up its share of the product's low
// and high byte with a byte shuffle, and the bytes are interleaved again.
#include <immintrin.h>

#include "recovery/gf16.h"

namespace pz::gf {

namespace {

struct Ssse3Tables {
  __m128i lo[4];
  __m128i hi[4];
};

__attribute__((target("ssse3"))) inline __m128i Lookup(const __m128i table[4], __m128i l0,
                                                       __m128i l1, __m128i h0, __m128i h1) {
  __m128i r = _mm_shuffle_epi8(table[0], l0);
  r = _mm_xor_si128(r, _mm_shuffle_epi8(table[1], l1));
  r = _mm_xor_si128(r, _mm_shuffle_epi8(table[2], h0));
  return _mm_xor_si128(r, _mm_shuffle_epi8(table[3], h1));
}

__attribute__((target("ssse3"))) inline void Step(std::uint8_t* dst, const std::uint8_t* src,
                                                  const Ssse3Tables& t) {
  const __m128i byteMask = _mm_set1_epi16(0x00FF);
  const __m128i nibble = _mm_set1_epi8(0x0F);
  const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 16));
  const __m128i low = _mm_packus_epi16(_mm_and_si128(a, byteMask), _mm_and_si128(b, byteMask));
  const __m128i high = _mm_packus_epi16(_mm_srli_epi16(a, 8), _mm_srli_epi16(b, 8));
  const __m128i l0 = _mm_and_si128(low, nibble);
  const __m128i l1 = _mm_and_si128(_mm_srli_epi16(low, 4), nibble);
  const __m128i h0 = _mm_and_si128(high, nibble);
  const __m128i h1 = _mm_and_si128(_mm_srli_epi16(high, 4), nibble);
  const __m128i rlo = Lookup(t.lo, l0, l1, h0, h1);
  const __m128i rhi = Lookup(t.hi, l0, l1, h0, h1);
  auto* d = reinterpret_cast<__m128i*>(dst);
  _mm_storeu_si128(d, _mm_xor_si128(_mm_loadu_si128(d), _mm_unpacklo_epi8(rlo, rhi)));
  _mm_storeu_si128(d + 1, _mm_xor_si128(_mm_loadu_si128(d + 1), _mm_unpackhi_epi8(rlo, rhi)));
}

}  // namespace

__attribute__((target("ssse3"))) void MulAddSsse3(std::uint8_t* dst, const std::uint8_t* src,
                                                  std::size_t bytes, std::uint16_t c) {
  if (c == 0) return;
  NibbleTables nt;
  MakeNibbleTables(c, nt);
  Ssse3Tables t;
  for (int i = 0; i < 4; ++i) {
    t.lo[i] = _mm_load_si128(reinterpret_cast<const __m128i*>(nt.lo[i]));
    t.hi[i] = _mm_load_si128(reinterpret_cast<const __m128i*>(nt.hi[i]));
  }
  std::size_t i = 0;
  for (; i + 32 <= bytes; i += 32) Step(dst + i, src + i, t);
  MulAddNibbles(dst + i, src + i, bytes - i, nt);
}

}  // namespace pz::gf
