#include "ReferencePlanarConversion.h"

#include <climits>
#include <cstddef>
#include <cstdint>

namespace qv::conversion {

namespace {

unsigned char Clamp(int value) { return static_cast<unsigned char>(value < 0 ? 0 : value > 255 ? 255 : value); }

void Formula(int y, int u, int v, unsigned char* out) {
  const int c = y - 16, d = u - 128, e = v - 128;
  out[0] = Clamp((298 * c + 516 * d + 128) >> 8);
  out[1] = Clamp((298 * c - 100 * d - 208 * e + 128) >> 8);
  out[2] = Clamp((298 * c + 409 * e + 128) >> 8);
}

}  // namespace

int ReferenceToRgb24(FrameFormat format, const unsigned char* source, unsigned char* destination, int width,
                     int height) {
  if (!source || !destination || width <= 0 || height <= 0) return 1;
  if (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) * 3u > INT_MAX) return 1;
  const std::size_t w = static_cast<std::size_t>(width), h = static_cast<std::size_t>(height);
  const std::size_t cw = (w + 1) / 2, ch = (h + 1) / 2;
  const unsigned char* lumaPlane = source;
  const unsigned char* firstChroma = source + w * h;
  const unsigned char* secondChroma = firstChroma + cw * ch;
  for (std::size_t y = 0; y < h; ++y) {
    for (std::size_t x = 0; x < w; ++x) {
      unsigned char* out = destination + ((h - 1 - y) * w + x) * 3;
      const std::size_t c = (y / 2) * cw + x / 2;  // the chroma sample covering (x, y)
      switch (format) {
        case FrameFormat::Nv12:
          Formula(lumaPlane[y * w + x], firstChroma[2 * c], firstChroma[2 * c + 1], out);
          break;
        case FrameFormat::I420:
          Formula(lumaPlane[y * w + x], firstChroma[c], secondChroma[c], out);
          break;
        case FrameFormat::Yv12:
          Formula(lumaPlane[y * w + x], secondChroma[c], firstChroma[c], out);
          break;
        case FrameFormat::Rgb32: {
          // Bottom-up in, bottom-up out: row y lands on row y.
          const unsigned char* in = source + (y * w + x) * 4;
          unsigned char* same = destination + (y * w + x) * 3;
          same[0] = in[0], same[1] = in[1], same[2] = in[2];
          break;
        }
        default:
          return 1;
      }
    }
  }
  return 1;
}

}  // namespace qv::conversion
