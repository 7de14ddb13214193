#include "ImageSave.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "File.h"
#include "ImageSizeLimits.h"
#include "JpegWriter.h"
#include "TiffWriter.h"

namespace {

constexpr size_t kBmpHeaderBytes = 54;
// Each BMP row is padded to a multiple of this many bytes.
constexpr uint64_t kBmpRowAlignment = 4;
// Padded rows are gathered into blocks of about this size, so the file gets a few
// large writes instead of one small write per row.
constexpr size_t kBmpBlockBytes = 64 * 1024;

void Put16(unsigned char* at, uint16_t value) {
  at[0] = static_cast<unsigned char>(value);
  at[1] = static_cast<unsigned char>(value >> 8);
}

void Put32(unsigned char* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

// BITMAPFILEHEADER followed by BITMAPINFOHEADER, little-endian.
void FillBmpHeaders(unsigned char* header, int width, int height, uint32_t pixelBytes) {
  std::memset(header, 0, kBmpHeaderBytes);
  header[0] = 'B';
  header[1] = 'M';
  Put32(header + 2, static_cast<uint32_t>(kBmpHeaderBytes) + pixelBytes);  // bfSize
  Put32(header + 10, static_cast<uint32_t>(kBmpHeaderBytes));              // bfOffBits
  Put32(header + 14, 40);                                                  // biSize
  Put32(header + 18, static_cast<uint32_t>(width));
  Put32(header + 22, static_cast<uint32_t>(height));  // positive: rows stored bottom-up
  Put16(header + 26, 1);                              // biPlanes
  Put16(header + 28, 24);                             // biBitCount
  // biCompression (BI_RGB), biSizeImage, resolutions and colour counts stay 0.
}

}  // namespace

void SaveImageFile(unsigned char* frame, int type, int width, int height, const char* path) {
  ImageFileType fileType = kImageFileJpeg;
  if (!ImageFileTypeOf(type, &fileType)) return;  // not a type code: nothing is written
  switch (fileType) {
    case kImageFileJpeg:
      SaveJpegImage(path, frame, width, height);
      break;
    case kImageFileBmp:
      SaveBmpImage(path, frame, width, height);
      break;
    case kImageFileRaw: {
      size_t byteCount = 0;
      // The raw writer takes width x height as one 32-bit count; sizes that don't
      // give one write nothing.
      if (qv::CountImageBytes(width, height, 1, &byteCount)) {
        SaveRawImage(path, frame, static_cast<unsigned int>(byteCount));
      }
      break;
    }
    case kImageFileTiff:
      SaveTiffImage(path, frame, width, height);
      break;
  }
}

int SaveBmpImage(const char* path, unsigned char* frame, int width, int height) {
  size_t frameBytes = 0;
  if (path == nullptr || !qv::CountImageBytes(width, height, qv::kRgb24PixelBytes, &frameBytes)) return 0;
  if (frame == nullptr && frameBytes != 0) return 0;  // an empty picture needs no pixels
  // Worked in 64 bits: in a 32-bit size_t a row of 2^32 - 1 bytes gets a stride of 0.
  const uint64_t rowBytes64 = static_cast<uint64_t>(width) * qv::kRgb24PixelBytes;
  const uint64_t stride64 = (rowBytes64 + kBmpRowAlignment - 1) & ~(kBmpRowAlignment - 1);
  // bfSize must hold the file size, header included.
  size_t pixelBytes = 0;
  if (!qv::rows::CountBytes(stride64, height, 1, qv::kMaxImageBytes - kBmpHeaderBytes, &pixelBytes)) return 0;

  unsigned char header[kBmpHeaderBytes];
  FillBmpHeaders(header, width, height, static_cast<uint32_t>(pixelBytes));
  // With no rows only the header is written; otherwise a row and its stride are at
  // most the pixel bytes, which fit 32 bits.
  const size_t rowBytes = pixelBytes == 0 ? 0 : static_cast<size_t>(rowBytes64);
  const size_t stride = pixelBytes == 0 ? 0 : static_cast<size_t>(stride64);

  // Padded rows are assembled in blocks before any file is touched, so a failed
  // allocation leaves an existing file as it was.
  std::unique_ptr<unsigned char[]> block;
  size_t rowsPerBlock = 0;
  if (stride != rowBytes && height > 0) {
    rowsPerBlock = kBmpBlockBytes / stride;
    if (rowsPerBlock == 0) rowsPerBlock = 1;
    if (rowsPerBlock > static_cast<size_t>(height)) rowsPerBlock = static_cast<size_t>(height);
    block.reset(new (std::nothrow) unsigned char[rowsPerBlock * stride]);
    if (!block) return 0;
  }

  CFile file;
  if (!file.Open(path, CFile::modeCreate | CFile::modeWrite)) return 0;
  bool ok = file.Write(header, sizeof header);
  if (stride == rowBytes) {
    // The frame is already bottom-up blue-green-red with no fill: its bytes are the pixel data.
    ok = ok && file.Write(frame, frameBytes);
  } else {
    for (size_t row = 0; ok && row < static_cast<size_t>(height); row += rowsPerBlock) {
      size_t rows = static_cast<size_t>(height) - row;
      if (rows > rowsPerBlock) rows = rowsPerBlock;
      for (size_t i = 0; i < rows; ++i) {
        unsigned char* out = block.get() + i * stride;
        std::memcpy(out, frame + (row + i) * rowBytes, rowBytes);
        std::memset(out + rowBytes, 0, stride - rowBytes);  // fill bytes after the pixels
      }
      ok = file.Write(block.get(), rows * stride);
    }
  }
  ok = file.Close() && ok;
  return ok ? 1 : 0;
}

int SaveRawImage(const char* path, unsigned char* frame, unsigned int byteCount) {
  if (path == nullptr || (frame == nullptr && byteCount != 0)) return 0;
  CFile file;
  if (!file.Open(path, CFile::modeCreate | CFile::modeWrite)) return 0;
  bool ok = file.Write(frame, byteCount);
  ok = file.Close() && ok;
  return ok ? 1 : 0;
}
