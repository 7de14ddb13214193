// WriteTiffFile: the general TIFF writer, for gray, RGB and palette images.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include <tiffio.h>

#include "ImageSizeLimits.h"
#include "RedBlueSwap.h"
#include "TiffOptions.h"
#include "TiffPage.h"
#include "TiffWriter.h"

namespace {

// Compression values the library has no scheme for: the first row fails.
constexpr uint16_t kNoSuchCompression = 65535;

uint16_t CompressionTag(TiffCompressionKind kind) {
  switch (kind) {
    case kTiffUncompressed:
      return COMPRESSION_NONE;
    case kTiffJpeg:
      return COMPRESSION_JPEG;
    case kTiffLzw:
      return COMPRESSION_LZW;
    case kTiffNoSuchScheme:
      break;
  }
  return kNoSuchCompression;
}

// A palette entry: blue, green, red, one unused byte.
constexpr size_t kPaletteEntryBytes = 4;
constexpr size_t kPaletteBlue = 0, kPaletteGreen = 1, kPaletteRed = 2;
// An 8-bit component in both bytes of a 16-bit colour map value (low byte = high byte).
constexpr uint16_t kByteToWord = 0x101;

// Rows of the working copy, the top row first once it was flipped.
class CopyRows final : public TiffRowSource {
 public:
  CopyRows(unsigned char* data, uint32_t rowBytes) : m_data(data), m_rowBytes(rowBytes) {}
  unsigned char* Row(uint32_t i) override { return m_data + static_cast<size_t>(i) * m_rowBytes; }

 private:
  unsigned char* m_data;
  uint32_t m_rowBytes;
};

}  // namespace

int WriteTiffFile(const char* path, unsigned int width, unsigned int height, int photometricKind,
                  unsigned int bitsPerPixel, int compressionKind, int swapMode, int /*reserved*/,
                  const unsigned char* palette, unsigned int paletteCount, unsigned char* data) {
  TiffImageKind kind = kTiffGray;
  if (!TiffImageKindOf(photometricKind, &kind)) return kTiffUnknownImageKind;
  uint16_t samplesPerPixel;
  uint16_t photometric;
  switch (kind) {
    case kTiffGray:
      samplesPerPixel = 1;
      photometric = PHOTOMETRIC_MINISBLACK;
      break;
    case kTiffRgb:
      samplesPerPixel = 3;
      photometric = PHOTOMETRIC_RGB;
      break;
    case kTiffPalette:
    default:
      samplesPerPixel = 1;
      photometric = PHOTOMETRIC_PALETTE;
      break;
  }
  if (path == nullptr || data == nullptr) return kTiffWriterRan;

  const unsigned int bitsPerSample = paletteCount == 0 ? bitsPerPixel / samplesPerPixel : bitsPerPixel;
  if (bitsPerSample == 0 || bitsPerSample > 0xFFFF) return kTiffWriterRan;  // BitsPerSample is 16-bit
  // Each pixel has at least one bit: more pixels than this can't fit in a 32-bit count.
  if (static_cast<uint64_t>(width) * height > qv::kMaxTiffDataBytes * 8) return kTiffWriterRan;
  const uint64_t dataBytes = static_cast<uint64_t>(width) * height * bitsPerPixel / 8;
  const uint64_t rowBytes = static_cast<uint64_t>(width) * bitsPerPixel / 8;
  // The library reads whole scanlines of its own size; the copy is padded so the
  // last row never reads beyond it, even where that size exceeds rowBytes.
  const uint64_t scanlineBytes = (static_cast<uint64_t>(width) * bitsPerSample * samplesPerPixel + 7) / 8;
  const uint64_t slack = scanlineBytes > rowBytes ? scanlineBytes - rowBytes : 0;
  if (dataBytes == 0 || rowBytes == 0 || dataBytes + slack > qv::kMaxTiffDataBytes || rowBytes > qv::kMaxTiffRowBytes ||
      scanlineBytes > qv::kMaxTiffRowBytes) {
    return kTiffWriterRan;
  }

  // The colour map's arrays hold every value the library will read (2^BitsPerSample),
  // entries beyond the palette black; each 8-bit component fills both bytes.
  std::unique_ptr<uint16_t[]> colorMap;
  size_t mapEntries = 0;
  if (kind == kTiffPalette && bitsPerSample <= 16) {
    mapEntries = size_t{1} << bitsPerSample;
    colorMap.reset(new (std::nothrow) uint16_t[3 * mapEntries]());
    if (!colorMap) return kTiffWriterRan;  // nothing written
    for (size_t i = 0; palette != nullptr && i < paletteCount && i < mapEntries; ++i) {
      const unsigned char* entry = palette + kPaletteEntryBytes * i;
      colorMap[i] = static_cast<uint16_t>(entry[kPaletteRed] * kByteToWord);
      colorMap[mapEntries + i] = static_cast<uint16_t>(entry[kPaletteGreen] * kByteToWord);
      colorMap[2 * mapEntries + i] = static_cast<uint16_t>(entry[kPaletteBlue] * kByteToWord);
    }
  }

  std::unique_ptr<unsigned char[]> copy(new (std::nothrow) unsigned char[dataBytes + slack]);
  if (!copy) return kTiffWriterRan;
  std::memcpy(copy.get(), data, dataBytes);
  std::memset(copy.get() + dataBytes, 0, slack);

  if (kind == kTiffRgb) {
    // width x height 3-byte pixels, but never beyond the data given.
    uint64_t pixels = static_cast<uint64_t>(width) * height;
    if (pixels > dataBytes / qv::kRgb24PixelBytes) pixels = dataBytes / qv::kRgb24PixelBytes;
    qv::conversion::SwapRedBlueBytes(copy.get(), copy.get(), static_cast<size_t>(pixels) * qv::kRgb24PixelBytes);
  }

  TiffPageFields page{width,
                      height,
                      samplesPerPixel,
                      static_cast<uint16_t>(bitsPerSample),
                      photometric,
                      CompressionTag(TiffCompressionKindOf(compressionKind)),
                      static_cast<uint32_t>(rowBytes),
                      {nullptr, nullptr, nullptr}};
  if (colorMap) {
    page.colorMap[0] = colorMap.get();
    page.colorMap[1] = colorMap.get() + mapEntries;
    page.colorMap[2] = colorMap.get() + 2 * mapEntries;
  }

  // A depth that can't be flipped keeps the rows in their given order.
  FlipTiffRows(width, height, bitsPerPixel, copy.get());
  CopyRows rows(copy.get(), page.rowBytes);
  return AppendTiffPage(path, page, rows, SampleWordSwapOf(swapMode));
}
