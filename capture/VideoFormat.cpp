#include "VideoFormat.h"

#include <cstddef>
#include <cstring>

namespace qv {

FrameSize ReadFrameSize(const AM_MEDIA_TYPE& mediaType) {
  constexpr size_t kSizeEnd = offsetof(VIDEOINFOHEADER, bmiHeader) + offsetof(BITMAPINFOHEADER, biHeight) + 4;
  static_assert(kSizeEnd == 60, "biHeight ends at byte 60 of a VIDEOINFOHEADER");
  if (!IsEqualGUID(mediaType.formattype, FORMAT_VideoInfo) || mediaType.pbFormat == nullptr ||
      mediaType.cbFormat < kSizeEnd) {
    return {0, 0};
  }
  const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(mediaType.pbFormat);
  return {static_cast<int>(info->bmiHeader.biWidth), static_cast<int>(info->bmiHeader.biHeight)};
}

}  // namespace qv
