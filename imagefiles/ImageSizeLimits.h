// The sizes the image writers take: the limits on their byte counts, each with its
// reason, and the count that checks a frame against the usual one.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ByteCount.h"

namespace qv {

// Frames, rows and files are counted in 32 bits: the host's buffers never hold
// more, and a BMP's size fields are 32-bit.
constexpr uint64_t kMaxImageBytes = rows::kMax32BitBytes;

// libtiff sizes a row in a signed integer as wide as a pointer: in the 32-bit build a
// row past 2^31 - 1 bytes overflows it, so such rows are refused on every build.
constexpr uint64_t kMaxTiffRowBytes = INT32_MAX;
// The general TIFF writer's working copy, and so its data, is addressed with 32 bits.
constexpr uint64_t kMaxTiffDataBytes = kMaxImageBytes;

using rows::kRgb24PixelBytes;

// width x height x bytesPerPixel into *bytes; false when a size is negative or the
// count passes kMaxImageBytes.
inline bool CountImageBytes(int64_t width, int64_t height, int64_t bytesPerPixel, size_t* bytes) {
  return rows::CountBytes(width, height, bytesPerPixel, kMaxImageBytes, bytes);
}

}  // namespace qv
