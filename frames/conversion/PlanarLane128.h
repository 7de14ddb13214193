#pragma once

// The 128-bit lane computation of the 4:2:0 and RGB32 kernels (SSSE3), shared
// by the SSSE3 kernels and, lane by lane, the AVX2 kernels. Include only from
// a kernel file.
//
// Exact arithmetic in 16-bit lanes, a different split from the 4:2:2 kernels
// that lets one chroma computation serve four pixels. With raw samples Y, U, V
// (0..255) the three sums of the formula are
//   B: F = 298Y + 516U - 70688        G: F = 298Y - 100U - 208V + 34784
//   R: F = 298Y + 409V - 56992        and each channel is clamp(F >> 8).
// Since >> 8 is a floor division, F >> 8 = (F >> 2) >> 6 = (F >> 1) >> 7, and
// the parts that are not whole after the division belong to Y alone:
//   B: F >> 2 = (149Y >> 1) + (129U - 17672)                  in -17672..34220
//   G: F >> 2 = (149Y >> 1) + (8696 - 25U - 52V)              in -10939..27693
//   R: F >> 1 = (149Y - 5228) + (204V + (V >> 1) - 23268)     in -28496..61646
// Every term lies inside int16 (149Y itself, up to 37995, only as an unsigned
// lane before the subtraction). G's sum fits; B's and R's may pass 32767, where
// the signed-saturating add stops at 32767, which still shifts to 255 or more:
// the same clamp. The unsigned-saturating pack then clamps to 0..255.
//
// Pixels are computed in even and odd halves: the Y bytes of 16 pixels, read
// as 16-bit lanes, give the even pixels by masking and the odd ones by a shift,
// and chroma sample j serves lane j of both halves, so no chroma is widened
// twice. The packs leave [8 even | 8 odd] bytes per channel, which the output
// shuffles put back in order.

#include <immintrin.h>

#include <array>
#include <cstddef>
#include <cstdint>

namespace qv::conversion::planar {
namespace {

#define QV_PLANAR128 __attribute__((target("ssse3"), always_inline)) inline

using Table16 = std::array<std::uint8_t, 16>;

// Byte of pixel p (0..15) in a packed [even pixels | odd pixels] register.
constexpr int HalvesPosition(int p) { return (p & 1) ? 8 + p / 2 : p / 2; }

// Output piece `piece` (bytes 16*piece .. +15 of 16 pixels' 48) takes channel
// `channel` (0 = B, 1 = G, 2 = R) from that channel's packed register; 0x80 gives 0.
constexpr Table16 YuvOutput(int piece, int channel) {
  Table16 t{};
  for (int j = 0; j < 16; ++j) {
    const int n = 16 * piece + j;
    t[j] = n % 3 == channel ? static_cast<std::uint8_t>(HalvesPosition(n / 3)) : 0x80;
  }
  return t;
}

// RGB32: output piece `piece` of 16 pixels takes the bytes of source register
// `from` (pixels 4*from .. 4*from+3); piece k draws on registers k and k + 1.
constexpr Table16 Rgb32Output(int piece, int from) {
  Table16 t{};
  for (int j = 0; j < 16; ++j) {
    const int n = 16 * piece + j, p = n / 3;
    t[j] = p / 4 == from ? static_cast<std::uint8_t>(4 * (p % 4) + n % 3) : 0x80;
  }
  return t;
}

struct alignas(16) PlanarTables {
  Table16 yuv[3][3] = {{YuvOutput(0, 0), YuvOutput(0, 1), YuvOutput(0, 2)},
                       {YuvOutput(1, 0), YuvOutput(1, 1), YuvOutput(1, 2)},
                       {YuvOutput(2, 0), YuvOutput(2, 1), YuvOutput(2, 2)}};
  Table16 rgb32[3][2] = {{Rgb32Output(0, 0), Rgb32Output(0, 1)},
                         {Rgb32Output(1, 1), Rgb32Output(1, 2)},
                         {Rgb32Output(2, 2), Rgb32Output(2, 3)}};
};
inline constexpr PlanarTables kPlanarTables{};

constexpr std::int16_t kBiasB = -17672, kBiasG = 8696, kBiasR = -23268, kLumaOffsetR = 5228;
constexpr std::int16_t kUVToG = static_cast<std::int16_t>((-25 & 0xFF) | ((-52 & 0xFF) << 8));  // pmaddubsw pair

QV_PLANAR128 __m128i Load128(const Table16& t) { return _mm_load_si128(reinterpret_cast<const __m128i*>(t.data())); }

// Chroma terms of 8 samples, int16 lanes.
struct Chroma128 {
  __m128i b, g, r;
};

// From 8 interleaved U, V byte pairs (the NV12 chroma row).
QV_PLANAR128 Chroma128 ChromaFromPairs(__m128i uv) {
  const __m128i u = _mm_and_si128(uv, _mm_set1_epi16(0x00FF));
  const __m128i v = _mm_srli_epi16(uv, 8);
  Chroma128 c;
  c.b = _mm_add_epi16(_mm_add_epi16(_mm_slli_epi16(u, 7), u), _mm_set1_epi16(kBiasB));
  c.g = _mm_add_epi16(_mm_maddubs_epi16(uv, _mm_set1_epi16(kUVToG)), _mm_set1_epi16(kBiasG));
  // 204V wraps as a lane, but the finished sum lies inside int16.
  c.r = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(v, _mm_set1_epi16(204)), _mm_srli_epi16(v, 1)),
                      _mm_set1_epi16(kBiasR));
  return c;
}

