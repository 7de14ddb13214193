#pragma once

// NV12, I420 (IYUV) and YV12 frames (4:2:0, top row first) and RGB32 frames
// (bottom row first) to an RGB24 frame (blue, green, red; no row padding;
// bottom row first). The YUV formats use the same fixed BT.601 integer formula
// as YUV422ToRGB24; RGB32 drops each pixel's fourth byte. The layouts, and the
// bytes each reads, are those of qv::conversion::SourceFrameBytes.
// All return 1 in every case; invalid arguments (null pointers, sizes of 0 or
// below, frames whose width x height x 3 bytes exceed INT_MAX) leave memory untouched.
int NV12ToRGB24(const unsigned char* source, unsigned char* destination, int width, int height);
int I420ToRGB24(const unsigned char* source, unsigned char* destination, int width, int height);
int YV12ToRGB24(const unsigned char* source, unsigned char* destination, int width, int height);
int RGB32ToRGB24(const unsigned char* source, unsigned char* destination, int width, int height);
