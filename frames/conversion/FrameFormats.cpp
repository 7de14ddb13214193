#include "FrameFormats.h"

#include <cstdint>

#include "YuvFormula.h"

namespace qv::conversion {

std::size_t SourceFrameBytes(FrameFormat format, int width, int height) {
  std::size_t pixels = 0;
  if (!CountConvertiblePixels(width, height, pixels)) return 0;
  const std::uint64_t w = static_cast<std::uint64_t>(width);
  const std::uint64_t h = static_cast<std::uint64_t>(height);
  const std::uint64_t chromaSamples = ((w + 1) / 2) * ((h + 1) / 2);
  std::uint64_t bytes = 0;
  switch (format) {
    case FrameFormat::Rgb24:
      bytes = 3 * w * h;
      break;
    case FrameFormat::Yuy2:
    case FrameFormat::Uyvy:
      bytes = 2 * w * h;
      break;
    case FrameFormat::Nv12:
    case FrameFormat::I420:
    case FrameFormat::Yv12:
      bytes = w * h + 2 * chromaSamples;
      break;
    case FrameFormat::Rgb32:
      bytes = 4 * w * h;
      break;
  }
  // w x h x 3 <= INT_MAX bounds every case above by 4/3 x INT_MAX.
  return static_cast<std::size_t>(bytes);
}

}  // namespace qv::conversion
