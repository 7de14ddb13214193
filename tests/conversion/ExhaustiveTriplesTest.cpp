// Every (Y, U, V) triple, through every kernel, in both byte orders, against
// the formula evaluated here in plain 32-bit arithmetic.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "ConversionTestSupport.h"

namespace {

using qv::conversion::ConvertWithLevel;
using qvtest::Formula;

// One chunk holds every (Y, V) for one U, as a single row: group (V, j)
// carries Y = 2j and 2j + 1, so its two pixels cover two consecutive Y.
constexpr int kGroupsPerChunk = 256 * 128;
constexpr int kPixelsPerChunk = 2 * kGroupsPerChunk;

void BuildChunk(int u, bool yuy2, std::vector<unsigned char>& source, std::vector<unsigned char>& expected) {
  for (int v = 0; v < 256; ++v) {
    for (int j = 0; j < 128; ++j) {
      const std::size_t k = static_cast<std::size_t>(v) * 128 + j;
      unsigned char* g = &source[4 * k];
      const int y0 = 2 * j, y1 = 2 * j + 1;
      if (yuy2) {
        g[0] = y0, g[1] = u, g[2] = y1, g[3] = v;
      } else {
        g[0] = u, g[1] = y0, g[2] = v, g[3] = y1;
      }
      Formula(y0, u, v, &expected[6 * k]);
      Formula(y1, u, v, &expected[6 * k + 3]);
    }
  }
}

class ExhaustiveTriples : public qvtest::EveryLevel {};

TEST_P(ExhaustiveTriples, EveryTripleGivesTheFormulasBytesInBothLayouts) {
  std::vector<unsigned char> source(4 * kGroupsPerChunk), expected(6 * kGroupsPerChunk), actual(6 * kGroupsPerChunk);
  for (int yuy2 = 0; yuy2 < 2; ++yuy2) {
    for (int u = 0; u < 256; ++u) {
      BuildChunk(u, yuy2 != 0, source, expected);
      ConvertWithLevel(GetParam(), source.data(), actual.data(), kPixelsPerChunk, 1, yuy2);
      if (actual != expected) {
        std::size_t i = 0;
        while (actual[i] == expected[i]) ++i;
        const std::size_t pixel = i / 3;
        const int y = static_cast<int>(pixel % 256), v = static_cast<int>(pixel / 256);
        char where[160];
        std::snprintf(where, sizeof where, "%s, Y=%d U=%d V=%d: channel %d (0=B 1=G 2=R) is %d, the formula gives %d",
                      yuy2 ? "YUY2" : "UYVY", y, u, v, static_cast<int>(i % 3), actual[i], expected[i]);
        FAIL() << where;
      }
    }
  }
}

QV_INSTANTIATE_FOR_EVERY_LEVEL(ExhaustiveTriples);

}  // namespace
