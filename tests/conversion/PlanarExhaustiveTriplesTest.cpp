// Every (Y, U, V) triple through every 4:2:0 kernel, NV12 and I420, against
// the formula evaluated here in plain 32-bit arithmetic.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "PlanarTestSupport.h"

namespace {

using qv::conversion::ConvertToRgb24WithLevel;
using qv::conversion::FrameFormat;
using qvtest::Formula;

// One frame holds every (Y, V) for one U: chroma column V, chroma row q, and
// the four pixels of that 2x2 block carry Y = 4q .. 4q + 3.
constexpr int kWidth = 512, kHeight = 128;
constexpr int kChromaWidth = kWidth / 2, kChromaHeight = kHeight / 2;

int LumaAt(int x, int y) { return 4 * (y / 2) + 2 * (y % 2) + x % 2; }

void BuildFrame(int u, FrameFormat format, std::vector<unsigned char>& source, std::vector<unsigned char>& expected) {
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      source[y * kWidth + x] = static_cast<unsigned char>(LumaAt(x, y));
      Formula(LumaAt(x, y), u, x / 2, &expected[((kHeight - 1 - y) * kWidth + x) * 3]);
    }
  unsigned char* chroma = source.data() + kWidth * kHeight;
  for (int row = 0; row < kChromaHeight; ++row)
    for (int v = 0; v < kChromaWidth; ++v) {
      const int c = row * kChromaWidth + v;
      if (format == FrameFormat::Nv12) {
        chroma[2 * c] = static_cast<unsigned char>(u);
        chroma[2 * c + 1] = static_cast<unsigned char>(v);
      } else {
        chroma[c] = static_cast<unsigned char>(u);
        chroma[kChromaWidth * kChromaHeight + c] = static_cast<unsigned char>(v);
      }
    }
}

class PlanarExhaustiveTriples : public qvtest::EveryPlanarLevel {};

TEST_P(PlanarExhaustiveTriples, EveryTripleGivesTheFormulasBytes) {
  std::vector<unsigned char> source(kWidth * kHeight * 3 / 2), expected(kWidth * kHeight * 3),
      actual(kWidth * kHeight * 3);
  for (FrameFormat format : {FrameFormat::Nv12, FrameFormat::I420}) {
    for (int u = 0; u < 256; ++u) {
      BuildFrame(u, format, source, expected);
      ConvertToRgb24WithLevel(GetParam(), format, source.data(), actual.data(), kWidth, kHeight);
      if (actual != expected) {
        std::size_t i = 0;
        while (actual[i] == expected[i]) ++i;
        const int x = static_cast<int>(i / 3 % kWidth), y = kHeight - 1 - static_cast<int>(i / 3 / kWidth);
        char where[160];
        std::snprintf(where, sizeof where, "%s, Y=%d U=%d V=%d: channel %d (0=B 1=G 2=R) is %d, the formula gives %d",
                      qvtest::FormatName(format), LumaAt(x, y), u, x / 2, static_cast<int>(i % 3), actual[i],
                      expected[i]);
        FAIL() << where;
      }
    }
  }
}

QV_INSTANTIATE_FOR_EVERY_PLANAR_LEVEL(PlanarExhaustiveTriples);

}  // namespace
