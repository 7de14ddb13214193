// AVX2 kernels of the 4:2:0 and RGB32 conversions: the SSSE3 lane computation
// (PlanarLane128.h) on two lanes at once, 32 pixels of two rows per step. Lane
// 0 takes pixels 0..15, lane 1 pixels 16..31; each lane yields its 48 output
// bytes as three 16-byte pieces, stored half by half: putting them in order
// across lanes first costs a slow cross-lane permute on some cores.
#include "PlanarKernels.h"

#if defined(__x86_64__) || defined(__i386__)
#include "PlanarLane128.h"

namespace qv::conversion {

namespace {

#define QV_AVX2 __attribute__((target("avx2")))
#define QV_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline

using planar::kPlanarTables;
using planar::Table16;

QV_AVX2_INLINE __m256i Broadcast(const Table16& t) { return _mm256_broadcastsi128_si256(planar::Load128(t)); }
QV_AVX2_INLINE __m256i Load32(const unsigned char* s) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s));
}
QV_AVX2_INLINE void Store32(unsigned char* d, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), v); }

struct Chroma256 {
  __m256i b, g, r;
};

// u, v: 16 samples in int16 lanes (samples 0..7 in lane 0); uv: the same as
// (U, V) byte pairs.
QV_AVX2_INLINE Chroma256 Chroma(__m256i u, __m256i v, __m256i uv) {
  using namespace planar;
  Chroma256 c;
  c.b = _mm256_add_epi16(_mm256_add_epi16(_mm256_slli_epi16(u, 7), u), _mm256_set1_epi16(kBiasB));
  c.g = _mm256_add_epi16(_mm256_maddubs_epi16(uv, _mm256_set1_epi16(kUVToG)), _mm256_set1_epi16(kBiasG));
  c.r = _mm256_add_epi16(_mm256_add_epi16(_mm256_mullo_epi16(v, _mm256_set1_epi16(204)), _mm256_srli_epi16(v, 1)),
                         _mm256_set1_epi16(kBiasR));
  return c;
}

QV_AVX2_INLINE Chroma256 ChromaFromPairs(const unsigned char* uvRow) {
  const __m256i uv = Load32(uvRow);
  return Chroma(_mm256_and_si256(uv, _mm256_set1_epi16(0x00FF)), _mm256_srli_epi16(uv, 8), uv);
}

QV_AVX2_INLINE Chroma256 ChromaFromPlanes(const unsigned char* uRow, const unsigned char* vRow) {
  const __m256i u = _mm256_cvtepu8_epi16(planar::Load16(uRow));
  const __m256i v = _mm256_cvtepu8_epi16(planar::Load16(vRow));
  return Chroma(u, v, _mm256_or_si256(u, _mm256_slli_epi16(v, 8)));
}

struct Channels256 {
  __m256i b, g, r;
};

QV_AVX2_INLINE Channels256 Pixels16(__m256i y, const Chroma256& c) {
  using namespace planar;
  const __m256i y149 = _mm256_mullo_epi16(y, _mm256_set1_epi16(149));
  const __m256i y74 = _mm256_srli_epi16(y149, 1);
  const __m256i yR = _mm256_sub_epi16(y149, _mm256_set1_epi16(kLumaOffsetR));
  return {_mm256_srai_epi16(_mm256_adds_epi16(y74, c.b), 6), _mm256_srai_epi16(_mm256_add_epi16(y74, c.g), 6),
          _mm256_srai_epi16(_mm256_adds_epi16(yR, c.r), 7)};
}

// Lane k's pieces p sit in x[p]; memory order is (0,0) (0,1) (0,2) (1,0) (1,1) (1,2).
template <bool Stream>
QV_AVX2_INLINE void StoreInOrder(const __m256i (&x)[3], unsigned char* d) {
  for (int piece = 0; piece < 3; ++piece) {
    planar::Store16<Stream>(d + 16 * piece, _mm256_castsi256_si128(x[piece]));
    planar::Store16<Stream>(d + 48 + 16 * piece, _mm256_extracti128_si256(x[piece], 1));
  }
}

struct YuvMasks {
  __m256i m[3][3];
};

QV_AVX2_INLINE YuvMasks MakeYuvMasks() {
  YuvMasks masks;
  for (int piece = 0; piece < 3; ++piece)
    for (int channel = 0; channel < 3; ++channel)
      masks.m[piece][channel] = Broadcast(kPlanarTables.yuv[piece][channel]);
  return masks;
}

// 32 pixels of one row.
template <bool Stream>
QV_AVX2_INLINE void Row32(const unsigned char* y, const Chroma256& c, const YuvMasks& masks, unsigned char* d) {
  const __m256i bytes = Load32(y);
  const Channels256 even = Pixels16(_mm256_and_si256(bytes, _mm256_set1_epi16(0x00FF)), c);
  const Channels256 odd = Pixels16(_mm256_srli_epi16(bytes, 8), c);
  const __m256i b = _mm256_packus_epi16(even.b, odd.b);
  const __m256i g = _mm256_packus_epi16(even.g, odd.g);
  const __m256i r = _mm256_packus_epi16(even.r, odd.r);
  __m256i x[3];
  for (int piece = 0; piece < 3; ++piece)
    x[piece] = _mm256_or_si256(
        _mm256_or_si256(_mm256_shuffle_epi8(b, masks.m[piece][0]), _mm256_shuffle_epi8(g, masks.m[piece][1])),
        _mm256_shuffle_epi8(r, masks.m[piece][2]));
  StoreInOrder<Stream>(x, d);
}

