#include "ReferenceConversion.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

namespace qv::conversion {

namespace {

int Clamp(int value) {
  if (value < 0) return 0;
  if (value > 255) return 255;
  return value;
}

}  // namespace

int ReferenceYUV422ToRGB24(const unsigned char* source, unsigned char* destination, int width, int height, int bYUY2) {
  if (!source || !destination || width <= 0 || height <= 0) return 1;
  if (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) * 3u > INT_MAX) return 1;
  const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  const std::size_t sourceBytes = pixels * 2;

  // 1. Unpack: each group k gives (Y0, U, V) and (Y1, U, V) at bytes 6k..6k+5.
  const int iY0 = bYUY2 ? 0 : 1, iU = bYUY2 ? 1 : 0, iY1 = bYUY2 ? 2 : 3, iV = bYUY2 ? 3 : 2;
  std::size_t k = 0;
  for (; 4 * k + 4 <= sourceBytes; ++k) {
    const unsigned char* g = source + 4 * k;
    unsigned char* t = destination + 6 * k;
    t[0] = g[iY0], t[1] = g[iU], t[2] = g[iV];
    t[3] = g[iY1], t[4] = g[iU], t[5] = g[iV];
  }
  if (4 * k < sourceBytes) {
    // Half group (odd pixel count): own Y and U, V of the previous group or 128.
    const unsigned char* g = source + 4 * k;
    unsigned char* t = destination + 6 * k;
    t[0] = g[iY0], t[1] = g[iU];
    t[2] = k > 0 ? source[4 * (k - 1) + iV] : 128;
  }

  // 2. Convert every (Y, U, V) triple in place into (B, G, R).
  for (std::size_t i = 0; i < pixels; ++i) {
    unsigned char* t = destination + 3 * i;
    const int c = t[0] - 16;
    const int d = t[1] - 128;
    const int e = t[2] - 128;
    t[0] = static_cast<unsigned char>(Clamp((298 * c + 516 * d + 128) >> 8));
    t[1] = static_cast<unsigned char>(Clamp((298 * c - 100 * d - 208 * e + 128) >> 8));
    t[2] = static_cast<unsigned char>(Clamp((298 * c + 409 * e + 128) >> 8));
  }

  // 3. Reverse the row order through a copy of the whole frame.
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
  std::vector<unsigned char> copy(destination, destination + pixels * 3);
  for (std::size_t i = 0; i < static_cast<std::size_t>(height); ++i)
    std::memcpy(destination + (height - 1 - i) * rowBytes, copy.data() + i * rowBytes, rowBytes);
  return 1;
}

}  // namespace qv::conversion
