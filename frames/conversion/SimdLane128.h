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
    __m128i bg[3], r[3];
};

QV_LANE128 __m128i Load128(const Table16& t) { return _mm_load_si128(reinterpret_cast<const __m128i*>(t.data())); }

QV_LANE128 Masks128 MakeMasks128(bool yuy2)
{
    Masks128 m;
    m.yu = Load128(yuy2 ? kTables.yuYuy2 : kTables.yuUyvy);
    m.yv = Load128(yuy2 ? kTables.yvYuy2 : kTables.yvUyvy);
    for (int i = 0; i < 3; ++i) {
        m.bg[i] = Load128(kTables.bg[i]);
        m.r[i] = Load128(kTables.r[i]);
    }
    return m;
}

// 16 source bytes -> one 16-byte output piece (see SimdTables.h).
QV_LANE128 __m128i Lane128(__m128i s, __m128i yuMask, __m128i yvMask, __m128i bgMask, __m128i rMask)
{
    const __m128i yu = _mm_shuffle_epi8(s, yuMask);
    const __m128i yv = _mm_shuffle_epi8(s, yvMask);
    const __m128i innerB = _mm_add_epi16(_mm_maddubs_epi16(yu, _mm_set1_epi16(kInnerB)), _mm_set1_epi16(kBiasInnerB));
    const __m128i outerB = _mm_add_epi16(_mm_maddubs_epi16(yu, _mm_set1_epi16(kOuterB)), _mm_set1_epi16(kBiasOuterB));
    const __m128i innerG = _mm_add_epi16(
        _mm_add_epi16(_mm_maddubs_epi16(yu, _mm_set1_epi16(kInnerGyu)), _mm_set1_epi16(kBiasInnerG)),
        _mm_maddubs_epi16(yv, _mm_set1_epi16(kInnerGv)));
    const __m128i outerG = _mm_add_epi16(_mm_maddubs_epi16(yv, _mm_set1_epi16(kOuterG)), _mm_set1_epi16(kBiasOuterG));
    const __m128i innerR = _mm_add_epi16(_mm_maddubs_epi16(yv, _mm_set1_epi16(kInnerR)), _mm_set1_epi16(kBiasInnerR));
    const __m128i outerR = _mm_add_epi16(_mm_maddubs_epi16(yv, _mm_set1_epi16(kOuterR)), _mm_set1_epi16(kBiasOuterR));
    const __m128i b = _mm_add_epi16(outerB, _mm_srai_epi16(innerB, 8));
    const __m128i g = _mm_add_epi16(outerG, _mm_srai_epi16(innerG, 8));
    const __m128i r = _mm_add_epi16(outerR, _mm_srai_epi16(innerR, 8));
    const __m128i bgBytes = _mm_packus_epi16(b, g);
    const __m128i rBytes = _mm_packus_epi16(r, r);
    return _mm_or_si128(_mm_shuffle_epi8(bgBytes, bgMask), _mm_shuffle_epi8(rBytes, rMask));
}

// 8 groups (32 source bytes) -> 48 output bytes.
QV_LANE128 void Block128(const unsigned char* s, unsigned char* d, const Masks128& m)
{
    for (int piece = 0; piece < 3; ++piece) {
        const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 8 * piece));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16 * piece), Lane128(in, m.yu, m.yv, m.bg[piece], m.r[piece]));
    }
}

#undef QV_LANE128

} // namespace
} // namespace qv::conversion::simd
