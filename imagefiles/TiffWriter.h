// TIFF files through libtiff, opened for appending: each call adds one page
// (directory) after those a TIFF file already holds.
#pragma once

#include "TiffOptions.h"

// Appends an RGB24 frame (bottom-up, blue-green-red) as an uncompressed RGB page,
// top row first. 1 when the writer ran; 0 when nothing was written (null frame,
// negative or zero sizes, byte counts beyond 32 bits, rows beyond 2^31 - 1 bytes,
// no memory for a row).
int SaveTiffImage(const char* path, unsigned char* frame, int width, int height);

// The writer behind SaveTiffImage, with WriteTiffFile's results. It builds each
// row as it is written, so it needs no copy of the frame; its files are
// byte-identical to WriteTiffFile(path, width, height, kTiffRgb, 24, kTiffUncompressed,
// kWordsAsGiven, 0, nullptr, 0, frame).
int WriteTiffFrame(const char* path, const unsigned char* frame, int width, int height);

// General writer (the ints are named in TiffOptions.h). photometricKind 1 grayscale,
// 2 RGB (3-byte pixels given blue first), 3 palette (palette: paletteCount entries of
// blue, green, red, unused). compressionKind 0 none, 1 JPEG, 2 LZW, any other an
// unknown scheme (the rows fail). swapMode rearranges the 16-bit words of each row
// (see SwapSampleWords). data: height
// rows, bottom-up, width x bitsPerPixel / 8 bytes each; only read. reserved is ignored.
// 0 the writer ran (a row that fails is reported on stderr), or nothing could be
// written (null data, zero sizes, data beyond 32 bits or rows beyond 2^31 - 1 bytes,
// no memory); 2 the file could not be
// opened, is not a TIFF file or its chain of directories is broken (it is left
// unchanged); -1 unknown photometric kind.
int WriteTiffFile(const char* path, unsigned int width, unsigned int height, int photometricKind,
                  unsigned int bitsPerPixel, int compressionKind, int swapMode, int reserved,
                  const unsigned char* palette, unsigned int paletteCount, unsigned char* data);

// Reverses the order of the rows in place for 1, 2, 4, 8, 16, 24 or 48 bits per pixel.
// 0 done; -1 another depth, rows beyond 32 bits of bytes or no scratch row (nothing changed).
int FlipTiffRows(unsigned int width, unsigned int height, unsigned int bitsPerPixel, unsigned char* data);

// Rearranges the little-endian 16-bit words of one row in place (a last odd byte is
// left alone): mode 2 swaps the bytes, 3 swaps the nibbles of the low byte, 4 does 3
// then 2, 5 rotates the word left by 4 bits; any other mode changes nothing. Always 0.
int SwapSampleWords(unsigned char* data, unsigned int byteCount, int mode);
