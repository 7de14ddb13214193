#pragma once

namespace qv::conversion {

// The byte order of a packed 4:2:2 group: YUY2 (Y0 U Y1 V) or UYVY (U Y0 V Y1).
enum class PackedYuvLayout { Uyvy = 0, Yuy2 = 1 };

// The design's bYUY2 flag (any non-zero value selects YUY2), turned into a layout
// once, where YUV422ToRGB24 and ConvertWithLevel take it.
constexpr PackedYuvLayout PackedYuvLayoutOf(int bYUY2) {
  return bYUY2 != 0 ? PackedYuvLayout::Yuy2 : PackedYuvLayout::Uyvy;
}

}  // namespace qv::conversion
