#pragma once

#include "FrameFormats.h"

namespace qv::conversion {

// The 4:2:0 and RGB32 conversions written pixel by pixel straight from their
// definitions: for every pixel (x, y) of the picture, its Y, the chroma
// sample (x / 2, y / 2) and the formula, stored at row height - 1 - y. Slow
// and obvious: the bytes every kernel must reproduce. NV12, I420, YV12 and
// RGB32 only; the same argument rules as the public functions. Returns 1.
int ReferenceToRgb24(FrameFormat format, const unsigned char* source, unsigned char* destination, int width,
                     int height);

}  // namespace qv::conversion
