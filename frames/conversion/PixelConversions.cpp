#include "PixelConversions.h"

#include "ConversionKernels.h"
#include "RowOrder.h"
#include "YuvFormula.h"

using qv::conversion::BestSupportedLevel;
using qv::conversion::ConvertWithLevel;

int YUV422ToRGB24(const unsigned char* source, unsigned char* destination, int width, int height, int bYUY2) {
  // The rows are written at their reversed positions in the same pass, so
  // there is no separate flip and no temporary frame.
  return ConvertWithLevel(BestSupportedLevel(), source, destination, width, height, bYUY2);
}

int FlipVertical(unsigned char* frame, int width, int height) {
  std::size_t pixels = 0;
  if (!frame || !qv::conversion::CountConvertiblePixels(width, height, pixels)) return 1;
  // Rows swapped pairwise through a fixed stack buffer, a chunk at a time: no
  // allocation, so the frame is always fully reversed, never half done.
  unsigned char chunk[4096];
  const std::size_t rowBytes = static_cast<std::size_t>(width) * qv::conversion::kRgb24PixelBytes;
  qv::rows::ReverseRows(frame, rowBytes, static_cast<std::size_t>(height), chunk, sizeof chunk);
  return 1;
}