// From 8 U bytes and 8 V bytes (the low halves of the registers).
QV_PLANAR128 Chroma128 ChromaFromPlanes(__m128i u8, __m128i v8) { return ChromaFromPairs(_mm_unpacklo_epi8(u8, v8)); }

struct Channels128 {
  __m128i b, g, r;  // 8 pixels, int16 lanes, shifted, before clamping
};

// y: 8 luma samples in int16 lanes.
QV_PLANAR128 Channels128 Pixels8(__m128i y, const Chroma128& c) {
  const __m128i y149 = _mm_mullo_epi16(y, _mm_set1_epi16(149));
  const __m128i y74 = _mm_srli_epi16(y149, 1);
  const __m128i yR = _mm_sub_epi16(y149, _mm_set1_epi16(kLumaOffsetR));
  return {_mm_srai_epi16(_mm_adds_epi16(y74, c.b), 6), _mm_srai_epi16(_mm_add_epi16(y74, c.g), 6),
          _mm_srai_epi16(_mm_adds_epi16(yR, c.r), 7)};
}

// Packed [even | odd] bytes of each channel of 16 pixels.
struct Packed128 {
  __m128i b, g, r;
};

// 16 Y bytes and the chroma of their 8 pairs.
QV_PLANAR128 Packed128 Pixels16(__m128i yBytes, const Chroma128& c) {
  const Channels128 even = Pixels8(_mm_and_si128(yBytes, _mm_set1_epi16(0x00FF)), c);
  const Channels128 odd = Pixels8(_mm_srli_epi16(yBytes, 8), c);
  return {_mm_packus_epi16(even.b, odd.b), _mm_packus_epi16(even.g, odd.g), _mm_packus_epi16(even.r, odd.r)};
}

// Output piece `piece` (0, 1, 2) of the 48 bytes of 16 pixels.
QV_PLANAR128 __m128i YuvPiece(const Packed128& p, int piece) {
  const PlanarTables& t = kPlanarTables;
  return _mm_or_si128(
      _mm_or_si128(_mm_shuffle_epi8(p.b, Load128(t.yuv[piece][0])), _mm_shuffle_epi8(p.g, Load128(t.yuv[piece][1]))),
      _mm_shuffle_epi8(p.r, Load128(t.yuv[piece][2])));
}

// Streaming stores (aligned only) write around the cache, for frames far larger than it.
template <bool Stream>
QV_PLANAR128 void Store16(unsigned char* d, __m128i v) {
  if (Stream)
    _mm_stream_si128(reinterpret_cast<__m128i*>(d), v);
  else
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), v);
}

template <bool Stream>
QV_PLANAR128 void Store16Pixels(const Packed128& p, unsigned char* d) {
  Store16<Stream>(d, YuvPiece(p, 0));
  Store16<Stream>(d + 16, YuvPiece(p, 1));
  Store16<Stream>(d + 32, YuvPiece(p, 2));
}

QV_PLANAR128 __m128i Load16(const unsigned char* s) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(s)); }
QV_PLANAR128 __m128i Load8(const unsigned char* s) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(s)); }

// 16 pixels of two rows that share the chroma c.
template <bool Stream>
QV_PLANAR128 void RowPair16(const unsigned char* y0, const unsigned char* y1, const Chroma128& c, unsigned char* d0,
                            unsigned char* d1) {
  Store16Pixels<Stream>(Pixels16(Load16(y0), c), d0);
  Store16Pixels<Stream>(Pixels16(Load16(y1), c), d1);
}

// RGB32: output piece `piece` of 16 pixels held in s[0..3].
QV_PLANAR128 __m128i Rgb32Piece(const __m128i (&s)[4], int piece) {
  const PlanarTables& t = kPlanarTables;
  return _mm_or_si128(_mm_shuffle_epi8(s[piece], Load128(t.rgb32[piece][0])),
                      _mm_shuffle_epi8(s[piece + 1], Load128(t.rgb32[piece][1])));
}

#undef QV_PLANAR128

}  // namespace
}  // namespace qv::conversion::planar
