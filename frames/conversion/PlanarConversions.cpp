#include "PlanarConversions.h"

#include "PlanarKernels.h"

using qv::conversion::BestPlanarLevel;
using qv::conversion::ConvertToRgb24WithLevel;
using qv::conversion::FrameFormat;

int NV12ToRGB24(const unsigned char* source, unsigned char* destination, int width, int height) {
  return ConvertToRgb24WithLevel(BestPlanarLevel(), FrameFormat::Nv12, source, destination, width, height);
}

int I420ToRGB24(const unsigned char* source, unsigned char* destination, int width, int height) {
  return ConvertToRgb24WithLevel(BestPlanarLevel(), FrameFormat::I420, source, destination, width, height);
}

int YV12ToRGB24(const unsigned char* source, unsigned char* destination, int width, int height) {
  return ConvertToRgb24WithLevel(BestPlanarLevel(), FrameFormat::Yv12, source, destination, width, height);
}

int RGB32ToRGB24(const unsigned char* source, unsigned char* destination, int width, int height) {
  return ConvertToRgb24WithLevel(BestPlanarLevel(), FrameFormat::Rgb32, source, destination, width, height);
}
