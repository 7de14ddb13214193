// The one byte count of frames, rows and pixels, worked so that no product can
// wrap whatever the build: every size limit of the library is checked through it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace qv::rows {

// The usual limit: a byte count in 32 bits. BufferCB's lengths, the host's frame
// sizes and the image formats' size fields are 32-bit, and a 32-bit build can't
// hold more; checked in 64 bits, both builds refuse the same sizes.
constexpr uint64_t kMax32BitBytes = UINT32_MAX;

// The library's one picture layout, RGB24: blue, green, red, no row padding.
constexpr int kRgb24PixelBytes = 3;

namespace detail {
template <typename T>
constexpr bool Factor(T value, uint64_t* factor) {
  static_assert(std::is_integral_v<T> && sizeof(T) <= sizeof(uint64_t), "a factor is an integer of 64 bits or less");
  if constexpr (std::is_signed_v<T>) {
    if (value < 0) return false;
  }
  *factor = static_cast<uint64_t>(value);
  return true;
}
}  // namespace detail

// width x height x bytesPerPixel into *bytes (a row count, a row length and 1 work
// as well), for factors of any integer type; false, with *bytes unchanged, when a
// factor is negative or the product passes limit. A zero factor gives 0, which is
// always within. limit must fit size_t (every limit here is at most 2^32 - 1).
template <typename W, typename H, typename P>
constexpr bool CountBytes(W width, H height, P bytesPerPixel, uint64_t limit, size_t* bytes) {
  uint64_t a = 0, b = 0, c = 0;
  if (!detail::Factor(width, &a) || !detail::Factor(height, &b) || !detail::Factor(bytesPerPixel, &c)) return false;
  // Each step is checked by division, so no product is formed that could wrap.
  if (a != 0 && b != 0 && c != 0 && (a > limit || b > limit / a || c > limit / (a * b))) return false;
  *bytes = static_cast<size_t>(a * b * c);
  return true;
}

}  // namespace qv::rows
