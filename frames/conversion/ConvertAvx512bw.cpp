// AVX-512BW kernel: the SSSE3 lane computation on four lanes at once. Three
// registers cover 128 source bytes (64 pixels, 192 output bytes); a qword
// permute gives each lane the 16 source bytes its output piece needs.
#include "ConversionKernels.h"

#if defined(__x86_64__) || defined(__i386__)
#include "SimdLane128.h"
#include "SimdLane512.h"

namespace qv::conversion {

namespace {

#define QV_AVX512 __attribute__((target("avx512f,avx512bw")))

QV_AVX512 inline __m512i Four(int p0, int p1, int p2, int p3, const simd::Table16 (&tables)[3]) {
  __m512i v = _mm512_zextsi128_si512(simd::Load128(tables[p0]));
  v = _mm512_inserti32x4(v, simd::Load128(tables[p1]), 1);
  v = _mm512_inserti32x4(v, simd::Load128(tables[p2]), 2);
  return _mm512_inserti32x4(v, simd::Load128(tables[p3]), 3);
}

QV_AVX512 __attribute__((always_inline)) inline __m512i Lane512(__m512i s, __m512i yuMask, __m512i yvMask,
                                                                __m512i bgMask, __m512i rMask) {
  const simd::Channels512 c = simd::Compute512(s, yuMask, yvMask);
  const __m512i bgBytes = _mm512_packus_epi16(c.b, c.g);
  const __m512i rBytes = _mm512_packus_epi16(c.r, c.r);
  return _mm512_or_si512(_mm512_shuffle_epi8(bgBytes, bgMask), _mm512_shuffle_epi8(rBytes, rMask));
}

template <bool Yuy2>
QV_AVX512 void ConvertGroups(const unsigned char* s, unsigned char* d, std::size_t groups) {
  using simd::kTables;
  const simd::Masks128 m128 = simd::MakeMasks128(Yuy2);
  const __m512i yu = _mm512_maskz_broadcast_i32x4(0xFFFF, m128.yu);
  const __m512i yv = _mm512_maskz_broadcast_i32x4(0xFFFF, m128.yv);
  // Output pieces of the three registers: (0 1 2 0), (1 2 0 1), (2 0 1 2).
  const __m512i bg0 = Four(0, 1, 2, 0, kTables.bg), r0 = Four(0, 1, 2, 0, kTables.r);
  const __m512i bg1 = Four(1, 2, 0, 1, kTables.bg), r1 = Four(1, 2, 0, 1, kTables.r);
  const __m512i bg2 = Four(2, 0, 1, 2, kTables.bg), r2 = Four(2, 0, 1, 2, kTables.r);
  // Lane source offsets 0 8 16 32 | 40 48 64 72 | 80 96 104 112, as qwords
  // of the 64-byte loads at 0, 40 and 64. (The all-ones masked forms keep
  // GCC's headers from warning about their undefined pass-through values.)
  const __m512i perm0 = _mm512_set_epi64(5, 4, 3, 2, 2, 1, 1, 0);
  const __m512i perm1 = _mm512_set_epi64(5, 4, 4, 3, 2, 1, 1, 0);
  const __m512i perm2 = _mm512_set_epi64(7, 6, 6, 5, 5, 4, 3, 2);
  std::size_t k = 0;
  for (; k + 32 <= groups; k += 32, s += 128, d += 192) {
    // Each register loaded just before its use, so that none waits in a spill slot.
    const __m512i in0 = _mm512_maskz_permutexvar_epi64(0xFF, perm0, _mm512_loadu_si512(s));
    _mm512_storeu_si512(d, Lane512(in0, yu, yv, bg0, r0));
    const __m512i in1 = _mm512_maskz_permutexvar_epi64(0xFF, perm1, _mm512_loadu_si512(s + 40));
    _mm512_storeu_si512(d + 64, Lane512(in1, yu, yv, bg1, r1));
    const __m512i in2 = _mm512_maskz_permutexvar_epi64(0xFF, perm2, _mm512_loadu_si512(s + 64));
    _mm512_storeu_si512(d + 128, Lane512(in2, yu, yv, bg2, r2));
  }
  for (; k + 8 <= groups; k += 8, s += 32, d += 48) simd::Block128(s, d, m128);
  if (k < groups) (Yuy2 ? ConvertGroupsScalarYuy2 : ConvertGroupsScalarUyvy)(s, d, groups - k);
}

#undef QV_AVX512

}  // namespace

KernelPair Avx512bwKernels() { return {ConvertGroups<true>, ConvertGroups<false>}; }

}  // namespace qv::conversion
#else
namespace qv::conversion {
KernelPair Avx512bwKernels() { return {nullptr, nullptr}; }
}  // namespace qv::conversion
#endif
