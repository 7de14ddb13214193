#include "TiffRearrangements.h"

#include <cstddef>
#include <cstdint>

#include "ImageSizeLimits.h"
#include "RowOrder.h"
#include "TiffWriter.h"

void RearrangeSampleWords(unsigned char* data, unsigned int byteCount, SampleWordSwap swap) {
  if (swap == kWordsAsGiven) return;
  for (unsigned int i = 0; i + 1 < byteCount; i += 2) {
    unsigned w = data[i] | (data[i + 1] << 8);
    switch (swap) {
      case kWordBytesSwapped:
        w = ((w << 8) | (w >> 8)) & 0xFFFF;
        break;
      case kLowNibblesSwapped:
        w = (w & 0xFF00) | ((w & 0x0F) << 4) | ((w & 0xF0) >> 4);
        break;
      case kLowNibblesThenBytesSwapped:
        w = (w & 0xFF00) | ((w & 0x0F) << 4) | ((w & 0xF0) >> 4);
        w = ((w << 8) | (w >> 8)) & 0xFFFF;
        break;
      case kWordRotatedLeft4:
        w = ((w << 4) | (w >> 12)) & 0xFFFF;
        break;
      case kWordsAsGiven:
        break;
    }
    data[i] = static_cast<unsigned char>(w);
    data[i + 1] = static_cast<unsigned char>(w >> 8);
  }
}

int SwapSampleWords(unsigned char* data, unsigned int byteCount, int mode) {
  if (data != nullptr) RearrangeSampleWords(data, byteCount, SampleWordSwapOf(mode));
  return 0;
}

int FlipTiffRows(unsigned int width, unsigned int height, unsigned int bitsPerPixel, unsigned char* data) {
  switch (bitsPerPixel) {
    case 1:
    case 2:
    case 4:
    case 8:
    case 16:
    case 24:
    case 48:
      break;
    default:
      return -1;
  }
  if (data == nullptr) return -1;
  // Rows that together pass the general writer's 32-bit limit can't be in memory here;
  // refused before a 32-bit size_t could wrap.
  const uint64_t rowBytes64 = static_cast<uint64_t>(width) * bitsPerPixel / 8;
  if (height != 0 && rowBytes64 > qv::kMaxTiffDataBytes / height) return -1;
  return qv::rows::ReverseRowsThroughScratchRow(data, static_cast<size_t>(rowBytes64), height) ? 0 : -1;
}
