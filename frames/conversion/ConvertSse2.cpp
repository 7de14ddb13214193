// SSE2 kernel (the x86-64 baseline, no byte shuffles): samples widened to
// 16-bit lanes, the exact split sums of SimdTables.h with pmullw, and B, G, R
// interleaved by unpacking to 4-byte pixels and squeezing out every fourth byte.
#include "ConversionKernels.h"

#if defined(__x86_64__) || defined(__i386__)
#include <emmintrin.h>

#include "SimdTables.h"

namespace qv::conversion {

namespace {

#define QV_SSE2 __attribute__((target("sse2"), always_inline)) inline

struct Channels {
  __m128i b, g, r;  // 8 pixels, int16 lanes, before clamping
};

// 16 source bytes (4 groups, 8 pixels).
template <bool Yuy2>
QV_SSE2 Channels Compute8(__m128i s) {
  using namespace simd;
  const __m128i lowBytes = _mm_set1_epi16(0x00FF);
  const __m128i y = Yuy2 ? _mm_and_si128(s, lowBytes) : _mm_srli_epi16(s, 8);
  const __m128i chroma = Yuy2 ? _mm_srli_epi16(s, 8) : _mm_and_si128(s, lowBytes);  // U V U V ...
  const __m128i u = _mm_shufflehi_epi16(_mm_shufflelo_epi16(chroma, 0xA0), 0xA0);   // each pixel's U
  const __m128i v = _mm_shufflehi_epi16(_mm_shufflelo_epi16(chroma, 0xF5), 0xF5);   // each pixel's V
  const __m128i y42 = _mm_mullo_epi16(y, _mm_set1_epi16(42));
  // One channel at a time, so that few values are live at once: 32-bit x86 has only
  // 8 vector registers.
  const __m128i innerB = _mm_add_epi16(_mm_add_epi16(y42, _mm_set1_epi16(kBiasInnerB)), _mm_slli_epi16(u, 2));
  const __m128i outerB = _mm_add_epi16(_mm_add_epi16(y, _mm_set1_epi16(kBiasOuterB)), _mm_add_epi16(u, u));
  const __m128i b = _mm_add_epi16(outerB, _mm_srai_epi16(innerB, 8));
  const __m128i innerG = _mm_add_epi16(
      _mm_add_epi16(_mm_add_epi16(y42, _mm_set1_epi16(kBiasInnerG)), _mm_mullo_epi16(u, _mm_set1_epi16(-100))),
      _mm_mullo_epi16(v, _mm_set1_epi16(48)));
  const __m128i outerG = _mm_add_epi16(_mm_sub_epi16(y, v), _mm_set1_epi16(kBiasOuterG));
  const __m128i g = _mm_add_epi16(outerG, _mm_srai_epi16(innerG, 8));
  const __m128i innerR =
      _mm_add_epi16(_mm_add_epi16(y42, _mm_set1_epi16(kBiasInnerR)), _mm_mullo_epi16(v, _mm_set1_epi16(-103)));
  const __m128i outerR = _mm_add_epi16(_mm_add_epi16(y, _mm_set1_epi16(kBiasOuterR)), _mm_add_epi16(v, v));
  return {b, g, _mm_add_epi16(outerR, _mm_srai_epi16(innerR, 8))};
}

// Four B G R 0 pixels -> their 12 bytes at the bottom of the register.
QV_SSE2 __m128i Squeeze(__m128i p) {
  const __m128i t = _mm_or_si128(_mm_and_si128(p, _mm_set1_epi64x(0x0000000000FFFFFF)),
                                 _mm_and_si128(_mm_srli_epi64(p, 8), _mm_set1_epi64x(0x0000FFFFFF000000)));
  return _mm_or_si128(_mm_move_epi64(t), _mm_slli_si128(_mm_srli_si128(t, 8), 6));
}

// 8 groups (32 source bytes, 16 pixels) -> 48 output bytes.
template <bool Yuy2>
QV_SSE2 void Block(const unsigned char* s, unsigned char* d) {
  // The unsigned-saturating packs are the clamp to 0..255. The first half is packed
  // before the second is computed, so that only two of its registers stay live.
  const Channels lo = Compute8<Yuy2>(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s)));
  const __m128i bgFirst = _mm_packus_epi16(lo.b, lo.g);  // B0..B7 G0..G7
  const Channels hi = Compute8<Yuy2>(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16)));
  const __m128i bgSecond = _mm_packus_epi16(hi.b, hi.g);  // B8..B15 G8..G15
  const __m128i r = _mm_packus_epi16(lo.r, hi.r);
  const __m128i zero = _mm_setzero_si128();
  const __m128i bgLo = _mm_unpacklo_epi8(bgFirst, _mm_srli_si128(bgFirst, 8));
  const __m128i bgHi = _mm_unpacklo_epi8(bgSecond, _mm_srli_si128(bgSecond, 8));
  const __m128i rLo = _mm_unpacklo_epi8(r, zero), rHi = _mm_unpackhi_epi8(r, zero);
  const __m128i c0 = Squeeze(_mm_unpacklo_epi16(bgLo, rLo));
  const __m128i c1 = Squeeze(_mm_unpackhi_epi16(bgLo, rLo));
  const __m128i c2 = Squeeze(_mm_unpacklo_epi16(bgHi, rHi));
  const __m128i c3 = Squeeze(_mm_unpackhi_epi16(bgHi, rHi));
  __m128i* out = reinterpret_cast<__m128i*>(d);
  _mm_storeu_si128(out, _mm_or_si128(c0, _mm_slli_si128(c1, 12)));
  _mm_storeu_si128(out + 1, _mm_or_si128(_mm_srli_si128(c1, 4), _mm_slli_si128(c2, 8)));
  _mm_storeu_si128(out + 2, _mm_or_si128(_mm_srli_si128(c2, 8), _mm_slli_si128(c3, 4)));
}

template <bool Yuy2>
__attribute__((target("sse2"))) void ConvertGroups(const unsigned char* s, unsigned char* d, std::size_t groups) {
  std::size_t k = 0;
  for (; k + 8 <= groups; k += 8, s += 32, d += 48) Block<Yuy2>(s, d);
  if (k < groups) (Yuy2 ? ConvertGroupsScalarYuy2 : ConvertGroupsScalarUyvy)(s, d, groups - k);
}

#undef QV_SSE2

}  // namespace

KernelPair Sse2Kernels() { return {ConvertGroups<true>, ConvertGroups<false>}; }

}  // namespace qv::conversion
#else
namespace qv::conversion {
KernelPair Sse2Kernels() { return {nullptr, nullptr}; }
}  // namespace qv::conversion
#endif
