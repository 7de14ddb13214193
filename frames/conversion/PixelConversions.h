// Packed YUV 4:2:2 (YUY2, UYVY) to RGB24 with fixed integer arithmetic.
#pragma once

// Converts width x height pixels of packed 4:2:2 (top row first; YUY2 when bYUY2 is
// non-zero, else UYVY) into an RGB24 frame (blue, green, red; bottom row first).
// Writes the whole destination, or nothing for sizes that are not positive or too big.
// Returns 1.
int YUV422ToRGB24(const unsigned char* source, unsigned char* destination, int width, int height, int bYUY2);

// Reverses the row order of an RGB24 frame in place; the frame is fully rewritten or
// left as it was. Returns 1.
int FlipVertical(unsigned char* frame, int width, int height);
