// AVX2 kernel: the SSSE3 lane computation on two lanes at once. Three
// registers cover 64 source bytes (32 pixels, 96 output bytes); their lanes
// are loaded at source offsets (0, 8), (16, 32) and (40, 48) so that each
// lane's output piece is contiguous (see SimdTables.h).
#include "ConversionKernels.h"

#if defined(__x86_64__) || defined(__i386__)
#include "SimdLane128.h"

namespace qv::conversion {

namespace {

#define QV_AVX2 __attribute__((target("avx2")))

QV_AVX2 inline __m256i Both(const simd::Table16& lo, const simd::Table16& hi)
{
    return _mm256_set_m128i(simd::Load128(hi), simd::Load128(lo));
}

QV_AVX2 __attribute__((always_inline)) inline __m256i Lane256(__m256i s, __m256i yuMask, __m256i yvMask,
                                                                __m256i bgMask, __m256i rMask)
{
    using namespace simd;
    const __m256i yu = _mm256_shuffle_epi8(s, yuMask);
    const __m256i yv = _mm256_shuffle_epi8(s, yvMask);
    const __m256i innerB =
        _mm256_add_epi16(_mm256_maddubs_epi16(yu, _mm256_set1_epi16(kInnerB)), _mm256_set1_epi16(kBiasInnerB));
    const __m256i outerB =
        _mm256_add_epi16(_mm256_maddubs_epi16(yu, _mm256_set1_epi16(kOuterB)), _mm256_set1_epi16(kBiasOuterB));
    const __m256i innerG = _mm256_add_epi16(
        _mm256_add_epi16(_mm256_maddubs_epi16(yu, _mm256_set1_epi16(kInnerGyu)), _mm256_set1_epi16(kBiasInnerG)),
        _mm256_maddubs_epi16(yv, _mm256_set1_epi16(kInnerGv)));
    const __m256i outerG =
        _mm256_add_epi16(_mm256_maddubs_epi16(yv, _mm256_set1_epi16(kOuterG)), _mm256_set1_epi16(kBiasOuterG));
    const __m256i innerR =
        _mm256_add_epi16(_mm256_maddubs_epi16(yv, _mm256_set1_epi16(kInnerR)), _mm256_set1_epi16(kBiasInnerR));
    const __m256i outerR =
        _mm256_add_epi16(_mm256_maddubs_epi16(yv, _mm256_set1_epi16(kOuterR)), _mm256_set1_epi16(kBiasOuterR));
    const __m256i b = _mm256_add_epi16(outerB, _mm256_srai_epi16(innerB, 8));
    const __m256i g = _mm256_add_epi16(outerG, _mm256_srai_epi16(innerG, 8));
    const __m256i r = _mm256_add_epi16(outerR, _mm256_srai_epi16(innerR, 8));
    const __m256i bgBytes = _mm256_packus_epi16(b, g);
    const __m256i rBytes = _mm256_packus_epi16(r, r);
    return _mm256_or_si256(_mm256_shuffle_epi8(bgBytes, bgMask), _mm256_shuffle_epi8(rBytes, rMask));
}

template <bool Yuy2>
QV_AVX2 void ConvertGroups(const unsigned char* s, unsigned char* d, std::size_t groups)
{
    using simd::kTables;
    const simd::Masks128 m128 = simd::MakeMasks128(Yuy2);
    const __m256i yu = _mm256_broadcastsi128_si256(m128.yu);
    const __m256i yv = _mm256_broadcastsi128_si256(m128.yv);
    // Output pieces of the three registers: (0, 1), (2, 0), (1, 2).
    const __m256i bg0 = Both(kTables.bg[0], kTables.bg[1]), r0 = Both(kTables.r[0], kTables.r[1]);
    const __m256i bg1 = Both(kTables.bg[2], kTables.bg[0]), r1 = Both(kTables.r[2], kTables.r[0]);
    const __m256i bg2 = Both(kTables.bg[1], kTables.bg[2]), r2 = Both(kTables.r[1], kTables.r[2]);
    std::size_t k = 0;
    for (; k + 16 <= groups; k += 16, s += 64, d += 96) {
        // Qwords of s[0..31] -> lanes s[0..15], s[8..23]; of s[32..63] -> s[40..55], s[48..63].
        // Each register loaded just before its use, so that none waits in a spill slot.
        const __m256i in0 = _mm256_permute4x64_epi64(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(s)), 0x94);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), Lane256(in0, yu, yv, bg0, r0));
        const __m256i in1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 16));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 32), Lane256(in1, yu, yv, bg1, r1));
        const __m256i in2 =
            _mm256_permute4x64_epi64(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 32)), 0xE9);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 64), Lane256(in2, yu, yv, bg2, r2));
    }
    if (k + 8 <= groups) {
        simd::Block128(s, d, m128);
        k += 8, s += 32, d += 48;
    }
    if (k < groups)
        (Yuy2 ? ConvertGroupsScalarYuy2 : ConvertGroupsScalarUyvy)(s, d, groups - k);
}

#undef QV_AVX2

} // namespace

KernelPair Avx2Kernels() { return {ConvertGroups<true>, ConvertGroups<false>}; }

} // namespace qv::conversion
#else
namespace qv::conversion {
KernelPair Avx2Kernels() { return {nullptr, nullptr}; }
}
#endif
