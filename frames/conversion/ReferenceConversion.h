#pragma once

namespace qv::conversion {

// The conversion written as three plain passes over the destination (unpack,
// convert in place, reverse the rows through a whole-frame copy). Slow and
// obvious: the bytes every kernel must reproduce. Same argument rules and
// lone-last-pixel rule as YUV422ToRGB24.
int ReferenceYUV422ToRGB24(const unsigned char* source, unsigned char* destination, int width, int height, int bYUY2);

}  // namespace qv::conversion
