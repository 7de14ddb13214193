#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>

#include "ByteCount.h"
#include "PackedYuvLayout.h"

namespace qv::conversion {

inline unsigned char ClampToByte(int value) {
  // Two selects rather than a branch: random chroma clamps often.
  value = value < 0 ? 0 : value;
  value = value > 255 ? 255 : value;
  return static_cast<unsigned char>(value);
}

// One pixel: (Y, U, V) to (B, G, R) at out[0..2]. >> on a negative int is an
// arithmetic shift with every compiler this library supports.
inline void YuvToBgr(int y, int u, int v, unsigned char* out) {
  const int c = y - 16;
  const int d = u - 128;
  const int e = v - 128;
  out[0] = ClampToByte((298 * c + 516 * d + 128) >> 8);
  out[1] = ClampToByte((298 * c - 100 * d - 208 * e + 128) >> 8);
  out[2] = ClampToByte((298 * c + 409 * e + 128) >> 8);
}

// Byte positions inside one 4-byte group.
struct GroupLayout {
  int y0, u, y1, v;
};
constexpr GroupLayout kYuy2Layout{0, 1, 2, 3};
constexpr GroupLayout kUyvyLayout{1, 0, 3, 2};
inline const GroupLayout& LayoutFor(PackedYuvLayout layout) {
  return layout == PackedYuvLayout::Yuy2 ? kYuy2Layout : kUyvyLayout;
}

using qv::rows::kRgb24PixelBytes;

// The RGB24 frames the conversion and FlipVertical write: their sizes and results
// are ints in the design, so a frame's bytes must fit an int. Stricter than the
// 32-bit limit of the rest of the library (qv::rows::kMax32BitBytes), and kept so:
// a YUY2 or UYVY frame of 2^31 to 2^32 - 1 converted bytes is recorded by the
// grabber, and its grab writes nothing.
constexpr std::uint64_t kMaxConvertibleFrameBytes = INT_MAX;

// The pixels of a frame of positive sizes within that limit, or false when the
// arguments describe no frame we may write (nothing is written then).
inline bool CountConvertiblePixels(int width, int height, std::size_t& pixels) {
  std::size_t bytes = 0;
  if (width <= 0 || height <= 0 ||
      !qv::rows::CountBytes(width, height, kRgb24PixelBytes, kMaxConvertibleFrameBytes, &bytes))
    return false;
  pixels = bytes / kRgb24PixelBytes;
  return true;
}

// The last pixel of a frame with an odd pixel count sits alone in a half group
// (its Y and U only): it keeps its own Y and U and borrows V from the group
// before it, or takes the neutral 128 when there is none (a 1x1 frame).
inline void ConvertLonePixel(const unsigned char* source, std::size_t pixels, const GroupLayout& L,
                             unsigned char* out) {
  const std::size_t k = (pixels - 1) / 2;
  const unsigned char* g = source + 4 * k;
  // In a half group the first two bytes hold Y and U (in either order).
  const int y = g[L.y0];
  const int u = g[L.u];
  const int v = k > 0 ? source[4 * (k - 1) + L.v] : 128;
  YuvToBgr(y, u, v, out);
}

}  // namespace qv::conversion
