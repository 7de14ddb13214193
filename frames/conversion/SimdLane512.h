#pragma once

// The per-pixel channel computation on 512-bit registers (AVX-512BW), shared
// by the AVX-512 kernels. Include only from a kernel file.

#include <immintrin.h>

#include "SimdTables.h"

namespace qv::conversion::simd {
namespace {

struct Channels512 {
  __m512i b, g, r;  // 32 pixels (8 per lane), int16 lanes, before clamping
};

// 64 source bytes, in lanes of 16 (4 groups, 8 pixels each).
__attribute__((target("avx512f,avx512bw"), always_inline)) inline Channels512 Compute512(__m512i s, __m512i yuMask,
                                                                                         __m512i yvMask) {
  const __m512i yu = _mm512_shuffle_epi8(s, yuMask);
  const __m512i yv = _mm512_shuffle_epi8(s, yvMask);
  const __m512i innerB =
      _mm512_add_epi16(_mm512_maddubs_epi16(yu, _mm512_set1_epi16(kInnerB)), _mm512_set1_epi16(kBiasInnerB));
  const __m512i outerB =
      _mm512_add_epi16(_mm512_maddubs_epi16(yu, _mm512_set1_epi16(kOuterB)), _mm512_set1_epi16(kBiasOuterB));
  const __m512i innerG = _mm512_add_epi16(
      _mm512_add_epi16(_mm512_maddubs_epi16(yu, _mm512_set1_epi16(kInnerGyu)), _mm512_set1_epi16(kBiasInnerG)),
      _mm512_maddubs_epi16(yv, _mm512_set1_epi16(kInnerGv)));
  const __m512i outerG =
      _mm512_add_epi16(_mm512_maddubs_epi16(yv, _mm512_set1_epi16(kOuterG)), _mm512_set1_epi16(kBiasOuterG));
  const __m512i innerR =
      _mm512_add_epi16(_mm512_maddubs_epi16(yv, _mm512_set1_epi16(kInnerR)), _mm512_set1_epi16(kBiasInnerR));
  const __m512i outerR =
      _mm512_add_epi16(_mm512_maddubs_epi16(yv, _mm512_set1_epi16(kOuterR)), _mm512_set1_epi16(kBiasOuterR));
  return {_mm512_add_epi16(outerB, _mm512_srai_epi16(innerB, 8)),
          _mm512_add_epi16(outerG, _mm512_srai_epi16(innerG, 8)),
          _mm512_add_epi16(outerR, _mm512_srai_epi16(innerR, 8))};
}

}  // namespace
}  // namespace qv::conversion::simd
