// Byte counts of frames and rows, refused when a size is negative or the count
// does not fit in 32 bits (the host's buffers never hold more).
#pragma once

#include <cstddef>
#include <cstdint>

namespace qv {

inline bool CountBytes(int64_t width, int64_t height, int64_t bytesPerPixel, size_t* bytes) {
  if (width < 0 || height < 0 || bytesPerPixel < 0) return false;
  // Each factor is below 2^32, so the first product cannot overflow 64 bits.
  uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
  if (bytesPerPixel != 0 && pixels > UINT32_MAX / static_cast<uint64_t>(bytesPerPixel)) return false;
  *bytes = static_cast<size_t>(pixels * static_cast<uint64_t>(bytesPerPixel));
  return true;
}

}  // namespace qv
