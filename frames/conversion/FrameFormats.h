#pragma once

#include <cstddef>

namespace qv::conversion {

// The frame layouts a capture stream can deliver, as this library reads them.
//   Rgb24, Rgb32: bottom row first, 3 or 4 bytes a pixel (B, G, R[, X]), no row padding.
//   Yuy2, Uyvy:   packed 4:2:2, top row first, width x height x 2 bytes in one run.
//   Nv12:         top row first; a width x height Y plane, then one interleaved
//                 U, V plane of ceil(height/2) rows of ceil(width/2) pairs.
//   I420 (IYUV):  top row first; the Y plane, then a U plane and a V plane, each
//                 ceil(height/2) rows of ceil(width/2) bytes.
//   Yv12:         as I420 with the V plane before the U plane.
// Every row is tight (its stride is its width in bytes); a chroma sample
// serves the 2 x 2 block of pixels it covers, cut at the right and bottom edges.
enum class FrameFormat { Rgb24, Yuy2, Uyvy, Nv12, I420, Yv12, Rgb32 };

// The number of source bytes a frame of this format occupies, and so the
// number the conversion reads; 0 when width and height describe no frame the
// conversions accept (a size of 0 or below, or width x height x 3 above INT_MAX).
// Worked in 64 bits, so 32-bit builds refuse exactly the same sizes; every
// accepted result is below 2^32 and fits std::size_t on both.
std::size_t SourceFrameBytes(FrameFormat format, int width, int height);

}  // namespace qv::conversion
