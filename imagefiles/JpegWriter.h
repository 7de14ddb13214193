// Baseline JPEG files (quality 75 for frames) through the IJG compression API.
#pragma once

// Writes an RGB24 frame (bottom-up, blue-green-red) as an upright colour JPEG of
// quality 75. 1 written; 0 not written, after a message box saying why. A frame wider
// or taller than the library's 65500 pixels gives "Write Error" without touching a file.
int SaveJpegImage(const char* path, unsigned char* frame, int width, int height);

// The same file made the straightforward way: a working copy turned upright with
// FlipRows, red put first with SwapRedBlue, then WriteJpegFile. SaveJpegImage
// encodes the frame in place instead and must give byte-identical files.
int SaveJpegImageByCopy(const char* path, unsigned char* frame, int width, int height);

// Compresses width x height 3-byte pixels, rows top-down, red-green-blue. colour non-zero:
// a three-component file; zero: one gray component, weighted 0.299, 0.587, 0.114 on the
// first, second and third byte (the double-precision formula, exactly, on every build).
// quality on the 0-100 scale, baseline tables. 1 written; 0 not written (the file, if
// already created, stays as far as it was written). Null data, a zero size or one past
// 65500 pixels gives 0 at once, with no message and no file.
int WriteJpegFile(const char* path, unsigned char* data, unsigned int width, unsigned int height, int colour,
                  int quality);

// Reverses the order of rows in place. 1 done; 0 for null data, negative sizes or
// scratch rows that can't be allocated (nothing changed then).
int FlipRows(unsigned char* data, int rowBytes, int rows);

// Exchanges the first and third byte of each of width x height 3-byte pixels in place.
// 0 for null data or negative sizes (nothing changed), otherwise 1.
int SwapRedBlue(unsigned char* data, int width, int height);
