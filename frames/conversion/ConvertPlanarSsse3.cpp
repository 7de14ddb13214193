// SSSE3 kernels of the 4:2:0 and RGB32 conversions: 16 pixels of two rows per
// step, their chroma computed once (PlanarLane128.h).
#include "PlanarKernels.h"

#if defined(__x86_64__) || defined(__i386__)
#include "PlanarLane128.h"

namespace qv::conversion {

namespace {

#define QV_SSSE3 __attribute__((target("ssse3")))

template <bool Stream>
QV_SSSE3 void Nv12Rows(const unsigned char* y0, const unsigned char* y1, const unsigned char* uv, unsigned char* d0,
                       unsigned char* d1, std::size_t width) {
  using namespace planar;
  std::size_t x = 0;
  for (; x + 16 <= width; x += 16)
    RowPair16<Stream>(y0 + x, y1 + x, ChromaFromPairs(Load16(uv + x)), d0 + 3 * x, d1 + 3 * x);
  if (x < width) ConvertNv12RowsScalar(y0 + x, y1 + x, uv + x, d0 + 3 * x, d1 + 3 * x, width - x);
}

template <bool Stream>
QV_SSSE3 void I420Rows(const unsigned char* y0, const unsigned char* y1, const unsigned char* u, const unsigned char* v,
                       unsigned char* d0, unsigned char* d1, std::size_t width) {
  using namespace planar;
  std::size_t x = 0;
  for (; x + 16 <= width; x += 16)
    RowPair16<Stream>(y0 + x, y1 + x, ChromaFromPlanes(Load8(u + x / 2), Load8(v + x / 2)), d0 + 3 * x, d1 + 3 * x);
  if (x < width) ConvertI420RowsScalar(y0 + x, y1 + x, u + x / 2, v + x / 2, d0 + 3 * x, d1 + 3 * x, width - x);
}

QV_SSSE3 void Nv12(const unsigned char* y0, const unsigned char* y1, const unsigned char* uv, unsigned char* d0,
                   unsigned char* d1, std::size_t width, bool stream) {
  if (stream) {
    Nv12Rows<true>(y0, y1, uv, d0, d1, width);
    _mm_sfence();
  } else {
    Nv12Rows<false>(y0, y1, uv, d0, d1, width);
  }
}

QV_SSSE3 void I420(const unsigned char* y0, const unsigned char* y1, const unsigned char* u, const unsigned char* v,
                   unsigned char* d0, unsigned char* d1, std::size_t width, bool stream) {
  if (stream) {
    I420Rows<true>(y0, y1, u, v, d0, d1, width);
    _mm_sfence();
  } else {
    I420Rows<false>(y0, y1, u, v, d0, d1, width);
  }
}

QV_SSSE3 void Rgb32(const unsigned char* s, unsigned char* d, std::size_t pixels) {
  using namespace planar;
  std::size_t i = 0;
  for (; i + 16 <= pixels; i += 16, s += 64, d += 48) {
    const __m128i in[4] = {Load16(s), Load16(s + 16), Load16(s + 32), Load16(s + 48)};
    Store16<false>(d, Rgb32Piece(in, 0));
    Store16<false>(d + 16, Rgb32Piece(in, 1));
    Store16<false>(d + 32, Rgb32Piece(in, 2));
  }
  if (i < pixels) ConvertRgb32Scalar(s, d, pixels - i);
}

#undef QV_SSSE3

}  // namespace

PlanarKernels Ssse3PlanarKernels() { return {Nv12, I420, Rgb32}; }

}  // namespace qv::conversion
#else
namespace qv::conversion {
PlanarKernels Ssse3PlanarKernels() { return {nullptr, nullptr, nullptr}; }
}  // namespace qv::conversion
#endif
