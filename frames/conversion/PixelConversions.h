#pragma once

// Packed YUV 4:2:2 (YUY2 or UYVY, top row first) to an RGB24 frame (blue, green,
// red; no row padding; bottom row first), with the fixed BT.601 integer formula.
// Both return 1 in every case; invalid arguments (null pointers, negative sizes,
// frames whose width x height x 3 bytes exceed INT_MAX) leave memory untouched.
int YUV422ToRGB24(const unsigned char* source, unsigned char* destination, int width, int height, int bYUY2);

// Reverses the row order of an RGB24 frame of width x height pixels in place.
int FlipVertical(unsigned char* frame, int width, int height);
