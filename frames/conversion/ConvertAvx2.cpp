// AVX2 kernel: the SSSE3 kernel's 32-byte blocks, two at once, one per lane. Two
// registers cover 64 source bytes (32 pixels, 96 output bytes); every pixel is computed
// once, and each lane's three output pieces are stored as 16-byte halves.
#include "ConversionKernels.h"

#if defined(__x86_64__) || defined(__i386__)
#include "SimdLane128.h"

namespace qv::conversion {

namespace {

#define QV_AVX2 __attribute__((target("avx2")))
#define QV_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline

struct Channels256 {
  __m256i b, g, r;  // 16 pixels (8 per lane), int16 lanes, before clamping
};

// Two lanes of 16 source bytes each (4 groups, 8 pixels).
QV_AVX2_INLINE Channels256 Compute256(__m256i s, __m256i yuMask, __m256i yvMask) {
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
  return {_mm256_add_epi16(outerB, _mm256_srai_epi16(innerB, 8)),
          _mm256_add_epi16(outerG, _mm256_srai_epi16(innerG, 8)),
          _mm256_add_epi16(outerR, _mm256_srai_epi16(innerR, 8))};
}

// 16 source bytes at lo and at hi, as the two lanes of one register.
QV_AVX2_INLINE __m256i LoadLanes(const unsigned char* lo, const unsigned char* hi) {
  return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(lo))),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(hi)), 1);
}

QV_AVX2_INLINE __m256i Pick(__m256i bytes, const simd::Table16& t) {
  return _mm256_shuffle_epi8(bytes, _mm256_broadcastsi128_si256(simd::Load128(t)));
}

QV_AVX2_INLINE void StoreLanes(unsigned char* lo, unsigned char* hi, __m256i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(lo), _mm256_castsi256_si128(v));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(hi), _mm256_extracti128_si256(v, 1));
}

template <bool Yuy2>
QV_AVX2 void ConvertGroups(const unsigned char* s, unsigned char* d, std::size_t groups) {
  using simd::kTables;
  const simd::Masks128 m128 = simd::MakeMasks128(Yuy2);
  const __m256i yu = _mm256_broadcastsi128_si256(m128.yu);
  const __m256i yv = _mm256_broadcastsi128_si256(m128.yv);
  std::size_t k = 0;
  for (; k + 16 <= groups; k += 16, s += 64, d += 96) {
    // The first lane does the SSSE3 block at s, the second the one at s + 32. The first
    // lanes are packed before the second are computed, so that few registers stay live.
    const Channels256 first = Compute256(LoadLanes(s, s + 32), yu, yv);
    const __m256i low = _mm256_packus_epi16(first.b, first.g);
    const Channels256 second = Compute256(LoadLanes(s + 16, s + 48), yu, yv);
    const __m256i high = _mm256_packus_epi16(second.b, second.g);
    const __m256i red = _mm256_packus_epi16(first.r, second.r);
    StoreLanes(d, d + 48, _mm256_or_si256(Pick(low, kTables.piece0Low), Pick(red, kTables.piece0Red)));
    StoreLanes(d + 16, d + 64,
               _mm256_or_si256(_mm256_or_si256(Pick(low, kTables.piece1Low), Pick(high, kTables.piece1High)),
                               Pick(red, kTables.piece1Red)));
    StoreLanes(d + 32, d + 80, _mm256_or_si256(Pick(high, kTables.piece2High), Pick(red, kTables.piece2Red)));
  }
  if (k + 8 <= groups) {
    simd::Block128(s, d, m128);
    k += 8, s += 32, d += 48;
  }
  if (k < groups) (Yuy2 ? ConvertGroupsScalarYuy2 : ConvertGroupsScalarUyvy)(s, d, groups - k);
}

#undef QV_AVX2_INLINE
#undef QV_AVX2

}  // namespace

KernelPair Avx2Kernels() { return {ConvertGroups<true>, ConvertGroups<false>}; }

}  // namespace qv::conversion
#else
namespace qv::conversion {
KernelPair Avx2Kernels() { return {nullptr, nullptr}; }
}  // namespace qv::conversion
#endif
