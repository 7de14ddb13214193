#include "PlanarKernels.h"
#include "YuvFormula.h"

namespace qv::conversion {

void ConvertNv12RowsScalar(const unsigned char* y0, const unsigned char* y1, const unsigned char* uv, unsigned char* d0,
                           unsigned char* d1, std::size_t width, bool) {
  for (std::size_t x = 0; x < width; ++x) {
    const unsigned char* c = uv + 2 * (x / 2);
    YuvToBgr(y0[x], c[0], c[1], d0 + 3 * x);
    YuvToBgr(y1[x], c[0], c[1], d1 + 3 * x);
  }
}

void ConvertI420RowsScalar(const unsigned char* y0, const unsigned char* y1, const unsigned char* u,
                           const unsigned char* v, unsigned char* d0, unsigned char* d1, std::size_t width, bool) {
  for (std::size_t x = 0; x < width; ++x) {
    YuvToBgr(y0[x], u[x / 2], v[x / 2], d0 + 3 * x);
    YuvToBgr(y1[x], u[x / 2], v[x / 2], d1 + 3 * x);
  }
}

void ConvertRgb32Scalar(const unsigned char* source, unsigned char* destination, std::size_t pixels) {
  for (std::size_t i = 0; i < pixels; ++i, source += 4, destination += 3) {
    destination[0] = source[0];
    destination[1] = source[1];
    destination[2] = source[2];
  }
}

PlanarKernels ScalarPlanarKernels() { return {ConvertNv12RowsScalar, ConvertI420RowsScalar, ConvertRgb32Scalar}; }

}  // namespace qv::conversion
