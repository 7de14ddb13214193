#include "TiffWriter.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

#include <tiffio.h>

#include "ImageSizeLimits.h"
#include "RedBlueSwap.h"
#include "TiffPage.h"

namespace {

// Rows built one at a time from a bottom-up blue-green-red frame: the frame's last
// row first, each pixel turned to red-green-blue.
class FrameRows final : public TiffRowSource {
 public:
  FrameRows(const unsigned char* frame, size_t rowBytes, uint32_t height, unsigned char* row)
      : m_frame(frame), m_rowBytes(rowBytes), m_height(height), m_row(row) {}
  unsigned char* Row(uint32_t i) override {
    qv::conversion::SwapRedBlueBytes(m_frame + static_cast<size_t>(m_height - 1 - i) * m_rowBytes, m_row, m_rowBytes);
    return m_row;
  }

 private:
  const unsigned char* m_frame;
  size_t m_rowBytes;
  uint32_t m_height;
  unsigned char* m_row;
};

// True when the frame can be written; *rowBytes then holds the length of one row.
bool CanWriteFrame(const char* path, const unsigned char* frame, int width, int height, size_t* rowBytes) {
  size_t frameBytes = 0;
  return path != nullptr && frame != nullptr && qv::CountImageBytes(width, height, qv::kRgb24PixelBytes, &frameBytes) &&
         frameBytes != 0 && qv::rows::CountBytes(width, 1, qv::kRgb24PixelBytes, qv::kMaxTiffRowBytes, rowBytes);
}

}  // namespace

int SaveTiffImage(const char* path, unsigned char* frame, int width, int height) {
  size_t rowBytes = 0;
  if (!CanWriteFrame(path, frame, width, height, &rowBytes)) return 0;
  // The writer makes no change to the frame, so it needs no copy of it.
  WriteTiffFrame(path, frame, width, height);
  return 1;
}

int WriteTiffFrame(const char* path, const unsigned char* frame, int width, int height) {
  size_t rowBytes = 0;
  if (!CanWriteFrame(path, frame, width, height, &rowBytes)) return kTiffWriterRan;  // nothing to write
  std::unique_ptr<unsigned char[]> row(new (std::nothrow) unsigned char[rowBytes]);
  if (!row) return kTiffWriterRan;
  // The page of WriteTiffFile(path, width, height, kTiffRgb, 24, kTiffUncompressed,
  // kWordsAsGiven, 0, nullptr, 0, frame): 3 samples of 8 bits, red first. The row
  // length is at most kMaxTiffRowBytes.
  TiffPageFields page{
      static_cast<uint32_t>(width),    static_cast<uint32_t>(height), 3, 8, PHOTOMETRIC_RGB, COMPRESSION_NONE,
      static_cast<uint32_t>(rowBytes), {nullptr, nullptr, nullptr}};
  FrameRows rows(frame, rowBytes, page.height, row.get());
  return AppendTiffPage(path, page, rows, kWordsAsGiven);
}