template <bool Stream>
QV_AVX2 void Nv12Rows(const unsigned char* y0, const unsigned char* y1, const unsigned char* uv, unsigned char* d0,
                      unsigned char* d1, std::size_t width) {
  const YuvMasks masks = MakeYuvMasks();
  std::size_t x = 0;
  for (; x + 32 <= width; x += 32) {
    const Chroma256 c = ChromaFromPairs(uv + x);
    Row32<Stream>(y0 + x, c, masks, d0 + 3 * x);
    Row32<Stream>(y1 + x, c, masks, d1 + 3 * x);
  }
  if (x + 16 <= width) {
    planar::RowPair16<Stream>(y0 + x, y1 + x, planar::ChromaFromPairs(planar::Load16(uv + x)), d0 + 3 * x, d1 + 3 * x);
    x += 16;
  }
  if (x < width) ConvertNv12RowsScalar(y0 + x, y1 + x, uv + x, d0 + 3 * x, d1 + 3 * x, width - x);
}

template <bool Stream>
QV_AVX2 void I420Rows(const unsigned char* y0, const unsigned char* y1, const unsigned char* u, const unsigned char* v,
                      unsigned char* d0, unsigned char* d1, std::size_t width) {
  const YuvMasks masks = MakeYuvMasks();
  std::size_t x = 0;
  for (; x + 32 <= width; x += 32) {
    const Chroma256 c = ChromaFromPlanes(u + x / 2, v + x / 2);
    Row32<Stream>(y0 + x, c, masks, d0 + 3 * x);
    Row32<Stream>(y1 + x, c, masks, d1 + 3 * x);
  }
  if (x + 16 <= width) {
    const planar::Chroma128 c = planar::ChromaFromPlanes(planar::Load8(u + x / 2), planar::Load8(v + x / 2));
    planar::RowPair16<Stream>(y0 + x, y1 + x, c, d0 + 3 * x, d1 + 3 * x);
    x += 16;
  }
  if (x < width) ConvertI420RowsScalar(y0 + x, y1 + x, u + x / 2, v + x / 2, d0 + 3 * x, d1 + 3 * x, width - x);
}

// Lane 0 takes pixels 0..15, lane 1 pixels 16..31, 4 source registers each.
QV_AVX2 void Rgb32(const unsigned char* s, unsigned char* d, std::size_t pixels) {
  __m256i masks[3][2];
  for (int piece = 0; piece < 3; ++piece)
    for (int from = 0; from < 2; ++from) masks[piece][from] = Broadcast(kPlanarTables.rgb32[piece][from]);
  std::size_t i = 0;
  for (; i + 32 <= pixels; i += 32, s += 128, d += 96) {
    __m256i in[4];
    for (int k = 0; k < 4; ++k)
      in[k] = _mm256_inserti128_si256(_mm256_castsi128_si256(planar::Load16(s + 16 * k)),
                                      planar::Load16(s + 64 + 16 * k), 1);
    __m256i x[3];
    for (int piece = 0; piece < 3; ++piece)
      x[piece] = _mm256_or_si256(_mm256_shuffle_epi8(in[piece], masks[piece][0]),
                                 _mm256_shuffle_epi8(in[piece + 1], masks[piece][1]));
    StoreInOrder<false>(x, d);
  }
  if (i < pixels) Ssse3PlanarKernels().rgb32(s, d, pixels - i);
}

QV_AVX2 void Nv12(const unsigned char* y0, const unsigned char* y1, const unsigned char* uv, unsigned char* d0,
                  unsigned char* d1, std::size_t width, bool stream) {
  if (stream) {
    Nv12Rows<true>(y0, y1, uv, d0, d1, width);
    _mm_sfence();
  } else {
    Nv12Rows<false>(y0, y1, uv, d0, d1, width);
  }
}

QV_AVX2 void I420(const unsigned char* y0, const unsigned char* y1, const unsigned char* u, const unsigned char* v,
                  unsigned char* d0, unsigned char* d1, std::size_t width, bool stream) {
  if (stream) {
    I420Rows<true>(y0, y1, u, v, d0, d1, width);
    _mm_sfence();
  } else {
    I420Rows<false>(y0, y1, u, v, d0, d1, width);
  }
}

#undef QV_AVX2
#undef QV_AVX2_INLINE

}  // namespace

PlanarKernels Avx2PlanarKernels() { return {Nv12, I420, Rgb32}; }

}  // namespace qv::conversion
#else
namespace qv::conversion {
PlanarKernels Avx2PlanarKernels() { return {nullptr, nullptr, nullptr}; }
}  // namespace qv::conversion
#endif
