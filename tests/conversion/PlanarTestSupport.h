#pragma once

#include <gtest/gtest.h>

#include <ostream>

#include "ConversionTestSupport.h"
#include "PlanarKernels.h"

namespace qv::conversion {
inline const char* FormatName(FrameFormat format) {
  static const char* const names[] = {"RGB24", "YUY2", "UYVY", "NV12", "I420", "YV12", "RGB32"};
  return names[static_cast<int>(format)];
}
inline void PrintTo(FrameFormat format, std::ostream* os) { *os << FormatName(format); }
}  // namespace qv::conversion

namespace qvtest {

using qv::conversion::FormatName;
using qv::conversion::FrameFormat;

// The formats that ConvertToRgb24WithLevel converts.
constexpr FrameFormat kConvertedFormats[] = {FrameFormat::Nv12, FrameFormat::I420, FrameFormat::Yv12,
                                             FrameFormat::Rgb32};

// Every level that has 4:2:0 kernels; the others (and those this CPU lacks) are skipped.
class EveryPlanarLevel : public ::testing::TestWithParam<qv::conversion::ConversionLevel> {
 protected:
  void SetUp() override {
    if (!qv::conversion::IsPlanarLevelAvailable(GetParam()))
      GTEST_SKIP() << "no " << qv::conversion::LevelName(GetParam()) << " kernel of the 4:2:0 conversions here";
  }
};

#define QV_INSTANTIATE_FOR_EVERY_PLANAR_LEVEL(Suite) \
  INSTANTIATE_TEST_SUITE_P(Levels, Suite, ::testing::ValuesIn(qv::conversion::kAllLevels), qvtest::LevelParamName)

}  // namespace qvtest
