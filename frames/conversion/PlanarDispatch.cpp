#include "PlanarKernels.h"

#include <cstdint>

#include "YuvFormula.h"

namespace qv::conversion {

namespace {

PlanarKernels PlanarKernelsFor(ConversionLevel level) {
  switch (level) {
    case ConversionLevel::Scalar:
      return ScalarPlanarKernels();
    case ConversionLevel::Ssse3:
      return Ssse3PlanarKernels();
    case ConversionLevel::Avx2:
      return Avx2PlanarKernels();
    case ConversionLevel::Sse2:
    case ConversionLevel::Avx512bw:
    case ConversionLevel::Avx512vbmi:
      break;
  }
  return {nullptr, nullptr, nullptr};
}

// Destination frames from this size on are written around the caches, as
// memcpy does for large copies: far larger than what the caches keep for the
// reader, and the ordinary stores would first read every line they fill.
constexpr std::size_t kStreamingBytes = std::size_t{4} << 20;

// One pass, two source rows at a time so that each chroma row is read once:
// source row r goes straight to destination row h-1-r. An odd height leaves a
// last row alone with its own chroma row; it is passed as a pair with itself.
void Convert420(const PlanarKernels& kernels, FrameFormat format, const unsigned char* source,
                unsigned char* destination, std::size_t w, std::size_t h) {
  const std::size_t chromaWidth = (w + 1) / 2, chromaPlane = chromaWidth * ((h + 1) / 2);
  const std::size_t rowBytes = w * 3;
  // Streaming stores need every row 16-byte aligned.
  const bool stream =
      rowBytes * h >= kStreamingBytes && rowBytes % 16 == 0 && reinterpret_cast<std::uintptr_t>(destination) % 16 == 0;
  const unsigned char* chroma = source + w * h;
  const unsigned char* u = format == FrameFormat::Yv12 ? chroma + chromaPlane : chroma;
  const unsigned char* v = format == FrameFormat::Yv12 ? chroma : chroma + chromaPlane;
  for (std::size_t r = 0; r < h; r += 2) {
    const std::size_t r1 = r + 1 < h ? r + 1 : r;
    const unsigned char* y0 = source + r * w;
    const unsigned char* y1 = source + r1 * w;
    unsigned char* d0 = destination + (h - 1 - r) * rowBytes;
    unsigned char* d1 = destination + (h - 1 - r1) * rowBytes;
    const std::size_t chromaRow = r / 2;
    if (format == FrameFormat::Nv12)
      kernels.nv12(y0, y1, chroma + chromaRow * 2 * chromaWidth, d0, d1, w, stream);
    else
      kernels.i420(y0, y1, u + chromaRow * chromaWidth, v + chromaRow * chromaWidth, d0, d1, w, stream);
  }
}

}  // namespace

bool IsPlanarLevelAvailable(ConversionLevel level) {
  return IsLevelSupported(level) && PlanarKernelsFor(level).nv12 != nullptr;
}

ConversionLevel BestPlanarLevel() {
  static const ConversionLevel best = [] {
    ConversionLevel chosen = ConversionLevel::Scalar;
    for (ConversionLevel level : kAllLevels)
      if (IsPlanarLevelAvailable(level)) chosen = level;
    return chosen;
  }();
  return best;
}

int ConvertToRgb24WithLevel(ConversionLevel level, FrameFormat format, const unsigned char* source,
                            unsigned char* destination, int width, int height) {
  std::size_t pixels = 0;
  if (!source || !destination || !CountConvertiblePixels(width, height, pixels) || !IsPlanarLevelAvailable(level))
    return 1;
  const PlanarKernels kernels = PlanarKernelsFor(level);
  switch (format) {
    case FrameFormat::Nv12:
    case FrameFormat::I420:
    case FrameFormat::Yv12:
      Convert420(kernels, format, source, destination, static_cast<std::size_t>(width),
                 static_cast<std::size_t>(height));
      break;
    case FrameFormat::Rgb32:
      // Both bottom-up and tight: the frame is one run of pixels.
      kernels.rgb32(source, destination, pixels);
      break;
    case FrameFormat::Rgb24:
    case FrameFormat::Yuy2:
    case FrameFormat::Uyvy:
      break;
  }
  return 1;
}

}  // namespace qv::conversion
