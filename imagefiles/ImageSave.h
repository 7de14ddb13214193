// Saving a host's RGB24 frame to a file chosen by type code, and the two
// simplest writers: BMP (a 54-byte header before the frame's rows) and raw bytes.
#pragma once

#include <cstdint>

// File type codes (QVDX_FILE_* of the public header): exact values, not bits to combine.
enum ImageFileType : int32_t { kImageFileJpeg = 1, kImageFileBmp = 2, kImageFileRaw = 4, kImageFileTiff = 8 };

// The type a C caller's code names; false for any other code.
constexpr bool ImageFileTypeOf(int32_t code, ImageFileType* type) {
  switch (code) {
    case kImageFileJpeg:
    case kImageFileBmp:
    case kImageFileRaw:
    case kImageFileTiff:
      *type = static_cast<ImageFileType>(code);
      return true;
    default:
      return false;
  }
}

// Writes frame by exact type code (1 JPEG, 2 BMP, 4 raw, 8 TIFF; anything else writes nothing).
// The writers' results are not passed on.
void SaveImageFile(unsigned char* frame, int type, int width, int height, const char* path);

// A 24-bit bottom-up BMP holding the frame's rows unchanged, each padded to a multiple
// of 4 bytes. An existing file is replaced. 1 when written; 0 when nothing could be
// written (null frame with pixels to write, negative or oversized dimensions, a file that can't be created)
// or a write failed part way.
int SaveBmpImage(const char* path, unsigned char* frame, int width, int height);

// The first byteCount bytes of frame, with no header. An existing file is replaced.
// 1 when written; 0 for a null frame with bytes to write, a file that can't be created or a failed write.
int SaveRawImage(const char* path, unsigned char* frame, unsigned int byteCount);
