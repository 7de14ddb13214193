#include "PixelConversions.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

namespace {

inline uint8_t Clamp(int value) { return static_cast<uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value)); }

inline void ToBgr(int y, int u, int v, uint8_t* out) {
  const int c = y - 16, d = u - 128, e = v - 128;
  out[0] = Clamp((298 * c + 516 * d + 128) >> 8);
  out[1] = Clamp((298 * c - 100 * d - 208 * e + 128) >> 8);
  out[2] = Clamp((298 * c + 409 * e + 128) >> 8);
}

// Bytes of a width x height frame at bytesPerPixel, or 0 when not positive or over 32 bits.
size_t FrameBytes(int width, int height, int bytesPerPixel) {
  if (width <= 0 || height <= 0) return 0;
  const uint64_t bytes = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * bytesPerPixel;
  return bytes > 0xFFFFFFFFu ? 0 : static_cast<size_t>(bytes);
}

}  // namespace

int YUV422ToRGB24(const unsigned char* source, unsigned char* destination, int width, int height, int bYUY2) {
  if (source == nullptr || destination == nullptr || FrameBytes(width, height, 3) == 0) return 1;
  const int yFirst = bYUY2 ? 0 : 1, uAt = bYUY2 ? 1 : 0, ySecond = bYUY2 ? 2 : 3, vAt = bYUY2 ? 3 : 2;
  const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
  const size_t rowBytes = static_cast<size_t>(width) * 3;
  // Pixel p of the source (counted across the frame) lands in row height-1-p/width.
  for (size_t p = 0; p < pixels; ++p) {
    const size_t group = p / 2;
    const unsigned char* g = source + group * 4;
    const size_t row = p / width, column = p % width;
    uint8_t* out = destination + (static_cast<size_t>(height) - 1 - row) * rowBytes + column * 3;
    const int y = (p % 2 == 0) ? g[yFirst] : g[ySecond];
    // A last pixel without a partner reads only its own group's first two bytes:
    // its luma and the chroma sample there, the other chroma taken as neutral.
    if (p % 2 == 0 && p + 1 == pixels) {
      const int u = bYUY2 ? g[uAt] : (uAt < 2 ? g[uAt] : 128);
      const int v = vAt < 2 ? g[vAt] : 128;
      ToBgr(y, u, v, out);
    } else {
      ToBgr(y, g[uAt], g[vAt], out);
    }
  }
  return 1;
}

int FlipVertical(unsigned char* frame, int width, int height) {
  if (frame == nullptr || FrameBytes(width, height, 3) == 0) return 1;
  const size_t rowBytes = static_cast<size_t>(width) * 3;
  std::unique_ptr<unsigned char[]> row(new (std::nothrow) unsigned char[rowBytes]);
  if (!row) return 1;  // unchanged
  for (size_t top = 0, bottom = static_cast<size_t>(height) - 1; top < bottom; ++top, --bottom) {
    std::memcpy(row.get(), frame + top * rowBytes, rowBytes);
    std::memcpy(frame + top * rowBytes, frame + bottom * rowBytes, rowBytes);
    std::memcpy(frame + bottom * rowBytes, row.get(), rowBytes);
  }
  return 1;
}
