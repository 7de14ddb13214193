#pragma once

// The 128-bit lane computation (SSSE3), shared by the SSSE3 kernel and by the
// tails of the wider kernels. Include only from a kernel file.

#include <immintrin.h>

#include <cstddef>

#include "SimdTables.h"

namespace qv::conversion::simd {
namespace {

#define QV_LANE128 __attribute__((target("ssse3"), always_inline)) inline

struct Masks128 {
  __m128i yu, yv;
};

QV_LANE128 __m128i Load128(const Table16& t) { return _mm_load_si128(reinterpret_cast<const __m128i*>(t.data())); }

QV_LANE128 Masks128 MakeMasks128(bool yuy2) {
  return {Load128(yuy2 ? kTables.yuYuy2 : kTables.yuUyvy), Load128(yuy2 ? kTables.yvYuy2 : kTables.yvUyvy)};
}

struct Channels128 {
  __m128i b, g, r;  // 8 pixels, int16 lanes, before clamping
};

// 16 source bytes (4 groups, 8 pixels).
QV_LANE128 Channels128 Compute128(__m128i s, __m128i yuMask, __m128i yvMask) {
  const __m128i yu = _mm_shuffle_epi8(s, yuMask);
  const __m128i yv = _mm_shuffle_epi8(s, yvMask);
  const __m128i innerB = _mm_add_epi16(_mm_maddubs_epi16(yu, _mm_set1_epi16(kInnerB)), _mm_set1_epi16(kBiasInnerB));
  const __m128i outerB = _mm_add_epi16(_mm_maddubs_epi16(yu, _mm_set1_epi16(kOuterB)), _mm_set1_epi16(kBiasOuterB));
  const __m128i innerG =
      _mm_add_epi16(_mm_add_epi16(_mm_maddubs_epi16(yu, _mm_set1_epi16(kInnerGyu)), _mm_set1_epi16(kBiasInnerG)),
                    _mm_maddubs_epi16(yv, _mm_set1_epi16(kInnerGv)));
  const __m128i outerG = _mm_add_epi16(_mm_maddubs_epi16(yv, _mm_set1_epi16(kOuterG)), _mm_set1_epi16(kBiasOuterG));
  const __m128i innerR = _mm_add_epi16(_mm_maddubs_epi16(yv, _mm_set1_epi16(kInnerR)), _mm_set1_epi16(kBiasInnerR));
  const __m128i outerR = _mm_add_epi16(_mm_maddubs_epi16(yv, _mm_set1_epi16(kOuterR)), _mm_set1_epi16(kBiasOuterR));
  return {_mm_add_epi16(outerB, _mm_srai_epi16(innerB, 8)), _mm_add_epi16(outerG, _mm_srai_epi16(innerG, 8)),
          _mm_add_epi16(outerR, _mm_srai_epi16(innerR, 8))};
}

QV_LANE128 __m128i Pick(__m128i bytes, const Table16& t) { return _mm_shuffle_epi8(bytes, Load128(t)); }

// 8 groups (32 source bytes, 16 pixels) -> 48 output bytes (see SimdTables.h). The
// unsigned-saturating packs are the clamp to 0..255; the first lane is packed before the
// second is computed, so that few registers stay live (32-bit x86 has 8).
QV_LANE128 void Block128(const unsigned char* s, unsigned char* d, const Masks128& m) {
  const Channels128 first = Compute128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s)), m.yu, m.yv);
  const __m128i low = _mm_packus_epi16(first.b, first.g);
  const Channels128 second = Compute128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16)), m.yu, m.yv);
  const __m128i high = _mm_packus_epi16(second.b, second.g);
  const __m128i red = _mm_packus_epi16(first.r, second.r);
  __m128i* out = reinterpret_cast<__m128i*>(d);
  _mm_storeu_si128(out, _mm_or_si128(Pick(low, kTables.piece0Low), Pick(red, kTables.piece0Red)));
  _mm_storeu_si128(out + 1, _mm_or_si128(_mm_or_si128(Pick(low, kTables.piece1Low), Pick(high, kTables.piece1High)),
                                         Pick(red, kTables.piece1Red)));
  _mm_storeu_si128(out + 2, _mm_or_si128(Pick(high, kTables.piece2High), Pick(red, kTables.piece2Red)));
}

#undef QV_LANE128

}  // namespace
}  // namespace qv::conversion::simd
